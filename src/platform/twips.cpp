#include "platform/twips.h"

#include <QWidget>

#include <cmath>

namespace Twips {

int toPixels(double twips) { return static_cast<int>(std::lround(twips / PerPixel)); }

double fromPixels(int pixels) { return pixels * PerPixel; }

void place(QWidget* widget, double left, double top, double width, double height)
{
    widget->setGeometry(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

} // namespace Twips
