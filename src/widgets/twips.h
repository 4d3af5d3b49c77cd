#pragma once

class QWidget;

// Window positions and sizes are given in twips: 15 twips per logical pixel (1440 per inch at 96 dpi).
namespace Twips {

constexpr double PerPixel = 15.0;

[[nodiscard]] int toPixels(double twips);
[[nodiscard]] double fromPixels(int pixels);
struct Rect {
    double left, top, width, height;
};

// Places a child control at a rectangle given in twips.
void place(QWidget* widget, const Rect& at);

} // namespace Twips
