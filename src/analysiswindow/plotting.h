#pragma once

#include <QDateTime>
#include <QString>

class QCustomPlot;
class QPainter;
class QRectF;

namespace Plotting {

// The legend in a row of its own above the plot area, its entries side by side: it hides no data.
void legendAbove(QCustomPlot* plot);

// The plot drawn into `area` of a page as lines and text, sharp at any zoom.
void drawOnPage(QPainter& painter, QCustomPlot* plot, const QRectF& area);

// The default name of an exported file, "stem-2026-12-07_14-03.suffix": exports of a day keep apart.
[[nodiscard]] QString exportName(const QString& stem, const QString& suffix,
                                 const QDateTime& when = QDateTime::currentDateTime());

} // namespace Plotting
