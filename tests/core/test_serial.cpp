// The serial port control and the instrument link on a pseudo-terminal, and the termination requests from
// outside.
#include "link/link.h"
#include "platform/commcontrol.h"
#include "platform/terminationsignals.h"
#include "settings/settingvalues.h"
#include "sim/ptypair.h"
#include "state/appstate.h"
#include "support/otheruser.h"
#include "support/tables.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QSerialPort>
#include <QSet>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <csignal>
#include <ctime>
#include <memory>
#include <optional>

namespace {
constexpr qint16 Port = 7;
const char* const PortVariable = "TARNOLUX_COM7";
} // namespace

class TestSerial : public QObject {
    Q_OBJECT

    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<CommControl> m_comm;

    [[nodiscard]] bool openPort(qint16 threshold, qint32 bufferSize = 8192)
    {
        m_comm->setInBufferSize(bufferSize);
        m_comm->setRThreshold(threshold);
        return m_comm->setCommPort(Port) == PortCode::Ok &&
               m_comm->setSettings(QStringLiteral("19200,N,8,1")) == PortCode::Ok &&
               m_comm->setPortOpen(true) == PortCode::Ok;
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
        QCOMPARE(m_comm->setCommPort(0), PortCode::InvalidPort);
        QStringList kept; // line settings are written in one form
        for (const char* text : {" 300, e ,7, 2", "300,o,5,1.5", "300,m,6,1", "300,s,8,1"})
            kept << (m_comm->setSettings(QLatin1String(text)) == PortCode::Ok ? m_comm->Settings()
                                                                              : QString());
        QCOMPARE(kept.join(' '), QStringLiteral("300,E,7,2 300,O,5,1.5 300,M,6,1 300,S,8,1"));
        QVERIFY(openPort(1));
        QCOMPARE(m_comm->setPortOpen(true), PortCode::PortAlreadyOpen);
        QCOMPARE(m_comm->setCommPort(3), PortCode::PortAlreadyOpen);
        QCOMPARE(m_pty->speed(), speed_t(B19200));
        for (const char* wrong : {"9600,X,8,1", "-9600,N,8,1", "9600,N,9,1", "9600,N,8,3", "9600,N,8"})
            QCOMPARE(m_comm->setSettings(QLatin1String(wrong)), PortCode::SetState);
        // A pseudo-terminal refuses modem lines and parity: the port stays open, the settings are undone.
        m_comm->setRTSEnable(true);
        QCoreApplication::processEvents();
        QVERIFY(m_comm->PortOpen());
        QCOMPARE(m_comm->setSettings(QStringLiteral("2400,N,8,1")), PortCode::Ok);
        QCOMPARE(m_pty->speed(), speed_t(B2400));
        QCOMPARE(m_comm->setSettings(QStringLiteral("19200,E,8,1")), PortCode::SetState);
        QCOMPARE(m_comm->Settings(), QStringLiteral("2400,N,8,1"));
        QCOMPARE(m_pty->speed(), speed_t(B2400));
        QCOMPARE(m_comm->setPortOpen(false), PortCode::Ok);
        QCOMPARE(m_comm->setSettings(QStringLiteral("2400,E,8,1")), PortCode::Ok);
        QCOMPARE(m_comm->setPortOpen(true), PortCode::SetState);
        QVERIFY(!m_comm->PortOpen());
    }

    // mode: access bits, opened as another user; held: by another program.
    void openResults_data()
    {
        columns<QString, int, bool, PortCode>("device", "mode", "held", "result");
        row("free", "pty", -1, false, PortCode::Ok);
        row("missing device", "missing", -1, false, PortCode::InvalidPort);
        row("a folder", "", -1, false, PortCode::InvalidPort);
        row("a plain file", "file", -1, false, PortCode::InvalidPort);
        row("read only", "pty", 0444, false, PortCode::PermissionDenied);
        row("held by another program", "pty", 0666, true, PortCode::PortAlreadyOpen);
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
        QVERIFY(other.setCommPort(Port) == PortCode::Ok && m_comm->setCommPort(Port) == PortCode::Ok);
        QVERIFY(!held || other.setPortOpen(true) == PortCode::Ok);
        QVERIFY(mode < 0 || OtherUser::setMode(path, mode_t(mode)));
        std::optional<OtherUser> user;
        if (mode >= 0 && !user.emplace().isValid())
            QSKIP("this process may not act as another user");
        const PortCode opened = m_comm->setPortOpen(true);
        user.reset();
        QTEST(opened, "result");
        QCOMPARE(m_comm->PortOpen(), opened == PortCode::Ok);
    }

    // A line kept full past the buffer arrives whole, also a byte per event; unread, the oldest bytes stay.
    void streamArrivesWhole_data()
    {
        columns<int, int, int, int>("bufferSize", "threshold", "inputLen", "numbers");
        row("text mode, 100 bytes", 100, 1, 0, 40000);
        row("compatible mode, 100 bytes", 100, 8, 0, 40000);
        row("one byte per event", 1 << 20, 1, 1, 6000);
        row("one record per event", 8192, 8, 8, 6000);
        row("nobody reading", 8192, 0, 0, 2000);
    }
    void streamArrivesWhole()
    {
        QFETCH(int, bufferSize);
        QFETCH(int, threshold);
        QFETCH(int, inputLen);
        QFETCH(int, numbers);
        QVERIFY(openPort(qint16(threshold), bufferSize));
        QByteArray received, sent;
        QSet<PortCode> events;
        connect(m_comm.get(), &CommControl::OnComm, this, [&](PortCode code) {
            events << code;
            m_comm->setInputLen(qint16(inputLen));
            received += code == PortCode::Receive ? m_comm->Input() : QByteArray();
        });
        for (int i = 0; i < numbers; ++i)
            sent += QByteArray::number(i) + ' ';
        // As much as the line takes before the control reads, then the rest as it drains.
        const QDeadlineTimer end(10000);
        for (qsizetype done = 0, n = 0; done < sent.size() && !end.hasExpired(); done += n) {
            if ((n = m_pty->writeSome(sent.mid(done))) == 0)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        const qsizetype kept = threshold ? sent.size() : bufferSize;
        QTRY_COMPARE(received.size() + (threshold != 1 ? m_comm->InBufferCount() : 0), kept);
        m_comm->setInputLen(0);
        QCOMPARE(received + m_comm->Input(), sent.left(kept));
        QTRY_COMPARE(events, QSet<PortCode>{threshold ? PortCode::Receive : PortCode::RxOver});
    }

    // Bytes below the threshold keep their place: a burst behind them fills the buffer, never past it.
    void burstBehindWaitingBytes()
    {
        QVERIFY(openPort(8, 100));
        QByteArray received;
        QSignalSpy events(m_comm.get(), &CommControl::OnComm);
        connect(m_comm.get(), &CommControl::OnComm, this, [&] { received += m_comm->Input(); });
        QVERIFY(m_pty->write("ab"));
        QTRY_COMPARE(m_comm->InBufferCount(), 2);
        const QByteArray burst(250, 'x');
        QVERIFY(m_pty->write(burst));
        QTRY_COMPARE(received.size() + m_comm->InBufferCount(), 252);
        QCOMPARE(received + m_comm->Input(), "ab" + burst);
        for (const QList<QVariant>& event : events)
            QCOMPARE(event.at(0).value<PortCode>(), PortCode::Receive);
    }

    // A trickle is taken in batches, not piece by piece, yet whole and in order, the last piece too.
    void trickleArrivesInBatches()
    {
        QVERIFY(openPort(1));
        QByteArray received, sent;
        int events = 0;
        connect(m_comm.get(), &CommControl::OnComm, this, [&](PortCode) {
            ++events;
            m_comm->setInputLen(0);
            received += m_comm->Input();
        });
        for (int i = 0; i < 60; ++i) {
            const QByteArray piece = QByteArray::number(i) + ' ';
            QVERIFY(m_pty->write(piece));
            sent += piece;
            QTest::qWait(5); // the pace of a slow line
        }
        QTRY_COMPARE(received, sent);
        QVERIFY2(events <= 60 / 3, qPrintable(QString::number(events)));
        // After a quiet spell the watch is back: a piece, and one right after it, each arrive whole.
        QTest::qWait(3 * CommControl::ReadEvery);
        for (const QByteArray& piece : {QByteArray("end "), QByteArray("tail")}) {
            const int before = events;
            QVERIFY(m_pty->write(piece));
            sent += piece;
            QTRY_COMPARE(received, sent);
            QCOMPARE(events, before + 1);
        }
    }

    void eventsOutputAndVanishedDevice()
    {
        QVERIFY(openPort(1));
        // A handler that takes nothing is not called again and again; new bytes raise the event again.
        QSignalSpy events(m_comm.get(), &CommControl::OnComm);
        QVERIFY(m_pty->write("abc"));
        QTRY_COMPARE(events.count(), 1);
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        QCOMPARE(events.count(), 1);
        QVERIFY(m_pty->write("d"));
        QTRY_COMPARE(events.count(), 2);

        // Fewer bytes than the threshold wait; a threshold reached when set raises the event at once.
        m_comm->setRThreshold(9);
        QVERIFY(m_pty->write("efgh"));
        QTRY_COMPARE(m_comm->InBufferCount(), 8);
        QCOMPARE(events.count(), 2);
        m_comm->setRThreshold(8);
        QTRY_COMPARE(events.count(), 3);
        QCOMPARE(m_comm->Output(QByteArray("M\r\x02\x10\x03", 5)), PortCode::Ok);
        QTRY_COMPARE(m_pty->received(), QByteArray("M\r\x02\x10\x03"));
        auto* serial = m_comm->findChild<QSerialPort*>();
        QSignalSpy closes(serial, &QIODevice::aboutToClose);
        QSignalSpy errors(serial, &QSerialPort::errorOccurred);
        // A send right after the device went away fails at once, before any error was reported.
        m_pty->close();
        QVERIFY(m_comm->Output("b\r") != PortCode::Ok);
        QTRY_VERIFY(!m_comm->PortOpen());
        QCOMPARE(m_comm->Output("b\r"), PortCode::PortNotOpen);
        // Nothing keeps the process busy once closed: only an idle stretch can show that.
        const std::clock_t cpuBefore = std::clock();
        QTest::qWait(200);
        const double cpuMs = 1000.0 * double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
        QVERIFY2(cpuMs < 70, qPrintable(QStringLiteral("%1 ms CPU while idle").arg(cpuMs)));
        QCOMPARE(closes.count(), 1);
        QVERIFY2(errors.count() < 100, qPrintable(QString::number(errors.count())));
    }

    // The link on its own, no window in the process: connects, decodes, sends, and tells of a vanished
    // device.
    void linkWithoutWindows()
    {
        QTemporaryDir settings;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
        SettingValues::writeInt(SettingKeys::PortNumber, Port);
        SettingValues::writeInt(SettingKeys::PortMode, 1);
        AppState state;
        Link link(state);
        QSignalSpy opened(&link, &Link::portOpened);
        QSignalSpy measured(&link, &Link::measurementDecoded);
        QSignalSpy lost(&link, &Link::linkLost);
        link.sendCommand(QStringLiteral("M")); // no port number yet: nothing loads, nothing is sent
        QVERIFY(opened.isEmpty());
        link.sendCommandCompatible(0x41); // always loads
        QVERIFY(!opened.isEmpty() && opened.last().at(0).value<PortCode>() == PortCode::Ok);
        const qint64 written = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(m_pty->write("\r1 103 12.5 -3.25\r"));
        QVERIFY(measured.wait());
        // Alone after a quiet spell: read at once, it takes its read's time.
        const qint64 arrived = measured.first().takeLast().toLongLong();
        QVERIFY(arrived >= written && arrived <= QDateTime::currentMSecsSinceEpoch());
        QCOMPARE(measured.first(), QVariantList({12.5, -3.25, QVariant::fromValue(qint16(3))}));
        link.sendCommand(QStringLiteral("M"));
        QTRY_COMPARE(m_pty->received(), QByteArray("\x02\x41\x03M\r"));
        link.unload(); // the connection window's close box
        QVERIFY(!link.comPort().PortOpen());
        link.sendCommand(QStringLiteral("U")); // connects again first
        QTRY_COMPARE(m_pty->received(), QByteArray("\x02\x41\x03M\rU\r"));
        QVERIFY(link.comPort().PortOpen() && opened.last().at(0).value<PortCode>() == PortCode::Ok);
        m_pty->close();
        QVERIFY(lost.wait());
        QVERIFY(!link.comPort().PortOpen() && link.state().portNum == 0);
    }

    void terminationRequests()
    {
        struct sigaction initial = {}, now = {};
        ::sigaction(SIGTERM, nullptr, &initial);
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
            QVERIFY(::raise(signal) == 0 && calls == before); // not inside the signal handler
            QTRY_COMPARE(calls, before + 1);
        }
        context.reset(); // otherwise a request after the window is gone would be swallowed
        QVERIFY(::sigaction(SIGTERM, nullptr, &now) == 0 && now.sa_handler == initial.sa_handler);

        // A request ignored at the start (nohup) stays ignored.
        const auto previous = std::signal(SIGHUP, SIG_IGN);
        QVERIFY(TerminationSignals::install(&replaced, [] {}));
        QVERIFY(std::signal(SIGHUP, previous) == SIG_IGN);
    }
};

QTEST_GUILESS_MAIN(TestSerial)
#include "test_serial.moc"
