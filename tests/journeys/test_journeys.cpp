// An operator's work through the real windows, the simulated instrument on port 1; then short rule tables.
#include "support/appfixture.h"
#include "support/otheruser.h"

#include "dialogs/frmabout.h"
#include "widgets/windowlayer.h"

#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QRegularExpression>

#include <optional>

namespace K = SettingKeys;

namespace {
const QString NoValue = QStringLiteral("..........");
const QString Refused =
    QStringLiteral("Path for background file does not exist.\r\n"
                   "Use an existing path or uncheck the \"Hold current angles ...\" box.");

// Window sizes land on whole pixels of 15 twips.
bool near(double twips, double expected)
{
    return qAbs(twips - expected) < Twips::PerPixel;
}

constexpr auto lines = &AppFixture::lines;

// What the angle boxes show, as "X|Y".
QString angles(const FormMain& w)
{
    return w.TextX->text() + QLatin1Char('|') + w.TextY->text();
}

QString recordLine(AppFixture& app, int n)
{
    return QString::number(n) + QLatin1Char('|') +
           app.instrument.model().storedRecord(n).join(QLatin1Char('|'));
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
        QCOMPARE(QPointF(w.windowLeft(), w.windowTop()), QPointF(0, 0));
        QCOMPARE(w.windowWidth(), 6135.0);
        QVERIFY(near(w.windowHeight(), 2800));
        QVERIFY(w.OptionArcsec->isChecked());
        QVERIFY(!app.link->loaded()); // the port stays closed until "Connection"
        QTRY_COMPARE(w.TextX->text(), NoValue);
        QVERIFY(w.CommandLoadFromOrv->isHidden());
        FlexGrid* grid = w.tables().currentGrid();
        w.CommandVal2Table->click(); // no values yet: their placeholders
        QCOMPARE(lines(grid), QStringList{"1|..........|.........."});

        // The close step paces its commands by display ticks, also where the tick counter wraps.
        app.state->options.mainTime = std::numeric_limits<qint32>::max() - 1;
        FormCom* form = app.connect(true);
        QVERIFY(form && form->isHidden());
        QCOMPARE(form->TextPortNum->text() + '|' + form->TextStatus->text(), QStringLiteral("1|o.k."));
        QCOMPARE(app.instrument.lineBaud(), 19200);
        QTRY_COMPARE(app.commands, QStringList({"d", "d", "R"}));
        QVERIFY(app.commandTimes[1] - app.commandTimes[0] >= 150);
        QVERIFY(app.commandTimes[2] - app.commandTimes[1] >= 150);
        QTRY_COMPARE(angles(w), QStringLiteral("12.500|-3.250"));
        QVERIFY(w.CommandLoadFromOrv->isVisible() && w.CommandLoadFromOrv->text() == "Load from ORVELAN");

        w.OptionMrad->click();
        QTRY_COMPARE(w.TextX->text(), QStringLiteral("0.0606"));
        w.CommandSet->click();
        QTRY_COMPARE(angles(w), QStringLiteral("0.0000|0.0000"));
        w.CommandReset->click();
        QTRY_COMPARE(angles(w), QStringLiteral("0.0606|-0.0158"));
        w.CommandVal2Table->click();
        QCOMPARE(lines(grid).last(), QStringLiteral("2|0.0606|-0.0158"));

        // Averaging is the instrument's: its status names the button.
        w.CommMean->click();
        QTRY_COMPARE(w.CommMean->text(), QStringLiteral("No averaging"));
        w.CommMean->click();
        QTRY_COMPARE(w.CommMean->text(), QStringLiteral("Averages"));
        QCOMPARE(app.commands.mid(3), QStringList({"M", "U"}));

        // Every 2nd measurement: Enter takes the interval, Start stores, the counter shows below 10.
        w.TextTimer->selectAll();
        QTest::keyClicks(w.TextTimer, QStringLiteral("2\r"));
        QVERIFY(app.waitCounted(4));
        QCOMPARE(grid->Rows(), 3);
        w.CommandStart->click();
        QVERIFY(w.TextLine->isVisible());
        QVERIFY(app.waitCounted(6));
        QVERIFY(grid->Rows() >= 6);
        QCOMPARE(w.TextLine->text(), QString::number(grid->Rows()));
        QCOMPARE(lines(grid).last().section(QLatin1Char('|'), 1), QStringLiteral("0.0606|-0.0158"));
        w.CommandStop->click();
        QVERIFY(w.TextLine->isHidden());
        const qint32 stopped = grid->Rows();
        QVERIFY(app.waitCounted(4));
        QCOMPARE(grid->Rows(), stopped);

        // A table that fills up ends with its marker line and stops the storing.
        grid->setRows(TableSet::FullRows - 1);
        w.CommandStart->click();
        QTRY_VERIFY(!w.isStoring());
        QCOMPARE(grid->Rows(), TableSet::FullRows);
        QCOMPARE(grid->TextMatrix(TableSet::FullRows - 1, 1), QStringLiteral("table filled."));
        QVERIFY(w.TextLine->isHidden());
        w.CommandClearGrid->click();
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
                               {K::OnTop, "1"}});
        QVERIFY(app.sim(QStringLiteral("memory 4 3")));
        FormMain& w = app.start();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        app.connect(true);
        QVERIFY(WindowLayer::isTopmost(&w)); // lowered for the connection window only
        w.CommandLoadFromOrv->click();
        FlexGrid* grid = w.tables().grid(3);
        QTRY_COMPARE(grid->Rows(), 5);
        QVERIFY(w.tables().currentGrid() == grid && grid->isVisible() && !w.tables().grid(1)->isVisible());
        QCOMPARE(lines(grid), QStringList({recordLine(app, 1), recordLine(app, 2), recordLine(app, 3),
                                           recordLine(app, 4)}));

        // Lines 3 and 2 selected with the mouse, upward, then cleared: the rest is numbered anew.
        const auto click = [](FlexGrid* grid, int line, Qt::KeyboardModifier modifier) {
            grid->flushView();
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, modifier,
                              grid->visualRect(grid->model()->index(line - 1, 1)).center());
        };
        click(grid, 3, Qt::NoModifier);
        click(grid, 2, Qt::ShiftModifier);
        w.CommandDelete->click();
        const QString last = recordLine(app, 4);
        QCOMPARE(lines(grid), QStringList({recordLine(app, 1), QStringLiteral("2") + last.mid(1)}));

        const QString text = QStringLiteral("39,95\t34,27\r\n104,18\t23,60\r\n");
        w.Command1->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), text);
        w.CommandSave->click(); // the file dialog cancelled
        QVERIFY(app.messages.isEmpty() && w.dataPath().isEmpty());
        app.chosen = app.files.filePath(QStringLiteral("memory.txt"));
        w.CommandSave->click();
        QCOMPARE(AppFixture::readFile(app.chosen), text.toLatin1());
        // The last line cleared by itself, then the only one left; an empty table stays so.
        click(grid, 2, Qt::NoModifier);
        w.CommandDelete->click();
        QCOMPARE(lines(grid), QStringList{recordLine(app, 1)});
        w.CommandDelete->click();
        w.CommandDelete->click();
        QCOMPARE(grid->Rows(), 1);
        w.close();
        QVERIFY(!app.link->loaded());
        QCOMPARE(AppFixture::stored({K::DataPath, K::PortMode, K::PortNumber, K::AngleUnit}),
                 QStringList({app.chosen, "1", "1", "3"}));

        FormMain& again = app.start();
        QVERIFY(again.OptionMrad->isChecked());
        QVERIFY(near(again.windowHeight(), 7500));
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        FlexGrid* table1 = again.tables().currentGrid();
        for (int i = 0; i < 40; ++i)
            again.CommandVal2Table->click();
        table1->flushView(); // the newest line scrolled into view
        QVERIFY(table1->viewport()->rect().contains(table1->visualRect(table1->model()->index(39, 0))));
        again.CT[1]->click();
        again.CommandOpen->click();
        QCOMPARE(app.offered.last(), app.chosen);
        FlexGrid* table2 = again.tables().grid(2);
        QCOMPARE(lines(table2), QStringList({"1|39,95|34,27", "2|104,18|23,60"}));
        click(table2, 1, Qt::NoModifier); // all lines selected and cleared
        click(table2, 2, Qt::ShiftModifier);
        again.CommandDelete->click();
        QCOMPARE(table2->Rows(), 1);
    }

    // Options changed, the background file refused then taken, the remote control's key; reopened, undone.
    void optionsChangeTheWindowAndTheFiles()
    {
        AppFixture app;
        FormMain& w = app.start();
        app.connect(true);
        QTRY_COMPARE(w.TextX->text(), QStringLiteral("12.500"));
        const QString missing = app.files.filePath(QStringLiteral("gone/now.txt"));
        const QString now = app.files.filePath(QStringLiteral("now.txt"));
        QString defaultPath;
        bool triggersShown = false, pathFollowsBox = false, refused = false;
        QVERIFY(app.onModal<FormOptions>(w.CommandOptions, [&](FormOptions& d) {
            defaultPath = d.TextPath->text();
            triggersShown = d.CheckIR->isVisible() && d.CheckExitKey->isVisible();
            d.CheckShowTable->click();
            d.CheckOnTop->click();
            d.CheckComma->click();
            d.CheckIR->click();
            pathFollowsBox = !d.TextPath->isEnabled();
            d.CheckBackground->click();
            pathFollowsBox = pathFollowsBox && d.TextPath->isEnabled();
            d.TextPath->setText(missing);
            d.TextSeconds->setText(QStringLiteral("2"));
            d.CommandOK->click();
            refused = d.isVisible();
            d.TextPath->setText(now);
            d.CommandOK->click();
        }));
        QCOMPARE(defaultPath, app.files.path()); // the TEMP folder
        QVERIFY(triggersShown && pathFollowsBox && refused);
        QCOMPARE(app.messages, QStringList{Refused});
        QVERIFY(!w.optionsLoaded() && WindowLayer::isTopmost(&w)); // closed is unloaded
        QTRY_VERIFY(near(w.windowHeight(), 7000));
        QVERIFY(near(w.tables().grid(5)->Height(), 4000));
        QCOMPARE(AppFixture::stored({K::ShowTable, K::OnTop, K::UseComma, K::StoreAtIR, K::UseBackground,
                                     K::BackgroundSeconds, K::UpdatePath}),
                 QStringList({"1", "1", "1", "1", "1", "2", now}));

        // Every 2nd measurement rewrites the background file, with the comma.
        const QRegularExpression record(QStringLiteral("^\\d+ 03 12,5 -3,25\r\n$"));
        QTRY_VERIFY(app.state->internal.backgroundCounter >= 2);
        QVERIFY(record.match(QString::fromLatin1(AppFixture::readFile(now))).hasMatch());
        QVERIFY(app.sim(QStringLiteral("key ir")));
        QTRY_COMPARE(lines(w.tables().currentGrid()), QStringList{"1|12.500|-3.250"});

        bool lowered = false, restored = false;
        QVERIFY(app.onModal<FormOptions>(w.CommandOptions, [&](FormOptions& d) {
            lowered = !WindowLayer::isTopmost(&w);
            restored = d.CheckShowTable->isChecked() && d.CheckOnTop->isChecked() && d.CheckIR->isChecked() &&
                       d.CheckBackground->isChecked() && d.TextSeconds->text() == QLatin1String("2") &&
                       d.TextPath->text() == now;
            d.CheckOnTop->click();
            d.CheckShowTable->click();
            QTest::keyClick(&d, Qt::Key_Escape); // closes through the close step
        }));
        QVERIFY(lowered && restored);
        QVERIFY(!WindowLayer::isTopmost(&w));
        QTRY_VERIFY(near(w.windowHeight(), 2800));
        QCOMPARE(AppFixture::stored({K::ShowTable}), QStringList{"0"});

        // Shutting down with a background path gone bad neither asks nor refuses.
        w.options().TextPath->setText(missing);
        w.close();
        QCOMPARE(app.messages.size(), 1);
        QCOMPARE(AppFixture::stored({K::UpdatePath, K::UseBackground}), QStringList({missing, "1"}));
    }

    // The instrument turns to TOBAR and back: the window follows, values go to the table, the memory too.
    void tobarRoundTrip()
    {
        AppFixture app;
        FormMain& w = app.start();
        app.connect(true);
        QTRY_COMPARE(w.TextX->text(), QStringLiteral("12.500"));
        QVERIFY(app.sim(QStringLiteral("instrument tobar")));
        QTRY_VERIFY(w.TextTobar->isVisible());
        QVERIFY(w.TextX->isHidden() && w.CommandStart->isHidden() && w.CT[0]->isHidden());
        QCOMPARE(w.tables().currentGrid()->Cols(), 6);
        const QRegularExpression value(QStringLiteral("^\\d+\\.\\d{3}mm$"));
        QTRY_VERIFY(value.match(w.TextTobar->text()).hasMatch());
        w.CommandVal2Table->click();
        QCOMPARE(lines(w.tables().currentGrid()),
                 QStringList{"1|" + w.TextTobar->text() + "|mm|EFL|" + w.TextGONG->text() + "|Line pair " +
                             w.TextReticle->text()});
        bool triggersEnabled = true;
        QVERIFY(app.onModal<FormOptions>(w.CommandOptions, [&](FormOptions& d) {
            triggersEnabled = d.CheckIR->isEnabled() || d.CheckExitKey->isEnabled();
            d.CommandOK->click();
        }));
        QVERIFY(!triggersEnabled);

        // Connected again in TOBAR mode: the readout button for TOBAR, no averaging, no "R" at the close.
        app.commands.clear();
        app.connect(true);
        QCOMPARE(w.CommandLoadFromOrv->text(), QStringLiteral("Load From TOBAR"));
        QVERIFY(w.CommMean->isHidden());
        app.commands.removeAll(QStringLiteral("b")); // the display's polls
        QCOMPARE(app.commands, QStringList({"d", "d"}));
        QVERIFY(app.sim(QStringLiteral("memory 2 4")));
        w.CommandLoadFromOrv->click();
        FlexGrid* table4 = w.tables().grid(4);
        QTRY_COMPARE(table4->Rows(), 3);
        // A comment counts on EFL lines only.
        QCOMPARE(lines(table4),
                 QStringList({recordLine(app, 1), recordLine(app, 2).section('|', 0, 4) + '|'}));

        QVERIFY(app.sim(QStringLiteral("instrument orvelan")));
        QTRY_VERIFY(w.TextX->isVisible());
        QVERIFY(w.TextTobar->isHidden() && w.CT[0]->isVisible());
        QCOMPARE(w.tables().currentGrid()->Cols(), 3);
        QCOMPARE(table4->Rows(), 1); // a new layout starts the tables anew
        QVERIFY(w.options().CheckIR->isEnabled());
        QTRY_COMPARE(w.TextX->text(), QStringLiteral("12.500"));
    }

    // Compatible mode with thousandths of an arcsecond.
    void compatibleModeInHighResolution()
    {
        AppFixture app;
        QVERIFY(app.sim(QStringLiteral("hr on")));
        QVERIFY(app.sim(QStringLiteral("angles 1.234 -5.678")));
        FormMain& w = app.start();
        app.connect(false, [](FormCom& form) { form.optionHR->click(); });
        QCOMPARE(app.instrument.lineBaud(), 2400);
        QTRY_COMPARE(angles(w), QStringLiteral("1.234|-5.678"));
        QVERIFY(w.CommandLoadFromOrv->isHidden() && w.CommMean->isHidden());
        QVERIFY(app.commands.isEmpty()); // the close step sends nothing in this mode
        QCOMPARE(AppFixture::stored({K::IsHR, K::PortMode}), QStringList({"1", "0"}));
        bool triggersShown = true;
        QVERIFY(app.onModal<FormOptions>(w.CommandOptions, [&](FormOptions& d) {
            triggersShown =
                d.CheckIR->isVisible() || d.LabelTransfer->isVisible() || !d.CheckComma->isVisible();
            d.CommandOK->click();
        }));
        QVERIFY(!triggersShown);
        app.link->sendCommandCompatible(0x41);
        QTRY_COMPARE(app.commands, QStringList{"A"});
    }

    void tobarReadingShown_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("shown"); // value, verdict, reticle, the line "Value to table" writes
        QTest::newRow("EFL, mm, NG") << "30 101 12.5"
                                     << QStringList{"12.5mm", "NG", "0.5",
                                                    "1|12.5mm|mm|EFL|NG|Line pair 0.5"};
        QTest::newRow("radius, inch, Go")
            << "31 312 7.25" << QStringList{"7.25\"", "Go", "2", "1|7.25\"|\"|Radius|Go|"};
        QTest::newRow("2.5 rounds down")
            << "32 250 3" << QStringList{"3\"", "----", "1", "1|3\"|\"|BFL|----|"};
        QTest::newRow("3.5 rounds up")
            << "30 350 4" << QStringList{"4\"", "----", "3", "1|4\"|\"|EFL|----|Line pair 3"};
        QTest::newRow("no reticle") << "31 2 5" << QStringList{"5mm", "Go", "", "1|5mm|mm|Radius|Go|"};
        QTest::newRow("negative status")
            << "31 -112 5" << QStringList{"5mm", "----", "kept", "1|5mm|mm|Radius|----|"};
    }
    void tobarReadingShown()
    {
        QFETCH(QString, message);
        QFETCH(QStringList, shown);
        AppFixture app;
        QVERIFY(app.sim(QStringLiteral("stream off")));
        FormMain& w = app.start();
        app.openLine(true);
        w.TextReticle->setText(QStringLiteral("kept"));
        QVERIFY(app.sim(QStringLiteral("text \\r%1\\r").arg(message)));
        QTRY_COMPARE(w.TextTobar->text(), shown[0]);
        w.CommandVal2Table->click();
        QCOMPARE(QStringList({w.TextTobar->text(), w.TextGONG->text(), w.TextReticle->text()}) +
                     lines(w.tables().currentGrid()),
                 shown);
    }

    void connectionOutcome_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("device"); // port 3: 0 missing, 1 held by another program, 2 not this user's
        QTest::addColumn<QString>("status");
        QTest::newRow("no device") << "3" << 0 << "Port is not available";
        QTest::newRow("beyond 16 bits") << "70000" << 0 << "Port is not available";
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
        const QString missing = app.files.filePath(QStringLiteral("no-line"));
        qputenv("TARNOLUX_COM3", (device == 0 ? missing : app.line.path()).toLocal8Bit());
        CommControl other;
        if (device == 1)
            QVERIFY(other.setCommPort(3) == 0 && other.setPortOpen(true) == 0);
        if (device == 2)
            QVERIFY(OtherUser::setMode(app.line.path(), 0));
        app.start();
        FormCom& form = app.link->form();
        form.show();
        QCOMPARE(form.TextStatus->text(), QStringLiteral("o.k."));
        std::optional<OtherUser> user;
        if (device == 2) {
            form.deInitCom(); // another user could not remove the lock of the port opened here
            if (!user.emplace().isValid())
                QSKIP("this process may not act as another user");
        }
        form.TextPortNum->setText(typed);
        user.reset();
        QCOMPARE(form.TextStatus->text(), status);
        QCOMPARE(form.comPort().PortOpen(), status == QLatin1String("o.k."));
        QCOMPARE(app.state->link.conStatus, qint16(status == QLatin1String("o.k.") ? 1 : 0));
    }

    void keyFilters_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("count"); // the options' background count, else "Store every"
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<qint32>("every");
        QTest::addColumn<QString>("shown");
        const QString none;
        const QString huge(400, QLatin1Char('9'));
        const qint32 most = std::numeric_limits<qint32>::max();
        QTest::newRow("store: digits") << "1a.2,-3 x\t" << false << none << 123 << "123";
        QTest::newRow("store: backspace") << "45\b6" << false << none << 46 << "46";
        QTest::newRow("store: letters pasted") << none << false << "abc" << 1 << "abc";
        QTest::newRow("store: 400 digits pasted") << none << false << huge << most << huge;
        QTest::newRow("count: control keys") << "7\t8\r9\x1b" << true << none << 789 << "789";
        QTest::newRow("count: 400 digits pasted") << none << true << huge << most << huge;
        QTest::newRow("count: empty") << none << true << none << 1 << none;
    }
    void keyFilters()
    {
        QFETCH(bool, count);
        QFETCH(QString, typed);
        QFETCH(QString, pasted);
        QFETCH(QString, shown);
        QFETCH(qint32, every);
        AppFixture app;
        FormMain& w = app.start();
        QLineEdit* box = w.TextTimer;
        FormOptions& options = w.options();
        if (count) {
            options.show();
            options.CheckBackground->setChecked(true);
            options.TextPath->setText(app.files.filePath(QStringLiteral("now.txt")));
            box = options.TextSeconds;
        }
        QApplication::setActiveWindow(box->window());
        box->setFocus();
        box->clear();
        QTest::keyClicks(box, typed);
        QGuiApplication::clipboard()->setText(pasted);
        box->paste();
        QCOMPARE(box->text(), shown);
        if (count) {
            options.CommandOK->click();
            QCOMPARE(app.state->internal.updateSignalEvery, every);
            QCOMPARE(AppFixture::stored({K::BackgroundSeconds}),
                     QStringList{shown.isEmpty() ? QStringLiteral("0") : QString::number(every)});
        } else {
            QTest::keyClick(box, Qt::Key_Return);
            QCOMPARE(app.state->internal.msgSignalEvery, every);
        }
    }

    void windowPlacement_data()
    {
        QTest::addColumn<bool>("dialog");
        QTest::addColumn<QPointF>("stored"); // twips
        QTest::addColumn<QPointF>("at");     // -1: against the screen's far edge
        QTest::newRow("main, negative") << false << QPointF(-500, -300) << QPointF(0, 0);
        QTest::newRow("main, inside") << false << QPointF(150, 45) << QPointF(150, 45);
        QTest::newRow("main, below the screen") << false << QPointF(0, 99999) << QPointF(0, -1);
        QTest::newRow("options, negative") << true << QPointF(-15, -500) << QPointF(0, 0);
        QTest::newRow("options, inside") << true << QPointF(450, 300) << QPointF(450, 300);
        QTest::newRow("options, beyond the screen") << true << QPointF(9e5, 9e5) << QPointF(-1, -1);
    }
    void windowPlacement()
    {
        QFETCH(bool, dialog);
        QFETCH(QPointF, stored);
        QFETCH(QPointF, at);
        AppFixture app;
        const K::Key& left = dialog ? K::OptionsLeft : K::MainLeft;
        const K::Key& top = dialog ? K::OptionsTop : K::MainTop;
        AppFixture::setStored({{left, QString::number(stored.x())}, {top, QString::number(stored.y())}});
        FormMain& w = app.start();
        QWidget* placed = dialog ? static_cast<QWidget*>(&w.options()) : &w;
        const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
        // The main window is placed while it still has its size from before start-up.
        const QSize outer =
            dialog ? placed->frameGeometry().size()
                   : QSize(w.width(), Twips::toPixels(8895)) + w.frameGeometry().size() - w.size();
        if (at.x() < 0)
            at.setX(Twips::fromPixels(screen.width() - outer.width()));
        if (at.y() < 0)
            at.setY(Twips::fromPixels(screen.height() - outer.height()));
        const QPointF shown = dialog ? QPointF(w.options().dialogLeft(), w.options().dialogTop())
                                     : QPointF(w.windowLeft(), w.windowTop());
        QVERIFY2(near(shown.x(), at.x()) && near(shown.y(), at.y()),
                 qPrintable(QStringLiteral("%1, %2").arg(shown.x()).arg(shown.y())));
        w.close(); // written back where it stands
        QCOMPARE(AppFixture::stored({left, top}),
                 QStringList({QString::number(shown.x()), QString::number(shown.y())}));
    }

    void sizeRules_data()
    {
        QTest::addColumn<bool>("table");
        QTest::addColumn<bool>("tobar");
        QTest::addColumn<QSize>("asked"); // twips
        QTest::addColumn<QSize>("given");
        QTest::addColumn<int>("tableHeight");
        QTest::newRow("narrow, no table") << false << false << QSize(3000, 5000) << QSize(6135, 2800) << 0;
        QTest::newRow("TOBAR, no table") << false << true << QSize(7500, 5000) << QSize(7500, 2300) << 0;
        QTest::newRow("table, too low") << true << false << QSize(6135, 4500) << QSize(6135, 6000) << 3000;
        QTest::newRow("table") << true << false << QSize(6135, 7000) << QSize(6135, 7000) << 4000;
        QTest::newRow("TOBAR table") << true << true << QSize(6135, 7000) << QSize(6135, 7000) << 4500;
    }
    void sizeRules()
    {
        QFETCH(bool, table);
        QFETCH(bool, tobar);
        QFETCH(QSize, asked);
        QFETCH(QSize, given);
        QFETCH(int, tableHeight);
        AppFixture app;
        AppFixture::setStored({{K::ShowTable, table ? "1" : "0"}, {K::ModeTobar, tobar ? "True" : "False"}});
        FormMain& w = app.start();
        QTRY_VERIFY(w.optionsLoaded()); // laid out by the first tick
        const int margin = w.width() - w.Command2->geometry().right();
        w.setWindowWidth(asked.width());
        w.setWindowHeight(asked.height());
        QTRY_VERIFY(near(w.windowWidth(), given.width()));
        QTRY_VERIFY(near(w.windowHeight(), given.height()));
        QCOMPARE(w.width() - w.Command2->geometry().right(), margin); // the info button keeps to the edge
        if (table) {
            QVERIFY(near(app.state->options.heightWithTable, given.height()));
            for (int n = 1; n <= 10; ++n)
                QVERIFY(near(w.tables().grid(n)->Height(), tableHeight));
        }
    }

    // Over a window that is always on top, which steps down while the box is shown.
    void aboutBox()
    {
        AppFixture app;
        AppFixture::setStored({{K::OnTop, "1"}});
        FormMain& w = app.start();
        QVERIFY(WindowLayer::isTopmost(&w));
        QPointer<frmAbout> about;
        bool lowered = false;
        QString texts;
        QVERIFY(app.onModal<frmAbout>(w.Command2, [&](frmAbout& box) {
            about = &box;
            lowered = !WindowLayer::isTopmost(&w) && box.parentWidget() == &w;
            texts =
                box.windowTitle() + QLatin1Char('|') + box.lblTitle->text() + '|' + box.lblVersion->text();
            box.cmdOK->click();
        }));
        QVERIFY(lowered && WindowLayer::isTopmost(&w));
        // The version in plain decimals: 2.3, never 2.03.
        const QRegularExpression wording(
            QStringLiteral("^About TARNOLUX\\|TARNOLUX\\|This is Version \\d+\\.(0|[1-9]\\d*)$"));
        QVERIFY2(wording.match(texts).hasMatch(), qPrintable(texts));
        QTRY_VERIFY(about.isNull()); // closing unloads it
    }
};

QTEST_MAIN(TestJourneys)
#include "test_journeys.moc"
