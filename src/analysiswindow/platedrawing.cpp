#include "analysiswindow/platedrawing.h"

#include "analysis/flatness.h"
#include "state/numbers.h"

#include <QPainter>
#include <QPainterPath>

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>

namespace PlateDrawing {

namespace {
// Plate millimetres onto the area, north at the top, the aspect kept.
struct Frame {
    double scale = 1, left = 0, bottom = 0;
    Frame(const QRectF& area, double length, double width, double margin)
    {
        const double w = std::max(1.0, area.width() - 2 * margin);
        const double h = std::max(1.0, area.height() - 2 * margin);
        scale = std::min(w / std::max(length, 1e-9), h / std::max(width, 1e-9));
        left = area.left() + (area.width() - length * scale) / 2;
        bottom = area.bottom() - (area.height() - width * scale) / 2;
    }
    [[nodiscard]] QPointF at(double x, double y) const { return {left + x * scale, bottom - y * scale}; }
};

QFont sized(QPainter& painter, double pixels)
{
    QFont font = painter.font();
    font.setPixelSize(std::max(1, static_cast<int>(pixels)));
    return font;
}
} // namespace

void plan(QPainter& painter, const QRectF& area, const Flatness& flatness)
{
    if (!flatness.done())
        return;
    const PlateGeometry& g = flatness.geometry();
    const double margin = std::min(area.width(), area.height()) * 0.08;
    const Frame frame(area, g.length(), g.width(), margin);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::gray, std::max(1.0, margin / 30)));
    painter.drawRect(QRectF(frame.at(0, g.width()), frame.at(g.length(), 0)));
    for (const PlateGeometry::Line& line : g.lines())
        painter.drawLine(frame.at(line.x0, line.y0), frame.at(line.x1, line.y1));
    const double dot = std::max(2.0, margin / 8);
    painter.setFont(sized(painter, margin * 0.32));
    const std::vector<double>& heights = flatness.heights();
    for (size_t p = 0; p < g.points().size(); ++p) {
        const PlateGeometry::Point& point = g.points()[p];
        if (point.stations == 0)
            continue;
        const QPointF at = frame.at(point.x, point.y);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 90, 170));
        painter.drawEllipse(at, dot / 2, dot / 2);
        painter.setPen(Qt::black);
        painter.drawText(at + QPointF(dot * 0.6, -dot * 0.6), Numbers::dotText(heights[p], 2));
    }
    painter.setFont(sized(painter, margin * 0.45));
    painter.drawText(QRectF(area.left(), area.top(), area.width(), margin), Qt::AlignCenter,
                     QStringLiteral("N (heights in \u00b5m)"));
    painter.restore();
}

void isometric(QPainter& painter, const QRectF& area, const Flatness& flatness)
{
    if (!flatness.done())
        return;
    const PlateGeometry& g = flatness.geometry();
    // Oblique: north runs up and to the right at 30 degrees, foreshortened by half.
    const double cosA = 0.5 * std::cos(M_PI / 6), sinA = 0.5 * std::sin(M_PI / 6);
    const double spanX = g.length() + g.width() * cosA;
    const double spanY = g.width() * sinA;
    const double margin = std::min(area.width(), area.height()) * 0.06;
    const double scale = std::min((area.width() - 2 * margin) / std::max(spanX, 1e-9),
                                  (area.height() - 2 * margin) * 0.6 / std::max(spanY, 1e-9));
    double low = 0, high = 0;
    for (double h : flatness.heights()) {
        if (std::isfinite(h)) {
            low = std::min(low, h);
            high = std::max(high, h);
        }
    }
    // The highest point rises to a third of the drawing's height.
    const double lift = high > low ? (area.height() - 2 * margin) * 0.33 / (high - low) : 0;
    const double left = area.left() + (area.width() - spanX * scale) / 2;
    // Centred in height: the outline's depth plus the highest rise.
    const double drawn = spanY * scale + (high - low) * lift;
    const double base = area.bottom() - margin - std::max(0.0, area.height() - 2 * margin - drawn) / 2;
    const auto at = [&](double x, double y, double h) {
        return QPointF(left + (x + y * cosA) * scale, base - y * sinA * scale - (h - low) * lift);
    };
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double pen = std::max(1.0, margin / 20);
    painter.setPen(QPen(Qt::gray, pen, Qt::DashLine));
    painter.drawPolygon(QPolygonF{at(0, 0, low), at(g.length(), 0, low), at(g.length(), g.width(), low),
                                  at(0, g.width(), low)});
    painter.setPen(QPen(QColor(0, 90, 170), pen * 1.5));
    for (size_t l = 0; l < g.lines().size(); ++l) {
        const PlateGeometry::Line& line = g.lines()[l];
        QPolygonF profile;
        for (int s = 0; s <= line.readings; ++s)
            profile << at(line.x(s), line.y(s), flatness.height(static_cast<int>(l), s));
        painter.drawPolyline(profile);
    }
    painter.setPen(Qt::black);
    painter.setFont(sized(painter, margin * 0.5));
    painter.drawText(
        QRectF(area.left(), area.top(), area.width(), margin * 1.5), Qt::AlignCenter,
        QStringLiteral("Heights %1 to %2 \u00b5m").arg(Numbers::dotText(low, 2), Numbers::dotText(high, 2)));
    painter.restore();
}

void colourMap(QCustomPlot* plot, const Flatness& flatness)
{
    plot->clearPlottables();
    // The colour scale beside the map, made once.
    auto* scale = plot->plotLayout()->elementCount() > 1
                      ? qobject_cast<QCPColorScale*>(plot->plotLayout()->element(0, 1))
                      : nullptr;
    if (!scale) {
        scale = new QCPColorScale(plot);
        plot->plotLayout()->addElement(0, 1, scale);
        scale->axis()->setLabel(QStringLiteral("Height [\u00b5m]"));
    }
    if (!flatness.done()) {
        plot->replot();
        return;
    }
    const PlateGeometry& g = flatness.geometry();
    constexpr int Cells = 60;
    auto* map = new QCPColorMap(plot->xAxis, plot->yAxis);
    map->data()->setSize(Cells, Cells);
    map->data()->setRange(QCPRange(0, g.length()), QCPRange(0, g.width()));
    const std::vector<double>& heights = flatness.heights();
    for (int i = 0; i < Cells; ++i) {
        for (int j = 0; j < Cells; ++j) {
            double x = 0, y = 0;
            map->data()->cellToCoord(i, j, &x, &y);
            double sum = 0, weights = 0;
            for (size_t p = 0; p < g.points().size(); ++p) {
                const PlateGeometry::Point& point = g.points()[p];
                if (point.stations == 0)
                    continue;
                const double d2 = (point.x - x) * (point.x - x) + (point.y - y) * (point.y - y);
                const double w = 1 / std::max(d2, 1e-9);
                sum += w * heights[p];
                weights += w;
            }
            map->data()->setCell(i, j, weights > 0 ? sum / weights : 0);
        }
    }
    map->setColorScale(scale);
    map->setGradient(QCPColorGradient::gpJet);
    map->rescaleDataRange(true);
    plot->xAxis->setLabel(QStringLiteral("x [mm]"));
    plot->yAxis->setLabel(QStringLiteral("y [mm]"));
    plot->rescaleAxes();
    plot->replot();
}

} // namespace PlateDrawing

void PlateView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!m_flatness)
        return;
    if (m_mode == Mode::Plan)
        PlateDrawing::plan(painter, QRectF(rect()), *m_flatness);
    else
        PlateDrawing::isometric(painter, QRectF(rect()), *m_flatness);
}
