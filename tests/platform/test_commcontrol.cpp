#include "platform/commcontrol.h"
#include "support/otheruser.h"
#include "support/ptypair.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>
#include <memory>

namespace {
constexpr qint16 PortNumber = 7;
const char* const PortVariable = "TARNOLUX_COM7";

// Writes everything, letting the control drain the line meanwhile.
bool writeAll(const PtyPair& pty, const QByteArray& bytes)
{
    QElapsedTimer clock;
    clock.start();
    qsizetype done = 0;
    while (done < bytes.size() && clock.elapsed() < 5000) {
        done += pty.writeSome(bytes.mid(done));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done == bytes.size();
}
} // namespace

class TestCommControl : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void portNumbers();
    void settings_data();
    void settings();
    void openSetsTheLine_data();
    void openSetsTheLine();
    void openFailures();
    void accessRights_data();
    void accessRights();
    void receiveThreshold_data();
    void receiveThreshold();
    void leftoverBytesRaiseAgain();
    void idleHandlerDoesNotSpin();
    void longStreamArrivesIntact();
    void overflow_data();
    void overflow();
    void output();
    void vanishedDeviceClosesOnce();

private:
    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<CommControl> m_comm;
    [[nodiscard]] bool openPort(qint16 threshold);
};

void TestCommControl::init()
{
    m_pty = std::make_unique<PtyPair>();
    QVERIFY(m_pty->isValid());
    qputenv(PortVariable, m_pty->path().toLocal8Bit());
    m_comm = std::make_unique<CommControl>();
}

void TestCommControl::cleanup()
{
    m_comm.reset();
    m_pty.reset();
    qunsetenv(PortVariable);
}

bool TestCommControl::openPort(qint16 threshold)
{
    if (m_comm->setCommPort(PortNumber) != 0 || m_comm->setSettings(QStringLiteral("19200,N,8,1")) != 0)
        return false;
    m_comm->setInBufferSize(8192);
    if (m_comm->setPortOpen(true) != 0)
        return false;
    m_comm->setRThreshold(threshold);
    return true;
}

void TestCommControl::portNumbers()
{
    QCOMPARE(CommControl::deviceName(PortNumber), m_pty->path());
    QCOMPARE(CommControl::deviceName(3), QStringLiteral("/dev/ttyS2"));
    QVERIFY(CommControl::deviceName(0).isEmpty());

    QCOMPARE(m_comm->setCommPort(PortNumber), 0);
    QCOMPARE(m_comm->setCommPort(0), CommControl::ErrInvalidPort);
    QCOMPARE(m_comm->setCommPort(-4), CommControl::ErrInvalidPort);
    QCOMPARE(m_comm->CommPort(), PortNumber);
}

void TestCommControl::settings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("text mode") << "19200,N,8,1" << true;
    QTest::newRow("even parity, 7 bits, 2 stop") << "2400,e,7,2" << true;
    QTest::newRow("unknown parity") << "9600,X,8,1" << false;
    QTest::newRow("no baud rate") << "abc,N,8,1" << false;
    QTest::newRow("negative baud rate") << "-9600,N,8,1" << false;
    QTest::newRow("9 data bits") << "9600,N,9,1" << false;
    QTest::newRow("3 stop bits") << "9600,N,8,3" << false;
    QTest::newRow("missing field") << "9600,N,8" << false;
    QTest::newRow("empty") << "" << false;
}

void TestCommControl::settings()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(m_comm->setSettings(QStringLiteral("2400,N,8,1")), 0);
    const int result = m_comm->setSettings(text);
    if (valid) {
        QCOMPARE(result, 0);
        QCOMPARE(m_comm->Settings().toUpper(), text.toUpper());
    } else {
        QCOMPARE(result, CommControl::ErrSetState);
        QCOMPARE(m_comm->Settings(), QStringLiteral("2400,N,8,1"));
    }
}

void TestCommControl::openSetsTheLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("speed");
    QTest::newRow("compatible mode") << "2400,N,8,1" << int(B2400);
    QTest::newRow("text mode") << "19200,N,8,1" << int(B19200);
}

void TestCommControl::openSetsTheLine()
{
    QFETCH(QString, text);
    QFETCH(int, speed);
    QCOMPARE(m_comm->setCommPort(PortNumber), 0);
    QCOMPARE(m_comm->setSettings(text), 0);
    m_comm->setRTSEnable(false);
    m_comm->setDTREnable(false);
    QCOMPARE(m_comm->setPortOpen(true), 0);
    QCOMPARE(int(m_pty->speed()), speed);
    // The pseudo-terminal refuses the modem lines; that must not close the port.
    m_comm->setRTSEnable(true);
    QTest::qWait(50);
    QVERIFY(m_comm->PortOpen());

    // Applied at once on an open port; a pseudo-terminal has no parity, so that is refused.
    QCOMPARE(m_comm->setSettings(QStringLiteral("4800,N,8,1")), 0);
    QCOMPARE(m_pty->speed(), speed_t(B4800));
    QCOMPARE(m_comm->setSettings(QStringLiteral("2400,E,8,1")), CommControl::ErrSetState);
    QCOMPARE(m_comm->setSettings(QStringLiteral("2400,N,8")), CommControl::ErrSetState);
    QCOMPARE(m_comm->Settings(), QStringLiteral("4800,N,8,1"));
    QCOMPARE(m_pty->speed(), speed_t(B4800));

    // Refused when opening: a settings failure, not a missing port.
    QCOMPARE(m_comm->setPortOpen(false), 0);
    QCOMPARE(m_comm->setSettings(QStringLiteral("2400,E,8,1")), 0);
    QCOMPARE(m_comm->setPortOpen(true), CommControl::ErrSetState);
    QVERIFY(!m_comm->PortOpen());
}

void TestCommControl::openFailures()
{
    QVERIFY(openPort(1));
    QCOMPARE(m_comm->setPortOpen(true), CommControl::ErrPortAlreadyOpen);
    QVERIFY(m_comm->PortOpen());

    CommControl other;
    QCOMPARE(other.setCommPort(PortNumber), 0);
    QCOMPARE(other.setPortOpen(true), CommControl::ErrPortAlreadyOpen);
    QVERIFY(!other.PortOpen());
    QCOMPARE(other.Output("x"), CommControl::ErrPortNotOpen);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile plain(dir.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    for (const QString& path : {dir.filePath(QStringLiteral("missing")), dir.path(), plain.fileName()}) {
        qputenv(PortVariable, path.toLocal8Bit());
        QCOMPARE(other.setPortOpen(true), CommControl::ErrInvalidPort);
        QVERIFY(!other.PortOpen());
    }
    QVERIFY(m_comm->PortOpen());
}

void TestCommControl::accessRights_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("heldElsewhere");
    QTest::addColumn<int>("result");
    QTest::newRow("no rights") << 0000 << false << CommControl::ErrPermissionDenied;
    QTest::newRow("read only") << 0444 << false << CommControl::ErrPermissionDenied;
    QTest::newRow("rights, held by another program") << 0666 << true << CommControl::ErrPortAlreadyOpen;
    QTest::newRow("rights, free") << 0666 << false << CommControl::Ok;
}

void TestCommControl::accessRights()
{
    QFETCH(int, mode);
    QFETCH(bool, heldElsewhere);
    QFETCH(int, result);
    CommControl other;
    if (heldElsewhere) {
        QCOMPARE(other.setCommPort(PortNumber), 0);
        QCOMPARE(other.setPortOpen(true), 0);
    }
    QVERIFY(OtherUser::setMode(m_pty->path(), static_cast<mode_t>(mode)));
    QCOMPARE(m_comm->setCommPort(PortNumber), 0);
    int opened = -1;
    {
        OtherUser user;
        if (!user.isValid())
            QSKIP("this process may not act as another user");
        opened = m_comm->setPortOpen(true);
    }
    QCOMPARE(opened, result);
    QCOMPARE(m_comm->PortOpen(), result == CommControl::Ok);
}

void TestCommControl::receiveThreshold_data()
{
    QTest::addColumn<int>("threshold");
    QTest::newRow("text mode") << 1;
    QTest::newRow("compatible mode") << 8;
}

void TestCommControl::receiveThreshold()
{
    QFETCH(int, threshold);
    QVERIFY(openPort(qint16(threshold)));
    QByteArray received;
    connect(m_comm.get(), &CommControl::OnComm, this, [&](int code) {
        QCOMPARE(code, m_comm->CommEvent());
        m_comm->setInputLen(8);
        received += m_comm->Input();
    });
    QSignalSpy events(m_comm.get(), &CommControl::OnComm);

    QVERIFY(writeAll(*m_pty, "\x02"
                             "123456"));
    if (threshold == 1) {
        QTRY_COMPARE(received, QByteArray("\x02"
                                          "123456"));
        received.clear();
    } else {
        QTRY_COMPARE(m_comm->InBufferCount(), 7);
        QCOMPARE(events.count(), 0);
    }
    QVERIFY(writeAll(*m_pty, "\x03"));
    QTRY_COMPARE(received.right(1), QByteArray("\x03"));
    QCOMPARE(events.last().at(0).toInt(), CommEvents::Receive);
    if (threshold == 8)
        QCOMPARE(received, QByteArray("\x02"
                                      "123456\x03"));
    QCOMPARE(m_comm->InBufferCount(), 0);
}

void TestCommControl::leftoverBytesRaiseAgain()
{
    QVERIFY(openPort(1));
    QByteArray received;
    connect(m_comm.get(), &CommControl::OnComm, this, [&] {
        m_comm->setInputLen(1);
        received += m_comm->Input();
    });
    QVERIFY(writeAll(*m_pty, "12 34.5\r"));
    QTRY_COMPARE(received, QByteArray("12 34.5\r"));

    // Taking all (InputLen 0) leaves nothing behind.
    disconnect(m_comm.get(), &CommControl::OnComm, this, nullptr);
    m_comm->setRThreshold(0);
    QVERIFY(writeAll(*m_pty, "abcdef"));
    QTRY_COMPARE(m_comm->InBufferCount(), 6);
    m_comm->setInputLen(2);
    QCOMPARE(m_comm->Input(), QByteArray("ab"));
    m_comm->setInputLen(0);
    QCOMPARE(m_comm->Input(), QByteArray("cdef"));
    QCOMPARE(m_comm->Input(), QByteArray());
}

void TestCommControl::idleHandlerDoesNotSpin()
{
    QVERIFY(openPort(1));
    QSignalSpy events(m_comm.get(), &CommControl::OnComm);
    QVERIFY(writeAll(*m_pty, "abc"));
    QTRY_COMPARE(events.count(), 1);
    QTest::qWait(100);
    QCOMPARE(events.count(), 1);
    QCOMPARE(m_comm->InBufferCount(), 3);

    // New bytes still raise the event, and a threshold set with bytes waiting raises it too.
    QVERIFY(writeAll(*m_pty, "d"));
    QTRY_COMPARE(events.count(), 2);
    m_comm->setRThreshold(0);
    m_comm->setRThreshold(4);
    QTRY_COMPARE(events.count(), 3);
    m_comm->clearInBuffer();
    QCOMPARE(m_comm->InBufferCount(), 0);
}

void TestCommControl::longStreamArrivesIntact()
{
    QVERIFY(openPort(1));
    m_comm->setInBufferSize(1 << 20);
    QByteArray sent;
    for (int i = 0; i < 30000; ++i)
        sent += char('a' + i % 23);
    QByteArray received;
    connect(m_comm.get(), &CommControl::OnComm, this, [&] {
        m_comm->setInputLen(1);
        received += m_comm->Input();
    });
    QVERIFY(writeAll(*m_pty, sent));
    QTRY_COMPARE(received.size(), sent.size());
    QCOMPARE(received, sent);
}

void TestCommControl::overflow_data()
{
    QTest::addColumn<bool>("handlerDiscards");
    QTest::newRow("handler discards") << true;
    QTest::newRow("nobody discards") << false;
}

void TestCommControl::overflow()
{
    QFETCH(bool, handlerDiscards);
    QVERIFY(openPort(0));
    QList<int> events;
    connect(m_comm.get(), &CommControl::OnComm, this, [&](int code) {
        events << code;
        if (handlerDiscards && code == CommEvents::RxOver)
            m_comm->clearInBuffer();
    });
    const QByteArray sent = QByteArray(8192, 'a') + QByteArray(808, 'b');
    QVERIFY(writeAll(*m_pty, sent));
    QTRY_VERIFY(events.contains(CommEvents::RxOver));
    QVERIFY(!events.contains(CommEvents::Receive));
    if (handlerDiscards) {
        QTRY_VERIFY(m_comm->InBufferCount() < 808);
    } else {
        // A full buffer keeps the oldest bytes.
        QTRY_COMPARE(m_comm->InBufferCount(), 8192);
        m_comm->setInputLen(0);
        QCOMPARE(m_comm->Input(), sent.left(8192));
    }
}

void TestCommControl::output()
{
    QVERIFY(openPort(1));
    QCOMPARE(m_comm->Output("M\r"), 0);
    QCOMPARE(m_comm->Output(QByteArray("\x02\x10\x03", 3)), 0);
    QTRY_COMPARE(m_pty->received(), QByteArray("M\r\x02\x10\x03"));
    QCOMPARE(m_comm->OutBufferCount(), 0);

    QCOMPARE(m_comm->setPortOpen(false), 0);
    QVERIFY(!m_comm->PortOpen());
    QVERIFY(m_comm->Output("d\r") != 0);
}

void TestCommControl::vanishedDeviceClosesOnce()
{
    QVERIFY(openPort(1));
    auto* serial = m_comm->findChild<QSerialPort*>();
    QVERIFY(serial);
    QSignalSpy closes(serial, &QIODevice::aboutToClose);
    QSignalSpy errors(serial, &QSerialPort::errorOccurred);

    // A send right after the device went away fails at once, before any error was reported.
    m_pty->close();
    QVERIFY(m_comm->Output("b\r") != 0);
    QTRY_VERIFY(!m_comm->PortOpen());
    QVERIFY(m_comm->Output("b\r") != 0);

    // Once closed, nothing keeps the process busy.
    const std::clock_t cpuBefore = std::clock();
    QTest::qWait(300);
    const double cpuMs = 1000.0 * double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    QVERIFY2(cpuMs < 100, qPrintable(QStringLiteral("%1 ms CPU while idle").arg(cpuMs)));
    QCOMPARE(closes.count(), 1);
    QVERIFY2(errors.count() < 100, qPrintable(QString::number(errors.count())));

    // The device comes back under the same name.
    m_pty = std::make_unique<PtyPair>();
    qputenv(PortVariable, m_pty->path().toLocal8Bit());
    QCOMPARE(m_comm->setPortOpen(true), 0);
    QSignalSpy events(m_comm.get(), &CommControl::OnComm);
    QVERIFY(writeAll(*m_pty, "x"));
    QTRY_COMPARE(events.count(), 1);
    QCOMPARE(m_comm->Output("R\r"), 0);
    QTRY_COMPARE(m_pty->received(), QByteArray("R\r"));
}

QTEST_GUILESS_MAIN(TestCommControl)
#include "test_commcontrol.moc"
