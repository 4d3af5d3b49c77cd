#pragma once

#include <QProxyStyle>

#include <initializer_list>

class QWidget;

// Text boxes whose panel (background and frame) is drawn from a pixmap cache. A live value box gets a new
// text up to five times a second and each change repaints the whole box, where stroking the antialiased
// frame again costs more than the text itself. The panel carries the window's colour at its corners, so a box
// paints every pixel and nothing beneath it is painted again. Everything else is drawn by the application's
// style.
class PanelCache final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

    // The boxes draw through one shared instance that the application owns.
    static void applyTo(std::initializer_list<QWidget*> boxes);
};
