#include "analysiswindow/reportpages.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>

namespace ReportPages {

namespace {
constexpr int LinesPerPage = 60;
constexpr int HeaderLines = 3;
} // namespace

std::vector<Piece> layout(const std::vector<Block>& blocks)
{
    std::vector<Piece> pieces;
    int page = 0;
    int line = HeaderLines;
    const auto newPage = [&] {
        ++page;
        line = HeaderLines;
    };
    for (size_t b = 0; b < blocks.size(); ++b) {
        const Block& block = blocks[b];
        const bool titled = b > 0 && blocks[b - 1].title;
        if (line > HeaderLines && !titled)
            ++line; // a blank line between parts
        if (block.drawingLines > 0) {
            if (line + block.drawingLines > LinesPerPage)
                newPage();
            pieces.push_back({b, page, line, 0, 0, false});
            line += block.drawingLines;
            continue;
        }
        const int head = block.table ? 1 : 0;
        const int total = static_cast<int>(block.rows.size());
        // A part stays on one page when it fits one; a table starts where its header and a row fit, and a
        // title where they fit after it.
        const int together = block.title   ? 3
                             : block.table ? std::min(total, 2)
                                           : std::min(total, LinesPerPage - HeaderLines);
        if (line + together > LinesPerPage)
            newPage();
        for (int next = head; next < total;) {
            if (line + head >= LinesPerPage)
                newPage();
            const int count = std::min(total - next, LinesPerPage - line - head);
            pieces.push_back({b, page, line, next, count, block.table});
            line += head + count;
            next += count;
        }
    }
    return pieces;
}

int pageCount(const std::vector<Piece>& pieces)
{
    return pieces.empty() ? 1 : pieces.back().page + 1;
}

void paint(QPainter& painter, int width, int height, int page, const Header& header,
           const std::vector<Block>& blocks, const std::vector<Piece>& pieces, const DrawingPainter& draw)
{
    const double line = height / static_cast<double>(LinesPerPage + 2);
    const double left = width * 0.08;
    const double usable = width * 0.84;
    QFont font = painter.font();
    font.setPixelSize(std::max(1, static_cast<int>(line * 0.62)));
    painter.setPen(Qt::black);
    const auto text = [&](const QStringList& cells, const QList<double>& columns, double y, bool bold) {
        QFont f = font;
        f.setBold(bold);
        // Wide tables in a smaller type: their columns are narrow.
        if (columns.size() > 6)
            f.setPixelSize(std::max(1, static_cast<int>(line * 0.5)));
        painter.setFont(f);
        for (int i = 0; i < cells.size() && i < columns.size(); ++i)
            painter.drawText(QRectF(left + columns[i] * usable, y, usable, line),
                             Qt::AlignLeft | Qt::AlignVCenter, cells[i]);
    };
    const auto right = [&](const QString& cell, double y) {
        painter.setFont(font);
        painter.drawText(QRectF(left, y, usable, line), Qt::AlignRight | Qt::AlignVCenter, cell);
    };

    text({header.title}, {0}, line, true);
    right(QStringLiteral("Page %1 of %2").arg(page + 1).arg(pageCount(pieces)), line);
    text({header.subtitle}, {0}, 2 * line, false);
    right(header.when.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")), 2 * line);
    painter.drawLine(QPointF(left, 3.25 * line), QPointF(left + usable, 3.25 * line));

    for (const Piece& piece : pieces) {
        if (piece.page != page)
            continue;
        const Block& block = blocks[piece.block];
        double y = (piece.line + 1) * line;
        if (block.drawingLines > 0) {
            if (draw) {
                painter.save();
                draw(painter, QRectF(left, y, usable, block.drawingLines * line), block.drawing);
                painter.restore();
            }
            continue;
        }
        if (piece.header) {
            text(block.rows.first(), block.columns, y, true);
            y += line;
        }
        const int rows = static_cast<int>(block.rows.size());
        for (int i = piece.first; i < piece.first + piece.count; ++i, y += line)
            text(block.rows[i], block.columns, y,
                 (block.boldFirst && i == 0) || (block.boldLast && i == rows - 1));
    }
}

bool writePdf(const QString& file, const Header& header, const std::vector<Block>& blocks,
              const DrawingPainter& draw)
{
    QPdfWriter writer(file);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(300);
    writer.setTitle(header.title);
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    const std::vector<Piece> pieces = layout(blocks);
    const int count = pageCount(pieces);
    for (int page = 0; page < count; ++page) {
        if (page > 0 && !writer.newPage())
            return false;
        paint(painter, writer.width(), writer.height(), page, header, blocks, pieces, draw);
    }
    return painter.end();
}

} // namespace ReportPages
