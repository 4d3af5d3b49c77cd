#include "widgets/appicon.h"

#include <QAbstractButton>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

#include <QtMath>

namespace AppIcon {

namespace {
// A small palette, as for a 16-colour icon.
const QColor Body(0x1b, 0x2a, 0x49);
const QColor BodyEdge(0x0d, 0x15, 0x26);
const QColor Field(0x10, 0x24, 0x3f);
const QColor Rim(0x9f, 0xb8, 0xd8);
const QColor Reticle(0xe8, 0xee, 0xf5);
const QColor Reflex(0xe0, 0x40, 0x2a);
const QColor Angle(0xf5, 0xb7, 0x00);
const QColor Info(0x1b, 0x5f, 0xae);

// Draws the reticle into a 32 by 32 unit square at the painter's origin.
void paintReticle(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(BodyEdge, 1.0));
    p.setBrush(Body);
    p.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 5, 5);

    const QPointF centre(16, 16);
    p.setPen(QPen(Rim, 1.5));
    p.setBrush(Field);
    p.drawEllipse(centre, 12.5, 12.5);

    // Crosshair with scale ticks.
    p.setPen(QPen(Reticle, 1.0, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(5, 16), QPointF(27, 16));
    p.drawLine(QPointF(16, 5), QPointF(16, 27));
    for (int k = -3; k <= 3; ++k) {
        if (k == 0)
            continue;
        const double at = 16 + 3 * k;
        p.drawLine(QPointF(at, 14.8), QPointF(at, 17.2));
        p.drawLine(QPointF(14.8, at), QPointF(17.2, at));
    }

    // The angle between the axis and the reflected cross.
    const QPointF reflex(22.5, 9.5);
    const double degrees = qRadiansToDegrees(qAtan2(centre.y() - reflex.y(), reflex.x() - centre.x()));
    p.setPen(QPen(Angle, 1.0, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawLine(centre, reflex);
    const QRectF arcBox(centre.x() - 8, centre.y() - 8, 16, 16);
    QPainterPath arc;
    arc.arcMoveTo(arcBox, 0);
    arc.arcTo(arcBox, 0, degrees);
    p.setPen(QPen(Angle, 1.4, Qt::SolidLine, Qt::FlatCap));
    p.drawPath(arc);

    // The reflected cross, slightly off centre.
    p.setPen(QPen(Reflex, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(reflex - QPointF(2.8, 0), reflex + QPointF(2.8, 0));
    p.drawLine(reflex - QPointF(0, 2.8), reflex + QPointF(0, 2.8));
}
} // namespace

QImage render(int size)
{
    const int side = qMax(1, size);
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.scale(side / 32.0, side / 32.0);
    paintReticle(p);
    return image;
}

QIcon icon()
{
    QIcon result;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        result.addPixmap(QPixmap::fromImage(render(size)));
    return result;
}

QPixmap buttonPicture()
{
    QImage image(ButtonPictureWidth, ButtonPictureHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.save();
    p.translate(1, 2);
    p.scale(28 / 32.0, 28 / 32.0);
    paintReticle(p);
    p.restore();

    // An "i" for information beside the reticle.
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(39.5, 16);
    p.setPen(QPen(BodyEdge, 1.0));
    p.setBrush(Info);
    p.drawEllipse(centre, 7.5, 7.5);
    p.setPen(Qt::NoPen);
    p.setBrush(Reticle);
    p.drawEllipse(QPointF(centre.x(), 12.2), 1.3, 1.3);
    p.drawRoundedRect(QRectF(centre.x() - 1.1, 14.6, 2.2, 6.4), 0.8, 0.8);
    p.end();
    return QPixmap::fromImage(image);
}

void decorateMainWindow(QWidget* window, QAbstractButton* infoButton)
{
    if (window)
        window->setWindowIcon(icon());
    if (infoButton) {
        infoButton->setIcon(QIcon(buttonPicture()));
        infoButton->setIconSize(QSize(ButtonPictureWidth, ButtonPictureHeight));
    }
}

} // namespace AppIcon
