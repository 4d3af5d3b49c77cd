// An operator's work through the real windows, the simulated instrument on port 1; then short rule tables.
#include "support/appfixture.h"
#include "support/otheruser.h"
#include "support/recorder.h"

#include "analysiswindow/analysiswindow.h"
#include "analysiswindow/figuretable.h"
#include "analysiswindow/statisticspage.h"
#include "analysiswindow/trendpage.h"
#include "dialogs/frmabout.h"
#include "widgets/windowlayer.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDateTime>
#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>

#include <algorithm>
#include <optional>

namespace K = SettingKeys;

namespace {
constexpr auto lines = &AppFixture::lines;

// Window sizes land on whole pixels of 15 twips.
const auto near = [](double twips, double expected) { return qAbs(twips - expected) < Twips::PerPixel; };
// What a box of a window shows; what the angle boxes show, as "X|Y"; whether a control is shown, enabled.
const auto text = [](const QObject& w, const char* box) { return control<QLineEdit>(w, box)->text(); };
const auto angles = [](const FormMain& w) { return text(w, "TextX") + '|' + text(w, "TextY"); };
const auto visible = [](const QObject& w, const char* box) { return control<QWidget>(w, box)->isVisible(); };
const auto enabled = [](const QObject& w, const char* box) { return control<QWidget>(w, box)->isEnabled(); };
// The table line the instrument's n-th stored record gives.
const auto recordLine = [](AppFixture& app, int n) {
    return QString::number(n) + '|' + app.instrument.model().storedRecord(n).join('|');
};

// A line of the table clicked, with Shift to extend the selection.
void click(FlexGrid* grid, int line, Qt::KeyboardModifier modifier = Qt::NoModifier)
{
    grid->flushView();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, modifier,
                      grid->visualRect(grid->model()->index(line - 1, 1)).center());
}
} // namespace

class TestJourneys : public QObject {
    Q_OBJECT

private slots:
    // A first run: connect in text mode, read in two units, zero, store by button and by interval.
    void firstMeasurementsInTextMode()
    {
        AppFixture app;
        FormMain& w = app.start();
        QVERIFY(control<QRadioButton>(w, "OptionArcsec")->isChecked() &&
                !app.link->isLoaded()); // no port yet
        QTRY_COMPARE(text(w, "TextX"), QStringLiteral(".........."));
        QVERIFY(!visible(w, "CommandLoadFromOrv"));
        FlexGrid* grid = w.tableViews().currentGrid();
        control<QPushButton>(w, "CommandVal2Table")->click(); // no values yet: their placeholders
        QCOMPARE(lines(grid), QStringList{"1|..........|.........."});

        // The close step paces its commands by display ticks, also where the tick counter wraps.
        app.state->options.mainTime = std::numeric_limits<qint32>::max() - 1;
        FormCom* form = app.connect(true);
        QVERIFY(form && form->isHidden() && control<QLineEdit>(form, "TextPortNum")->text() == "1");
        QCOMPARE(control<QLineEdit>(form, "TextStatus")->text(), "o.k.");
        QCOMPARE(app.instrument.lineBaud(), 19200);
        QTRY_COMPARE(app.commands, QStringList({"d", "d", "R"}));
        // Counted in ticks, which a busy machine cannot squeeze: two waits of two ticks each.
        const QList<qint32>& at = app.commandTicks;
        QVERIFY(quint32(at[2]) - quint32(at[0]) >= 2);
        QTRY_COMPARE(angles(w), QStringLiteral("12.500|-3.250"));
        QVERIFY(visible(w, "CommandLoadFromOrv"));

        control<QRadioButton>(w, "OptionMrad")->click();
        control<QPushButton>(w, "CommandSet")->click();
        QTRY_COMPARE(angles(w), QStringLiteral("0.0000|0.0000"));
        control<QPushButton>(w, "CommandReset")->click();
        QTRY_COMPARE(angles(w), QStringLiteral("0.0606|-0.0158"));
        control<QPushButton>(w, "CommandVal2Table")->click();
        QCOMPARE(lines(grid).last(), QStringLiteral("2|0.0606|-0.0158"));

        // Averaging is the instrument's: its status names the button.
        control<QPushButton>(w, "CommMean")->click();
        QTRY_COMPARE(control<QPushButton>(w, "CommMean")->text(), QStringLiteral("No averaging"));
        control<QPushButton>(w, "CommMean")->click();
        QTRY_COMPARE(control<QPushButton>(w, "CommMean")->text(), QStringLiteral("Averages"));
        QCOMPARE(app.commands.mid(3), QStringList({"M", "U"}));

        // Every 2nd measurement: Enter takes the interval, Start stores, the counter shows below 10.
        control<QLineEdit>(w, "TextTimer")->selectAll();
        QTest::keyClicks(control<QLineEdit>(w, "TextTimer"), QStringLiteral("2\r"));
        QVERIFY(app.waitCounted(4) && grid->Rows() == 3);
        control<QPushButton>(w, "CommandStart")->click();
        QVERIFY(app.waitCounted(6) && grid->Rows() >= 6 && visible(w, "TextLine"));
        QCOMPARE(text(w, "TextLine"), QString::number(grid->Rows()));
        QCOMPARE(lines(grid).last().section(QLatin1Char('|'), 1), QStringLiteral("0.0606|-0.0158"));
        control<QPushButton>(w, "CommandStop")->click();
        const qint32 stopped = grid->Rows();
        QVERIFY(app.waitCounted(4) && grid->Rows() == stopped && !visible(w, "TextLine"));

        // A table that fills up ends with its marker line and stops the storing.
        grid->table().setRows(Tables::FullRows - 1);
        control<QPushButton>(w, "CommandStart")->click();
        QTRY_VERIFY(!w.isStoring());
        QVERIFY(grid->Rows() == Tables::FullRows && !visible(w, "TextLine"));
        QCOMPARE(grid->TextMatrix(Tables::FullRows - 1, 1), QStringLiteral("table filled."));
        control<QPushButton>(w, "CommandClearGrid")->click();
        QCOMPARE(grid->Rows(), 1);
    }

    // The instrument's memory into a table, cleared in parts, copied and saved; the next run reads it back.
    void memoryIntoTableSavedAndReopened()
    {
        AppFixture app;
        AppFixture::setStored({{K::UseComma, "1"},
                               {K::ShowTable, "1"},
                               {K::HeightWithTable, "7500"},
                               {K::AngleUnit, "3"},
                               {K::OnTop, "1"},
                               {K::MainLeft, "150"},
                               {K::MainTop, "45"}});
        QVERIFY(app.sim(QStringLiteral("memory 4 3")));
        FormMain& w = app.start();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        app.connect(true);
        QVERIFY(WindowLayer::isTopmost(&w)); // lowered for the connection window only

        // The about box, the window stepping down for it; the version in plain decimals (2.3, not 2.03).
        QString version;
        QVERIFY(app.onModal<frmAbout>(control<QPushButton>(w, "Command2"), [&](frmAbout& box) {
            if (!WindowLayer::isTopmost(&w) && box.parentWidget() == &w)
                version = control<QLabel>(box, "lblVersion")->text();
            control<QPushButton>(box, "cmdOK")->click();
        }));
        const QRegularExpression plain(QStringLiteral("^This is Version \\d+\\.(0|[1-9]\\d*)$"));
        QVERIFY2(plain.match(version).hasMatch() && WindowLayer::isTopmost(&w), qPrintable(version));

        control<QPushButton>(w, "CommandLoadFromOrv")->click();
        FlexGrid* grid = w.tableViews().grid(3);
        QTRY_COMPARE(grid->Rows(), 5);
        QVERIFY(w.tableViews().currentGrid() == grid && grid->isVisible() &&
                !w.tableViews().grid(1)->isVisible());
        QCOMPARE(lines(grid), QStringList({recordLine(app, 1), recordLine(app, 2), recordLine(app, 3),
                                           recordLine(app, 4)}));
        // Lines 3 and 2 selected with the mouse, upward, then cleared: the rest is numbered anew.
        click(grid, 3);
        click(grid, 2, Qt::ShiftModifier);
        control<QPushButton>(w, "CommandDelete")->click();
        QCOMPARE(lines(grid),
                 QStringList({recordLine(app, 1), QStringLiteral("2") + recordLine(app, 4).mid(1)}));

        const QString text = QStringLiteral("39,95\t34,27\r\n104,18\t23,60\r\n");
        control<QPushButton>(w, "Command1")->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), text);
        control<QPushButton>(w, "CommandSave")->click(); // the file dialog cancelled
        QVERIFY(app.messages.isEmpty() && w.dataPath().isEmpty());
        app.chosen = app.files.filePath(QStringLiteral("memory.txt"));
        control<QPushButton>(w, "CommandSave")->click();
        QCOMPARE(AppFixture::readFile(app.chosen), text.toLatin1());
        // The last line cleared by itself, then the only one left.
        click(grid, 2);
        control<QPushButton>(w, "CommandDelete")->click();
        QCOMPARE(lines(grid), QStringList{recordLine(app, 1)});
        control<QPushButton>(w, "CommandDelete")->click();
        control<QPushButton>(w, "CommandDelete")->click(); // an empty table stays so
        QCOMPARE(grid->Rows(), 1);
        w.close();
        QVERIFY(!app.link->isLoaded());
        QCOMPARE(AppFixture::stored({K::DataPath, K::PortMode, K::PortNumber, K::AngleUnit}),
                 QStringList({app.chosen, "1", "1", "3"}));

        FormMain& again = app.start();
        QVERIFY(control<QRadioButton>(again, "OptionMrad")->isChecked() && near(again.windowHeight(), 7500));
        QCOMPARE(QPointF(again.windowLeft(), again.windowTop()), QPointF(150, 45)); // kept and written back
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        FlexGrid* table1 = again.tableViews().currentGrid();
        for (int i = 0; i < 40; ++i)
            control<QPushButton>(again, "CommandVal2Table")->click();
        table1->flushView(); // the newest line scrolled into view
        QVERIFY(table1->viewport()->rect().contains(table1->visualRect(table1->model()->index(39, 0))));
        control<QPushButton>(again, "CT1")->click();
        control<QPushButton>(again, "CommandOpen")->click();
        FlexGrid* table2 = again.tableViews().grid(2);
        QCOMPARE(lines(table2), QStringList({"1|39,95|34,27", "2|104,18|23,60"}));
    }

    // A file opened in arcsec means the same in every unit chosen later; a file of LF line ends, line by
    // line.
    void openedFileKeepsItsUnit()
    {
        AppFixture app;
        FormMain& w = app.start();
        const auto open = [&](const QByteArray& bytes) {
            QFile file(app.chosen = app.files.filePath(QStringLiteral("table.txt")));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
            file.close();
            control<QPushButton>(w, "CommandOpen")->click();
        };
        open("1.2\t0\r\n0.8\t0\r\n0.9\t0\r\n");
        for (const auto& [unit, mean] :
             {std::pair{"OptionArcsec", "0.9667"}, {"OptionMproM", "4.69"}, {"OptionDegree", "0.0002685"}}) {
            control<QRadioButton>(w, unit)->click();
            control<QAction>(w, "ActionStatistics")->trigger();
            QTRY_COMPARE(control<FigureTable>(w.analysis(), "figures")->text(3, 1), QString(mean));
            control<QAction>(w, "ActionStraightness")->trigger();
            QTRY_COMPARE(control<QLabel>(w.analysis(), "LabelDeviation0")->text(),
                         "End points: 0.113 \u00b5m");
        }
        open("1\t2\n3\t4\n\n5");
        QCOMPARE(lines(w.tableViews().currentGrid()), QStringList({"1|1|2", "2|3|4", "3||", "4|5|"}));
    }

    // Options changed, the background file refused then taken, the remote control's key; reopened, undone.
    void optionsChangeTheWindowAndTheFiles()
    {
        AppFixture app;
        FormMain& w = app.start();
        app.connect(true);
        QTRY_COMPARE(text(w, "TextX"), QStringLiteral("12.500"));
        const QString missing = app.files.filePath(QStringLiteral("gone/now.txt"));
        const QString now = app.files.filePath(QStringLiteral("now.txt"));
        QString defaultPath;
        bool triggersShown = false, pathFollowsBox = false, refused = false;
        QVERIFY(app.onModal<FormOptions>(control<QPushButton>(w, "CommandOptions"), [&](FormOptions& d) {
            const auto box = [&d](const char* name) { return control<QAbstractButton>(d, name); };
            QLineEdit* const path = control<QLineEdit>(d, "TextPath");
            defaultPath = path->text();
            triggersShown = visible(d, "CheckIR") && visible(d, "CheckExitKey");
            for (const char* name : {"CheckShowTable", "CheckOnTop", "CheckComma", "CheckIR"})
                box(name)->click();
            pathFollowsBox = !path->isEnabled();
            box("CheckBackground")->click();
            pathFollowsBox = pathFollowsBox && path->isEnabled();
            path->setText(missing);
            control<QLineEdit>(d, "TextSeconds")->setText(QStringLiteral("2"));
            box("CommandOK")->click();
            refused = d.isVisible();
            path->setText(now);
            box("CommandOK")->click();
        }));
        QCOMPARE(defaultPath, app.files.path()); // the TEMP folder
        QVERIFY(triggersShown && pathFollowsBox && refused);
        QCOMPARE(app.messages,
                 QStringList{"Path for background file does not exist.\r\nUse an existing path or "
                             "uncheck the \"Hold current angles ...\" box."});
        QVERIFY(!w.optionsLoaded() && WindowLayer::isTopmost(&w)); // closed is unloaded
        QTRY_VERIFY(near(w.windowHeight(), 7000));
        QVERIFY(near(w.tableViews().grid(5)->Height(), 4000));
        w.setWindowWidth(3000); // too narrow, and too low for the table
        w.setWindowHeight(4500);
        QTRY_VERIFY(near(w.windowWidth(), 6135) && near(w.windowHeight(), 6000));
        QVERIFY(near(w.tableViews().grid(5)->Height(), 3000));
        QCOMPARE(AppFixture::stored({K::ShowTable, K::OnTop, K::UseComma, K::StoreAtIR, K::UseBackground,
                                     K::BackgroundSeconds, K::UpdatePath}),
                 QStringList({"1", "1", "1", "1", "1", "2", now}));

        // Every 2nd measurement rewrites the background file, with the comma.
        QTRY_VERIFY(app.state->internal.backgroundCounter >= 2);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d+ 03 12,5 -3,25\r\n$"))
                    .match(QString::fromLatin1(AppFixture::readFile(now)))
                    .hasMatch());
        QVERIFY(app.sim(QStringLiteral("key ir")));
        QTRY_COMPARE(lines(w.tableViews().currentGrid()), QStringList{"1|12.500|-3.250"});

        bool restored = false;
        QVERIFY(app.onModal<FormOptions>(control<QPushButton>(w, "CommandOptions"), [&](FormOptions& d) {
            const auto checked = [&d](const char* box) { return control<QCheckBox>(d, box)->isChecked(); };
            restored = !WindowLayer::isTopmost(&w) && checked("CheckShowTable") && checked("CheckOnTop") &&
                       checked("CheckIR") && checked("CheckBackground") &&
                       text(d, "TextSeconds") == QLatin1String("2") && text(d, "TextPath") == now;
            control<QCheckBox>(d, "CheckOnTop")->click();
            control<QCheckBox>(d, "CheckShowTable")->click();
            QTest::keyClick(&d, Qt::Key_Escape); // closes through the close step
        }));
        QVERIFY(restored && !WindowLayer::isTopmost(&w));
        QTRY_VERIFY(near(w.windowHeight(), 2800));
        QCOMPARE(AppFixture::stored({K::ShowTable}), QStringList{"0"});

        // Shutting down with a background path gone bad neither asks nor refuses.
        control<QLineEdit>(w.options(), "TextPath")->setText(missing);
        w.close();
        QCOMPARE(app.messages.size(), 1);
        QCOMPARE(AppFixture::stored({K::UpdatePath, K::UseBackground}), QStringList({missing, "1"}));
    }

    // The instrument turns to TOBAR and back, the window following; then compatible mode.
    void tobarRoundTrip()
    {
        AppFixture app;
        FormMain& w = app.start();
        app.connect(true);
        QTRY_COMPARE(text(w, "TextX"), QStringLiteral("12.500"));
        QVERIFY(app.sim(QStringLiteral("instrument tobar")));
        QTRY_VERIFY(visible(w, "TextTobar"));
        QVERIFY(!visible(w, "TextX") && !visible(w, "CommandStart") && !visible(w, "CT0"));
        QCOMPARE(w.tableViews().currentGrid()->Cols(), 6);
        const QRegularExpression reading(QStringLiteral("^\\d+\\.\\d{3}mm$"));
        QTRY_VERIFY(reading.match(text(w, "TextTobar")).hasMatch());
        control<QPushButton>(w, "CommandVal2Table")->click();
        bool offered = true; // the store triggers, in the options dialog
        QVERIFY(app.onModal<FormOptions>(control<QPushButton>(w, "CommandOptions"), [&](FormOptions& d) {
            offered = enabled(d, "CheckIR") || enabled(d, "CheckExitKey");
        }));
        QVERIFY(!offered);

        // Connected again in TOBAR mode: no averaging, no "R" at the close.
        app.commands.clear();
        app.connect(true);
        QVERIFY(!visible(w, "CommMean"));
        app.commands.removeAll(QStringLiteral("b")); // the display's polls
        QCOMPARE(app.commands, QStringList({"d", "d"}));

        QVERIFY(app.sim(QStringLiteral("instrument orvelan")));
        QTRY_VERIFY(visible(w, "TextX"));
        QVERIFY(!visible(w, "TextTobar") && visible(w, "CT0") && enabled(w.options(), "CheckIR"));
        const FlexGrid* grid = w.tableViews().currentGrid();
        QCOMPARE(QSize(grid->Cols(), grid->Rows()), QSize(3, 1)); // a new layout starts the tables anew
        QTRY_COMPARE(text(w, "TextX"), QStringLiteral("12.500"));

        // Compatible mode with thousandths of an arcsecond: the close step sends nothing.
        QVERIFY(app.sim(QStringLiteral("hr on")) && app.sim(QStringLiteral("angles 1.234 -5.678")));
        app.commands.clear();
        app.connect(false, [](FormCom& form) { control<QCheckBox>(form, "optionHR")->click(); });
        QCOMPARE(app.instrument.lineBaud(), 2400);
        QTRY_COMPARE(angles(w), QStringLiteral("1.234|-5.678"));
        QVERIFY(!visible(w, "CommandLoadFromOrv") && !visible(w, "CommMean") && app.commands.isEmpty());
        QCOMPARE(AppFixture::stored({K::IsHR, K::PortMode}), QStringList({"1", "0"}));
        QVERIFY(app.onModal<FormOptions>(control<QPushButton>(w, "CommandOptions"), [&](FormOptions& d) {
            offered = visible(d, "CheckIR") || visible(d, "LabelTransfer") || !visible(d, "CheckComma");
        }));
        QVERIFY(!offered);
        app.link->sendCommandCompatible(0x41);
        QTRY_COMPARE(app.commands, QStringList{"A"});
    }

    void tobarReadingShown_data()
    {
        // shown: value|verdict|reticle|the line "Value to table" writes
        columns<QString, QString>("message", "shown");
        row("EFL, mm, NG", "30 101 12.5", "12.5mm|NG|0.5|1|12.5mm|mm|EFL|NG|Line pair 0.5");
        row("radius, inch, Go", "31 312 7.25", "7.25\"|Go|2|1|7.25\"|\"|Radius|Go|");
        row("2.5 rounds down", "32 250 3", "3\"|----|1|1|3\"|\"|BFL|----|");
        row("3.5 rounds up", "30 350 4", "4\"|----|3|1|4\"|\"|EFL|----|Line pair 3");
        row("no reticle", "31 2 5", "5mm|Go||1|5mm|mm|Radius|Go|");
        row("negative status", "31 -112 5", "5mm|----|1|1|5mm|mm|Radius|----|"); // keeps the reticle
    }
    void tobarReadingShown()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        AppFixture app;
        AppFixture::setStored({{K::ModeTobar, "True"}}); // started so: the compact height for TOBAR
        QVERIFY(app.sim(QStringLiteral("stream off")));
        FormMain& w = app.start();
        app.openLine(true);
        QVERIFY(near(w.windowHeight(), 2300));
        // A reading before, so that every tick shows its reticle "1" until the message arrives.
        QVERIFY(app.sim(QStringLiteral("text \\r30 200 9\\r")));
        QTRY_COMPARE(text(w, "TextReticle"), QStringLiteral("1"));
        QVERIFY(app.sim(QStringLiteral("text \\r%1\\r").arg(message)));
        QTRY_COMPARE(text(w, "TextTobar"), shown.section('|', 0, 0));
        control<QPushButton>(w, "CommandVal2Table")->click();
        QCOMPARE(QStringList({text(w, "TextTobar"), text(w, "TextGONG"), text(w, "TextReticle")}) +
                     lines(w.tableViews().currentGrid()),
                 shown.split('|').mid(0, 3) << shown.section('|', 3));
    }

    // The connection window is a view: deleted, the link reads, stores and takes commands on, and
    // "Connection" makes a new one.
    void linkOutlivesItsWindow()
    {
        AppFixture app;
        FormMain& w = app.start();
        QVERIFY(app.connect(true));
        QTRY_COMPARE(app.commands, QStringList({"d", "d", "R"}));
        control<QLineEdit>(w, "TextTimer")->setText(QStringLiteral("1"));
        control<QPushButton>(w, "CommandStart")->click();
        delete w.connectionLoaded();
        QVERIFY(app.sim(QStringLiteral("angles 1.5 -2")));
        QTRY_COMPARE(text(w, "TextX"), QStringLiteral("1.500"));
        FlexGrid* grid = w.tableViews().currentGrid();
        const qint32 rows = grid->Rows();
        QTRY_VERIFY(grid->Rows() > rows + 2);
        control<QPushButton>(w, "CommandStop")->click();
        const qint32 stored = grid->Rows();
        control<QPushButton>(w, "CommandVal2Table")->click();
        QCOMPARE(lines(grid).mid(stored - 1), QStringList{QString::number(stored) + "|1.500|-2.000"});
        control<QPushButton>(w, "CommMean")->click();
        QTRY_COMPARE(control<QPushButton>(w, "CommMean")->text(), QStringLiteral("No averaging"));
        QVERIFY(!w.connectionLoaded() && app.commands.endsWith(QStringLiteral("M")));
        QCOMPARE(text(*app.connect(true), "TextStatus"), QStringLiteral("o.k."));
    }

    // The cable pulled and plugged in again: the angles come back by themselves, told of once, unless the
    // connection window's check box is cleared.
    void linkReturns()
    {
        for (const bool reconnect : {true, false}) {
            AppFixture app;
            QVERIFY(app.lineAtLink());
            FormMain& w = app.start();
            app.connect(true,
                        [=](FormCom& f) { control<QCheckBox>(f, "CheckReconnect")->setChecked(reconnect); });
            QTRY_COMPARE(text(w, "TextX"), QStringLiteral("12.500"));
            QVERIFY(app.sim(QStringLiteral("vanish")) && app.sim(QStringLiteral("angles -1.5 2")));
            QTRY_COMPARE(app.messages, QStringList{"No connection available"});
            QSignalSpy opened(app.link.get(), &Link::portOpened);
            QVERIFY(app.sim(QStringLiteral("return")));
            if (reconnect)
                QTRY_COMPARE_WITH_TIMEOUT(text(w, "TextX"), QStringLiteral("-1.500"), 2000);
            else
                QVERIFY(!opened.wait(3000) && text(w, "TextX").startsWith(QLatin1String("..........")));
            QCOMPARE(text(*w.connectionLoaded(), "TextStatus"), reconnect ? "o.k." : "Port is not available");
            QCOMPARE(AppFixture::stored({K::Reconnect}) << QString::number(app.messages.size()),
                     QStringList({reconnect ? "1" : "0", "1"}));
        }
    }

    // A stream of 50 messages a second, exported from the trend: each message at its own time, 20 ms apart.
    void trendTimesFollowTheStream()
    {
        AppFixture app;
        FormMain& w = app.start();
        app.connect(true);
        const MeasurementLog& log = app.link->log();
        const qint64 changed = log.startMsecsSinceEpoch() + log.now();
        const qint64 before = log.count(MeasurementLog::Kind::Angles);
        QVERIFY(app.sim(QStringLiteral("rate 50")));
        QTRY_VERIFY_WITH_TIMEOUT(log.count(MeasurementLog::Kind::Angles) >= before + 330, 20000);
        control<QAction>(w, "ActionTrend")->trigger();
        w.displayTick();
        app.chosen = app.files.filePath(QStringLiteral("trend.csv"));
        control<QPushButton>(*control<TrendPage>(w.analysis(), "TrendPage"), "CommandCsv")->click();
        QList<qint64> times;
        for (const QByteArray& row : AppFixture::readFile(app.chosen).split('\n').mid(1)) {
            const QDateTime at =
                QDateTime::fromString(QString::fromLatin1(row.split(',').first()), Qt::ISODateWithMs);
            if (at.isValid() && at.toMSecsSinceEpoch() > changed)
                times << at.toMSecsSinceEpoch();
        }
        QVERIFY(times.size() >= 300);
        QList<qint64> steps;
        for (qsizetype i = 1; i < times.size(); ++i)
            steps << times[i] - times[i - 1];
        const qsizetype equal = steps.count(0);
        std::sort(steps.begin(), steps.end());
        const qint64 median = steps[steps.size() / 2];
        QVERIFY2(median >= 18 && median <= 22 && equal * 100 <= steps.size(),
                 qPrintable(QString::asprintf("median step %lld ms, %lld of %lld equal", median,
                                              qint64(equal), qint64(steps.size()))));
    }

    // Under a frame, three runs keep the outer place and width that start-up reads and shut-down writes; from
    // an empty store the frame's top left is the screen's.
    void placeKeptRunAfterRun()
    {
        AppFixture app;
        for (const QStringList& place : {QStringList{"0", "0", "6135"}, QStringList{"1500", "90", "6900"}}) {
            if (place[0] != "0")
                AppFixture::setStored(
                    {{K::MainLeft, place[0]}, {K::MainTop, place[1]}, {K::MainWidth, place[2]}});
            for (int run = 0; run < 3; ++run) {
                FormMain& w = app.start();
                QVERIFY(QTest::qWaitForWindowExposed(&w) && w.frameGeometry() != w.geometry());
                QCOMPARE(w.frameGeometry().topLeft(), QPoint(place[0].toInt(), place[1].toInt()) / 15);
                w.close();
                QCOMPARE(AppFixture::stored({K::MainLeft, K::MainTop, K::MainWidth}), place);
            }
        }
    }

    void simulatorRate_data()
    {
        columns<QString, int>("typed", "perSecond");
        row("fifty", "rate 50", 50);
        row("above the range", "rate 101", 20);
    }
    // Messages a simulated second; a rate refused leaves the one at start.
    void simulatorRate()
    {
        QFETCH(QString, typed);
        QFETCH(int, perSecond);
        PtyInstrument instrument;
        SimConsole console(instrument);
        (void)console.execute(typed);
        const int before = instrument.model().angleMessagesSent();
        instrument.model().advance(1000);
        QCOMPARE(instrument.model().angleMessagesSent() - before, perSecond);
    }

    void connectionOutcome_data()
    {
        // device of port 3: 0 missing, 1 held by another program, 2 not this user's
        columns<QString, int, QString>("typed", "device", "status");
        QTest::newRow("no device") << "3" << 0 << "Port is not available";
        QTest::newRow("past 16 bits") << "70000" << 0 << "Port is not available";
        QTest::newRow("not a number") << "abc" << 0 << "Port is not available";
        QTest::newRow("the same port") << "1x" << 0 << "o.k.";
        QTest::newRow("held") << "3" << 1 << "Port is already open";
        QTest::newRow("no access") << "3" << 2 << "8017 - Permission denied";
    }
    void connectionOutcome()
    {
        QFETCH(QString, typed);
        QFETCH(int, device);
        QFETCH(QString, status);
        AppFixture app;
        qputenv("TARNOLUX_COM3", (device ? app.line.path() : app.files.filePath("no-line")).toLocal8Bit());
        CommControl other;
        QVERIFY(device != 1 ||
                (other.setCommPort(3) == PortCode::Ok && other.setPortOpen(true) == PortCode::Ok));
        QVERIFY(device != 2 || OtherUser::setMode(app.line.path(), 0));
        app.start();
        FormCom& form = app.window->connection();
        form.show();
        std::optional<OtherUser> user;
        if (device == 2) {
            app.link->deInitCom(); // another user could not remove the lock of the port opened here
            if (!user.emplace().isValid())
                QSKIP("this process may not act as another user");
        }
        control<QLineEdit>(form, "TextPortNum")->setText(typed);
        user.reset();
        QCOMPARE(control<QLineEdit>(form, "TextStatus")->text(), status);
        const bool open = status == QLatin1String("o.k.");
        QVERIFY(app.link->comPort().PortOpen() == open && app.state->link.conStatus == qint16(open));
    }

    // The same keys and paste into "Store every" and the options' background count.
    void keyFilters_data()
    {
        columns<QString, QString, QString, qint32>("typed", "pasted", "shown", "every");
        const QString huge(400, QLatin1Char('9'));
        QTest::newRow("digits") << "1a.2,-3 x\t" << QString() << "123" << 123;
        QTest::newRow("backspace") << "45\b6" << QString() << "46" << 46;
        QTest::newRow("control keys") << "7\t8\r9\x1b" << QString() << "789" << 789;
        row("letters pasted", QString(), "abc", "abc", 1);
        QTest::newRow("400 digits pasted") << QString() << huge << huge << std::numeric_limits<qint32>::max();
        QTest::newRow("empty") << QString() << QString() << QString() << 1;
    }
    void keyFilters()
    {
        QFETCH(QString, typed);
        QFETCH(QString, pasted);
        QFETCH(QString, shown);
        QFETCH(qint32, every);
        AppFixture app;
        FormMain& w = app.start();
        FormOptions& options = w.options();
        options.show();
        control<QCheckBox>(options, "CheckBackground")->setChecked(true);
        control<QLineEdit>(options, "TextPath")->setText(app.files.filePath(QStringLiteral("now.txt")));
        QLineEdit* const timer = control<QLineEdit>(w, "TextTimer");
        for (QLineEdit* box : {timer, control<QLineEdit>(options, "TextSeconds")}) {
            QApplication::setActiveWindow(box->window());
            box->setFocus();
            box->clear();
            QTest::keyClicks(box, typed);
            QGuiApplication::clipboard()->setText(pasted);
            box->paste();
            QCOMPARE(box->text(), shown);
        }
        QTest::keyClick(timer, Qt::Key_Return);
        control<QPushButton>(options, "CommandOK")->click();
        QCOMPARE(QList<qint32>({app.state->internal.msgSignalEvery, app.state->internal.updateSignalEvery}),
                 QList<qint32>({every, every}));
        QCOMPARE(AppFixture::stored({K::BackgroundSeconds}),
                 QStringList{every == 1 ? "0" : QString::number(every)});
    }
};

QTEST_MAIN(TestJourneys)
#include "test_journeys.moc"
