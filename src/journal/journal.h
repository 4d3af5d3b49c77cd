#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

#include <array>
#include <memory>
#include <optional>
#include <vector>

class Link;
class MeasurementLog;
class QTimer;
class Tables;
struct sqlite3;

namespace JournalWrite {
struct Op;
class Writer;
} // namespace JournalWrite

// The journal: every table change and the measurement log of each session in an SQLite file, so that a
// session that ended without a clean shut-down can be restored at the next start. The GUI thread only
// collects changes; every tick hands them as one batch (one transaction) to a writer thread that owns the
// connection. Any fault (no file, a second program holding it, a damaged file, a full disk) leaves the
// program running without journal.
class Journal : public QObject {
    Q_OBJECT
public:
    static constexpr int TickMsecs = 200;
    static constexpr qint64 DefaultKeepDays = 7;
    static constexpr qint64 DefaultMaxBytes = qint64(2) << 30;

    // A session as restore offers it and readers list it.
    struct Session {
        qint64 id = 0;
        qint64 start = 0;               // ms since the epoch
        std::optional<qint64> end;      // its clean end
        QString mode, device;           // the link's
        std::array<qint32, 10> lines{}; // per table
        qint64 measurements = 0;        // in its log
    };
    // Writing: the program's own journal. Reading: a look into a journal, which is left as it is.
    enum class Access { Write, Read };

    // Opens folder/journal.sqlite, removing sessions older than keepDays and, past maxBytes, the oldest.
    explicit Journal(const QString& folder, qint64 keepDays = DefaultKeepDays,
                     qint64 maxBytes = DefaultMaxBytes, Access access = Access::Write);
    // Writes what is pending; the session stays without a clean end unless end() was called.
    ~Journal() override;

    // AppLocalDataLocation.
    [[nodiscard]] static QString defaultFolder();
    [[nodiscard]] static QString fileName() { return QStringLiteral("journal.sqlite"); }
    [[nodiscard]] bool isOpen() const { return m_db != nullptr && !m_failed; }
    // Why the program runs without journal; empty while it has one.
    [[nodiscard]] QString problem() const { return m_problem; }

    // The newest session when it has no clean end (and was not restored or discarded yet).
    [[nodiscard]] std::optional<Session> unclean() const;
    // Every session, oldest first.
    [[nodiscard]] std::vector<Session> sessions() const;
    // The session's tables, current table and measurement log into tables and log (which must be empty).
    bool restore(const Session& session, Tables& tables, MeasurementLog& log);

    // A new session that follows tables and the link's log; restoredFrom: the session restored into them.
    void begin(Tables& tables, Link& link, std::optional<qint64> restoredFrom = {});
    // The session's clean end: everything written, then its end time.
    void end();
    // Hands what is pending to the writer now.
    void flush();
    // Until the writer has written every batch handed over.
    void waitWritten();

signals:
    // The journal stopped; text says why.
    void failed(const QString& text);

private:
    void open(const QString& path, qint64 keepDays, qint64 maxBytes, Access access);
    [[nodiscard]] Session session(qint64 id) const;
    void fail(const QString& text);
    void tick();
    void follow(int number);
    void putRows(int number, qint32 first, qint32 last);
    void tableInfo(int number);
    void collectLog();
    JournalWrite::Op& push(int kind, int table);

    sqlite3* m_db = nullptr;
    bool m_reading = false;
    bool m_failed = false;
    QString m_problem;
    QString m_path;
    qint64 m_session = 0;
    Tables* m_tables = nullptr;
    Link* m_link = nullptr;
    std::unique_ptr<JournalWrite::Writer> m_writer;
    std::vector<JournalWrite::Op> m_pending;
    QTimer* m_timer = nullptr;
    std::array<QString, 10> m_fileNames;
    // Newest log time journaled per kind (angles, TOBAR, stored marks) and how many points carry it.
    std::array<qint64, 3> m_lastTime{};
    std::array<qint64, 3> m_sameTime{};
};
