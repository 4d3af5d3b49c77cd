// tarnolux-plate: a surface plate's flatness from a folder of line files, as CSV on standard output.
#include "analysis/flatness.h"
#include "analysis/platefiles.h"

#include <QCoreApplication>

#include <cmath>
#include <cstdio>
#include <optional>

namespace {

const char* const Usage =
    "Usage: tarnolux-plate union-jack FOLDER --base MM [--diagonal-base MM]\n"
    "       tarnolux-plate grid FOLDER --row-base MM --col-base MM\n"
    "FOLDER holds one file per line (NW-SE.txt .. N-S.txt, or row-<i>.txt and\n"
    "col-<j>.txt): readings in arcsec, one per line; # comments and blank lines skipped.\n";

int usage()
{
    std::fputs(Usage, stderr);
    return 2;
}

// The options after the folder as name and value pairs; any other text: nothing.
std::optional<std::vector<std::pair<QString, double>>> options(const QStringList& args)
{
    std::vector<std::pair<QString, double>> result;
    for (qsizetype i = 2; i < args.size(); i += 2) {
        bool ok = false;
        const double value = args.value(i + 1).toDouble(&ok);
        if (!args[i].startsWith(QLatin1String("--")) || !ok || !std::isfinite(value))
            return std::nullopt;
        result.emplace_back(args[i], value);
    }
    return result;
}

void print(const QList<QStringList>& rows)
{
    for (const QStringList& row : rows)
        std::printf("%s\n", row.join(QLatin1Char(',')).toUtf8().constData());
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    const auto given = options(args);
    if (args.size() < 2 || !given)
        return usage();
    const auto value = [&given](const char* name) -> std::optional<double> {
        for (const auto& [option, number] : *given) {
            if (option == QLatin1String(name))
                return number;
        }
        return std::nullopt;
    };
    for (const auto& [option, number] : *given) {
        if (option != QLatin1String("--base") && option != QLatin1String("--diagonal-base") &&
            option != QLatin1String("--row-base") && option != QLatin1String("--col-base"))
            return usage();
    }
    QString error;
    std::optional<PlateFiles::Plate> plate;
    if (args[0] == QLatin1String("union-jack") && value("--base") && !value("--row-base") &&
        !value("--col-base"))
        plate = PlateFiles::readUnionJack(args[1], *value("--base"),
                                          value("--diagonal-base").value_or(PlateGeometry::NaN), &error);
    else if (args[0] == QLatin1String("grid") && value("--row-base") && value("--col-base") &&
             !value("--base") && !value("--diagonal-base"))
        plate = PlateFiles::readGrid(args[1], *value("--row-base"), *value("--col-base"), &error);
    else
        return usage();
    if (!plate) {
        std::fprintf(stderr, "tarnolux-plate: %s\n", error.toUtf8().constData());
        return 2;
    }
    const Flatness flatness = Flatness::evaluate(plate->geometry, plate->readings);
    if (!flatness.done()) {
        std::fprintf(stderr, "tarnolux-plate: %s: %s\n", args[1].toUtf8().constData(),
                     flatness.problem().toUtf8().constData());
        return 2;
    }
    print(flatness.stationRows());
    std::printf("\n");
    print(flatness.figureRows());
    return 0;
}
