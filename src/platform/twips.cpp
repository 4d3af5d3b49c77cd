#include "platform/twips.h"

#include <QWidget>

#include <cmath>

namespace Twips {

int toPixels(double twips)
{
    // Stored positions and sizes come from a settings file anyone can edit; keep them within what a window
    // system takes (16-bit coordinates).
    constexpr double Limit = 32767;
    const double pixels = twips / PerPixel;
    if (!(pixels > -Limit))
        return static_cast<int>(-Limit);
    if (!(pixels < Limit))
        return static_cast<int>(Limit);
    return static_cast<int>(std::lround(pixels));
}

double fromPixels(int pixels)
{
    return pixels * PerPixel;
}

void place(QWidget* widget, double left, double top, double width, double height)
{
    widget->setGeometry(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

} // namespace Twips
