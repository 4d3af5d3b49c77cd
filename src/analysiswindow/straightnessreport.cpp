#include "analysiswindow/straightnessreport.h"

#include "analysiswindow/plotting.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>

namespace {
// Text lines per page height, at 1/60 of the page height each: every page starts with a header of three,
// the first page gives 36 to the header, the inputs, the figures and the plot.
constexpr int LinesPerPage = 60;
constexpr int HeaderLines = 3;
constexpr int FirstPageUsed = 36;

int tableRowsOn(int page)
{
    return LinesPerPage - (page == 0 ? FirstPageUsed : HeaderLines) - 1;
}
} // namespace

int StraightnessReport::pages(int) const
{
    const int stations = static_cast<int>(result.stations().size());
    int pages = 1;
    for (int shown = tableRowsOn(0); shown < stations; shown += tableRowsOn(pages++)) {
    }
    return pages;
}

void StraightnessReport::paint(QPainter& painter, int width, int height, int page) const
{
    const double line = height / static_cast<double>(LinesPerPage + 2);
    const double left = width * 0.08;
    const double usable = width * 0.84;
    QFont font = painter.font();
    font.setPixelSize(std::max(1, static_cast<int>(line * 0.62)));
    painter.setFont(font);
    painter.setPen(Qt::black);
    double y = line;
    const auto text = [&](const QStringList& cells, const QList<double>& columns, bool bold = false) {
        QFont f = font;
        f.setBold(bold);
        painter.setFont(f);
        for (int i = 0; i < cells.size() && i < columns.size(); ++i)
            painter.drawText(QRectF(left + columns[i] * usable, y, usable, line),
                             Qt::AlignLeft | Qt::AlignVCenter, cells[i]);
        y += line;
    };
    const QList<double> stationColumns{0, 0.1, 0.2, 0.38, 0.6, 0.8};
    const auto right = [&](const QString& cell, double at) {
        painter.drawText(QRectF(left, at, usable, line), Qt::AlignRight | Qt::AlignVCenter, cell);
    };

    // The header of every page: a loose page still says what it belongs to.
    right(QStringLiteral("Page %1 of %2").arg(page + 1).arg(pages(height)), y);
    text({QStringLiteral("TARNOLUX straightness report")}, {0}, true);
    painter.setFont(font);
    right(when.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")), y);
    text({fileName.isEmpty() ? QStringLiteral("Table %1").arg(table)
                             : QStringLiteral("Table %1 (%2)").arg(table).arg(fileName)},
         {0});
    painter.drawLine(QPointF(left, y + line / 4), QPointF(left + usable, y + line / 4));
    y += line;

    if (page == 0) {
        for (const QStringList& row : result.inputRows())
            text(row, {0, 0.3});
        text({QStringLiteral("Reference line drawn"), Straightness::name(reference)}, {0, 0.3});
        y += line / 2;
        const QList<QStringList> figures = result.figureRows();
        for (int i = 0; i < figures.size(); ++i)
            text(figures[i], {0, 0.3, 0.55}, i == 0);
        y += line / 2;
        if (plot)
            Plotting::drawOnPage(painter, plot, QRectF(left, y, usable, (FirstPageUsed - 1) * line - y));
        y = FirstPageUsed * line;
    }
    text(Straightness::stationHeader(unit), stationColumns, true);
    qsizetype first = 0;
    for (int p = 0; p < page; ++p)
        first += tableRowsOn(p);
    const qsizetype stations = static_cast<qsizetype>(result.stations().size());
    for (qsizetype i = first; i < std::min(stations, first + tableRowsOn(page)); ++i)
        text(result.stationRow(static_cast<size_t>(i), reference, unit), stationColumns);
}

bool StraightnessReport::writePdf(const QString& file) const
{
    QPdfWriter writer(file);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(300);
    writer.setTitle(QStringLiteral("TARNOLUX straightness report"));
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    const int width = writer.width();
    const int height = writer.height();
    const int count = pages(height);
    for (int page = 0; page < count; ++page) {
        if (page > 0 && !writer.newPage())
            return false;
        paint(painter, width, height, page);
    }
    return painter.end();
}
