#include "analysiswindow/plotting.h"

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

QString exportName(const QString& stem, const QString& suffix, const QDateTime& when)
{
    return stem + when.toString(QStringLiteral("-yyyy-MM-dd_hh-mm.")) + suffix;
}

} // namespace Plotting
