#include "analysis/measurementlog.h"
#include "journal/journal.h"
#include "mainwindow/journalstartup.h"
#include "support/appfixture.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <sqlite3.h>

namespace {

// A journal as the first version wrote it: one session without a clean end, one line in table 2.
const char* const FirstVersion = R"(
CREATE TABLE sessions(id INTEGER PRIMARY KEY, start INTEGER NOT NULL, end INTEGER, mode TEXT, device TEXT,
                      current INTEGER NOT NULL DEFAULT 1, log_from INTEGER, log_start INTEGER NOT NULL);
CREATE TABLE tables(session INTEGER, number INTEGER, format TEXT, header TEXT, file TEXT,
                    PRIMARY KEY(session, number)) WITHOUT ROWID;
CREATE TABLE lines(session INTEGER, number INTEGER, line INTEGER, cells TEXT, source INTEGER, unit INTEGER,
                   inch INTEGER, msecs INTEGER, utc_offset INTEGER, x REAL, y REAL, zero_x REAL, zero_y REAL,
                   PRIMARY KEY(session, number, line)) WITHOUT ROWID;
CREATE TABLE measurements(session INTEGER, seq INTEGER, kind INTEGER, time INTEGER, x INTEGER, y INTEGER,
                          PRIMARY KEY(session, seq)) WITHOUT ROWID;
INSERT INTO sessions(id, start, current, log_start) VALUES(1, %1, 2, %1);
INSERT INTO lines VALUES(1, 2, 1, '1'||char(9)||'1.250', 0, 0, 0, %1, 0, 1.25, NULL, 0, 0);
PRAGMA application_id = 1414289457; PRAGMA user_version = 1;)";

// A run of the program storing every message at 100 a second into table 1; prints the stored lines and
// logged measurements each time a line is stored.
int storingRun(const QString& folder)
{
    AppFixture app;
    FormMain& w = app.start();
    const auto journal = JournalStartup::start(&w, *app.state, *app.tables, *app.link, folder);
    if (!app.connect(true))
        return 2;
    if (!app.sim(QStringLiteral("rate 100")))
        return 3;
    control<QLineEdit>(w, "TextTimer")->setText(QStringLiteral("1"));
    control<QPushButton>(w, "CommandStart")->click();
    QObject::connect(app.tables.get(), &Tables::lineStored, [&app] {
        std::printf("%d %lld\n", app.tables->table(1).count(),
                    app.link->log().count(MeasurementLog::Kind::Angles));
        std::fflush(stdout);
    });
    return QCoreApplication::exec();
}

} // namespace

class TestJournal : public QObject {
    Q_OBJECT
private slots:
    // A run killed while storing: the next start offers its tables and log; Restore brings back every line
    // and measurement older than a second before the kill, Discard starts empty. Either way the next clean
    // end leaves nothing to offer.
    void killedRunRestored_data()
    {
        QTest::addColumn<bool>("restore");
        QTest::newRow("Restore") << true;
        QTest::newRow("Discard") << false;
    }
    void killedRunRestored()
    {
        QFETCH(bool, restore);
        QTemporaryDir folder;
        QProcess run;
        run.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--storing-run"), folder.path()});
        QElapsedTimer clock;
        clock.start();
        // What the run had stored by each time: a line read at t was stored before t.
        QList<std::tuple<qint64, int, qint64>> seen;
        while (seen.isEmpty() || std::get<1>(seen.last()) < 250) {
            QVERIFY2(run.waitForReadyRead(20000), run.readAllStandardError().constData());
            while (run.canReadLine()) {
                const QList<QByteArray> f = run.readLine().trimmed().split(' ');
                seen.append({clock.elapsed(), f.value(0).toInt(), f.value(1).toLongLong()});
            }
        }
        ::kill(pid_t(run.processId()), SIGKILL);
        const qint64 killed = clock.elapsed();
        QVERIFY(run.waitForFinished(5000));
        int lines = 0;
        qint64 points = 0;
        for (const auto& [t, l, p] : seen) {
            if (t <= killed - 1000) {
                lines = l;
                points = p;
            }
        }

        AppFixture app;
        FormMain& w = app.start();
        QStringList asked;
        MessageBox::setAskHandler([&](QWidget*, const QString& text, const QStringList& buttons) {
            asked << text << buttons;
            return restore ? 0 : 1;
        });
        auto journal = JournalStartup::start(&w, *app.state, *app.tables, *app.link, folder.path());
        MessageBox::setAskHandler({});
        QCOMPARE(asked.mid(1), QStringList({"Restore", "Discard"}));
        QVERIFY2(asked[0].contains(QStringLiteral("Table 1: ")) && asked[0].contains("Table 10: 0 lines"),
                 qPrintable(asked[0]));
        const Table& t = app.tables->table(1);
        const MeasurementLog& log = app.link->log();
        if (!restore) {
            QVERIFY(t.count() == 0 && log.count(MeasurementLog::Kind::Angles) == 0);
        } else {
            QVERIFY2(t.count() >= lines && log.count(MeasurementLog::Kind::Angles) >= points,
                     qPrintable(QStringLiteral("%1 of %2 lines, %3 of %4 measurements")
                                    .arg(t.count())
                                    .arg(lines)
                                    .arg(log.count(MeasurementLog::Kind::Angles))
                                    .arg(points)));
            QCOMPARE(app.tables->currentNumber(), 1);
            for (qint32 l = 1; l <= t.count(); ++l) {
                const LineRecord* r = t.lineRecord(l);
                QVERIFY(r && r->source == LineRecord::Source::Interval && r->hasTime());
                QCOMPARE(t.cell(l, 0), QString::number(l));
                QCOMPARE(t.cell(l, 1), QStringLiteral("12.500"));
                QCOMPARE(r->x, 12.5);
            }
            const auto last = log.lastAngles();
            QVERIFY(last && last->x == 12.5 && last->y == -3.25);
            QVERIFY(log.markCount() >= lines);
        }
        journal->end();
        journal.reset();
        QVERIFY(!Journal(folder.path()).unclean());
        // The killed session read back by the tool: its table and log as CSV, a header row first.
        QProcess tool;
        tool.start(TARNOLUX_JOURNAL_TOOL, {"--folder", folder.path(), "export", "1", folder.filePath("csv")});
        QVERIFY(tool.waitForFinished(60000) && tool.exitCode() == 0);
        const auto rows = [&](const char* name) {
            return AppFixture::readFile(folder.filePath(QStringLiteral("csv/session-1-") + name)).count('\n');
        };
        QVERIFY(rows("table-1.csv") > lines && rows("log-angles.csv") > points);
        tool.start(TARNOLUX_JOURNAL_TOOL, {"--folder", folder.path(), "list"});
        QVERIFY(tool.waitForFinished(60000) && tool.readAllStandardOutput().count('\n') == 3);
    }

    // A journal that cannot be used leaves the program running without one, said once; a damaged file is
    // kept aside and a fresh one takes its place. Sessions past their days go at the next start.
    void journalsThatCannotBeUsed_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("open");       // a journal in use after the start
        QTest::addColumn<QString>("problem"); // what is said
        for (const char* damage : {"random bytes", "wrong schema", "truncated"})
            QTest::newRow(damage) << QString(damage) << true << QString();
        QTest::newRow("locked") << QString("locked") << false
                                << QString("is in use by another running TARNOLUX");
        QTest::newRow("cannot open") << QString("cannot open") << false << QString("cannot be opened (");
        QTest::newRow("disk full") << QString("disk full") << false
                                   << QString("cannot be written (database or disk is full)");
        QTest::newRow("old sessions") << QString("old sessions") << true << QString();
    }
    void journalsThatCannotBeUsed()
    {
        QFETCH(QString, fault);
        QFETCH(bool, open);
        QFETCH(QString, problem);
        QTemporaryDir folder;
        const QString path = folder.filePath(Journal::fileName());
        // The first number a statement gives, 0 for none, -1 on an error.
        const auto sql = [&](const char* statement) {
            sqlite3* db = nullptr;
            sqlite3_stmt* s = nullptr;
            sqlite3_open(qPrintable(path), &db);
            qint64 n = sqlite3_prepare_v2(db, statement, -1, &s, nullptr) == SQLITE_OK ? 0 : -1;
            const int rc = n == 0 ? sqlite3_step(s) : SQLITE_ERROR;
            n = rc == SQLITE_ROW ? sqlite3_column_int64(s, 0) : rc == SQLITE_DONE ? 0 : -1;
            sqlite3_finalize(s);
            sqlite3_close(db);
            return n;
        };
        AppState state;
        Link link(state);
        Tables tables(state);
        const auto fill = [&](Journal& j, int lines, bool begin = true) {
            if (begin)
                j.begin(tables, link);
            for (int l = 0; l < lines; ++l)
                tables.table(2).appendLine(QStringLiteral("%1\ta line long enough to fill pages").arg(l));
            j.flush();
            j.waitWritten();
        };
        std::unique_ptr<Journal> first;
        if (fault == "locked")
            first = std::make_unique<Journal>(folder.path());
        if (fault == "cannot open")
            QVERIFY(QDir().mkpath(path));
        QFile f(path);
        if (fault == "random bytes")
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray(8192, 'Z')) == 8192 && f.flush());
        if (fault == "wrong schema")
            QCOMPARE(sql("CREATE TABLE lines(a)"), 0);
        if (fault == "truncated" || fault == "old sessions") {
            Journal j(folder.path());
            fill(j, 3000);
            j.end();
        }
        if (fault == "truncated")
            QVERIFY(QFile(path).resize(QFile(path).size() / 2));
        if (fault == "old sessions")
            QCOMPARE(sql("UPDATE sessions SET start = start - 8 * 86400000"), 0);
        auto journal = std::make_unique<Journal>(folder.path(), Journal::DefaultKeepDays,
                                                 fault == "disk full" ? 300000 : Journal::DefaultMaxBytes);
        QSignalSpy failed(journal.get(), &Journal::failed);
        QCOMPARE(journal->unclean().has_value(), false);
        if (journal->isOpen())
            fill(*journal, fault == "disk full" ? 20000 : 10);
        QTRY_COMPARE(journal->isOpen(), open);
        QVERIFY2(journal->problem().contains(problem), qPrintable(journal->problem()));
        QCOMPARE(failed.count(), fault == "disk full" ? 1 : 0);
        fill(*journal, 10, false); // nothing more is said
        QCOMPARE(failed.count(), fault == "disk full" ? 1 : 0);
        const bool damaged = fault == "random bytes" || fault == "wrong schema" || fault == "truncated";
        QCOMPARE(QDir(folder.path()).entryList({"journal-damaged-*.sqlite"}).size(), damaged ? 1 : 0);
        journal->end();
        journal.reset();
        if (fault == "old sessions") {
            QCOMPARE(sql("SELECT count(*) FROM sessions"), 1);
            QCOMPARE(sql("SELECT count(*) FROM lines WHERE session NOT IN (SELECT id FROM sessions)"), 0);
        }
    }

    // A station of a guided run comes back with its job, run, station and settle figures; a journal of the
    // first version opens, is brought up to date in place and gives its lines back.
    void runStationsRestored_data()
    {
        QTest::addColumn<bool>("firstVersion");
        QTest::addColumn<bool>("read"); // by the journal tool, which leaves the file as it is
        QTest::newRow("station record") << false << false;
        QTest::newRow("first version") << true << false;
        QTest::newRow("first version, read") << true << true;
    }
    void runStationsRestored()
    {
        QFETCH(bool, firstVersion);
        QFETCH(bool, read);
        QTemporaryDir folder;
        const QString path = folder.filePath(Journal::fileName());
        AppState state;
        Link link(state);
        LineRecord station;
        station.unit = AngleUnit::Arcsec;
        station.msecs = QDateTime::currentMSecsSinceEpoch();
        station.x = 1.25;
        station.job = 7;
        station.run = 2;
        station.station = 3;
        station.settleSd = 0.0625;
        station.settleCount = 41;
        if (firstVersion) {
            sqlite3* db = nullptr;
            QCOMPARE(sqlite3_open(qPrintable(path), &db), SQLITE_OK);
            QCOMPARE(
                sqlite3_exec(
                    db, QByteArray(FirstVersion).replace("%1", QByteArray::number(station.msecs)).constData(),
                    nullptr, nullptr, nullptr),
                SQLITE_OK);
            sqlite3_close(db);
            station = LineRecord{station.source, station.unit, false, station.msecs, 0, 1.25};
        } else {
            Tables tables(state);
            Journal j(folder.path());
            j.begin(tables, link);
            tables.table(2).appendLine({QStringLiteral("1"), QStringLiteral("1.250")}, &station);
            j.flush();
            j.waitWritten();
        }
        {
            Journal journal(folder.path(), Journal::DefaultKeepDays, Journal::DefaultMaxBytes,
                            read ? Journal::Access::Read : Journal::Access::Write);
            QVERIFY(journal.isOpen());
            const auto unclean = journal.unclean();
            QVERIFY(unclean && unclean->lines[1] == 1);
            Tables tables(state);
            QVERIFY(journal.restore(*unclean, tables, link.log()));
            const LineRecord* r = tables.table(2).lineRecord(1);
            QVERIFY(r && r->x == 1.25 && r->msecs == station.msecs);
            QCOMPARE(std::tuple(r->job, r->run, r->station, r->settleCount),
                     std::tuple(station.job, station.run, station.station, station.settleCount));
            QVERIFY(r->settleSd == station.settleSd ||
                    (std::isnan(r->settleSd) && std::isnan(station.settleSd)));
        }
        QVERIFY(QDir(folder.path()).entryList({"journal-damaged-*.sqlite"}).isEmpty());
        sqlite3* db = nullptr;
        sqlite3_stmt* s = nullptr;
        QCOMPARE(sqlite3_open(qPrintable(path), &db), SQLITE_OK);
        QVERIFY(sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &s, nullptr) == SQLITE_OK);
        QVERIFY(sqlite3_step(s) == SQLITE_ROW && sqlite3_column_int(s, 0) == (read ? 1 : 2));
        sqlite3_finalize(s);
        sqlite3_close(db);
    }
};

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--storing-run") == 0)
        return storingRun(QString::fromLocal8Bit(argv[2]));
    TestJournal test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_journal.moc"
