#pragma once

#include "analysis/linerecord.h"

#include <QString>
#include <QtGlobal>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace JournalWrite {

struct Line {
    qint32 line = 0;
    QString cells; // TAB between cells
    std::optional<LineRecord> record;
};

// A logged point: kind 0 angles (thousandths of an arcsecond), 1 TOBAR (ten-thousandths of its unit, y: 1
// inch, 0 mm), 2 a stored line's time; time in ms since the epoch.
struct Point {
    qint8 kind = 0;
    bool hasX = false;
    bool hasY = false;
    qint64 time = 0;
    qint64 x = 0;
    qint64 y = 0;
};

// One change, in the order it happened.
struct Op {
    enum Kind { Put, Remove, Shift, TableInfo, Current, LinkInfo, Points, End };
    int kind = Put;
    int table = 0;
    qint32 first = 0;
    qint32 count = 0;
    std::vector<Line> lines;
    std::vector<Point> points;
    QString format, header, file; // TableInfo; LinkInfo: format holds the mode, file the device
    qint64 value = 0;             // Current: the table; End: the time
};

// Owns the connection from its start: writes each batch handed over in one transaction. After an error it
// drops every further batch and reports once.
class Writer {
public:
    Writer(sqlite3* db, qint64 session, std::function<void(const QString&)> failed);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void post(std::vector<Op>&& batch);
    void waitWritten();

private:
    void run();
    bool write(const std::vector<Op>& batch);
    bool apply(const Op& op);
    bool exec(const char* sql);
    bool step(sqlite3_stmt* statement);
    sqlite3_stmt* prepare(const char* sql);

    sqlite3* m_db;
    qint64 m_session;
    qint64 m_seq = 0;
    std::function<void(const QString&)> m_failed;
    bool m_broken = false;
    std::vector<std::pair<const char*, sqlite3_stmt*>> m_statements;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_written;
    std::deque<std::vector<Op>> m_queue;
    bool m_busy = false;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace JournalWrite
