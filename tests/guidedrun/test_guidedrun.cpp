// A guided straightness run: when a station is stored, and a whole job walked on the simulator.
#include "support/appfixture.h"
#include "support/runreport.h"
#include "support/tables.h"

#include "analysis/guidedrun.h"
#include "analysiswindow/analysiswindow.h"
#include "analysiswindow/flatnesspage.h"
#include "analysiswindow/runjobform.h"
#include "analysiswindow/runpage.h"
#include "analysiswindow/straightnesspage.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>

#include <functional>
#include <map>

namespace {
// Stations 1 .. 3 forward only, 0.5 s within 0.3 arcsec.
StraightnessJob shortJob()
{
    StraightnessJob job;
    job.readings = 3;
    job.runs = StraightnessJob::Runs::Forward;
    job.settleSeconds = 0.5;
    job.settleBand = 0.3;
    return job;
}

// The X texts of a table's lines.
QStringList xTexts(const Table& t)
{
    QStringList out;
    for (qint32 line = 1; line <= t.count(); ++line)
        out << t.cell(line, 1);
    return out;
}
// The run page, the program connected to the simulator sending 50 messages a second; null when the
// simulator refused the rate.
AnalysisWindow* openRunPage(AppFixture& app, FormMain& w)
{
    app.connect(true);
    if (!app.sim("rate 50"))
        return nullptr;
    control<QAction>(w, "ActionStraightnessRun")->trigger();
    return &w.analysis();
}
} // namespace

class TestGuidedRun : public QObject {
    Q_OBJECT

private slots:
    // Readings 50 ms apart on X: "v*n" n readings of v, "v~n" and "v^n" n readings alternating v -+ 0.1 and
    // v -+ 0.2, "-*n" n invalid ones; "lost" the link lost, and the operator's "now" (store), "retake",
    // "pause", "resume" and "cancel". The X values stored, in order.
    void settleAndRearm_data()
    {
        columns<QString, QStringList>("readings", "stored");
        row("still reading settles once", "1*30", QStringList{"1.000"});
        row("too short never settles", "1*10", QStringList{});
        row("noise above the band never settles", "1^40", QStringList{});
        row("invalid readings never settle", "-*40", QStringList{});
        row("an invalid reading restarts the window", "1*8 -*1 1*8", QStringList{});
        row("moved off the band re-arms", "1*12 1.2*12 2*12", QStringList{"1.000", "2.000"});
        row("an invalid reading re-arms", "1*12 -*1 1*12", QStringList{"1.000", "1.000"});
        row("a lost link re-arms", "1*12 lost 1*12", QStringList{"1.000", "1.000"});
        row("mean of the window's 11 readings", "3*4 1.1~12", QStringList{"1.091"});
        row("store now: the mean of the last settle time", "5^20 -*10 1~6 now", QStringList{"1.000"});
        row("store now without a valid reading", "lost -*3 now", QStringList{});
        row("retake: the station again", "1*12 2*12 retake 2.5*12", QStringList{"1.000", "2.500"});
        row("paused: nothing settles", "pause 1*30", QStringList{});
        row("resumed: the settle time anew", "1*8 pause 1*8 resume 1*10", QStringList{});
        row("resumed and settled", "1*8 pause 1*8 resume 1*11", QStringList{"1.000"});
        row("cancelled: lines stay, none added", "1*12 cancel 2*12", QStringList{"1.000"});
        row("the last station ends the run", "1*12 2*12 3*12 4*12", QStringList{"1.000", "2.000", "3.000"});
    }
    void settleAndRearm()
    {
        QFETCH(QString, readings);
        QFETCH(QStringList, stored);
        AppState state;
        Tables tables(state);
        tables.setupForMode();
        JobBook book;
        GuidedRun run(state, tables, book);
        QCOMPARE(run.start(shortJob()), QString());
        qint64 t = 1000;
        for (const QString& part : readings.split(' ')) {
            const std::map<QString, std::function<void()>> acts{
                {"lost", [&] { run.linkLost(); }}, {"now", [&] { (void)run.storeNow(); }},
                {"retake", [&] { run.retake(); }}, {"pause", [&] { run.pause(); }},
                {"resume", [&] { run.resume(); }}, {"cancel", [&] { run.cancel(); }}};
            if (acts.count(part)) {
                acts.at(part)();
                continue;
            }
            const QStringList vn = part.split(QRegularExpression("[*~^]"));
            const double swing = part.contains('~') ? 0.1 : part.contains('^') ? 0.2 : 0.0;
            for (int i = 0; i < vn[1].toInt(); ++i, t += 50) {
                const double v = vn[0].toDouble() + (i % 2 ? swing : -swing);
                run.addReading(v, 0.5, vn[0] == "-" ? 0 : 3, t);
            }
        }
        QCOMPARE(xTexts(tables.table(1)), stored);
        QCOMPARE(run.state() == GuidedRun::State::Finished, tables.table(1).count() == 3);
    }

    // The forward run takes the current table when empty, else the next empty one; without one, no start.
    void tablesChosen()
    {
        AppState state;
        Tables tables(state);
        tables.setupForMode();
        JobBook book;
        GuidedRun run(state, tables, book);
        StraightnessJob job = shortJob();
        job.runs = StraightnessJob::Runs::ForwardBackward;
        for (int n : {1, 2, 4, 5, 6, 7, 8, 9, 10})
            (void)tables.storeStation(n, 1, 1, tables.recordNow(LineRecord::Source::Button, 1));
        QVERIFY(run.start(job).contains("backward run"));
        tables.setCurrent(10);
        tables.table(4).clear();
        QCOMPARE(run.start(job), QString());
        QCOMPARE(std::pair(run.job().forwardTable, run.job().backwardTable), std::pair(3, 4));
        QVERIFY(book.find(run.job().id) && !run.start(job).isEmpty()); // one run at a time
        run.cancel();
        for (int n : {3, 4})
            (void)tables.storeStation(n, 1, 1, tables.recordNow(LineRecord::Source::Button, 1));
        QVERIFY(run.start(job).contains("forward run"));
    }

    // A plate's lines each into a table of their own, the job knowing which; a retake crosses back into
    // the line before; a table written meanwhile is passed over.
    void plateLinesIntoTables()
    {
        AppState state;
        Tables tables(state);
        tables.setupForMode();
        JobBook book;
        GuidedRun run(state, tables, book);
        StraightnessJob job = shortJob();
        job.plate = PlatePlan{};
        job.plate->plateLength = job.plate->plateWidth = 200; // 2 x 2 steps, diagonals of 3
        const auto fill = [&](int n) {
            (void)tables.storeStation(n, 1, 1, tables.recordNow(LineRecord::Source::Button, 1));
        };
        for (int n : {2, 3, 10})
            fill(n);
        QVERIFY(run.start(job).contains("needs 8 empty tables"));
        tables.table(3).clear();
        tables.table(10).clear();
        QCOMPARE(run.start(job), QString());
        QCOMPARE(run.job().tables(), (std::vector<int>{1, 3, 4, 5, 6, 7, 8, 9}));
        qint64 t = 1000;
        const auto store = [&](double v) {
            run.addReading(v, 0, 3, t += 1000); // alone in its settle time
            return run.storeNow().isEmpty();
        };
        for (double v : {11, 12, 13})
            QVERIFY(store(v));
        QCOMPARE(std::tuple(run.run(), run.station(), run.stations(), run.pass().title),
                 std::tuple(2, 1, 3, QString("NE \u2192 SW")));
        run.retake();
        QVERIFY(run.run() == 1 && run.station() == 3 && tables.currentNumber() == 1 && store(13.5));
        QVERIFY(store(21) && store(22));
        fill(4); // line 3's table taken meanwhile
        QVERIFY(store(23));
        for (int line = 3; line <= 8; ++line)
            QVERIFY(store(line * 10 + 1) && store(line * 10 + 2));
        QCOMPARE(run.state(), GuidedRun::State::Finished);
        const std::vector<int> lineTables{1, 3, 10, 5, 6, 7, 8, 9};
        QCOMPARE(book.find(run.job().id)->tables(), lineTables);
        QCOMPARE(xTexts(tables.table(1)), QStringList({"11.000", "12.000", "13.500"}));
        for (int line = 1; line <= 8; ++line) {
            const Table& table = tables.table(lineTables[size_t(line - 1)]);
            QCOMPARE(table.count(), line <= 2 ? 3 : 2);
            for (qint32 n = 1; n <= table.count(); ++n) {
                const LineRecord* r = table.lineRecord(n);
                QVERIFY(r && r->job == run.job().id && r->run == line && r->station == n);
                QCOMPARE(qRound(r->x) / 10, line);
            }
        }
    }

    // The form gives back the job it was given: a grid's, a Union Jack's, a straightness run's.
    void formKeepsTheJob()
    {
        RunJobForm form;
        StraightnessJob job = shortJob();
        job.plate = PlatePlan{};
        job.plate->kind = PlateGeometry::Kind::Grid;
        job.plate->rows = 3;
        job.plate->colBase = 62.5;
        job.plate->grade = PlateUncertainty::Grade::B;
        for (int kind = 0; kind < 3; ++kind) {
            form.setJob(job);
            QCOMPARE(form.job().toJson(), job.toJson());
            if (kind == 0)
                *job.plate = PlatePlan{PlateGeometry::Kind::UnionJack, 1200, 800, 6, 4, 250, 5, 5, 100,
                                       PlateUncertainty::Grade::AA,    {}};
            else
                job.plate.reset();
        }
    }

    // A whole job forward and backward on the simulator: stations stored by themselves, a retake, a station
    // that never settles under noise stored with Space; then the straightness page for the job's table.
    void wholeJob()
    {
        AppFixture app;
        FormMain& w = app.start();
        AnalysisWindow* window = openRunPage(app, w);
        QVERIFY(window);
        AnalysisWindow& a = *window;
        auto* page = control<RunPage>(a, "RunPage");
        QVERIFY(page->isVisible());
        control<QSpinBox>(page, "RunReadings")->setValue(4);
        control<QDoubleSpinBox>(page, "RunSettleTime")->setValue(0.4);
        control<QDoubleSpinBox>(page, "RunSettleBand")->setValue(0.3);
        control<QComboBox>(page, "RunRuns")->setCurrentIndex(1);
        QSignalSpy stored(&a.guidedRun(), &GuidedRun::stationStored);
        const auto station = [&](const char* angles) {
            const qsizetype before = stored.size();
            return app.sim(QStringLiteral("angles ") + angles) &&
                   QTest::qWaitFor([&] { return stored.size() > before; }, 5000);
        };
        QVERIFY(app.sim("angles 1 -1"));
        QTRY_COMPARE(app.state->link.angleX, 1.0);
        control<QPushButton>(page, "RunStart")->click();
        QCOMPARE(control<QLabel>(page, "RunPosition")->text(), "Move to 100 mm");
        QVERIFY(stored.wait(5000) && station("2.5 -2"));
        QCOMPARE(control<QLabel>(page, "RunStation")->text(), "Station 3 of 4");
        control<QPushButton>(page, "RunRetake")->click(); // station 2 again, at another reading
        QVERIFY(control<QLabel>(page, "RunStation")->text() == "Station 2 of 4" && station("2 -2"));

        // Noise above the band: nothing settles within several settle times, Space stores the mean.
        QVERIFY(app.sim("noise 1") && app.sim("angles -0.5 -3"));
        QVERIFY(!stored.wait(1500));
        QVERIFY(QTest::qWaitForWindowActive(&a));
        QTest::keyClick(page, Qt::Key_Space);
        QCOMPARE(stored.size(), 4);
        QVERIFY(app.sim("noise 0") && station("3 -4"));
        QCOMPARE(control<QLabel>(page, "RunPhase")->text(), "Backward run");
        // Back from the backward run's first station to the forward run's last, taken again as it stands.
        QTest::keyClick(page, Qt::Key_Backspace);
        QVERIFY(app.tables->table(1).count() == 3 && stored.wait(5000));
        QCOMPARE(control<QLabel>(page, "RunPhase")->text(), "Backward run");
        for (const char* angles : {"3.5 -4", "-1 -3", "2.4 -2", "1.2 -1"})
            QVERIFY(station(angles));
        QCOMPARE(control<QLabel>(page, "RunPhase")->text(), "Job finished");

        QStringList forward = xTexts(app.tables->table(1));
        QVERIFY(qAbs(forward.takeAt(2).toDouble() + 0.5) < 0.5);
        QCOMPARE(forward, QStringList({"1.000", "2.000", "3.000"}));
        QCOMPARE(xTexts(app.tables->table(2)), QStringList({"3.500", "-1.000", "2.400", "1.200"}));
        const StraightnessJob& job = a.guidedRun().job();
        QCOMPARE(a.jobs().find(job.id)->backwardTable, 2);
        for (int run : {1, 2}) {
            for (qint32 line = 1; line <= 4; ++line) {
                const LineRecord* r = app.tables->table(run).lineRecord(line);
                QVERIFY(r && r->job == job.id && r->run == run && r->settleCount > 0);
                QCOMPARE(r->station, run == 1 ? line : 5 - line);
                // Y was set to minus the station number.
                const bool noisy = run == 1 && line == 3;
                QVERIFY2(noisy ? r->settleSd > 0.2 && qAbs(r->x + 0.5) < 0.5 && qAbs(r->y + 3) < 0.5
                               : r->settleSd < 1e-9 && r->y == -r->station,
                         qPrintable(QString::number(r->x)));
            }
        }
        control<QPushButton>(page, "RunShowStraightness")->click();
        auto* straightness = control<StraightnessPage>(a, "StraightnessPage");
        QVERIFY(straightness->isVisible() && app.tables->currentNumber() == 1);
        // The page evaluates both runs of the job, and their uncertainty arrives.
        QTRY_VERIFY(straightness->job() && straightness->job()->id == job.id && straightness->uncertainty());
        QVERIFY(straightness->run().done() && straightness->run().backward().has_value());
        // The job's report: its figures against the oracle's for the readings the stations hold.
        std::vector<double> readings[2];
        for (int run : {1, 2})
            for (qint32 station = 1; station <= 4; ++station)
                for (qint32 line = 1; line <= 4; ++line)
                    if (const LineRecord* r = app.tables->table(run).lineRecord(line); r->station == station)
                        readings[run - 1].push_back(r->x);
        const QJsonObject expected = RunReportText::oracle(job.baseLength, readings[0], readings[1]);
        app.chosen = app.files.filePath("run.pdf");
        control<QPushButton>(straightness, "CommandReport")->click();
        QCOMPARE(RunReportText::differences(RunReportText::pages(app.chosen).join('\n'), expected, 4),
                 QString());
    }

    // A small Union Jack measured on the simulator, each station's angle from a known surface (a bowl of
    // 4 µm, tilted, each line with an offset of its own), evaluated and certified.
    void plateJourney()
    {
        AppFixture app;
        FormMain& w = app.start();
        AnalysisWindow* window = openRunPage(app, w);
        QVERIFY(window);
        AnalysisWindow& a = *window;
        auto* page = control<RunPage>(a, "RunPage");
        control<QComboBox>(page, "RunKind")->setCurrentIndex(1);
        control<QLineEdit>(page, "RunObjectId")->setText("SP-1");
        control<QLineEdit>(page, "RunInstrumentType")->setText("AC-2");
        for (const auto& [name, value] :
             {std::pair("RunPlateLength", 200.0), std::pair("RunPlateWidth", 200.0),
              std::pair("RunBaseLength", 100.0), std::pair("RunSettleTime", 0.2),
              std::pair("RunDiagonalBase", 141.421)})
            control<QDoubleSpinBox>(page, name)->setValue(value);
        PlatePlan plan;
        plan.plateLength = plan.plateWidth = 200;
        plan.diagonalBase = 141.421; // two steps: the classic evaluation's middle is the centre
        const PlateGeometry plate = plan.geometry(100);
        const auto z = [](double x, double y) { // µm
            return 2 * ((x - 100) * (x - 100) + (y - 100) * (y - 100)) / 1e4 + 0.01 * x;
        };
        QStringList angles;
        for (size_t i = 0; i < plate.lines().size(); ++i) {
            const PlateGeometry::Line& l = plate.lines()[i];
            for (int k = 1; k <= l.readings; ++k) {
                const double rise = z(l.x(k), l.y(k)) - z(l.x(k - 1), l.y(k - 1));
                angles << QString::number(rise / (l.base * 1000) * 206264.806 + 1.5 * double(i), 'f', 2);
                // Each station must move the reading off the one before to be taken.
                QVERIFY(angles.size() < 2 ||
                        std::abs(angles.last().toDouble() - angles.at(angles.size() - 2).toDouble()) > 0.5);
            }
        }
        QCOMPARE(angles.size(), 16);
        QSignalSpy stored(&a.guidedRun(), &GuidedRun::stationStored);
        QVERIFY(app.sim("angles " + angles.first() + " 0"));
        QTRY_COMPARE(app.state->link.angleX, angles.first().toDouble());
        control<QPushButton>(page, "RunStart")->click();
        QCOMPARE(control<QLabel>(page, "RunPhase")->text(), "Line 1 of 8: NW \u2192 SE, station 1 of 2");
        QVERIFY(stored.wait(5000));
        for (qsizetype i = 1; i < angles.size(); ++i) {
            if (i == 8)
                QCOMPARE(control<QLabel>(page, "RunPosition")->text(), "Move to 100 mm from SE");
            QVERIFY(app.sim("angles " + angles[i] + " 0"));
            QVERIFY2(stored.size() > i || stored.wait(5000), qPrintable(QString::number(i)));
        }
        QCOMPARE(control<QLabel>(page, "RunPhase")->text(), "Job finished");
        const quint32 id = a.guidedRun().job().id;

        auto* flatness = control<FlatnessPage>(a, "FlatnessPage");
        QSignalSpy ready(flatness, &FlatnessPage::uncertaintyReady);
        // From the last line's table through the menu's action, as from "Show flatness".
        control<QAction>(w, "ActionFlatness")->trigger();
        QVERIFY(flatness->isVisible() && flatness->jobShown() == id && flatness->flatness());
        control<QPushButton>(page, "RunShowStraightness")->click();
        QVERIFY(flatness->jobShown() == id && flatness->flatness());
        for (const auto f :
             {Flatness::Figure::Classic, Flatness::Figure::LeastSquaresPlane, Flatness::Figure::MinimumZone})
            QVERIFY2(std::abs(flatness->flatness()->figure(f) - 4.0) < 0.01,
                     qPrintable(QString::number(flatness->flatness()->figure(f))));
        QVERIFY(ready.wait(60000));
        app.chosen = app.files.filePath("plate.pdf");
        control<QPushButton>(flatness, "ButtonCertificate")->click();
        const QString text = RunReportText::pages(app.chosen).join('\n');
        QVERIFY2(text.contains("SP-1") && text.contains("AC-2") && text.contains("200 x 200 mm") &&
                     QRegularExpression("Minimum zone +4\\.0[01]").match(text).hasMatch(),
                 qPrintable(text.left(3000)));
    }
};

QTEST_MAIN(TestGuidedRun)
#include "test_guidedrun.moc"
