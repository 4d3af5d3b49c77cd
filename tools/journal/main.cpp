// tarnolux-journal: the sessions in TARNOLUX's journal, and one session's tables and log as CSV files.
#include "analysis/csvexport.h"
#include "analysis/logcsv.h"
#include "analysis/measurementlog.h"
#include "journal/journal.h"
#include "state/appstate.h"
#include "tables/tables.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>

#include <cstdio>

namespace {

const char* const Usage = "Usage: tarnolux-journal [--folder FOLDER] list\n"
                          "       tarnolux-journal [--folder FOLDER] export SESSION OUTPUT-FOLDER\n"
                          "FOLDER holds journal.sqlite; by default the program's own.\n";

QString when(qint64 msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs).toString(Qt::ISODate);
}

int list(const Journal& journal)
{
    std::printf("session\tstart\tend\tmode\tdevice\tlines per table\tmeasurements\n");
    for (const Journal::Session& s : journal.sessions()) {
        QStringList lines;
        for (const qint32 n : s.lines)
            lines << QString::number(n);
        std::printf("%lld\t%s\t%s\t%s\t%s\t%s\t%lld\n", s.id, qPrintable(when(s.start)),
                    s.end ? qPrintable(when(*s.end)) : "no clean end", qPrintable(s.mode),
                    qPrintable(s.device), qPrintable(lines.join(QLatin1Char(' '))), s.measurements);
    }
    return 0;
}

int exportSession(Journal& journal, qint64 id, const QString& folder)
{
    const std::vector<Journal::Session> all = journal.sessions();
    const auto s =
        std::find_if(all.begin(), all.end(), [id](const Journal::Session& s) { return s.id == id; });
    if (s == all.end() || !QDir().mkpath(folder)) {
        std::fprintf(stderr, "tarnolux-journal: no session %lld, or no folder %s\n", id, qPrintable(folder));
        return 2;
    }
    AppState state;
    Tables tables(state);
    MeasurementLog log;
    bool ok = journal.restore(*s, tables, log);
    const QDir out(folder);
    const QString prefix = QStringLiteral("session-%1-").arg(id);
    for (int n = 1; n <= Tables::Count; ++n) {
        const Table& t = tables.table(n);
        if (t.count() == 0)
            continue;
        const CsvExport::Table csv{t.format() == Tables::formatString(n, true), t.count(),
                                   [&t](qint32 line, qint32 col) { return t.cell(line, col); },
                                   [&t](qint32 line) { return t.lineRecord(line); }};
        ok = CsvExport::write(csv, out.filePath(prefix + QStringLiteral("table-%1.csv").arg(n))) && ok;
    }
    using Kind = MeasurementLog::Kind;
    if (log.count(Kind::Angles) > 0)
        ok = LogCsv::writeAngles(log, log.firstTime(Kind::Angles), log.lastTime(Kind::Angles),
                                 AngleUnit::Arcsec, 0, 0,
                                 out.filePath(prefix + QStringLiteral("log-angles.csv"))) &&
             ok;
    if (log.count(Kind::Tobar) > 0)
        ok = LogCsv::writeTobar(log, log.firstTime(Kind::Tobar), log.lastTime(Kind::Tobar),
                                out.filePath(prefix + QStringLiteral("log-tobar.csv"))) &&
             ok;
    if (!ok)
        std::fprintf(stderr, "tarnolux-journal: not every file was written\n");
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarnolux"));
    QCoreApplication::setOrganizationName(QStringLiteral("tarnolux"));
    QStringList args = QCoreApplication::arguments().mid(1);
    QString folder = Journal::defaultFolder();
    if (args.size() >= 2 && args.first() == QLatin1String("--folder")) {
        folder = args.at(1);
        args = args.mid(2);
    }
    const bool listing = args == QStringList{QStringLiteral("list")};
    bool isNumber = false;
    const qint64 id = args.value(1).toLongLong(&isNumber);
    if (!listing && !(args.size() == 3 && args.first() == QLatin1String("export") && isNumber)) {
        std::fputs(Usage, stderr);
        return 2;
    }
    Journal journal(folder, Journal::DefaultKeepDays, Journal::DefaultMaxBytes, Journal::Access::Read);
    if (!journal.isOpen()) {
        std::fprintf(stderr, "tarnolux-journal: %s\n", qPrintable(journal.problem()));
        return 1;
    }
    return listing ? list(journal) : exportSession(journal, id, args.at(2));
}
