#include "tables/recovery.h"

#include "tables/table.h"
#include "tables/tablefiles.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cstdio>
#include <set>

namespace Recovery {

namespace {
const char* causeName(Cause cause)
{
    switch (cause) {
    case Cause::ModeChange:
        return "mode-change";
    case Cause::Shutdown:
        return "shutdown";
    case Cause::ClearTable:
        return "clear-table";
    case Cause::Readout:
        return "readout";
    case Cause::OpenFile:
        return "open-file";
    }
    return "table";
}

void reportOnce(Cause cause, const QString& what)
{
    static std::set<Cause> reported;
    if (reported.insert(cause).second)
        std::fprintf(stderr, "tarnolux: no recovery copy (%s): %s\n", causeName(cause), qPrintable(what));
}

// Only the copies this program named are counted and removed, never other files in the folder.
void removeOldest(QDir& dir)
{
    static const QRegularExpression copyName(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d_table\\d+_[a-z-]+(_\\d+)?\\.txt$"));
    QStringList copies = dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
    copies.removeIf([](const QString& name) { return !copyName.match(name).hasMatch(); });
    // The date and time lead the name, so the name order is the age order.
    for (qsizetype i = 0; i + Kept < copies.size(); ++i)
        dir.remove(copies.at(i));
}
} // namespace

QString folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
           QStringLiteral("/recovery");
}

QString keep(const Table& table, int tableNumber, Cause cause, bool useComma)
{
    if (table.rows() < 2)
        return {};
    QDir dir(folder());
    if (!dir.mkpath(QStringLiteral("."))) {
        reportOnce(cause, QStringLiteral("cannot create ") + dir.path());
        return {};
    }
    const QString stem = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) +
                         QStringLiteral("_table") + QString::number(tableNumber) + QLatin1Char('_') +
                         QLatin1String(causeName(cause));
    QString path = dir.filePath(stem + QStringLiteral(".txt"));
    for (int n = 2; QFileInfo::exists(path); ++n) // several copies within one second
        path = dir.filePath(stem + QLatin1Char('_') + QString::number(n) + QStringLiteral(".txt"));
    if (!TableFiles::saveTable(table, path, useComma)) {
        reportOnce(cause, QStringLiteral("cannot write ") + path);
        return {};
    }
    removeOldest(dir);
    return path;
}

} // namespace Recovery
