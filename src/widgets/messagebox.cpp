#include "widgets/messagebox.h"

#include <QMessageBox>
#include <QPushButton>

namespace MessageBox {

namespace {
Handler& handler()
{
    static Handler current;
    return current;
}
AskHandler& askHandler()
{
    static AskHandler current;
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

int ask(QWidget* parent, const QString& text, const QStringList& buttons)
{
    if (askHandler())
        return askHandler()(parent, text, buttons);
    QMessageBox box(QMessageBox::Question, QStringLiteral("TARNOLUX"), text, QMessageBox::NoButton, parent);
    QList<QAbstractButton*> added;
    for (const QString& b : buttons)
        added << box.addButton(b, QMessageBox::AcceptRole);
    if (!added.isEmpty()) {
        box.setDefaultButton(qobject_cast<QPushButton*>(added.front()));
        box.setEscapeButton(added.back());
    }
    box.exec();
    const auto chosen = added.indexOf(box.clickedButton());
    return chosen < 0 ? int(buttons.size()) - 1 : int(chosen);
}

void setAskHandler(AskHandler h)
{
    askHandler() = std::move(h);
}

} // namespace MessageBox
