#pragma once

// A straightness job's report read back as text, and the Python oracle's figures for its readings.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <cmath>
#include <utility>
#include <vector>

namespace RunReportText {

// The oracle's figures for readings (arcsec, station 1 first) of a job of base length mm.
inline QJsonObject oracle(double baseLength, const std::vector<double>& forward,
                          const std::vector<double>& backward)
{
    const auto array = [](const std::vector<double>& values) {
        QJsonArray a;
        for (const double v : values)
            a.append(v);
        return a;
    };
    const QJsonObject input{
        {"baseLength", baseLength}, {"forward", array(forward)}, {"backward", array(backward)}};
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral(TARNOLUX_ORACLE)});
    python.write(QJsonDocument(input).toJson());
    python.closeWriteChannel();
    return python.waitForFinished() ? QJsonDocument::fromJson(python.readAllStandardOutput()).object()
                                    : QJsonObject();
}

// The PDF's text, a string per page.
inline QStringList pages(const QString& file)
{
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), file, QStringLiteral("-")});
    return text.waitForFinished() ? QString::fromUtf8(text.readAll()).split('\f', Qt::SkipEmptyParts)
                                  : QStringList();
}

// Empty when the printed figure is the expected one to a nanometre (its last digit), else why not.
inline QString off(const QString& printed, double expected, const QString& what)
{
    return std::abs(printed.toDouble() - expected) <= 0.0011
               ? QString()
               : QStringLiteral("%1: %2 printed, %3 expected").arg(what, printed).arg(expected);
}

// Compares the report's station table (forward, backward, mean height and reversal per station) and its
// three deviations with the oracle's; empty when all agree to a nanometre, else the first difference.
inline QString differences(const QString& report, const QJsonObject& expected, int stations)
{
    const QRegularExpression stationRow(
        R"(^ *(\d+) +[\d.]+ +(-?\d+\.\d{3}) +(-?\d+\.\d{3}) +(-?\d+\.\d{3}) +(-?\d+\.\d{3}) *$)",
        QRegularExpression::MultilineOption);
    int station = 0;
    for (auto m = stationRow.globalMatch(report); m.hasNext(); ++station) {
        const QRegularExpressionMatch row = m.next();
        if (row.captured(1).toInt() != station)
            return QStringLiteral("station %1 printed as %2").arg(station).arg(row.captured(1));
        for (const auto& [column, key] : {std::pair(2, "forward"), std::pair(3, "backward"),
                                          std::pair(4, "mean"), std::pair(5, "reversal")}) {
            const QString why = off(row.captured(column), expected[key].toArray()[station].toDouble(),
                                    QStringLiteral("station %1 %2").arg(station).arg(key));
            if (!why.isEmpty())
                return why;
        }
    }
    if (station != stations + 1)
        return QStringLiteral("%1 station rows, %2 expected").arg(station).arg(stations + 1);
    const QStringList names{"End points", "Least squares", "Minimum zone"};
    const QStringList keys{"endPoints", "leastSquares", "minimumZone"};
    for (int i = 0; i < 3; ++i) {
        const auto m =
            QRegularExpression("\n *" + names[i] + R"( +(\d+\.\d{3}) +(\d+\.\d{3}) *\n)").match(report);
        if (!m.hasMatch())
            return names[i] + QStringLiteral(" not printed");
        const QString why = off(m.captured(1), expected["deviations"][keys[i]].toDouble(), names[i]);
        if (!why.isEmpty())
            return why;
    }
    return {};
}

} // namespace RunReportText
