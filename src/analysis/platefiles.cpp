#include "analysis/platefiles.h"

#include "state/numbers.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

#include <cmath>

namespace PlateFiles {

namespace {
const double RightAngle = 324000.0; // arcsec
const qsizetype Shown = 40;         // characters of a bad line in its error

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

std::optional<std::vector<double>> readIn(const QDir& dir, const QString& name, QString* error)
{
    return read(dir.filePath(name + QStringLiteral(".txt")), error);
}
} // namespace

std::optional<std::vector<double>> parse(const QByteArray& text, const QString& name, QString* error)
{
    std::vector<double> readings;
    int number = 0;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        ++number;
        const QByteArray line = text.mid(start, end - start).trimmed();
        // CR LF is one line end.
        start = end + (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        bool ok = false;
        const double value = line.toDouble(&ok);
        if (!ok || !(std::abs(value) < RightAngle)) {
            QString shown = QString::fromLatin1(line.left(Shown));
            if (line.size() > Shown)
                shown += QStringLiteral("...");
            fail(error,
                 QStringLiteral("%1:%2: not a reading in arcsec: \"%3\"").arg(name).arg(number).arg(shown));
            return std::nullopt;
        }
        readings.push_back(value);
    }
    if (readings.empty()) {
        fail(error, QStringLiteral("%1:%2: no readings").arg(name).arg(number));
        return std::nullopt;
    }
    return readings;
}

std::optional<std::vector<double>> read(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(error, QStringLiteral("%1:0: cannot be read: %2").arg(path, file.errorString()));
        return std::nullopt;
    }
    return parse(file.readAll(), path, error);
}

std::optional<Plate> readUnionJack(const QString& folder, double base, double diagonalBase, QString* error)
{
    const QDir dir(folder);
    const QStringList names = PlateGeometry::unionJackNames();
    Plate plate;
    for (const QString& name : names) {
        auto readings = readIn(dir, name, error);
        if (!readings)
            return std::nullopt;
        plate.readings.lines.push_back(std::move(*readings));
    }
    using G = PlateGeometry;
    const auto count = [&](int line) {
        return static_cast<int>(plate.readings.lines[static_cast<size_t>(line)].size());
    };
    // Parallel lines have equal numbers of steps.
    for (const auto& [first, others] : {std::pair{G::NE_NW, std::vector<int>{G::SE_SW, G::E_W}},
                                        std::pair{G::NE_SE, std::vector<int>{G::NW_SW, G::N_S}},
                                        std::pair{G::NW_SE, std::vector<int>{G::NE_SW}}}) {
        for (const int other : others) {
            if (count(other) != count(first)) {
                fail(error,
                     QStringLiteral("%1:0: %2 readings, but %3 has %4: parallel lines take equal steps")
                         .arg(dir.filePath(names[other] + QStringLiteral(".txt")))
                         .arg(count(other))
                         .arg(names[first] + QStringLiteral(".txt"))
                         .arg(count(first)));
                return std::nullopt;
            }
        }
    }
    plate.geometry = G::unionJack(count(G::NE_NW), count(G::NE_SE), count(G::NW_SE), base, diagonalBase);
    if (!plate.geometry.valid()) {
        fail(error, QStringLiteral("%1: %2").arg(folder, plate.geometry.problem()));
        return std::nullopt;
    }
    return plate;
}

std::optional<Plate> readGrid(const QString& folder, double rowBase, double colBase, QString* error)
{
    const QDir dir(folder);
    int rows = 0;
    int cols = 0;
    const QRegularExpression pattern(QStringLiteral("^(row|col)-([1-9][0-9]{0,5})\\.txt$"));
    const QStringList entries = dir.entryList(QDir::Files);
    for (const QString& entry : entries) {
        const QRegularExpressionMatch m = pattern.match(entry);
        if (m.hasMatch())
            (m.captured(1) == QLatin1String("row") ? rows : cols) =
                std::max(m.captured(1) == QLatin1String("row") ? rows : cols, m.captured(2).toInt());
    }
    if (rows < 2 || cols < 2) {
        fail(error, QStringLiteral("%1: a grid needs row-1.txt, row-2.txt, ... and col-1.txt, col-2.txt, ...")
                        .arg(folder));
        return std::nullopt;
    }
    Plate plate;
    plate.geometry = PlateGeometry::grid(rows, cols, rowBase, colBase);
    if (!plate.geometry.valid()) {
        fail(error, QStringLiteral("%1: %2").arg(folder, plate.geometry.problem()));
        return std::nullopt;
    }
    for (const PlateGeometry::Line& line : plate.geometry.lines()) {
        auto readings = readIn(dir, line.name, error);
        if (!readings)
            return std::nullopt;
        if (readings->size() != static_cast<size_t>(line.readings)) {
            fail(error,
                 QStringLiteral("%1:0: %2 readings, %3 expected for %4 rows and %5 columns of stations")
                     .arg(dir.filePath(line.name + QStringLiteral(".txt")))
                     .arg(readings->size())
                     .arg(line.readings)
                     .arg(rows)
                     .arg(cols));
            return std::nullopt;
        }
        plate.readings.lines.push_back(std::move(*readings));
    }
    return plate;
}

bool write(const QString& folder, const PlateGeometry& geometry, const PlateReadings& readings,
           QString* error)
{
    const QString problem = readings.problem(geometry);
    if (!problem.isEmpty())
        return fail(error, problem);
    if (!QDir().mkpath(folder))
        return fail(error, QStringLiteral("%1: the folder cannot be made").arg(folder));
    const QDir dir(folder);
    for (size_t l = 0; l < geometry.lines().size(); ++l) {
        const PlateGeometry::Line& line = geometry.lines()[l];
        QSaveFile file(dir.filePath(line.name + QStringLiteral(".txt")));
        if (!file.open(QIODevice::WriteOnly))
            return fail(error, QStringLiteral("%1: %2").arg(file.fileName(), file.errorString()));
        QByteArray text = QStringLiteral("# %1: %2 readings in arcsec, base length %3 mm\n")
                              .arg(line.title)
                              .arg(line.readings)
                              .arg(Numbers::dotText(line.base))
                              .toUtf8();
        for (const double r : readings.lines[l])
            text += Numbers::dotText(r).toLatin1() + '\n';
        if (file.write(text) != text.size() || !file.commit())
            return fail(error, QStringLiteral("%1: %2").arg(file.fileName(), file.errorString()));
    }
    return true;
}

} // namespace PlateFiles
