#include "analysiswindow/platecertificate.h"

#include "analysis/conformity.h"
#include "analysiswindow/platedrawing.h"
#include "state/numbers.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>

namespace {
// As the job report: 60 text lines a page, a header of three on each.
constexpr int LinesPerPage = 60;
constexpr int HeaderLines = 3;
constexpr int DrawingLines = 24;
const QString Micro = QStringLiteral("\u00b5m");

QString fixed(double value, int decimals = 3)
{
    if (!std::isfinite(value))
        return QStringLiteral("-");
    QString text = Numbers::fixedText(value, decimals);
    // A miss that rounds to nothing reads as none, not as "-0.000".
    if (text.startsWith(QLatin1Char('-')) &&
        std::none_of(text.cbegin(), text.cend(), [](QChar c) { return c >= '1' && c <= '9'; }))
        text.remove(0, 1);
    return text;
}

QString plain(double value)
{
    return Numbers::dotText(value, 6);
}
} // namespace

QList<QStringList> PlateCertificate::plateRows() const
{
    const PlateGeometry& g = flatness.geometry();
    const bool jack = g.kind() == PlateGeometry::Kind::UnionJack;
    QList<QStringList> rows;
    const auto add = [&rows](const QString& name, const QString& value) { rows << QStringList{name, value}; };
    add(QStringLiteral("Object"), objectId);
    add(QStringLiteral("Operator"), operatorName);
    add(QStringLiteral("Kind"),
        jack ? QStringLiteral("Union Jack, %1 lines").arg(g.lines().size())
             : QStringLiteral("grid of %1 \u00d7 %2 stations").arg(g.rows()).arg(g.cols()));
    add(QStringLiteral("Measured area"),
        QStringLiteral("%1 mm \u00d7 %2 mm (diagonal %3 mm)")
            .arg(fixed(g.length(), 1), fixed(g.width(), 1), fixed(g.plateDiagonal(), 1)));
    QStringList steps;
    for (const PlateGeometry::Line& line : g.lines()) {
        if (jack || steps.isEmpty() || line.name.startsWith(QLatin1String("col")))
            steps << QStringLiteral("%1: %2 \u00d7 %3 mm")
                         .arg(line.name)
                         .arg(line.readings)
                         .arg(fixed(line.base));
        if (!jack && line.name.startsWith(QLatin1String("col")))
            break;
    }
    for (int i = 0; i < steps.size(); i += 3)
        add(i == 0 ? QStringLiteral("Steps \u00d7 base length") : QString(),
            steps.mid(i, 3).join(QStringLiteral(", ")));
    add(QStringLiteral("Angle uncertainty (u)"),
        QStringLiteral("%1 arcsec + %2 \u00b7 |reading|")
            .arg(plain(angleUncertaintyA), plain(angleUncertaintyB)));
    add(QStringLiteral("Base length uncertainty (u)"),
        QStringLiteral("%1 mm").arg(plain(baseLengthUncertainty)));
    add(QStringLiteral("Method"),
        jack ? QStringLiteral("classic evaluation of 1955; least squares of all lines; minimum zone")
             : QStringLiteral("least squares of all lines; minimum zone"));
    const double tolerance = judgement.toleranceFor(g);
    QString judged = QStringLiteral("none");
    if (tolerance > 0) {
        judged = QStringLiteral("%1 %2 (%3)").arg(fixed(tolerance), Micro, Flatness::name(judgement.figure));
        if (!(judgement.tolerance > 0))
            judged += QStringLiteral(", grade ") + PlateUncertainty::gradeName(judgement.grade);
    }
    add(QStringLiteral("Tolerance"), judged);
    if (!remarks.isEmpty())
        add(QStringLiteral("Remarks"), remarks.simplified());
    return rows;
}

QString PlateCertificate::verdict() const
{
    return Conformity::text(PlateUncertainty::verdict(flatness, uncertainty, judgement));
}

QList<QStringList> PlateCertificate::figureRows() const
{
    QList<QStringList> rows{{QStringLiteral("Flatness"), QStringLiteral("Value [%1]").arg(Micro),
                             QStringLiteral("U (k = 2) [%1]").arg(Micro)}};
    for (const Flatness::Figure f : Flatness::Figures) {
        const double value = flatness.figure(f);
        if (!std::isfinite(value))
            continue;
        rows << QStringList{Flatness::name(f), fixed(value),
                            uncertainty.done ? fixed(uncertainty.expanded(f)) : QStringLiteral("-")};
    }
    rows << QStringList{QStringLiteral("Reading SD [arcsec]"), fixed(flatness.readingSd())};
    if (flatness.classic().done())
        rows << QStringList{QStringLiteral("Closure E-W / N-S [%1]").arg(Micro),
                            fixed(flatness.classic().closureEastWest()) + QStringLiteral(" / ") +
                                fixed(flatness.classic().closureNorthSouth())};
    rows << QStringList{
        QStringLiteral("Uncertainty"),
        QStringLiteral("U = 2u, Monte Carlo propagation of the readings, %1 trials").arg(uncertainty.trials)};
    const QString decided = verdict();
    if (!decided.isEmpty())
        rows << QStringList{QStringLiteral("Verdict (%1)").arg(Flatness::name(judgement.figure)), decided};
    return rows;
}

std::vector<PlateCertificate::Block> PlateCertificate::blocks() const
{
    std::vector<Block> out;
    out.push_back({plateRows(), {0, 0.3}, false, false, 0});
    out.push_back({figureRows(), {0, 0.3, 0.55}, false, true, 0});
    out.push_back({{}, {}, false, false, 1});
    out.push_back({{}, {}, false, false, 2});
    QList<QStringList> closures{{QStringLiteral("Closure at"), QStringLiteral("Line"),
                                 QStringLiteral("Station"), QStringLiteral("Miss [%1]").arg(Micro)}};
    const PlateGeometry& g = flatness.geometry();
    for (const Flatness::Closure& c : flatness.closures()) {
        const PlateGeometry::Point& p = g.points()[static_cast<size_t>(c.point)];
        closures << QStringList{QStringLiteral("x %1, y %2 mm").arg(fixed(p.x, 1), fixed(p.y, 1)),
                                g.lines()[static_cast<size_t>(c.line)].name,
                                c.station < 0 ? QStringLiteral("middle") : QString::number(c.station),
                                fixed(c.um)};
    }
    if (closures.size() > 1)
        out.push_back({closures, {0, 0.3, 0.5, 0.7}, true, true, 0});
    for (int l = 0; l < static_cast<int>(g.lines().size()); ++l) {
        out.push_back(
            {{{QStringLiteral("Line %1: %2")
                   .arg(g.lines()[static_cast<size_t>(l)].name, g.lines()[static_cast<size_t>(l)].title)}},
             {0},
             false,
             true,
             0});
        const QList<QStringList> rows = lineRows(flatness, l);
        QList<double> columns;
        for (int c = 0; c < rows.first().size(); ++c)
            columns << static_cast<double>(c) / rows.first().size();
        out.push_back({rows, columns, true, true, 0});
    }
    const QString blank(30, QLatin1Char('_'));
    const QString date(14, QLatin1Char('_'));
    out.push_back({{{QStringLiteral("Measured by"), blank, QStringLiteral("Date"), date},
                    {},
                    {QStringLiteral("Checked by"), blank, QStringLiteral("Date"), date}},
                   {0, 0.16, 0.62, 0.7},
                   false,
                   false,
                   0});
    return out;
}

QList<QStringList> PlateCertificate::lineRows(const Flatness& flatness, int line)
{
    const PlateGeometry& g = flatness.geometry();
    const PlateGeometry::Line& geometry = g.lines()[static_cast<size_t>(line)];
    const std::vector<double>& residuals = flatness.residuals()[static_cast<size_t>(line)];
    const bool classic = flatness.classic().done();
    QList<QStringList> rows;
    if (classic)
        rows << QStringList{QStringLiteral("Stn"),
                            QStringLiteral("Reading [\u2033]"),
                            QStringLiteral("Displ. [\u2033]"),
                            QStringLiteral("Sum [\u2033]"),
                            QStringLiteral("Cum. [%1]").arg(Micro),
                            QStringLiteral("Corr. [%1]").arg(Micro),
                            QStringLiteral("Classic [%1]").arg(Micro),
                            QStringLiteral("LSQ [%1]").arg(Micro),
                            QStringLiteral("Resid. [\u2033]")};
    else
        rows << QStringList{QStringLiteral("Station"),
                            QStringLiteral("x [mm]"),
                            QStringLiteral("y [mm]"),
                            QStringLiteral("Reading [\u2033]"),
                            QStringLiteral("Height [%1]").arg(Micro),
                            QStringLiteral("Residual [\u2033]")};
    const std::vector<double>& readings = flatness.readings().lines[static_cast<size_t>(line)];
    for (int s = 0; s <= geometry.readings; ++s) {
        const QString reading = s > 0 ? fixed(readings[static_cast<size_t>(s - 1)], 2) : QString();
        const QString residual = s > 0 ? fixed(residuals[static_cast<size_t>(s - 1)], 3) : QString();
        const QString height = fixed(flatness.height(line, s));
        if (classic) {
            const PlateClassic::Station& c =
                flatness.classic().lines()[static_cast<size_t>(line)][static_cast<size_t>(s)];
            rows << QStringList{QString::number(s),
                                reading,
                                s > 0 ? fixed(c.displacement, 2) : QString(),
                                fixed(c.sum, 2),
                                fixed(c.cumulative),
                                fixed(c.correction),
                                fixed(c.height),
                                height,
                                residual};
        } else {
            rows << QStringList{QString::number(s),
                                fixed(geometry.x(s), 1),
                                fixed(geometry.y(s), 1),
                                reading,
                                height,
                                residual};
        }
    }
    return rows;
}

std::vector<PlateCertificate::Piece> PlateCertificate::layout(const std::vector<Block>& blocks)
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
        // A line's title sits on its table: no blank line between them.
        const bool title = b > 0 && blocks[b - 1].rows.size() == 1 && !blocks[b - 1].table && block.table;
        if (line > HeaderLines && !title)
            ++line;
        if (block.drawing > 0) {
            if (line + DrawingLines > LinesPerPage)
                newPage();
            pieces.push_back({b, page, line, 0, 0, false});
            line += DrawingLines;
            continue;
        }
        const int head = block.table ? 1 : 0;
        const int total = static_cast<int>(block.rows.size());
        // A title keeps its table's header and first row with it.
        const bool titled = b + 1 < blocks.size() && total == 1 && blocks[b + 1].table;
        const int together = titled        ? 3
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

int PlateCertificate::pages() const
{
    const std::vector<Piece> pieces = layout(blocks());
    return pieces.empty() ? 1 : pieces.back().page + 1;
}

void PlateCertificate::paint(QPainter& painter, int width, int height, int page) const
{
    const std::vector<Block> content = blocks();
    paint(painter, width, height, page, content, layout(content));
}

void PlateCertificate::paint(QPainter& painter, int width, int height, int page,
                             const std::vector<Block>& content, const std::vector<Piece>& pieces) const
{
    const int count = pieces.empty() ? 1 : pieces.back().page + 1;
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
    text({QStringLiteral("TARNOLUX surface plate flatness certificate")}, {0}, line, true);
    right(QStringLiteral("Page %1 of %2").arg(page + 1).arg(count), line);
    text({objectId.isEmpty() ? QStringLiteral("Surface plate") : QStringLiteral("Surface plate ") + objectId},
         {0}, 2 * line, false);
    right(when.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")), 2 * line);
    painter.drawLine(QPointF(left, 3.25 * line), QPointF(left + usable, 3.25 * line));

    for (const Piece& piece : pieces) {
        if (piece.page != page)
            continue;
        const Block& block = content[piece.block];
        double y = (piece.line + 1) * line;
        if (block.drawing > 0) {
            const QRectF area(left, y, usable, DrawingLines * line);
            painter.save();
            if (block.drawing == 1)
                PlateDrawing::plan(painter, area, flatness);
            else
                PlateDrawing::isometric(painter, area, flatness);
            painter.restore();
            continue;
        }
        if (piece.header) {
            text(block.rows.first(), block.columns, y, true);
            y += line;
        }
        for (int i = piece.first; i < piece.first + piece.count; ++i, y += line)
            text(block.rows[i], block.columns, y, block.boldFirst && i == 0);
    }
}

bool PlateCertificate::writePdf(const QString& file) const
{
    QPdfWriter writer(file);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(300);
    writer.setTitle(QStringLiteral("TARNOLUX surface plate flatness certificate"));
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    const std::vector<Block> content = blocks();
    const std::vector<Piece> pieces = layout(content);
    const int count = pieces.empty() ? 1 : pieces.back().page + 1;
    for (int page = 0; page < count; ++page) {
        if (page > 0 && !writer.newPage())
            return false;
        paint(painter, writer.width(), writer.height(), page, content, pieces);
    }
    return painter.end();
}
