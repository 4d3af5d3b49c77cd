#include "analysiswindow/runreport.h"

#include "analysis/conformity.h"
#include "analysiswindow/plotting.h"
#include "state/numbers.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
// Lines of the 60 on a page that the plot takes.
constexpr int PlotLines = 22;
constexpr int WrapAt = 70; // characters of a value column: what fits at the report's font

const QString Micro = QStringLiteral("\u00b5m");

QString thousandths(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("-");
    QString text = Numbers::fixedText(value, 3);
    if (text.startsWith(QLatin1Char('-')) &&
        std::none_of(text.cbegin(), text.cend(), [](QChar c) { return c >= '1' && c <= '9'; }))
        text.remove(0, 1);
    return text;
}

QString plain(double value)
{
    return Numbers::dotText(value, 6);
}

// A value broken into lines at blanks, none longer than `width` unless a single word is.
QStringList wrapped(QString text, int width)
{
    text.replace(QLatin1Char('\r'), QString()).replace(QLatin1Char('\t'), QLatin1Char(' '));
    QStringList lines;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        QString line;
        for (QString word : paragraph.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (!line.isEmpty() && line.size() + 1 + word.size() > width) {
                lines << line;
                line.clear();
            }
            while (word.size() > width) {
                lines << word.left(width);
                word.remove(0, width);
            }
            line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
        }
        lines << line;
    }
    return lines;
}
} // namespace

QList<QStringList> RunReport::jobRows() const
{
    QList<QStringList> rows;
    const auto add = [&rows](const QString& name, const QString& value) {
        const QStringList lines = wrapped(value, WrapAt);
        for (int i = 0; i < lines.size(); ++i)
            rows << QStringList{i == 0 ? name : QString(), lines[i]};
    };
    const int readings = job.readingCount();
    add(QStringLiteral("Object"), job.objectId);
    add(QStringLiteral("Description"), job.objectDescription);
    add(QStringLiteral("Operator"), job.operatorName);
    add(QStringLiteral("Instrument"), job.instrumentType);
    add(QStringLiteral("Serial number"), job.instrumentSerial);
    add(QStringLiteral("Angle uncertainty (u)"),
        QStringLiteral("%1 arcsec + %2 \u00b7 |reading|")
            .arg(plain(job.angleUncertaintyA), plain(job.angleUncertaintyB)));
    add(QStringLiteral("Temperature"), std::isfinite(job.temperature)
                                           ? QStringLiteral("%1 \u00b0C").arg(plain(job.temperature))
                                           : QStringLiteral("not stated"));
    add(QStringLiteral("Axis"), job.axis == 2 ? QStringLiteral("Y") : QStringLiteral("X"));
    add(QStringLiteral("Base length"),
        QStringLiteral("%1 mm (u = %2 mm)").arg(plain(job.baseLength), plain(job.baseLengthUncertainty)));
    QString count = QStringLiteral("%1 (%2 stations)").arg(readings).arg(readings + 1);
    if (job.lineLength > 0)
        count = QStringLiteral("%1 (%2 stations, line %3 mm)")
                    .arg(readings)
                    .arg(readings + 1)
                    .arg(plain(job.lineLength));
    add(QStringLiteral("Readings per run"), count);
    add(QStringLiteral("Runs"), job.runs == StraightnessJob::Runs::ForwardBackward
                                    ? QStringLiteral("forward and backward")
                                    : QStringLiteral("forward"));
    add(QStringLiteral("Settle criterion"), QStringLiteral("max - min within %1 arcsec over %2 s")
                                                .arg(plain(job.settleBand), plain(job.settleSeconds)));
    add(QStringLiteral("Tolerance"),
        job.tolerance > 0
            ? QStringLiteral("%1 %2 (%3)").arg(plain(job.tolerance), Micro, Straightness::name(job.reference))
            : QStringLiteral("none"));
    add(QStringLiteral("Remarks"), job.remarks);
    if (measuredFrom.isValid() && measuredTo.isValid()) {
        const QString format = QStringLiteral("yyyy-MM-dd hh:mm:ss");
        add(QStringLiteral("Measured"),
            measuredFrom.date() == measuredTo.date()
                ? QStringLiteral("%1 to %2")
                      .arg(measuredFrom.toString(format), measuredTo.toString(QStringLiteral("hh:mm:ss")))
                : QStringLiteral("%1 to %2").arg(measuredFrom.toString(format), measuredTo.toString(format)));
    }
    return rows;
}

QString RunReport::verdict() const
{
    const Straightness::Reference r = job.reference;
    return Conformity::text(Conformity::decide(run.mean().deviation(r),
                                               uncertainty.done ? uncertainty.expanded(r) : Straightness::NaN,
                                               job.tolerance));
}

QList<QStringList> RunReport::figureRows() const
{
    const bool two = run.backward().has_value();
    QList<QStringList> rows{{two ? QStringLiteral("Mean of the runs") : QStringLiteral("Forward run"),
                             QStringLiteral("Deviation [%1]").arg(Micro),
                             QStringLiteral("U (k = 2) [%1]").arg(Micro)}};
    for (const Straightness::Reference r : Straightness::References)
        rows << QStringList{Straightness::name(r), thousandths(run.mean().deviation(r)),
                            uncertainty.done ? thousandths(uncertainty.expanded(r)) : QStringLiteral("-")};
    if (two) {
        rows << QStringList{QStringLiteral("Reversal SD [%1]").arg(Micro), thousandths(run.reversalSd())}
             << QStringList{QStringLiteral("Reversal max [%1]").arg(Micro), thousandths(run.reversalMax())};
    }
    rows << QStringList{
        QStringLiteral("Uncertainty"),
        QStringLiteral("U = 2u, Monte Carlo propagation of the readings, %1 trials").arg(uncertainty.trials)};
    const QString decided = verdict();
    if (!decided.isEmpty())
        rows << QStringList{QStringLiteral("Verdict (%1)").arg(Straightness::name(job.reference)), decided};
    return rows;
}

QList<QStringList> RunReport::stationRows(const StraightnessRun& run)
{
    const std::vector<Straightness::Station>& forward = run.forward().stations();
    const std::vector<Straightness::Station>& mean = run.mean().stations();
    const std::optional<Straightness>& backward = run.backward();
    QList<QStringList> rows;
    if (!backward) {
        rows << QStringList{QStringLiteral("Station"), QStringLiteral("Position [mm]"),
                            QStringLiteral("Height [%1]").arg(Micro)};
        for (size_t i = 0; i < forward.size(); ++i)
            rows << QStringList{QString::number(i), Numbers::dotText(forward[i].position, 3),
                                thousandths(forward[i].height)};
        return rows;
    }
    rows << QStringList{QStringLiteral("Station"),
                        QStringLiteral("Position [mm]"),
                        QStringLiteral("Forward [%1]").arg(Micro),
                        QStringLiteral("Backward [%1]").arg(Micro),
                        QStringLiteral("Mean [%1]").arg(Micro),
                        QStringLiteral("Reversal [%1]").arg(Micro)};
    const std::vector<double>& reversal = run.reversal();
    for (size_t i = 0; i < mean.size(); ++i) {
        const auto at = [i](const std::vector<Straightness::Station>& s) {
            return i < s.size() ? thousandths(s[i].height) : QStringLiteral("-");
        };
        rows << QStringList{
            QString::number(i), Numbers::dotText(mean[i].position, 3),
            at(forward),        at(backward->stations()),
            at(mean),           i < reversal.size() ? thousandths(reversal[i]) : QStringLiteral("-")};
    }
    return rows;
}

std::vector<ReportPages::Block> RunReport::blocks() const
{
    std::vector<ReportPages::Block> out;
    out.push_back({jobRows(), {0, 0.3}, false, false, false, 0});
    out.push_back({figureRows(), {0, 0.3, 0.55}, false, true, !verdict().isEmpty(), 0});
    out.push_back({{}, {}, false, false, false, PlotLines, 0});
    out.push_back({stationRows(run), {0, 0.1, 0.26, 0.44, 0.62, 0.8}, true, true, false, 0});
    const QString blank(30, QLatin1Char('_'));
    const QString date(14, QLatin1Char('_'));
    out.push_back({{{QStringLiteral("Measured by"), blank, QStringLiteral("Date"), date},
                    {},
                    {QStringLiteral("Checked by"), blank, QStringLiteral("Date"), date}},
                   {0, 0.16, 0.62, 0.7},
                   false,
                   false,
                   false,
                   0});
    return out;
}

ReportPages::Header RunReport::header() const
{
    QString title = QStringLiteral("Job %1").arg(job.id);
    if (!job.objectId.isEmpty())
        title += QStringLiteral(", ") + job.objectId;
    return {QStringLiteral("TARNOLUX straightness run report"), title, when};
}

void RunReport::drawPlot(QPainter& painter, const QRectF& area) const
{
    if (plot)
        Plotting::drawOnPage(painter, plot, area);
}

int RunReport::pages() const
{
    return ReportPages::pageCount(ReportPages::layout(blocks()));
}

void RunReport::paint(QPainter& painter, int width, int height, int page) const
{
    const std::vector<ReportPages::Block> parts = blocks();
    ReportPages::paint(painter, width, height, page, header(), parts, ReportPages::layout(parts),
                       [this](QPainter& p, const QRectF& area, int) { drawPlot(p, area); });
}

bool RunReport::writePdf(const QString& file) const
{
    return ReportPages::writePdf(file, header(), blocks(),
                                 [this](QPainter& p, const QRectF& area, int) { drawPlot(p, area); });
}
