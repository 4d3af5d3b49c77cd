#include "widgets/messagebox.h"

#include <QMessageBox>

namespace MessageBox {

namespace {
Handler& handler()
{
    static Handler current;
    return current;
}
} // namespace

void show(QWidget* parent, const QString& text)
{
    if (handler()) {
        handler()(parent, text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("TARNOLUX"), text, QMessageBox::Ok, parent);
    box.exec();
}

void setHandler(Handler h)
{
    handler() = std::move(h);
}

} // namespace MessageBox
