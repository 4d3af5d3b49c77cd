#include "journal/journal.h"

#include "analysis/measurementlog.h"
#include "journal/journalquery.h"
#include "journal/journalwriter.h"
#include "link/link.h"
#include "tables/tables.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTimer>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

using JournalSql::number;
using JournalSql::Query;
using JournalWrite::Op;
using JournalWrite::Point;

namespace {

constexpr int ApplicationId = 0x544c5831;
constexpr int SchemaVersion = 2;
constexpr qint64 DayMsecs = 86400000;

const char* const Schema = R"(
CREATE TABLE sessions(id INTEGER PRIMARY KEY, start INTEGER NOT NULL, end INTEGER, mode TEXT, device TEXT,
                      current INTEGER NOT NULL DEFAULT 1, log_from INTEGER, log_start INTEGER NOT NULL);
CREATE TABLE tables(session INTEGER, number INTEGER, format TEXT, header TEXT, file TEXT,
                    PRIMARY KEY(session, number)) WITHOUT ROWID;
CREATE TABLE lines(session INTEGER, number INTEGER, line INTEGER, cells TEXT, source INTEGER, unit INTEGER,
                   inch INTEGER, msecs INTEGER, utc_offset INTEGER, x REAL, y REAL, zero_x REAL, zero_y REAL,
                   job INTEGER, run INTEGER, station INTEGER, settle_sd REAL, settle_count INTEGER,
                   PRIMARY KEY(session, number, line)) WITHOUT ROWID;
CREATE TABLE measurements(session INTEGER, seq INTEGER, kind INTEGER, time INTEGER, x INTEGER, y INTEGER,
                          PRIMARY KEY(session, seq)) WITHOUT ROWID;
)";
// Every column the program reads: a file without them is not a journal of this program. A reader takes a
// journal of the first version as well.
const char* const SchemaProbe =
    "SELECT s.id, s.start, s.end, s.mode, s.device, s.current, s.log_from, s.log_start, t.format, t.header, "
    "t.file, l.line, l.cells, l.source, l.unit, l.inch, l.msecs, l.utc_offset, l.x, l.y, l.zero_x, l.zero_y, "
    "m.seq, m.kind, m.time, m.x, m.y FROM sessions s, tables t, lines l, measurements m LIMIT 0";
const char* const RunProbe = "SELECT job, run, station, settle_sd, settle_count FROM lines LIMIT 0";
// The first version's lines lack the stations of guided runs.
const char* const UpgradeFrom1 = "BEGIN; ALTER TABLE lines ADD COLUMN job INTEGER; "
                                 "ALTER TABLE lines ADD COLUMN run INTEGER; "
                                 "ALTER TABLE lines ADD COLUMN station INTEGER; "
                                 "ALTER TABLE lines ADD COLUMN settle_sd REAL; "
                                 "ALTER TABLE lines ADD COLUMN settle_count INTEGER; "
                                 "PRAGMA user_version = 2; COMMIT;";

enum class Opened { Ok, Locked, Damaged, Failed };

bool damage(int rc)
{
    rc &= 0xff;
    return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB || rc == SQLITE_FORMAT || rc == SQLITE_SCHEMA;
}

Opened classify(int rc)
{
    if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED)
        return Opened::Locked;
    return damage(rc) ? Opened::Damaged : Opened::Failed;
}

Opened openFile(const QString& path, qint64 maxBytes, sqlite3*& db, bool read)
{
    if (read) {
        // Read-write without creating: a log left by a killed run is taken in, nothing else changes.
        const int rc =
            sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        if (rc != SQLITE_OK)
            return Opened::Failed;
        Query probe(db, "SELECT count(*) FROM sessions");
        if (probe.next())
            return Query(db, SchemaProbe).ok() ? Opened::Ok : Opened::Damaged;
        return classify(sqlite3_errcode(db));
    }
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK)
        return Opened::Failed;
    sqlite3_extended_result_codes(db, 1);
    // Held from the first access to the close: a second program finds the file locked and never shares it.
    if (sqlite3_exec(db, "PRAGMA locking_mode = EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return Opened::Failed;
    int rc = sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "PRAGMA synchronous = NORMAL; BEGIN IMMEDIATE; COMMIT", nullptr, nullptr,
                          nullptr);
    if (rc != SQLITE_OK)
        return classify(rc);
    const qint64 pageSize = std::max<qint64>(number(db, "PRAGMA page_size"), 512);
    const QByteArray limit =
        "PRAGMA max_page_count = " + QByteArray::number(std::max<qint64>(maxBytes / pageSize, 64));
    sqlite3_exec(db, limit.constData(), nullptr, nullptr, nullptr);
    const qint64 app = number(db, "PRAGMA application_id");
    const qint64 version = number(db, "PRAGMA user_version");
    if (app == 0 && version == 0 && number(db, "SELECT count(*) FROM sqlite_master") == 0) {
        const QByteArray create =
            QByteArray("BEGIN;") + Schema + "PRAGMA application_id = " + QByteArray::number(ApplicationId) +
            "; PRAGMA user_version = " + QByteArray::number(SchemaVersion) + "; COMMIT;";
        rc = sqlite3_exec(db, create.constData(), nullptr, nullptr, nullptr);
        return rc == SQLITE_OK ? Opened::Ok : classify(rc);
    }
    if (app != ApplicationId || version < 1 || version > SchemaVersion || !Query(db, SchemaProbe).ok())
        return Opened::Damaged;
    Query check(db, "PRAGMA quick_check(1)");
    if (!check.next() || check.text(0) != QLatin1String("ok"))
        return Opened::Damaged;
    if (version == 1) {
        rc = sqlite3_exec(db, UpgradeFrom1, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            return classify(rc);
        }
    }
    return Query(db, RunProbe).ok() ? Opened::Ok : Opened::Damaged;
}

// Removes sessions older than keepDays, then the oldest ones but the newest while the data takes more than
// nine tenths of maxBytes.
void retain(sqlite3* db, qint64 keepDays, qint64 maxBytes)
{
    const auto drop = [db](const char* which, qint64 value, bool newest) {
        const QByteArray ids = QByteArray("(SELECT id FROM sessions WHERE ") + which +
                               (newest ? ")" : " AND id < (SELECT max(id) FROM sessions))");
        for (const char* table : {"lines", "tables", "measurements"}) {
            Query q(db,
                    QByteArray(QByteArray("DELETE FROM ") + table + " WHERE session IN " + ids).constData());
            q.bind(1, value).next();
        }
        Query q(db, QByteArray("DELETE FROM sessions WHERE id IN " + ids).constData());
        q.bind(1, value).next();
    };
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    drop("start < ?1", QDateTime::currentMSecsSinceEpoch() - keepDays * DayMsecs, true);
    const qint64 pageSize = number(db, "PRAGMA page_size");
    while ((number(db, "PRAGMA page_count") - number(db, "PRAGMA freelist_count")) * pageSize >
               maxBytes / 10 * 9 &&
           number(db, "SELECT count(*) FROM sessions") > 1)
        drop("id = (SELECT min(id) FROM sessions) AND ?1 = ?1", 0, false);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
}

QString joined(const Table& t, qint32 row)
{
    QString s;
    for (qint32 c = 0; c < t.cols(); ++c) {
        if (c > 0)
            s += QLatin1Char('\t');
        s += t.cellView(row, c);
    }
    return s;
}

} // namespace

Journal::Journal(const QString& folder, qint64 keepDays, qint64 maxBytes, Access access)
    : m_reading(access == Access::Read), m_timer(new QTimer(this))
{
    m_timer->setInterval(TickMsecs);
    connect(m_timer, &QTimer::timeout, this, &Journal::tick);
    m_lastTime.fill(std::numeric_limits<qint64>::min());
    m_path = QDir(folder).filePath(fileName());
    if (access == Access::Write)
        QDir().mkpath(folder);
    open(m_path, keepDays, maxBytes, access);
}

Journal::~Journal()
{
    flush();
    m_writer.reset();
    sqlite3_close_v2(m_db);
}

QString Journal::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

void Journal::open(const QString& path, qint64 keepDays, qint64 maxBytes, Access access)
{
    const bool read = access == Access::Read;
    Opened opened = openFile(path, maxBytes, m_db, read);
    if (opened == Opened::Damaged && !read) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        const QString aside =
            QStringLiteral("journal-damaged-%1.sqlite")
                .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")));
        const QDir dir = QFileInfo(path).dir();
        for (const QString& end : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::rename(path + end, dir.filePath(aside + end));
        std::fprintf(stderr, "TARNOLUX: the journal was damaged and is kept as %s\n", qPrintable(aside));
        opened = openFile(path, maxBytes, m_db, false);
    }
    if (opened == Opened::Ok) {
        if (!read)
            retain(m_db, keepDays, maxBytes);
        return;
    }
    const QString why = opened == Opened::Locked
                            ? QStringLiteral("%1 is in use by another running TARNOLUX").arg(path)
                        : opened == Opened::Damaged
                            ? QStringLiteral("%1 is damaged").arg(path)
                            : QStringLiteral("%1 cannot be opened (%2)")
                                  .arg(path, m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString());
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    fail(why);
}

void Journal::fail(const QString& text)
{
    if (m_failed)
        return;
    m_failed = true;
    m_problem = m_reading ? text : QStringLiteral("Running without journal: %1").arg(text);
    m_timer->stop();
    m_pending.clear();
    // Nothing more is collected.
    if (m_tables) {
        for (int n = 1; n <= Tables::Count; ++n)
            disconnect(&m_tables->table(n), nullptr, this, nullptr);
        disconnect(m_tables, nullptr, this, nullptr);
        disconnect(m_link, nullptr, this, nullptr);
    }
    if (!m_reading)
        std::fprintf(stderr, "TARNOLUX: %s\n", qPrintable(m_problem));
    emit failed(m_problem);
}

std::optional<Journal::Session> Journal::unclean() const
{
    if (!isOpen())
        return std::nullopt;
    Query last(m_db, "SELECT id FROM sessions WHERE end IS NULL AND id = (SELECT max(id) FROM sessions)");
    if (!last.next())
        return std::nullopt;
    return session(last.integer(0));
}

std::vector<Journal::Session> Journal::sessions() const
{
    std::vector<Session> all;
    Query ids(m_db, "SELECT id FROM sessions ORDER BY id");
    while (isOpen() && ids.next())
        all.push_back(session(ids.integer(0)));
    return all;
}

Journal::Session Journal::session(qint64 id) const
{
    Session s;
    Query row(m_db, "SELECT id, start, end, mode, device FROM sessions WHERE id = ?1");
    if (row.bind(1, id).next()) {
        s = {row.integer(0), row.integer(1), std::nullopt, row.text(3), row.text(4), {}, 0};
        if (!row.null(2))
            s.end = row.integer(2);
    }
    Query lines(m_db, "SELECT number, count(*) FROM lines WHERE session = ?1 GROUP BY number");
    lines.bind(1, s.id);
    while (lines.next()) {
        if (lines.integer(0) >= 1 && lines.integer(0) <= Tables::Count)
            s.lines[size_t(lines.integer(0) - 1)] = qint32(lines.integer(1));
    }
    Query points(m_db, "WITH RECURSIVE chain(id) AS (SELECT ?1 UNION SELECT log_from FROM sessions, chain "
                       "WHERE sessions.id = chain.id AND log_from IS NOT NULL) "
                       "SELECT count(*) FROM measurements WHERE session IN chain AND kind < 2");
    points.bind(1, s.id);
    s.measurements = points.next() ? points.integer(0) : 0;
    return s;
}

bool Journal::restore(const Session& session, Tables& tables, MeasurementLog& log)
{
    if (!isOpen())
        return false;
    Query info(m_db, "SELECT number, format, header, file FROM tables WHERE session = ?1");
    info.bind(1, session.id);
    const auto inRange = [](qint64 number) { return number >= 1 && number <= Tables::Count; };
    while (info.next()) {
        if (!inRange(info.integer(0)))
            continue;
        Table& t = tables.table(int(info.integer(0)));
        t.clear();
        if (!info.text(1).isEmpty())
            t.setFormat(info.text(1));
        const QStringList header = info.text(2).split(QLatin1Char('\t'));
        t.setCols(qint32(header.size()));
        for (qint32 c = 0; c < header.size(); ++c)
            t.setCell(0, c, header.at(c));
        tables.setFileName(int(info.integer(0)), info.text(3));
    }
    // A journal of the first version, read as it is, has no stations of runs.
    const bool runs = Query(m_db, RunProbe).ok();
    Query lines(m_db,
                runs ? "SELECT number, line, cells, source, unit, inch, msecs, utc_offset, x, y, zero_x, "
                       "zero_y, job, run, station, settle_sd, settle_count "
                       "FROM lines WHERE session = ?1 ORDER BY number, line"
                     : "SELECT number, line, cells, source, unit, inch, msecs, utc_offset, x, y, zero_x, "
                       "zero_y, NULL, NULL, NULL, NULL, NULL "
                       "FROM lines WHERE session = ?1 ORDER BY number, line");
    lines.bind(1, session.id);
    std::unique_ptr<Table::Bulk> bulk;
    int bulkTable = 0;
    while (lines.next()) {
        // A file not written by this program may hold anything: lines past a table's end are left out.
        if (!inRange(lines.integer(0)) || lines.integer(1) < 1 || lines.integer(1) >= Tables::FullRows)
            continue;
        Table& t = tables.table(int(lines.integer(0)));
        if (bulkTable != lines.integer(0)) {
            bulk.reset();
            bulk = std::make_unique<Table::Bulk>(t);
            bulkTable = int(lines.integer(0));
        }
        while (t.rows() < lines.integer(1))
            t.appendLine(QStringView(), nullptr);
        LineRecord r;
        if (!lines.null(3)) {
            r.source = LineRecord::Source(
                std::clamp<qint64>(lines.integer(3), 0, qint64(LineRecord::Source::Tobar)));
            if (!lines.null(4))
                r.unit = AngleUnit(std::clamp<qint64>(lines.integer(4), -32768, 32767));
            r.inch = lines.integer(5) != 0;
            r.msecs = lines.integer(6);
            r.utcOffset = qint32(lines.integer(7));
            r.x = lines.real(8);
            r.y = lines.real(9);
            r.zeroX = lines.real(10);
            r.zeroY = lines.real(11);
            if (!lines.null(12)) {
                r.job =
                    quint32(std::clamp<qint64>(lines.integer(12), 0, std::numeric_limits<quint32>::max()));
                r.run = quint8(std::clamp<qint64>(lines.integer(13), 0, 2));
                r.station = qint32(std::clamp<qint64>(lines.integer(14), 0, Tables::FullRows));
                r.settleSd = lines.real(15);
                r.settleCount =
                    qint32(std::clamp<qint64>(lines.integer(16), 0, std::numeric_limits<qint32>::max()));
            }
        }
        const QString cells = lines.text(2);
        t.appendLine(QStringView(cells), lines.null(3) ? nullptr : &r);
    }
    bulk.reset();
    Query current(m_db, "SELECT current, log_start FROM sessions WHERE id = ?1");
    if (current.bind(1, session.id).next()) {
        tables.setCurrent(int(std::clamp<qint64>(current.integer(0), 1, Tables::Count)));
        log.setStartMsecsSinceEpoch(current.integer(1));
    }
    const qint64 start = log.startMsecsSinceEpoch();
    Query points(m_db,
                 "WITH RECURSIVE chain(id) AS (SELECT ?1 UNION SELECT log_from FROM sessions, chain "
                 "WHERE sessions.id = chain.id AND log_from IS NOT NULL) "
                 "SELECT kind, time, x, y FROM measurements WHERE session IN chain ORDER BY session, seq");
    points.bind(1, session.id);
    const double nan = MeasurementLog::NoValue;
    while (points.next()) {
        const qint64 t = points.integer(1) - start;
        switch (points.integer(0)) {
        case 0:
            log.appendAnglesAt(t,
                               points.null(2) ? nan : double(points.integer(2)) / MeasurementLog::AngleScale,
                               points.null(3) ? nan : double(points.integer(3)) / MeasurementLog::AngleScale);
            break;
        case 1:
            log.appendTobarAt(t,
                              points.null(2) ? nan : double(points.integer(2)) / MeasurementLog::TobarScale,
                              points.integer(3) != 0);
            break;
        default:
            log.markStoredAt(t);
        }
    }
    return points.done();
}

void Journal::begin(Tables& tables, Link& link, std::optional<qint64> restoredFrom)
{
    if (!isOpen())
        return;
    m_tables = &tables;
    m_link = &link;
    Query insert(m_db, "INSERT INTO sessions(start, current, log_from, log_start) VALUES(?1, ?2, ?3, ?4)");
    insert.bind(1, QDateTime::currentMSecsSinceEpoch()).bind(2, tables.currentNumber());
    if (restoredFrom)
        insert.bind(3, *restoredFrom);
    insert.bind(4, link.log().startMsecsSinceEpoch());
    if (insert.next(), !insert.done()) {
        fail(QString::fromUtf8(sqlite3_errmsg(m_db)));
        return;
    }
    m_session = sqlite3_last_insert_rowid(m_db);
    m_writer = std::make_unique<JournalWrite::Writer>(m_db, m_session, [this](const QString& text) {
        QMetaObject::invokeMethod(
            this, [this, text] { fail(QStringLiteral("%1 cannot be written (%2)").arg(m_path, text)); },
            Qt::QueuedConnection);
    });
    // A restored log is journaled already: the session goes on after it.
    const MeasurementLog& log = link.log();
    for (const MeasurementLog::Kind kind : {MeasurementLog::Kind::Angles, MeasurementLog::Kind::Tobar}) {
        if (log.count(kind) > 0) {
            m_lastTime[size_t(kind)] = log.lastTime(kind);
            m_sameTime[size_t(kind)] = log.countBetween(kind, log.lastTime(kind), log.lastTime(kind));
        }
    }
    const std::vector<qint64> marks =
        log.marks(std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
    if (!marks.empty()) {
        m_lastTime[2] = marks.back();
        m_sameTime[2] = std::count(marks.begin(), marks.end(), marks.back());
    }
    for (int n = 1; n <= Tables::Count; ++n) {
        tableInfo(n);
        putRows(n, 1, tables.table(n).rows() - 1);
        follow(n);
    }
    push(Op::Current, 0).value = tables.currentNumber();
    connect(&tables, &Tables::currentChanged, this, [this](int n) { push(Op::Current, 0).value = n; });
    const auto linkInfo = [this] {
        Op& op = push(Op::LinkInfo, 0);
        op.format = m_link->state().portMode == LinkMode::Text ? QStringLiteral("text")
                                                               : QStringLiteral("compatible");
        op.file = m_link->comPort().devicePath();
    };
    linkInfo();
    connect(&link, &Link::portOpened, this, linkInfo);
    flush();
    m_timer->start();
}

void Journal::follow(int number)
{
    Table& t = m_tables->table(number);
    connect(&t, &Table::linesInserted, this, [this, number, &t](qint32 first, qint32 count) {
        if (first + count < t.rows()) {
            Op& op = push(Op::Shift, number);
            op.first = first;
            op.count = count;
        }
        putRows(number, first, first + count - 1);
    });
    connect(&t, &Table::linesRemoved, this, [this, number](qint32 first, qint32 count) {
        Op& op = push(Op::Remove, number);
        op.first = first;
        op.count = count;
    });
    connect(&t, &Table::cellsChanged, this, [this, number, &t](qint32 first, qint32 last) {
        if (first == 0)
            tableInfo(number);
        putRows(number, std::max(first, 1), std::min(last, t.rows() - 1));
    });
    connect(&t, &Table::formatChanged, this, [this, number] { tableInfo(number); });
    connect(&t, &Table::columnsChanged, this, [this, number, &t] {
        tableInfo(number);
        putRows(number, 1, t.rows() - 1);
    });
}

Op& Journal::push(int kind, int table)
{
    m_pending.emplace_back();
    m_pending.back().kind = kind;
    m_pending.back().table = table;
    return m_pending.back();
}

void Journal::putRows(int number, qint32 first, qint32 last)
{
    if (!m_writer || m_failed || last < first)
        return;
    const Table& t = m_tables->table(number);
    // A line written cell after cell (the memory readout) stays one change.
    Op* op = nullptr;
    if (!m_pending.empty() && m_pending.back().kind == Op::Put && m_pending.back().table == number &&
        !m_pending.back().lines.empty() && first >= m_pending.back().lines.front().line &&
        first <= m_pending.back().lines.back().line + 1)
        op = &m_pending.back();
    else
        op = &push(Op::Put, number);
    for (qint32 row = first; row <= last; ++row) {
        const LineRecord* r = t.lineRecord(row);
        JournalWrite::Line line{row, joined(t, row), r ? std::optional<LineRecord>(*r) : std::nullopt};
        const qint32 at = op->lines.empty() ? -1 : row - op->lines.front().line;
        if (at >= 0 && at < qint32(op->lines.size()))
            op->lines[size_t(at)] = std::move(line);
        else
            op->lines.push_back(std::move(line));
    }
}

void Journal::tableInfo(int number)
{
    if (!m_writer || m_failed)
        return;
    const Table& t = m_tables->table(number);
    Op& op = push(Op::TableInfo, number);
    op.format = t.format();
    op.header = joined(t, 0);
    op.file = m_tables->fileName(number);
    m_fileNames[size_t(number - 1)] = op.file;
}

void Journal::collectLog()
{
    const MeasurementLog& log = m_link->log();
    const qint64 start = log.startMsecsSinceEpoch();
    std::vector<Point> points;
    std::array<qint64, 3> skip = m_sameTime;
    // Points at the newest time already journaled come first: as many as were journaled are skipped.
    const auto take = [&](int kind, qint64 time, const auto& add) {
        qint64& last = m_lastTime[size_t(kind)];
        qint64& same = m_sameTime[size_t(kind)];
        if (skip[size_t(kind)] > 0 && time == last) {
            --skip[size_t(kind)];
            return;
        }
        skip[size_t(kind)] = 0;
        if (time == last) {
            ++same;
        } else {
            last = time;
            same = 1;
        }
        Point p;
        p.kind = qint8(kind);
        p.time = time + start;
        add(p);
        points.push_back(p);
    };
    const qint64 end = std::numeric_limits<qint64>::max();
    log.visitAngles(m_lastTime[0], end, [&](const MeasurementLog::AnglePoint& a) {
        take(0, a.time, [&a](Point& p) {
            p.hasX = !std::isnan(a.x);
            p.hasY = !std::isnan(a.y);
            p.x = p.hasX ? std::llround(a.x * MeasurementLog::AngleScale) : 0;
            p.y = p.hasY ? std::llround(a.y * MeasurementLog::AngleScale) : 0;
        });
        return true;
    });
    log.visitTobar(m_lastTime[1], end, [&](const MeasurementLog::TobarPoint& v) {
        take(1, v.time, [&v](Point& p) {
            p.hasX = !std::isnan(v.value);
            p.x = p.hasX ? std::llround(v.value * MeasurementLog::TobarScale) : 0;
            p.hasY = true;
            p.y = v.inch ? 1 : 0;
        });
        return true;
    });
    for (const qint64 mark : log.marks(m_lastTime[2], end))
        take(2, mark, [](Point&) {});
    if (!points.empty())
        push(Op::Points, 0).points = std::move(points);
}

void Journal::tick()
{
    flush();
}

void Journal::flush()
{
    if (!m_writer || m_failed)
        return;
    for (int n = 1; n <= Tables::Count; ++n) {
        if (m_tables->fileName(n) != m_fileNames[size_t(n - 1)])
            tableInfo(n);
    }
    collectLog();
    if (!m_pending.empty())
        m_writer->post(std::exchange(m_pending, {}));
}

void Journal::waitWritten()
{
    if (m_writer)
        m_writer->waitWritten();
}

void Journal::end()
{
    if (!m_writer || m_failed)
        return;
    flush();
    push(Op::End, 0).value = QDateTime::currentMSecsSinceEpoch();
    m_writer->post(std::exchange(m_pending, {}));
    m_writer->waitWritten();
    m_timer->stop();
}
