#include "analysiswindow/platecertificate.h"

#include "analysis/conformity.h"
#include "analysiswindow/platedrawing.h"
#include "state/numbers.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
// Lines of the 60 on a page that a drawing takes.
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
    add(QStringLiteral("Description"), objectDescription.simplified());
    add(QStringLiteral("Operator"), operatorName);
    add(QStringLiteral("Instrument"), instrumentType);
    add(QStringLiteral("Serial number"), instrumentSerial);
    add(QStringLiteral("Kind"),
        jack ? QStringLiteral("Union Jack, %1 lines").arg(g.lines().size())
             : QStringLiteral("grid of %1 \u00d7 %2 stations").arg(g.rows()).arg(g.cols()));
    add(QStringLiteral("Measured area"),
        QStringLiteral("%1 mm \u00d7 %2 mm (diagonal %3 mm)")
            .arg(fixed(g.length(), 1), fixed(g.width(), 1), fixed(std::hypot(g.length(), g.width()), 1)));
    add(QStringLiteral("Plate size"),
        QStringLiteral("%1 x %2 mm")
            .arg(Numbers::dotText(g.plateLength(), 1), Numbers::dotText(g.plateWidth(), 1)));
    add(QStringLiteral("Temperature"), std::isfinite(temperature)
                                           ? fixed(temperature, 1) + QStringLiteral(" \u00b0C")
                                           : QStringLiteral("not stated"));
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
            judged += QStringLiteral(", grade %1 over the plate's diagonal of %2 mm")
                          .arg(PlateUncertainty::gradeName(judgement.grade), fixed(g.plateDiagonal(), 1));
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

std::vector<ReportPages::Block> PlateCertificate::blocks() const
{
    std::vector<ReportPages::Block> out;
    out.push_back({plateRows(), {0, 0.3}, false, false, 0});
    out.push_back({figureRows(), {0, 0.3, 0.55}, false, true, 0});
    out.push_back({{}, {}, false, false, false, DrawingLines, 1});
    out.push_back({{}, {}, false, false, false, DrawingLines, 2});
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
        out.push_back({closures, {0, 0.3, 0.5, 0.7}, true, true});
    for (int l = 0; l < static_cast<int>(g.lines().size()); ++l) {
        out.push_back(
            {{{QStringLiteral("Line %1: %2")
                   .arg(g.lines()[static_cast<size_t>(l)].name, g.lines()[static_cast<size_t>(l)].title)}},
             {0},
             false,
             true,
             false,
             0,
             0,
             true});
        const QList<QStringList> rows = lineRows(flatness, l);
        QList<double> columns;
        for (int c = 0; c < rows.first().size(); ++c)
            columns << static_cast<double>(c) / rows.first().size();
        out.push_back({rows, columns, true, true});
    }
    const QString blank(30, QLatin1Char('_'));
    const QString date(14, QLatin1Char('_'));
    out.push_back({{{QStringLiteral("Measured by"), blank, QStringLiteral("Date"), date},
                    {},
                    {QStringLiteral("Checked by"), blank, QStringLiteral("Date"), date}},
                   {0, 0.16, 0.62, 0.7}});
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

ReportPages::Header PlateCertificate::header() const
{
    return {QStringLiteral("TARNOLUX surface plate flatness certificate"),
            objectId.isEmpty() ? QStringLiteral("Surface plate")
                               : QStringLiteral("Surface plate ") + objectId,
            when};
}

void PlateCertificate::draw(QPainter& painter, const QRectF& area, int drawing) const
{
    if (drawing == 1)
        PlateDrawing::plan(painter, area, flatness);
    else
        PlateDrawing::isometric(painter, area, flatness);
}

int PlateCertificate::pages() const
{
    return ReportPages::pageCount(ReportPages::layout(blocks()));
}

void PlateCertificate::paint(QPainter& painter, int width, int height, int page) const
{
    const std::vector<ReportPages::Block> content = blocks();
    ReportPages::paint(painter, width, height, page, header(), content, ReportPages::layout(content),
                       [this](QPainter& p, const QRectF& area, int drawing) { draw(p, area, drawing); });
}

bool PlateCertificate::writePdf(const QString& file) const
{
    return ReportPages::writePdf(
        file, header(), blocks(),
        [this](QPainter& p, const QRectF& area, int drawing) { draw(p, area, drawing); });
}
