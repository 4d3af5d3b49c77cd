#include "widgets/twips.h"

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

void place(QWidget* widget, const Rect& at)
{
    widget->setGeometry(toPixels(at.left), toPixels(at.top), toPixels(at.width), toPixels(at.height));
}

} // namespace Twips
