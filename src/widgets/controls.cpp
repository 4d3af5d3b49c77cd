#include "widgets/controls.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QSizeF>

namespace Controls {

void setCaption(QWidget* widget, const QString& caption)
{
    if (caption.isEmpty())
        return;
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setText(caption);
    else if (auto* label = qobject_cast<QLabel*>(widget))
        label->setText(caption);
    else if (auto* box = qobject_cast<QLineEdit*>(widget))
        box->setText(caption);
    else if (auto* frame = qobject_cast<QGroupBox*>(widget))
        frame->setTitle(caption);
}

int typedCharacter(const QKeyEvent* key)
{
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Delete:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return -1;
    default:
        return key->text().isEmpty() ? -1 : key->text().at(0).unicode();
    }
}

void keepOnScreen(double& left, double& top, const QSizeF& size, const QSizeF& screen, Clamp order)
{
    const auto clamp = [order](double& at, double extent, double room) {
        // Written so that NaN (from a hand-edited store) also ends at 0.
        if (order == Clamp::KeepOnScreenFirst && !(at >= 0))
            at = 0;
        if (room - extent < at)
            at = room - extent;
        if (order == Clamp::KeepTopLeftVisible && !(at >= 0))
            at = 0;
    };
    clamp(top, size.height(), screen.height());
    clamp(left, size.width(), screen.width());
}

QSizeF screenTwips(const QWidget* window)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    const QRect px = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    return {Twips::fromPixels(px.width()), Twips::fromPixels(px.height())};
}

} // namespace Controls
