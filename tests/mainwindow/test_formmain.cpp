#include "mainwindowfixture.h"
#include "widgets/flexgrid.h"
#include "widgets/twips.h"
#include "dialogs/formoptions.h"
#include "tables/tableset.h"

#include <QCheckBox>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <limits>

class TestFormMain : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> m_f;

    FormMain& startTicking(bool tobar)
    {
        FormMain& w = m_f->start();
        w.TimerDisplay->stop(); // the tests tick by hand
        m_f->state->options.modeTobar = tobar;
        w.TimerDisplay_Timer();
        return w;
    }

    static QList<QWidget*> orvelanOnly(FormMain& w)
    {
        QList<QWidget*> list{w.OptionArcsec, w.OptionDegree, w.OptionSecMinDeg, w.OptionMrad,   w.OptionMproM,
                             w.TextX,        w.TextY,        w.CommandSet,      w.CommandReset, w.LabelX,
                             w.LabelY,       w.CommMean,     w.Line1,           w.LabelStore,   w.LabelTH,
                             w.LabelSeconds, w.LabelLine,    w.TextLine,        w.CommandStart, w.CommandStop,
                             w.TextTimer};
        for (QPushButton* b : w.CT)
            list << b;
        return list;
    }

private slots:
    void init() { m_f = std::make_unique<MainWindowFixture>(); }
    void cleanup() { m_f.reset(); }

    void designArrangement_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("tip");
        QTest::addColumn<QRect>("twips");
        QTest::newRow("Open") << "CommandOpen"
                              << "Open"
                              << "Read current table from  file" << QRect(120, 120, 855, 375);
        QTest::newRow("Connection") << "CommandConnect"
                                    << "Connection"
                                    << "Connect to the autocollimator" << QRect(1800, 120, 975, 375);
        QTest::newRow("clipboard") << "Command1"
                                   << "Table to clipboard"
                                   << "Transfer current table to the clipboard"
                                   << QRect(3600, 120, 1455, 375);
        QTest::newRow("Reset") << "CommandReset"
                               << "Reset"
                               << "Reset angle values " << QRect(3480, 1920, 855, 375);
        QTest::newRow("micro") << "OptionMproM" << QString::fromUtf8("\u00b5/m") << ""
                               << QRect(4680, 1560, 1335, 255);
        QTest::newRow("store every") << "LabelStore"
                                     << "Store every"
                                     << "" << QRect(120, 735, 975, 255);
        QTest::newRow("N") << "TextTimer"
                           << "10"
                           << "" << QRect(1005, 705, 615, 285);
        QTest::newRow("X") << "TextX"
                           << ""
                           << "Current measured X angle" << QRect(2400, 600, 1935, 495);
        QTest::newRow("table 10") << "CT9"
                                  << "10"
                                  << "Select table #10" << QRect(480, 3600, 375, 375);
        QTest::newRow("table 6") << "CT5"
                                 << "6"
                                 << "Select table #6" << QRect(840, 2880, 375, 375);
    }
    void designArrangement()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, tip);
        QFETCH(QRect, twips);
        FormMain& w = m_f->start();
        QCOMPARE(w.windowTitle(), QStringLiteral("TARNOLUX"));
        auto* widget = w.findChild<QWidget*>(name);
        QVERIFY(widget);
        QString text;
        if (auto* edit = qobject_cast<QLineEdit*>(widget))
            text = edit->text();
        else if (auto* label = qobject_cast<QLabel*>(widget))
            text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            text = button->text();
        QCOMPARE(text, caption);
        QCOMPARE(widget->toolTip(), tip);
        QCOMPARE(widget->geometry(),
                 QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
    }

    void designVisibilityBeforeFirstTick()
    {
        FormMain& w = m_f->start();
        QVERIFY(w.LabelLine->isHidden());
        QVERIFY(w.TextLine->isHidden());
        QVERIFY(w.CommMean->isHidden());
        QVERIFY(w.TextTobar->isHidden());
        QVERIFY(w.CommandLoadFromOrv->isHidden());
        QVERIFY(!w.TextGONG->isHidden());
        QVERIFY(w.TimerDisplay->isActive());
        QCOMPARE(w.TimerDisplay->interval(), 200);
        QVERIFY(m_f->state->options.oldModeTobar != m_f->state->options.modeTobar);
    }

    void tobarTick_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("gong");
        QTest::addColumn<QString>("reticle");
        QTest::newRow("201") << 201 << "12.5mm"
                             << "NG"
                             << "1";
        QTest::newRow("112") << 112 << "12.5\""
                             << "Go"
                             << "0.5";
        QTest::newRow("0") << 0 << "12.5mm"
                           << "----"
                           << "";
        QTest::newRow("250 halves to even") << 250 << "12.5\""
                                            << "----"
                                            << "1";
        QTest::newRow("350 halves to even") << 350 << "12.5\""
                                            << "----"
                                            << "3";
        QTest::newRow("402") << 402 << "12.5mm"
                             << "Go"
                             << "3";
        QTest::newRow("550 unchanged") << 550 << "12.5\""
                                       << "----"
                                       << "previous";
        QTest::newRow("-101 unchanged") << -101 << "12.5mm"
                                        << "----"
                                        << "previous";
    }
    void tobarTick()
    {
        QFETCH(int, status);
        QFETCH(QString, value);
        QFETCH(QString, gong);
        QFETCH(QString, reticle);
        FormMain& w = startTicking(true);
        m_f->connectLink(1);
        AppState& s = *m_f->state;
        s.options.modeTobar = true;
        s.link.tobarValue = QStringLiteral("12.5");
        s.link.tobarStatus = static_cast<qint16>(status);
        w.TextReticle->setText(QStringLiteral("previous"));
        w.TimerDisplay_Timer();
        QCOMPARE(w.TextTobar->text(), value);
        QCOMPARE(w.TextGONG->text(), gong);
        QCOMPARE(w.TextReticle->text(), reticle);
        QCOMPARE(m_f->commandsWithin(100), QByteArray("b\r"));
    }

    void noPollingWithoutPortOrInCompatibleMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("portNum");
        QTest::newRow("compatible mode") << 0 << 1;
        QTest::newRow("no port number") << 1 << 0;
    }
    void noPollingWithoutPortOrInCompatibleMode()
    {
        QFETCH(int, mode);
        QFETCH(int, portNum);
        FormMain& w = startTicking(true);
        m_f->connectLink(mode);
        m_f->state->link.portNum = static_cast<qint16>(portNum);
        m_f->state->link.conStatus = 0;
        w.TimerDisplay_Timer();
        w.TimerDisplay_Timer();
        QVERIFY(m_f->commandsWithin(100).isEmpty());
        QCOMPARE(w.TextX->text(), QStringLiteral(".........."));
    }

    void mainTimeCountsAndWraps()
    {
        FormMain& w = startTicking(false);
        m_f->state->options.mainTime = std::numeric_limits<qint32>::max();
        w.TimerDisplay_Timer();
        QCOMPARE(m_f->state->options.mainTime, std::numeric_limits<qint32>::min());
    }

    void averagingCaptionFollowsInstrument()
    {
        FormMain& w = startTicking(false);
        m_f->connectLink(1);
        AppState& s = *m_f->state;
        QCOMPARE(w.CommMean->text(), QStringLiteral("Averages"));
        w.CommMean->click();
        QCOMPARE(m_f->commandsWithin(100), QByteArray("M\r"));
        QCOMPARE(w.CommMean->text(), QStringLiteral("Averages")); // only the instrument changes it
        s.link.angleStatus = 7;
        w.TimerDisplay_Timer();
        QCOMPARE(w.CommMean->text(), QStringLiteral("No averaging"));
        w.CommMean->setText(QStringLiteral("marker"));
        w.TimerDisplay_Timer(); // still averaging: left alone
        QCOMPARE(w.CommMean->text(), QStringLiteral("marker"));
        w.CommMean->click();
        QCOMPARE(m_f->commandsWithin(100), QByteArray("U\r"));
        s.link.angleStatus = 3;
        w.TimerDisplay_Timer();
        QCOMPARE(w.CommMean->text(), QStringLiteral("Averages"));
    }

    void anglesInChosenUnitAndZero()
    {
        FormMain& w = startTicking(false);
        AppState& s = *m_f->state;
        s.link.conStatus = 1;
        s.link.angleStatus = 1;
        s.link.angleX = 3723.456;
        s.link.angleY = 5.0;
        w.TimerDisplay_Timer();
        QCOMPARE(w.TextX->text(), QStringLiteral("3723.456"));
        QCOMPARE(w.TextY->text(), QStringLiteral(".........."));
        w.OptionSecMinDeg->click();
        QCOMPARE(w.TextX->text(), QStringLiteral("3723.456")); // not before the next tick
        w.TimerDisplay_Timer();
        QCOMPARE(w.TextX->text(), QStringLiteral(" 1:02:03.46"));
        w.OptionDegree->click();
        w.CommandSet->click();
        w.TimerDisplay_Timer();
        QCOMPARE(w.TextX->text(), QStringLiteral("0.000000"));
        w.CommandReset->click();
        w.TimerDisplay_Timer();
        QCOMPARE(w.TextX->text(), QStringLiteral("1.034293"));
    }

    void storing_data()
    {
        QTest::addColumn<QString>("n");
        QTest::addColumn<int>("divisor");
        QTest::addColumn<bool>("counterShown");
        QTest::newRow("default 10") << "10" << 10 << false;
        QTest::newRow("5") << "5" << 5 << true;
        QTest::newRow("empty stores every one") << "" << 1 << true;
    }
    void storing()
    {
        QFETCH(QString, n);
        QFETCH(int, divisor);
        QFETCH(bool, counterShown);
        FormMain& w = startTicking(false);
        AppState& s = *m_f->state;
        w.CommandStop->click(); // the first layout showed the line counter
        w.TextTimer->setText(n);
        w.CommandStart->click();
        QCOMPARE(s.internal.msgSignalEvery, divisor);
        QCOMPARE(!w.LabelLine->isHidden(), counterShown);
        QCOMPARE(!w.TextLine->isHidden(), counterShown);
        QCOMPARE(w.tables().grid(1)->Redraw(), !counterShown);

        w.haveAngleMsg();
        w.haveAngleMsg();
        QCOMPARE(w.tables().currentGrid()->Rows(), 3);
        QCOMPARE(w.TextLine->text(), QStringLiteral("3"));
        QCOMPARE(w.tables().currentGrid()->TextMatrix(2, 1), QStringLiteral(".........."));

        w.CommandStop->click();
        QCOMPARE(s.internal.msgSignalEvery, 1000000);
        QVERIFY(w.LabelLine->isHidden());
        QVERIFY(w.tables().grid(1)->Redraw());
        w.haveAngleMsg();
        QCOMPARE(w.tables().currentGrid()->Rows(), 3);
    }

    void storingKeyFilter()
    {
        FormMain& w = startTicking(false);
        w.TextTimer->setFocus();
        w.TextTimer->clear();
        QTest::keyClicks(w.TextTimer, QStringLiteral("1a.2,-3 x"));
        QCOMPARE(w.TextTimer->text(), QStringLiteral("123"));
        QTest::keyClick(w.TextTimer, Qt::Key_Backspace);
        QCOMPARE(w.TextTimer->text(), QStringLiteral("12"));
        QTest::keyClick(w.TextTimer, Qt::Key_Return);
        QCOMPARE(m_f->state->internal.msgSignalEvery, 12); // Enter applies, also while idle
        QTest::keyClick(w.TextTimer, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(w.TextTimer->text(), QStringLiteral("12"));
    }

    void fullTableStopsStoring()
    {
        FormMain& w = startTicking(false);
        w.TextTimer->setText(QStringLiteral("1"));
        w.CommandStart->click();
        FlexGrid* grid = w.tables().currentGrid();
        grid->setRows(TableSet::FullRows - 1);
        w.haveAngleMsg();
        QVERIFY(!w.isStoring());
        QCOMPARE(grid->TextMatrix(TableSet::FullRows - 1, 1), QStringLiteral("table filled."));
        QVERIFY(w.LabelLine->isHidden());
    }

    void modeLayoutBothWays()
    {
        FormMain& w = startTicking(false);
        for (QWidget* widget : orvelanOnly(w)) {
            if (widget != w.CommMean && widget != w.LabelLine && widget != w.TextLine)
                QVERIFY2(!widget->isHidden(), qPrintable(widget->objectName()));
        }
        w.tables().currentGrid()->setRows(5);
        m_f->state->options.modeTobar = true;
        w.TimerDisplay_Timer();
        QVERIFY(m_f->state->options.oldModeTobar);
        for (QWidget* widget : orvelanOnly(w))
            QVERIFY2(widget->isHidden(), qPrintable(widget->objectName()));
        for (QWidget* widget : {static_cast<QWidget*>(w.TextTobar), static_cast<QWidget*>(w.TextGONG),
                                static_cast<QWidget*>(w.TextReticle)})
            QVERIFY(!widget->isHidden());
        QCOMPARE(w.TextTobar->geometry(), QRect(1440 / 15, 600 / 15, w.TextTobar->width(), 1215 / 15));
        QCOMPARE(w.TextGONG->geometry().topLeft(), QPoint(Twips::toPixels(100), Twips::toPixels(600)));
        QVERIFY(w.optionsLoaded());
        QVERIFY(!w.options().CheckIR->isEnabled());
        QVERIFY(!w.options().CheckExitKey->isEnabled());
        QCOMPARE(w.tables().currentGridNum(), qint16(1));
        QCOMPARE(w.tables().currentGrid()->Rows(), 1);
        QCOMPARE(w.tables().currentGrid()->Cols(), 6);

        m_f->state->options.modeTobar = false;
        w.TimerDisplay_Timer();
        for (QWidget* widget : orvelanOnly(w))
            QVERIFY2(!widget->isHidden(), qPrintable(widget->objectName()));
        QVERIFY(w.TextTobar->isHidden());
        QVERIFY(w.options().CheckIR->isEnabled());
        QCOMPARE(w.tables().currentGrid()->Cols(), 3);
    }

    void resizeRules_data()
    {
        QTest::addColumn<bool>("showTable");
        QTest::addColumn<bool>("tobar");
        QTest::addColumn<int>("askWidth");
        QTest::addColumn<int>("askHeight");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("tableHeight");
        QTest::newRow("narrow, no table") << false << false << 3000 << 5000 << 6135 << 2800 << -1;
        QTest::newRow("tobar, no table") << false << true << 7500 << 5000 << 7500 << 2300 << -1;
        QTest::newRow("table, too low") << true << false << 6135 << 4500 << 6135 << 6000 << 3000;
        QTest::newRow("table 7000") << true << false << 6135 << 7000 << 6135 << 7000 << 4000;
        QTest::newRow("table 7000 tobar") << true << true << 6135 << 7000 << 6135 << 7000 << 4500;
    }
    void resizeRules()
    {
        QFETCH(bool, showTable);
        QFETCH(bool, tobar);
        QFETCH(int, askWidth);
        QFETCH(int, askHeight);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, tableHeight);
        FormMain& w = startTicking(tobar);
        m_f->state->options.showTable = showTable;
        w.setWindowWidth(askWidth);
        w.setWindowHeight(askHeight);
        // Sizes land on whole pixels of 15 twips.
        const auto near = [](double twips, int expected) { return qAbs(twips - expected) < 15; };
        QTRY_VERIFY(near(w.windowWidth(), width));
        QTRY_VERIFY(near(w.windowHeight(), height));
        if (showTable) {
            QVERIFY(near(m_f->state->options.heightWithTable, height));
            for (int i = 1; i <= 10; ++i)
                QVERIFY(near(w.tables().grid(i)->Height(), tableHeight));
            QVERIFY(near(w.tables().grid(4)->Width(), width + 4460 - 6135));
        }
        QVERIFY(near(w.Command2->x() * 15, width + 5160 - 6135));
    }

    void resizeIgnoredWhenMaximised()
    {
        FormMain& w = startTicking(false);
        const QRect before = w.Command2->geometry();
        w.showMaximized();
        QTRY_VERIFY(w.isMaximized());
        QCOMPARE(w.Command2->geometry(), before);
    }

    void connectionAdaptsButtons_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("tobar");
        QTest::addColumn<bool>("loadShown");
        QTest::addColumn<bool>("meanShown");
        QTest::addColumn<QString>("caption");
        QTest::newRow("text, orvelan") << 1 << false << true << true << "Load from ORVELAN";
        QTest::newRow("text, tobar") << 1 << true << true << false << "Load From TOBAR";
        QTest::newRow("compatible") << 0 << false << false << false << "Load from ORVELAN";
    }
    void connectionAdaptsButtons()
    {
        QFETCH(int, mode);
        QFETCH(bool, tobar);
        QFETCH(bool, loadShown);
        QFETCH(bool, meanShown);
        QFETCH(QString, caption);
        FormMain& w = startTicking(tobar);
        m_f->store()->setValue(QStringLiteral("com/mode"), QString::number(mode));
        m_f->state->options.modeTobar = tobar;
        // A caption left over from an earlier TOBAR session is put right.
        w.CommandLoadFromOrv->setText(tobar ? QStringLiteral("Load from ORVELAN")
                                            : QStringLiteral("Load From TOBAR"));
        w.TimerDisplay->start(); // the close step waits on display ticks
        QTimer::singleShot(0, this, [this] { m_f->link->form().CommandClose->click(); });
        w.CommandConnect->click();
        QCOMPARE(m_f->state->link.portNum, qint16(1));
        QCOMPARE(!w.CommandLoadFromOrv->isHidden(), loadShown);
        QCOMPARE(!w.CommMean->isHidden(), meanShown);
        if (loadShown)
            QCOMPARE(w.CommandLoadFromOrv->text(), caption);
        QVERIFY(m_f->link->loaded()->comPort().PortOpen());
    }

    void loadFromInstrumentSendsT()
    {
        FormMain& w = startTicking(false);
        m_f->connectLink(1);
        w.CommandLoadFromOrv->click();
        QCOMPARE(m_f->commandsWithin(100), QByteArray("t\r"));
    }

    void readoutThroughLinkCalls()
    {
        FormMain& w = startTicking(false);
        MainWindowCalls& calls = w;
        calls.setGridForLoad(3, 2, 2);
        calls.addLine(3);
        calls.setColumn(QStringLiteral("1.5"));
        calls.setColumn(QStringLiteral("-2.0"));
        QCOMPARE(w.tables().currentGridNum(), qint16(3));
        QCOMPARE(w.tables().currentGrid()->TextMatrix(1, 2), QStringLiteral("-2.0"));
    }

    // Pictures of both layouts for a person to look at; they land in the build folder.
    void renderLayouts()
    {
        FormMain& w = startTicking(false);
        AppState& s = *m_f->state;
        s.options.showTable = true;
        w.setWindowHeight(7000);
        s.link.conStatus = 1;
        s.link.angleStatus = 3;
        for (int i = 0; i < 4; ++i) {
            s.link.angleX = 12.5 + i;
            s.link.angleY = -3.25 * i;
            w.XY2Table();
        }
        w.TimerDisplay_Timer();
        const QString folder = QStringLiteral(TARNOLUX_RENDER_DIR);
        QVERIFY(QDir().mkpath(folder));
        QCoreApplication::processEvents(); // the grid learns of new lines once per event-loop turn
        QCOMPARE(w.tables().currentGrid()->model()->rowCount(), 4);
        const QImage orvelan = w.grab().toImage();
        QVERIFY(!orvelan.isNull());
        QVERIFY(orvelan.save(folder + QStringLiteral("/orvelan.png")));

        s.options.modeTobar = true;
        s.link.portNum = 0;
        w.TimerDisplay_Timer();
        s.link.portNum = 1;
        s.link.portMode = 1;
        s.link.tobarValue = QStringLiteral("12.345");
        s.link.tobarStatus = 112;
        w.TimerDisplay_Timer(); // not connected: the poll goes nowhere
        const QImage tobar = w.grab().toImage();
        QVERIFY(tobar.save(folder + QStringLiteral("/tobar.png")));
        QVERIFY(tobar != orvelan);
    }
};

QTEST_MAIN(TestFormMain)
#include "test_formmain.moc"
