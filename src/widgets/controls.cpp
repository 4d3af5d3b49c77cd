#include "widgets/controls.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QSizeF>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>
#include <vector>

QRect CommandButton::captionRect() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
}

void CommandButton::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear(); // the frame and the icon; the caption follows, wrapped
    painter.drawControl(QStyle::CE_PushButton, option);
    if (caption.isEmpty())
        return;
    style()->drawItemText(&painter, captionRect(), Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic,
                          palette(), isEnabled(), caption, QPalette::ButtonText);
}

void CommandButton::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        event->modifiers() == Qt::NoModifier) {
        animateClick();
        return;
    }
    QPushButton::keyPressEvent(event);
}

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

void orderTabs(QWidget* window)
{
    std::vector<std::pair<QRect, QWidget*>> controls;
    for (QWidget* child : window->findChildren<QWidget*>()) {
        bool inner = false; // the parts of a grid or other scrolled view
        for (QWidget* up = child->parentWidget(); up && up != window; up = up->parentWidget())
            inner = inner || qobject_cast<QAbstractScrollArea*>(up);
        if (!inner && (child->focusPolicy() & Qt::TabFocus) && child->window() == window)
            controls.emplace_back(QRect(child->mapTo(window, QPoint(0, 0)), child->size()), child);
    }
    std::stable_sort(controls.begin(), controls.end(),
                     [](const auto& a, const auto& b) { return a.first.top() < b.first.top(); });
    for (size_t row = 0; row < controls.size();) {
        const QRect& first = controls[row].first;
        size_t end = row + 1;
        while (end < controls.size() && controls[end].first.top() < first.top() + first.height() / 2)
            ++end;
        std::stable_sort(controls.begin() + static_cast<std::ptrdiff_t>(row),
                         controls.begin() + static_cast<std::ptrdiff_t>(end),
                         [](const auto& a, const auto& b) { return a.first.left() < b.first.left(); });
        row = end;
    }
    for (size_t i = 1; i < controls.size(); ++i)
        QWidget::setTabOrder(controls[i - 1].second, controls[i].second);
}

void fitCaption(QLabel* label)
{
    const QFontMetrics metrics = label->fontMetrics();
    const int need = metrics.horizontalAdvance(label->text());
    const int room = label->contentsRect().width();
    if (label->wordWrap() || need <= room)
        return;
    if (label->contentsRect().height() >= 2 * metrics.lineSpacing())
        label->setWordWrap(true);
    else
        label->resize(label->width() + need - room, label->height());
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

void placeOnScreen(QWidget* window, double left, double top, const QSizeF& screen, Clamp order)
{
    const QRect outer = window->frameGeometry();
    keepOnScreen(left, top, QSizeF(Twips::fromPixels(outer.width()), Twips::fromPixels(outer.height())),
                 screen, order);
    window->move(Twips::toPixels(left), Twips::toPixels(top));
}

} // namespace Controls
