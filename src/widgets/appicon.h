#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

class QAbstractButton;
class QWidget;

// The program's own pictures, drawn in code: an autocollimator reticle (a circle with a crosshair and the
// reflected cross slightly off centre, with an angle mark).
namespace AppIcon {

constexpr int IconSize = 32;
constexpr int ButtonPictureWidth = 48;
constexpr int ButtonPictureHeight = 32;

// The icon at size by size pixels; the drawing scales, so any size looks the same.
[[nodiscard]] QImage render(int size);
// The icon at the usual sizes, for window icons.
[[nodiscard]] QIcon icon();
// The 48 by 32 picture of the main window's information button.
[[nodiscard]] QPixmap buttonPicture();
// Gives the main window its icon and its information button the picture.
void decorateMainWindow(QWidget* window, QAbstractButton* infoButton);

} // namespace AppIcon
