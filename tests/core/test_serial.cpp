// The serial port control on a pseudo-terminal, and the termination requests from outside.
#include "platform/commcontrol.h"
#include "platform/terminationsignals.h"
#include "support/otheruser.h"
#include "support/ptypair.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <ctime>
#include <memory>

namespace {
constexpr qint16 Port = 7;
const char* const PortVariable = "TARNOLUX_COM7";

template <typename... T> void row(const char* name, const T&... values)
{
    (QTest::newRow(name) << ... << values);
}

void (*disposition(int signal))(int)
{
    struct sigaction current {};
    ::sigaction(signal, nullptr, &current);
    return current.sa_handler;
}
} // namespace

class TestSerial : public QObject {
    Q_OBJECT

    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<CommControl> m_comm;

    [[nodiscard]] bool openPort(qint16 threshold, qint32 bufferSize = 8192)
    {
        m_comm->setInBufferSize(bufferSize);
        m_comm->setRThreshold(threshold);
        return m_comm->setCommPort(Port) == 0 && m_comm->setSettings(QStringLiteral("19200,N,8,1")) == 0 &&
               m_comm->setPortOpen(true) == 0;
    }
    // Writes everything, letting the control drain the line meanwhile.
    [[nodiscard]] bool writeAll(const QByteArray& bytes)
    {
        QElapsedTimer clock;
        clock.start();
        qsizetype done = 0;
        while (done < bytes.size() && clock.elapsed() < 10000) {
            done += m_pty->writeSome(bytes.mid(done));
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return done == bytes.size();
    }

private slots:
    void init()
    {
        m_pty = std::make_unique<PtyPair>();
        QVERIFY(m_pty->isValid());
        qputenv(PortVariable, m_pty->path().toLocal8Bit());
        m_comm = std::make_unique<CommControl>();
    }
    void cleanup() { m_comm.reset(); }

    void settingsReachTheLine()
    {
        QCOMPARE(CommControl::deviceName(3), QStringLiteral("/dev/ttyS2")); // without TARNOLUX_COM3
        // A device bound to the number comes next; the environment wins over it.
        QCOMPARE(CommControl::deviceName(3, QStringLiteral("/dev/ttyUSB1")), QStringLiteral("/dev/ttyUSB1"));
        QCOMPARE(CommControl::deviceName(Port, QStringLiteral("/dev/ttyUSB1")), m_pty->path());
        QCOMPARE(m_comm->setCommPort(0), CommControl::ErrInvalidPort);
        QStringList kept; // line settings are written in one form
        for (const char* text : {" 300, e ,7, 2", "300,o,5,1.5", "300,m,6,1", "300,s,8,1"})
            kept << (m_comm->setSettings(QLatin1String(text)) == 0 ? m_comm->Settings() : QString());
        QCOMPARE(kept.join(' '), QStringLiteral("300,E,7,2 300,O,5,1.5 300,M,6,1 300,S,8,1"));
        QVERIFY(openPort(1));
        QCOMPARE(m_comm->setPortOpen(true), CommControl::ErrPortAlreadyOpen);
        QCOMPARE(m_comm->setCommPort(3), CommControl::ErrPortAlreadyOpen);
        QCOMPARE(m_pty->speed(), speed_t(B19200));
        for (const char* wrong : {"9600,X,8,1", "-9600,N,8,1", "9600,N,9,1", "9600,N,8,3", "9600,N,8"})
            QCOMPARE(m_comm->setSettings(QLatin1String(wrong)), CommControl::ErrSetState);
        // The pseudo-terminal refuses the modem lines; that must not close the port.
        m_comm->setRTSEnable(true);
        QCoreApplication::processEvents();
        QVERIFY(m_comm->PortOpen());
        // Applied at once on an open port; a pseudo-terminal has no parity, so that is refused and undone.
        QCOMPARE(m_comm->setSettings(QStringLiteral("2400,N,8,1")), 0);
        QCOMPARE(m_pty->speed(), speed_t(B2400));
        QCOMPARE(m_comm->setSettings(QStringLiteral("19200,E,8,1")), CommControl::ErrSetState);
        QCOMPARE(m_comm->Settings(), QStringLiteral("2400,N,8,1"));
        QCOMPARE(m_pty->speed(), speed_t(B2400));
        // Refused when opening: a settings failure, not a missing port.
        QCOMPARE(m_comm->setPortOpen(false), 0);
        QCOMPARE(m_comm->setSettings(QStringLiteral("2400,E,8,1")), 0);
        QCOMPARE(m_comm->setPortOpen(true), CommControl::ErrSetState);
        QVERIFY(!m_comm->PortOpen());
    }

    // mode: access bits of the device, opened as another user; held: by another control or program.
    void openResults_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("held");
        QTest::addColumn<int>("result");
        row("free", "pty", -1, false, CommControl::Ok);
        row("held by another control", "pty", -1, true, CommControl::ErrPortAlreadyOpen);
        row("missing device", "missing", -1, false, CommControl::ErrInvalidPort);
        row("a folder", "", -1, false, CommControl::ErrInvalidPort);
        row("a plain file", "file", -1, false, CommControl::ErrInvalidPort);
        row("no rights", "pty", 0000, false, CommControl::ErrPermissionDenied);
        row("read only", "pty", 0444, false, CommControl::ErrPermissionDenied);
        row("rights, held by another program", "pty", 0666, true, CommControl::ErrPortAlreadyOpen);
    }
    void openResults()
    {
        QFETCH(QString, device);
        QFETCH(int, mode);
        QFETCH(bool, held);
        QTemporaryDir dir;
        const QString path = device == QLatin1String("pty") ? m_pty->path() : dir.filePath(device);
        QVERIFY(device != QLatin1String("file") || QFile(path).open(QIODevice::WriteOnly));
        qputenv(PortVariable, path.toLocal8Bit());
        CommControl other;
        QCOMPARE(other.setCommPort(Port) + m_comm->setCommPort(Port), 0);
        QVERIFY(!held || other.setPortOpen(true) == 0);
        QVERIFY(mode < 0 || OtherUser::setMode(path, mode_t(mode)));
        int opened = -1;
        {
            std::unique_ptr<OtherUser> user(mode < 0 ? nullptr : new OtherUser);
            if (user && !user->isValid())
                QSKIP("this process may not act as another user");
            opened = m_comm->setPortOpen(true);
        }
        QTEST(opened, "result");
        QCOMPARE(m_comm->PortOpen(), opened == CommControl::Ok);
    }

    void raisedAgainOnlyAfterProgress()
    {
        QVERIFY(openPort(1));
        // A handler that takes nothing is not called again and again; new bytes raise the event again.
        QSignalSpy events(m_comm.get(), &CommControl::OnComm);
        QVERIFY(writeAll("abc"));
        QTRY_COMPARE(events.count(), 1);
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        QCOMPARE(events.count(), 1);
        QVERIFY(writeAll("d"));
        QTRY_COMPARE(events.count(), 2);

        // Fewer bytes than the threshold wait; a threshold reached when set raises the event at once.
        m_comm->setRThreshold(9);
        QVERIFY(writeAll("efgh"));
        QTRY_COMPARE(m_comm->InBufferCount(), 8);
        QCOMPARE(events.count(), 2);
        m_comm->setRThreshold(8);
        QTRY_COMPARE(events.count(), 3);
    }

    // A line filled beyond the receive buffer before the control reads, then kept full: the control takes
    // it in pieces that fit, so a handler that reads on every event loses nothing. Bytes left by a handler
    // raise the event again without new ones.
    void streamArrivesWhole_data()
    {
        QTest::addColumn<int>("bufferSize");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<int>("inputLen");
        QTest::addColumn<int>("numbers");
        row("text mode, 100 bytes", 100, 1, 0, 40000);
        row("compatible mode, 100 bytes", 100, 8, 0, 40000);
        row("text mode, 1000 bytes", 1000, 1, 0, 40000);
        row("one byte per event", 1 << 20, 1, 1, 6000);
    }
    void streamArrivesWhole()
    {
        QFETCH(int, bufferSize);
        QFETCH(int, threshold);
        QFETCH(int, inputLen);
        QFETCH(int, numbers);
        QVERIFY(openPort(qint16(threshold), bufferSize));
        QByteArray received;
        QList<int> events;
        connect(m_comm.get(), &CommControl::OnComm, this, [&](int code) {
            events << code;
            m_comm->setInputLen(qint16(inputLen));
            received += m_comm->Input();
        });
        QByteArray sent;
        for (int i = 0; i < numbers; ++i)
            sent += QByteArray::number(i) + ' ';
        qsizetype done = 0;
        for (qint64 n = 1; n > 0 && done < sent.size(); done += n)
            n = m_pty->writeSome(sent.mid(done));
        QVERIFY(writeAll(sent.mid(done)));
        // Fewer bytes than a threshold above 1 may wait at the end.
        QTRY_COMPARE(received.size() + (threshold > 1 ? m_comm->InBufferCount() : 0), sent.size());
        m_comm->setInputLen(0);
        QCOMPARE(received + m_comm->Input(), sent);
        QVERIFY(!events.contains(CommEvents::RxOver));
    }

    // More than the buffer with nobody reading: the overflow event, and the oldest bytes kept.
    void overflow()
    {
        QVERIFY(openPort(0));
        QList<int> events;
        connect(m_comm.get(), &CommControl::OnComm, this, [&](int code) { events << code; });
        const QByteArray sent = QByteArray(8192, 'a') + QByteArray(808, 'b');
        QVERIFY(writeAll(sent));
        QTRY_VERIFY(events.contains(CommEvents::RxOver) && !events.contains(CommEvents::Receive));
        QTRY_COMPARE(m_comm->InBufferCount(), 8192);
        m_comm->setInputLen(0);
        QCOMPARE(m_comm->Input(), sent.left(8192));
    }

    void outputAndVanishedDevice()
    {
        QVERIFY(openPort(1));
        QCOMPARE(m_comm->Output(QByteArray("M\r\x02\x10\x03", 5)), 0);
        QTRY_COMPARE(m_pty->received(), QByteArray("M\r\x02\x10\x03"));
        QCOMPARE(m_comm->OutBufferCount(), 0);
        auto* serial = m_comm->findChild<QSerialPort*>();
        QSignalSpy closes(serial, &QIODevice::aboutToClose);
        QSignalSpy errors(serial, &QSerialPort::errorOccurred);
        // A send right after the device went away fails at once, before any error was reported.
        m_pty->close();
        QVERIFY(m_comm->Output("b\r") != 0);
        QTRY_VERIFY(!m_comm->PortOpen());
        QCOMPARE(m_comm->Output("b\r"), CommControl::ErrPortNotOpen);
        // Once closed nothing keeps the process busy: only an idle stretch can show that.
        const std::clock_t cpuBefore = std::clock();
        QTest::qWait(200);
        const double cpuMs = 1000.0 * double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
        QVERIFY2(cpuMs < 70, qPrintable(QStringLiteral("%1 ms CPU while idle").arg(cpuMs)));
        QCOMPARE(closes.count(), 1);
        QVERIFY2(errors.count() < 100, qPrintable(QString::number(errors.count())));
        // The device comes back under the same number.
        m_pty = std::make_unique<PtyPair>();
        qputenv(PortVariable, m_pty->path().toLocal8Bit());
        QCOMPARE(m_comm->setPortOpen(true), 0);
        QVERIFY(writeAll("x"));
        QTRY_COMPARE(m_comm->InBufferCount(), 1);
        QCOMPARE(m_comm->Output("R\r"), 0);
        QTRY_COMPARE(m_pty->received(), QByteArray("R\r"));
    }

    void terminationRequests()
    {
        const auto initial = disposition(SIGTERM);
        int calls = 0;
        QObject replaced;
        QVERIFY(TerminationSignals::install(&replaced, [] { QFAIL("a replaced handler runs"); }));
        auto context = std::make_unique<QObject>();
        QVERIFY(TerminationSignals::install(context.get(), [&] {
            ++calls;
            // Closing windows lets events run; a second Ctrl+C meanwhile must not start a second close.
            (void)::raise(SIGINT);
            QCoreApplication::processEvents();
        }));
        for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
            const int before = calls;
            QVERIFY(::raise(signal) == 0);
            QCOMPARE(calls, before); // not inside the signal handler: only when events run
            QTRY_COMPARE(calls, before + 1);
        }
        context.reset(); // otherwise a request after the window is gone would be swallowed
        QVERIFY(disposition(SIGTERM) == initial);

        // A request ignored at the start (nohup) stays ignored.
        const auto previous = std::signal(SIGHUP, SIG_IGN);
        QVERIFY(TerminationSignals::install(&replaced, [] {}));
        QVERIFY(disposition(SIGHUP) == SIG_IGN);
        std::signal(SIGHUP, previous);
    }
};

QTEST_GUILESS_MAIN(TestSerial)
#include "test_serial.moc"
