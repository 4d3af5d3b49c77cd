#include "connection/comlink.h"
#include "connection/formcom.h"
#include "widgets/messagebox.h"
#include "state/appstate.h"
#include "support/otheruser.h"
#include "support/ptypair.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <limits>
#include <memory>

class TestFormCom : public QObject {
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<ComLink> m_link;
    std::unique_ptr<PtyPair> m_pty;
    QStringList m_messages;

    static std::unique_ptr<QSettings> store()
    {
        auto s = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QStringLiteral("tarnolux"), QStringLiteral("tarnolux"));
        s->setFallbacksEnabled(false);
        return s;
    }
    static QString stored(const QString& key)
    {
        return store()->value(QStringLiteral("com/") + key).toString();
    }
    static void storeCom(const QString& key, const QString& value)
    {
        store()->setValue(QStringLiteral("com/") + key, value);
    }

    FormCom& showForm()
    {
        FormCom& form = m_link->form();
        form.show();
        return form;
    }

    // Bytes from the program on the instrument's side, gathered while events run.
    QByteArray readUntil(int count)
    {
        QByteArray got;
        QDeadlineTimer deadline(3000);
        while (got.size() < count && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            got += m_pty->readAvailable();
        }
        return got;
    }

    // Plays the main window's display timer.
    std::unique_ptr<QTimer> startDisplayTicks()
    {
        auto timer = std::make_unique<QTimer>();
        timer->setInterval(200);
        connect(timer.get(), &QTimer::timeout, this, [this] {
            m_state->options.mainTime =
                static_cast<qint32>(static_cast<quint32>(m_state->options.mainTime) + 1);
        });
        timer->start();
        return timer;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_settingsDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        MessageBox::setHandler([this](QWidget*, const QString& text) { m_messages << text; });
    }

    void init()
    {
        store()->clear();
        m_messages.clear();
        m_pty = std::make_unique<PtyPair>();
        QVERIFY(m_pty->isValid());
        qputenv("TARNOLUX_COM1", m_pty->path().toLocal8Bit());
        qputenv("TARNOLUX_COM2", QByteArray("/nonexistent/tarnolux-port"));
        m_state = std::make_unique<AppState>();
        m_link = std::make_unique<ComLink>(*m_state);
    }

    void cleanup()
    {
        m_link.reset();
        m_state.reset();
        m_pty.reset();
    }

    void statusTexts_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("ok") << 0 << "o.k.";
        QTest::newRow("missing") << 8002 << "Port is not available";
        QTest::newRow("busy") << 8005 << "Port is already open";
        QTest::newRow("other") << 8010 << "8010 - Don't know what's wrong";
        QTest::newRow("odd") << 1 << "1 - Don't know what's wrong";
    }
    void statusTexts()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(FormCom::statusText(code), text);
    }

    void stateWithoutWindow()
    {
        m_link->setMsgSignal(5);
        m_link->setUpdateSignal(3);
        m_link->sendCommand(QStringLiteral("b"));
        QCOMPARE(m_state->internal.msgSignalEvery, 5);
        QCOMPARE(m_state->internal.updateSignalEvery, 3);
        QVERIFY(m_link->loaded() == nullptr);
        QCOMPARE(m_state->link.portNum, qint16(0));
        QCOMPARE(m_state->link.conStatus, qint16(0));
        QVERIFY(m_messages.isEmpty());
        QTest::qWait(50); // let a stray write, if any, reach the line
        QVERIFY(m_pty->readAvailable().isEmpty());
    }

    void firstShowingWithEmptyStore()
    {
        FormCom& form = showForm();
        QCOMPARE(form.windowTitle(), QStringLiteral("Connection"));
        QCOMPARE(m_state->link.portNum, qint16(1));
        QCOMPARE(m_state->link.portMode, qint16(0));
        QCOMPARE(m_state->link.conStatus, qint16(1));
        QCOMPARE(form.TextStatus->text(), QStringLiteral("o.k."));
        QCOMPARE(form.TextPortNum->text(), QStringLiteral("1"));
        QVERIFY(form.comPort().PortOpen());
        QCOMPARE(form.comPort().Settings(), QStringLiteral("2400,N,8,1"));
        QCOMPARE(form.comPort().InputMode(), 1);
        QCOMPARE(form.comPort().RThreshold(), qint16(8));
        QCOMPARE(form.comPort().InBufferSize(), 8192);
        QCOMPARE(m_pty->baudRate(), 2400);
        QVERIFY(form.TimerCom->isActive());
        QCOMPARE(form.TimerCom->interval(), 1000);
        QVERIFY(form.OptionCompatible->isChecked());
        QVERIFY(form.optionHR->isVisibleTo(&form));
        QVERIFY(!form.optionHR->isChecked());
        QCOMPARE(m_state->internal.msgSignalEvery, std::numeric_limits<qint32>::max());
        QCOMPARE(m_state->internal.measureCountdown, std::numeric_limits<qint32>::max());
        QVERIFY(!m_state->internal.inSync);
    }

    void controlsAndPlaces()
    {
        FormCom& form = showForm();
        const struct {
            const char* name;
            QString caption;
            QRect twips;
        } expected[] = {
            {"TextPortNum", "1", {840, 120, 375, 375}},
            {"TextStatus", "o.k.", {2280, 120, 3135, 375}},
            {"CommandClose", "Close", {4560, 600, 855, 375}},
            {"optionHR", "ORVELAN HR", {240, 960, 1575, 375}},
            {"OptionText", "Text mode", {2160, 600, 1215, 375}},
            {"OptionCompatible", "compatible mode", {240, 600, 1815, 375}},
        };
        for (const auto& e : expected) {
            auto* w = form.findChild<QWidget*>(QLatin1String(e.name));
            QVERIFY2(w, e.name);
            const QRect px(e.twips.x() / 15, e.twips.y() / 15, e.twips.width() / 15, e.twips.height() / 15);
            QCOMPARE(w->geometry(), px);
            QString caption;
            if (auto* edit = qobject_cast<QLineEdit*>(w))
                caption = edit->text();
            else if (auto* button = qobject_cast<QAbstractButton*>(w))
                caption = button->text();
            QCOMPARE(caption, e.caption);
        }
    }

    void choosingTextMode()
    {
        FormCom& form = showForm();
        form.OptionText->click();
        QCOMPARE(m_state->link.portMode, qint16(1));
        QCOMPARE(form.comPort().Settings(), QStringLiteral("19200,N,8,1"));
        QCOMPARE(form.comPort().InputMode(), 0);
        QCOMPARE(form.comPort().RThreshold(), qint16(1));
        QCOMPARE(m_pty->baudRate(), 19200);
        QVERIFY(!form.TimerCom->isActive());
        QVERIFY(!form.optionHR->isVisibleTo(&form));
        QCOMPARE(form.TextStatus->text(), QStringLiteral("o.k."));

        // Back to compatible mode clears the validity and shows the HR box again.
        m_state->link.angleStatus = 3;
        form.OptionCompatible->click();
        QCOMPARE(m_state->link.angleStatus, qint16(0));
        QCOMPARE(m_pty->baudRate(), 2400);
        QVERIFY(form.optionHR->isVisibleTo(&form));
        QVERIFY(form.TimerCom->isActive());
    }

    void optionHRSetsResolution()
    {
        FormCom& form = showForm();
        form.optionHR->click();
        QCOMPARE(m_state->link.isHR, qint16(1));
        QVERIFY(form.comPort().PortOpen());
        form.optionHR->click();
        QCOMPARE(m_state->link.isHR, qint16(0));
    }

    void portNumberTyped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("open");
        QTest::newRow("emptied") << ""
                                 << "Port is not available" << false;
        QTest::newRow("missing device") << "2"
                                        << "Port is not available" << false;
        QTest::newRow("beyond 16 bits") << "70000"
                                        << "Port is not available" << false;
        QTest::newRow("negative beyond 16 bits") << "-99999"
                                                 << "Port is not available" << false;
        QTest::newRow("text") << "abc"
                              << "Port is not available" << false;
        QTest::newRow("same port with junk") << "1x"
                                             << "o.k." << true;
    }
    void portNumberTyped()
    {
        QFETCH(QString, typed);
        QFETCH(QString, status);
        QFETCH(bool, open);
        FormCom& form = showForm();
        form.TextPortNum->setText(typed);
        QCOMPARE(form.TextStatus->text(), status);
        QCOMPARE(form.comPort().PortOpen(), open);
        QCOMPARE(m_state->link.conStatus, qint16(open ? 1 : 0));
        // A number that names no port leaves the port number in use as it was.
        if (typed != QLatin1String("2"))
            QCOMPARE(m_state->link.portNum, qint16(1));
    }

    void busyLine()
    {
        CommControl other;
        QCOMPARE(other.setCommPort(1), 0);
        QCOMPARE(other.setPortOpen(true), 0);
        FormCom& form = showForm();
        QCOMPARE(form.TextStatus->text(), QStringLiteral("Port is already open"));
        QCOMPARE(m_state->link.conStatus, qint16(0));
        QCOMPARE(m_state->link.portNum, qint16(1));
    }

    // The status names the cause the user can fix, and the port number stays for the next try.
    void deniedLine()
    {
        PtyPair denied;
        QVERIFY(denied.isValid());
        QVERIFY(OtherUser::setMode(denied.path(), 0));
        qputenv("TARNOLUX_COM3", denied.path().toLocal8Bit());
        FormCom& form = showForm();
        QCOMPARE(form.TextStatus->text(), QStringLiteral("o.k."));
        // The other user could not remove the lock file of the port opened here before.
        form.deInitCom();
        {
            OtherUser user;
            if (!user.isValid())
                QSKIP("this process may not act as another user");
            form.TextPortNum->setText(QStringLiteral("3"));
        }
        qunsetenv("TARNOLUX_COM3");
        QCOMPARE(form.TextStatus->text(), QStringLiteral("8017 - Permission denied"));
        QVERIFY(!form.comPort().PortOpen());
        QCOMPARE(m_state->link.conStatus, qint16(0));
        QCOMPARE(form.TextPortNum->text(), QStringLiteral("3"));
    }

    void storedSettings_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("isHR");
        QTest::addColumn<int>("portMode");
        QTest::addColumn<int>("hr");
        QTest::newRow("text mode hr") << "1"
                                      << "1"
                                      << "1" << 1 << 1;
        QTest::newRow("mode out of range") << "1"
                                           << "7"
                                           << "0" << 0 << 0;
        QTest::newRow("garbage") << "x"
                                 << "text"
                                 << "?" << 0 << 0;
        QTest::newRow("negative mode") << "1"
                                       << "-1"
                                       << "1" << 0 << 1;
    }
    void storedSettings()
    {
        QFETCH(QString, port);
        QFETCH(QString, mode);
        QFETCH(QString, isHR);
        QFETCH(int, portMode);
        QFETCH(int, hr);
        storeCom(QStringLiteral("port"), port);
        storeCom(QStringLiteral("mode"), mode);
        storeCom(QStringLiteral("isHR"), isHR);
        FormCom& form = showForm();
        QCOMPARE(m_state->link.portNum, qint16(1));
        QCOMPARE(int(m_state->link.portMode), portMode);
        QCOMPARE(int(m_state->link.isHR), hr);
        QCOMPARE(form.optionHR->isChecked(), hr == 1);
        QCOMPARE(form.TextStatus->text(), QStringLiteral("o.k."));
        form.close();
        QCOMPARE(stored(QStringLiteral("mode")), QString::number(portMode));
    }

    void closeInTextModeSendsCommands_data()
    {
        QTest::addColumn<bool>("tobar");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("orvelan") << false << QByteArray("d\rd\rR\r");
        QTest::newRow("tobar") << true << QByteArray("d\rd\r");
    }
    void closeInTextModeSendsCommands()
    {
        QFETCH(bool, tobar);
        QFETCH(QByteArray, expected);
        storeCom(QStringLiteral("mode"), QStringLiteral("1"));
        FormCom& form = showForm();
        m_state->options.modeTobar = tobar;
        // Start near the wrap of the tick counter: the waits must survive it.
        m_state->options.mainTime = std::numeric_limits<qint32>::max() - 1;
        auto ticks = startDisplayTicks();
        (void)m_pty->readAvailable();

        QByteArray seen;
        QList<qint64> at;
        QElapsedTimer clock;
        QTimer reader;
        connect(&reader, &QTimer::timeout, this, [&] {
            const QByteArray got = m_pty->readAvailable();
            for (char c : got) {
                seen.append(c);
                if (c != '\r')
                    at << clock.elapsed();
            }
        });
        clock.start();
        reader.start(5);
        form.CommandClose->click();
        QTRY_COMPARE_WITH_TIMEOUT(seen, expected, 3000);
        QVERIFY(form.isHidden());
        for (int i = 1; i < at.size(); ++i) {
            const qint64 gap = at[i] - at[i - 1];
            QVERIFY2(gap >= 150 && gap < 1500, qPrintable(QString::number(gap)));
        }
        QCOMPARE(m_state->options.modeTobar, tobar);
        QCOMPARE(stored(QStringLiteral("mode")), QStringLiteral("1"));
        QCOMPARE(stored(QStringLiteral("port")), QStringLiteral("1"));

        // Hidden, the port stays open and receiving.
        QVERIFY(form.comPort().PortOpen());
        QVERIFY(m_pty->write("\r1 3 12.5 -3.25\r"));
        QTRY_COMPARE(m_state->link.angleX, 12.5);
        QCOMPARE(m_state->link.angleY, -3.25);
        QVERIFY(m_link->loaded() == &form);
    }

    void closeInCompatibleModeSendsNothing()
    {
        FormCom& form = showForm();
        m_state->options.modeTobar = true;
        (void)m_pty->readAvailable();
        form.CommandClose->click();
        QVERIFY(form.isHidden());
        QVERIFY(!m_state->options.modeTobar);
        QTest::qWait(50); // a command, if one were sent, would reach the line by now
        QVERIFY(m_pty->readAvailable().isEmpty());
        QCOMPARE(stored(QStringLiteral("mode")), QStringLiteral("0"));
        QVERIFY(form.comPort().PortOpen());
    }

    void closeWaitsAreBoundedWithoutDisplayTicks()
    {
        storeCom(QStringLiteral("mode"), QStringLiteral("1"));
        FormCom& form = showForm();
        QElapsedTimer clock;
        clock.start();
        form.CommandClose->click();
        QVERIFY(form.isHidden());
        QVERIFY(clock.elapsed() < 10000);
        QCOMPARE(readUntil(6), QByteArray("d\rd\rR\r"));
    }

    void closeBoxSavesAndClosesPort()
    {
        storeCom(QStringLiteral("isHR"), QStringLiteral("1"));
        FormCom& form = showForm();
        form.OptionText->click();
        QPointer<FormCom> watched(&form);
        form.close();
        QVERIFY(m_link->loaded() == nullptr);
        QCOMPARE(stored(QStringLiteral("port")), QStringLiteral("1"));
        QCOMPARE(stored(QStringLiteral("mode")), QStringLiteral("1"));
        QCOMPARE(stored(QStringLiteral("isHR")), QStringLiteral("1"));
        QTRY_VERIFY(watched.isNull());
        // The line is free again.
        CommControl other;
        QCOMPARE(other.setCommPort(1), 0);
        QCOMPARE(other.setPortOpen(true), 0);
    }

    void failedSendShownOnceThenRecovered()
    {
        FormCom& form = showForm();
        form.OptionText->click();
        m_pty->close(); // the instrument vanishes
        QTRY_VERIFY(!form.comPort().PortOpen() ||
                    (m_link->sendCommand(QStringLiteral("b")), !m_messages.isEmpty()));
        m_link->sendCommand(QStringLiteral("b"));
        QCOMPARE(m_messages, QStringList{QStringLiteral("No connection available")});
        QCOMPARE(m_state->link.portNum, qint16(0));
        QVERIFY(m_state->link.wasSendError);
        QVERIFY(!m_state->internal.inSync);
        QVERIFY(!form.comPort().PortOpen());

        m_link->sendCommand(QStringLiteral("M"));
        QCOMPARE(m_messages.size(), 1);

        // The line is back under the same port number; showing the window again reconnects.
        m_pty = std::make_unique<PtyPair>();
        QVERIFY(m_pty->isValid());
        qputenv("TARNOLUX_COM1", m_pty->path().toLocal8Bit());
        form.hide();
        form.show();
        QVERIFY(!m_state->link.wasSendError);
        QCOMPARE(m_state->link.portNum, qint16(1));
        QCOMPARE(form.TextStatus->text(), QStringLiteral("o.k."));
        m_link->sendCommand(QStringLiteral("t"));
        QCOMPARE(readUntil(2), QByteArray("t\r"));
        QCOMPARE(m_messages.size(), 1);
    }

    void compatibleCommandFrame_data()
    {
        QTest::addColumn<int>("command");
        QTest::newRow("65") << 65;
        QTest::newRow("321 sends its low byte") << 321;
    }
    void compatibleCommandFrame()
    {
        QFETCH(int, command);
        showForm();
        (void)m_pty->readAvailable();
        m_link->sendCommandCompatible(static_cast<qint16>(command));
        QCOMPARE(readUntil(3), QByteArray("\x02\x41\x03", 3));
    }

    void showingAgainStopsStoreSignal()
    {
        FormCom& form = showForm();
        m_link->setMsgSignal(5);
        form.hide();
        form.show();
        QCOMPARE(m_state->internal.msgSignalEvery, std::numeric_limits<qint32>::max());
    }
};

QTEST_MAIN(TestFormCom)
#include "test_formcom.moc"
