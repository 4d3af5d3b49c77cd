#include "journal/journalwriter.h"

#include <sqlite3.h>

#include <cmath>

namespace JournalWrite {

namespace {
const char* const PutSql = "INSERT OR REPLACE INTO lines VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, "
                           "?11, ?12, ?13, ?14, ?15, ?16, "
                           "?17, ?18)";
const char* const RemoveSql =
    "DELETE FROM lines WHERE session = ?1 AND number = ?2 AND line >= ?3 AND line < ?3 + ?4";
// Lines move in two steps so that no line number is held twice on the way.
const char* const MoveSql =
    "UPDATE lines SET line = -(line + ?4) WHERE session = ?1 AND number = ?2 AND line >= ?3";
const char* const UnflipSql = "UPDATE lines SET line = -line WHERE session = ?1 AND number = ?2 AND line < 0";
const char* const TableSql = "INSERT OR REPLACE INTO tables VALUES(?1, ?2, ?3, ?4, ?5)";
const char* const CurrentSql = "UPDATE sessions SET current = ?2 WHERE id = ?1";
const char* const LinkSql = "UPDATE sessions SET mode = ?2, device = ?3 WHERE id = ?1";
const char* const PointSql = "INSERT INTO measurements VALUES(?1, ?2, ?3, ?4, ?5, ?6)";
const char* const EndSql = "UPDATE sessions SET end = ?2 WHERE id = ?1";

void bindText(sqlite3_stmt* s, int i, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(s, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void bindReal(sqlite3_stmt* s, int i, double v)
{
    if (std::isnan(v))
        sqlite3_bind_null(s, i);
    else
        sqlite3_bind_double(s, i, v);
}
} // namespace

Writer::Writer(sqlite3* db, qint64 session, std::function<void(const QString&)> failed)
    : m_db(db), m_session(session), m_failed(std::move(failed))
{
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(m_db, "SELECT coalesce(max(seq) + 1, 0) FROM measurements WHERE session = ?1", -1,
                           &s, nullptr) == SQLITE_OK) {
        sqlite3_bind_int64(s, 1, m_session);
        if (sqlite3_step(s) == SQLITE_ROW)
            m_seq = sqlite3_column_int64(s, 0);
    }
    sqlite3_finalize(s);
    m_thread = std::thread([this] { run(); });
}

Writer::~Writer()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
    for (const auto& statement : m_statements)
        sqlite3_finalize(statement.second);
}

void Writer::post(std::vector<Op>&& batch)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(batch));
    }
    m_wake.notify_one();
}

void Writer::waitWritten()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_written.wait(lock, [this] { return m_queue.empty() && !m_busy; });
}

void Writer::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_queue.empty())
            return; // stopped with nothing left
        std::vector<Op> batch = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();
        if (!m_broken && !write(batch)) {
            m_broken = true;
            const QString text = QString::fromUtf8(sqlite3_errmsg(m_db));
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            m_failed(text);
        }
        batch.clear();
        lock.lock();
        m_busy = false;
        m_written.notify_all();
    }
}

bool Writer::write(const std::vector<Op>& batch)
{
    if (!exec("BEGIN"))
        return false;
    for (const Op& op : batch) {
        if (!apply(op))
            return false;
    }
    return exec("COMMIT");
}

bool Writer::exec(const char* sql)
{
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

sqlite3_stmt* Writer::prepare(const char* sql)
{
    // Each text above is one pointer: the statement list is searched by it.
    for (const auto& [text, s] : m_statements) {
        if (text == sql) {
            sqlite3_reset(s);
            sqlite3_clear_bindings(s);
            sqlite3_bind_int64(s, 1, m_session);
            return s;
        }
    }
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK)
        return nullptr;
    m_statements.emplace_back(sql, s);
    sqlite3_bind_int64(s, 1, m_session);
    return s;
}

bool Writer::step(sqlite3_stmt* statement)
{
    return sqlite3_step(statement) == SQLITE_DONE;
}

bool Writer::apply(const Op& op)
{
    switch (op.kind) {
    case Op::Put:
        for (const Line& l : op.lines) {
            sqlite3_stmt* s = prepare(PutSql);
            if (!s)
                return false;
            sqlite3_bind_int(s, 2, op.table);
            sqlite3_bind_int(s, 3, l.line);
            bindText(s, 4, l.cells);
            if (const std::optional<LineRecord>& r = l.record) {
                sqlite3_bind_int(s, 5, int(r->source));
                if (r->unit)
                    sqlite3_bind_int(s, 6, int(*r->unit));
                sqlite3_bind_int(s, 7, r->inch ? 1 : 0);
                sqlite3_bind_int64(s, 8, r->msecs);
                sqlite3_bind_int(s, 9, r->utcOffset);
                bindReal(s, 10, r->x);
                bindReal(s, 11, r->y);
                bindReal(s, 12, r->zeroX);
                bindReal(s, 13, r->zeroY);
                // Stations of a guided run only: other lines leave the columns NULL.
                if (r->job != 0) {
                    sqlite3_bind_int64(s, 14, r->job);
                    sqlite3_bind_int(s, 15, r->run);
                    sqlite3_bind_int(s, 16, r->station);
                    bindReal(s, 17, r->settleSd);
                    sqlite3_bind_int(s, 18, r->settleCount);
                }
            }
            if (!step(s))
                return false;
        }
        return true;
    case Op::Remove:
    case Op::Shift: {
        if (op.kind == Op::Remove) {
            sqlite3_stmt* s = prepare(RemoveSql);
            if (!s)
                return false;
            sqlite3_bind_int(s, 2, op.table);
            sqlite3_bind_int(s, 3, op.first);
            sqlite3_bind_int(s, 4, op.count);
            if (!step(s))
                return false;
        }
        sqlite3_stmt* s = prepare(MoveSql);
        if (!s)
            return false;
        sqlite3_bind_int(s, 2, op.table);
        sqlite3_bind_int(s, 3, op.kind == Op::Remove ? op.first + op.count : op.first);
        sqlite3_bind_int(s, 4, op.kind == Op::Remove ? -op.count : op.count);
        if (!step(s) || !(s = prepare(UnflipSql)))
            return false;
        sqlite3_bind_int(s, 2, op.table);
        return step(s);
    }
    case Op::TableInfo: {
        sqlite3_stmt* s = prepare(TableSql);
        if (!s)
            return false;
        sqlite3_bind_int(s, 2, op.table);
        bindText(s, 3, op.format);
        bindText(s, 4, op.header);
        bindText(s, 5, op.file);
        return step(s);
    }
    case Op::Current:
    case Op::End: {
        sqlite3_stmt* s = prepare(op.kind == Op::Current ? CurrentSql : EndSql);
        if (!s)
            return false;
        sqlite3_bind_int64(s, 2, op.value);
        return step(s);
    }
    case Op::LinkInfo: {
        sqlite3_stmt* s = prepare(LinkSql);
        if (!s)
            return false;
        bindText(s, 2, op.format);
        bindText(s, 3, op.file);
        return step(s);
    }
    case Op::Points:
        for (const Point& p : op.points) {
            sqlite3_stmt* s = prepare(PointSql);
            if (!s)
                return false;
            sqlite3_bind_int64(s, 2, m_seq++);
            sqlite3_bind_int(s, 3, p.kind);
            sqlite3_bind_int64(s, 4, p.time);
            if (p.hasX)
                sqlite3_bind_int64(s, 5, p.x);
            if (p.hasY)
                sqlite3_bind_int64(s, 6, p.y);
            if (!step(s))
                return false;
        }
        return true;
    default:
        return false;
    }
}

} // namespace JournalWrite
