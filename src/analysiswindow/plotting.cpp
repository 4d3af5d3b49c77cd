#include "analysiswindow/plotting.h"

#include <QPainter>
#include <QPicture>

#include <qcustomplot.h>

namespace Plotting {

void legendAbove(QCustomPlot* plot)
{
    plot->legend->setVisible(true);
    plot->legend->setFillOrder(QCPLegend::foColumnsFirst);
    plot->legend->setBorderPen(Qt::NoPen);
    plot->plotLayout()->insertRow(0);
    plot->plotLayout()->addElement(0, 0, plot->legend);
    plot->plotLayout()->setRowStretchFactor(0, 0.001);
    plot->axisRect()->insetLayout()->simplify();
}

void drawOnPage(QPainter& painter, QCustomPlot* plot, const QRectF& area)
{
    // Drawn at a screen's size, so its texts keep their proportions, then scaled onto the page.
    const int pictureWidth = 900;
    const int pictureHeight = static_cast<int>(pictureWidth * area.height() / area.width());
    QPicture picture;
    QCPPainter recorder(&picture);
    plot->toPainter(&recorder, pictureWidth, pictureHeight);
    recorder.end();
    painter.save();
    painter.translate(area.topLeft());
    // A picture is played back scaled to the device's resolution.
    const double dpi = picture.logicalDpiX() / static_cast<double>(painter.device()->logicalDpiX());
    painter.scale(dpi * area.width() / pictureWidth, dpi * area.height() / pictureHeight);
    painter.drawPicture(0, 0, picture);
    painter.restore();
}

QString exportName(const QString& stem, const QString& suffix, const QDateTime& when)
{
    return stem + when.toString(QStringLiteral("-yyyy-MM-dd_hh-mm.")) + suffix;
}

} // namespace Plotting
