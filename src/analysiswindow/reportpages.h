#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QPainter;
class QRectF;

// A signable report's parts set on A4 pages of 60 text lines, each page headed by the title and its page
// number, a subtitle and the date: a loose page still says what it belongs to.
namespace ReportPages {

// Text lines, a table (its header repeated on each page it continues on) or a drawing.
struct Block {
    QList<QStringList> rows;
    QList<double> columns; // left edge of each cell, as a share of the usable width
    bool table = false;
    bool boldFirst = false;
    bool boldLast = false;
    int drawingLines = 0; // > 0: a drawing this many lines high
    int drawing = 0;      // which drawing, for the painter of drawings
    bool title = false;   // one line kept on the table after it, without a blank line between
};

// Where a block's rows land: a page, its first text line there, and the rows first .. first + count - 1.
struct Piece {
    size_t block = 0;
    int page = 0;
    int line = 0;
    int first = 0;
    int count = 0;
    bool header = false; // a continued table: its header drawn first
};

struct Header {
    QString title;
    QString subtitle;
    QDateTime when;
};

// Draws drawing `drawing` of a block into the area.
using DrawingPainter = std::function<void(QPainter& painter, const QRectF& area, int drawing)>;

[[nodiscard]] std::vector<Piece> layout(const std::vector<Block>& blocks);
[[nodiscard]] int pageCount(const std::vector<Piece>& pieces);
// Page `page` (0-based) on a painter whose device is width x height pixels.
void paint(QPainter& painter, int width, int height, int page, const Header& header,
           const std::vector<Block>& blocks, const std::vector<Piece>& pieces, const DrawingPainter& draw);
// Every page into a PDF file; false when it could not be written. Laid out once: a long table fills
// hundreds of pages.
[[nodiscard]] bool writePdf(const QString& file, const Header& header, const std::vector<Block>& blocks,
                            const DrawingPainter& draw);

} // namespace ReportPages
