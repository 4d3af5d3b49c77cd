#include "analysis/measurementlog.h"
#include "journal/journal.h"
#include "journal/journalstartup.h"
#include "support/appfixture.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <cstdio>

namespace {

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
