#pragma once

#include "widgets/twips.h"

#include <QString>
#include <QtGlobal>

class QFont;
class QKeyEvent;
class QRectF;
class QSizeF;
class QWidget;

namespace Controls {

// Sets the caption of a button, label, text box or frame; other widgets have none.
void setCaption(QWidget* widget, const QString& caption);

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
    return widget;
}

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

} // namespace Controls
