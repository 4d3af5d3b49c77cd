#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <sqlite3.h>

#include <limits>

// Plain SQLite statements for the journal's reads.
namespace JournalSql {

// One statement, finalized when it goes.
class Query {
public:
    Query(sqlite3* db, const char* sql)
    {
        m_ok = sqlite3_prepare_v2(db, sql, -1, &m_s, nullptr) == SQLITE_OK;
    }
    ~Query() { sqlite3_finalize(m_s); }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    Query& bind(int i, qint64 v)
    {
        sqlite3_bind_int64(m_s, i, v);
        return *this;
    }
    Query& bind(int i, const QString& text)
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(m_s, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        return *this;
    }
    [[nodiscard]] bool ok() const { return m_ok; }
    bool next() { return m_ok && (m_rc = sqlite3_step(m_s)) == SQLITE_ROW; }
    [[nodiscard]] bool done() const { return m_rc == SQLITE_DONE; }
    [[nodiscard]] bool null(int c) const { return sqlite3_column_type(m_s, c) == SQLITE_NULL; }
    [[nodiscard]] qint64 integer(int c) const { return sqlite3_column_int64(m_s, c); }
    [[nodiscard]] double real(int c) const
    {
        return null(c) ? std::numeric_limits<double>::quiet_NaN() : sqlite3_column_double(m_s, c);
    }
    [[nodiscard]] QString text(int c) const
    {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(m_s, c)),
                                 sqlite3_column_bytes(m_s, c));
    }

private:
    sqlite3_stmt* m_s = nullptr;
    bool m_ok = false;
    int m_rc = SQLITE_OK;
};

[[nodiscard]] inline qint64 number(sqlite3* db, const char* sql)
{
    Query q(db, sql);
    return q.next() ? q.integer(0) : -1;
}

} // namespace JournalSql
