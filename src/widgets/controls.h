#pragma once

#include "widgets/twips.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QtGlobal>

#include <type_traits>

class QFont;
class QKeyEvent;
class QRectF;
class QSizeF;
class QWidget;

// A command button whose caption wraps at word boundaries onto as many centred lines as its height holds,
// and which Enter presses as well as Space when it has the focus.
class CommandButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

    // The room the caption is drawn in.
    [[nodiscard]] QRect captionRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// An option button that a click anywhere in its rectangle selects, not only on its circle or caption.
class OptionButton : public QRadioButton {
    Q_OBJECT
public:
    using QRadioButton::QRadioButton;

protected:
    [[nodiscard]] bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

// A check box that a click anywhere in its rectangle toggles.
class CheckBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;

protected:
    [[nodiscard]] bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

namespace Controls {

// Sets the caption of a button, label, text box or frame; other widgets have none.
void setCaption(QWidget* widget, const QString& caption);

// A label's caption that is wider than the label wraps when the label holds two lines or more; a label
// of one line grows to the right by what its caption needs, so the caption is never cut.
void fitCaption(QLabel* label);

// A child control with its object name, caption and place in twips; it takes the parent's font unless
// font is given.
template <typename T>
T* make(QWidget* parent, const char* name, const QString& caption, const Twips::Rect& at,
        const QFont* font = nullptr)
{
    auto* widget = new T(parent);
    widget->setObjectName(QLatin1String(name));
    setCaption(widget, caption);
    Twips::place(widget, at);
    if (font)
        widget->setFont(*font);
    if constexpr (std::is_base_of_v<QLabel, T>)
        fitCaption(widget);
    return widget;
}

// Tab and Shift+Tab visit the window's controls top to bottom, and left to right within a row: controls
// whose tops lie within the upper half of the row's first control share its row.
void orderTabs(QWidget* window);

// The character code a key press types for a key filter: 13 for Return and Enter, 8 for Backspace, else
// the first character of its text. -1 for keys that type nothing (moving keys, Delete, Tab), which pass
// the filter untouched.
[[nodiscard]] int typedCharacter(const QKeyEvent* key);

// Which bound wins when a window does not fit on the screen.
enum class Clamp { KeepTopLeftVisible, KeepOnScreenFirst };
// Moves left and top (twips) so that a window of size (twips) lies within screen (twips): the bottom
// and right screen edges and the zero origin bound it. KeepTopLeftVisible applies the screen edges
// first, so an oversized window ends at 0; KeepOnScreenFirst applies the origin first, so it may end
// at a negative place.
void keepOnScreen(double& left, double& top, const QSizeF& size, const QSizeF& screen, Clamp order);
// The size of the screen the window is on (else the primary screen), in twips.
[[nodiscard]] QSizeF screenTwips(const QWidget* window);
// Moves a top-level window to left and top (twips), its outer size kept within screen (twips) by order.
void placeOnScreen(QWidget* window, double left, double top, const QSizeF& screen, Clamp order);

} // namespace Controls
