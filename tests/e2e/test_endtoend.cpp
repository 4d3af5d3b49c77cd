// The simulated instrument on its own pseudo-terminal, read by the program's serial port control and
// receive path exactly as the connection window sets them up.
#include "link/linkcalls.h"
#include "link/linkreceiver.h"
#include "platform/commcontrol.h"
#include "sim/ptyinstrument.h"
#include "sim/simconsole.h"

#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <limits>

namespace {

constexpr qint16 PortNumber = 9;
constexpr char PortVariable[] = "TARNOLUX_COM9";

bool near(double a, double b)
{
    return std::abs(a - b) < 1e-9;
}

class Recorder final : public MainWindowCalls, public BackgroundWriter {
public:
    void XY2Table() override { ++xy2Table; }
    void setGridForLoad(qint16 g, qint32 r, qint16 c) override
    {
        readout << QStringLiteral("grid %1 %2 %3").arg(g).arg(r).arg(c);
    }
    void addLine(qint16 gridNum) override { readout << QStringLiteral("line %1").arg(gridNum); }
    void setColumn(const QString& s) override { readout << QStringLiteral("column ") + s; }
    void haveAngleMsg() override { ++messages; }
    void writeBackgroundFile() override {}

    int xy2Table = 0;
    int messages = 0; // every decoded message, with a store signal after each
    QStringList readout;
};

// The program's link: serial port control, receive path and the state they fill, plus the instrument.
struct Bench {
    PtyInstrument sim;
    SimConsole console{sim, PortNumber};
    CommControl control;
    LinkState link;
    MainOptions options;
    LinkInternal internal;
    Recorder recorder;
    LinkReceiver receiver{link, options, internal};

    Bench()
    {
        receiver.setPort(&control);
        receiver.setMainWindow(&recorder);
        receiver.setBackgroundWriter(&recorder);
        QObject::connect(&control, &CommControl::OnComm, &control,
                         [this](int commEvent) { receiver.comPort_OnComm(commEvent); });
    }

    [[nodiscard]] bool startSim()
    {
        if (!sim.open())
            return false;
        qputenv(PortVariable, sim.devicePath().toLocal8Bit());
        return true;
    }

    // The connection window's connect step for the link mode.
    [[nodiscard]] int connectPort(bool text)
    {
        (void)control.setPortOpen(false);
        link.portMode = text ? 1 : 0;
        internal.inSync = false;
        internal.msgSignalEvery = std::numeric_limits<qint32>::max();
        internal.measureCountdown = internal.msgSignalEvery;
        receiver.setMsgSignal(1.0);
        receiver.setUpdateSignal(1.0);
        int result = control.setCommPort(PortNumber);
        if (result == CommControl::Ok)
            result = control.setSettings(text ? QStringLiteral("19200,N,8,1") : QStringLiteral("2400,N,8,1"));
        if (result != CommControl::Ok)
            return result;
        link.portNum = PortNumber;
        control.setInBufferSize(8192);
        control.setInputMode(text ? 0 : 1);
        control.setRTSEnable(false);
        control.setDTREnable(false);
        result = control.setPortOpen(true);
        link.conStatus = result == CommControl::Ok ? 1 : 0;
        if (result == CommControl::Ok)
            control.setRThreshold(text ? 1 : 8);
        return result;
    }

    void inject(const QByteArray& bytes) { sim.model().injectRaw(bytes); }
};

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void init() { qunsetenv(PortVariable); }

    void textAnglesFollowTheInstrument();
    void averagingAndKeys();
    void readoutArrivesAsTableCalls();
    void tobarModeValuesAndReadout();
    void textInPiecesDoubledSpaceAndLineFeed();
    void compatibleRecords();
    void vanishAndReturn();
    void simulatorProgram();
};

void TestEndToEnd::textAnglesFollowTheInstrument()
{
    Bench b;
    QVERIFY(b.startSim());
    QCOMPARE(b.connectPort(true), CommControl::Ok);
    // The instrument follows the baud rate the program set.
    QTRY_COMPARE(b.sim.lineBaud(), 19200);
    QCOMPARE(b.sim.linkMode(), InstrumentModel::LinkMode::Text);

    QTRY_VERIFY(b.recorder.messages >= 5);
    QCOMPARE(b.link.angleStatus, qint16(3));
    QVERIFY(!b.options.modeTobar);
    const double early = b.link.angleX;
    QTRY_VERIFY(!near(b.link.angleX, early)); // drifting

    b.sim.model().setStreaming(false);
    const InstrumentModel::AnglePair last = b.sim.model().lastAngles();
    QTRY_VERIFY(near(b.link.angleX, last.x) && near(b.link.angleY, last.y));
    QCOMPARE(b.recorder.xy2Table, 0);
    QVERIFY(b.recorder.readout.isEmpty());
}

void TestEndToEnd::averagingAndKeys()
{
    Bench b;
    QVERIFY(b.startSim());
    QCOMPARE(b.connectPort(true), CommControl::Ok);
    QTRY_COMPARE(b.link.angleStatus, qint16(3));

    QCOMPARE(b.control.Output("M\r"), CommControl::Ok);
    QTRY_COMPARE(b.link.angleStatus, qint16(7));
    QCOMPARE(b.control.Output("U\r"), CommControl::Ok);
    QTRY_COMPARE(b.link.angleStatus, qint16(3));

    b.link.storeAtIR = true;
    QVERIFY(b.console.execute(QStringLiteral("key ir")).ok);
    QTRY_COMPARE(b.recorder.xy2Table, 1);
    b.link.storeAtIR = false;
    b.link.storeAtExitkey = true;
    b.sim.model().pressKey(InstrumentModel::RemoteControl); // not enabled now: no store
    b.sim.model().pressKey(InstrumentModel::ExitKey);       // both in one message: one store
    QTRY_COMPARE(b.recorder.xy2Table, 2);
    b.sim.model().pressKey(InstrumentModel::RemoteControl);
    const int seen = b.recorder.messages;
    QTRY_VERIFY(b.recorder.messages >= seen + 5);
    QCOMPARE(b.recorder.xy2Table, 2);
}

void TestEndToEnd::readoutArrivesAsTableCalls()
{
    Bench b;
    QVERIFY(b.startSim());
    b.sim.model().setStoredRecords(5);
    b.sim.model().setStoredTable(2);
    QCOMPARE(b.connectPort(true), CommControl::Ok);
    QTRY_VERIFY(b.recorder.messages >= 2); // in step with the line

    QCOMPARE(b.control.Output("t\r"), CommControl::Ok);
    QStringList expected{QStringLiteral("grid 2 5 2")};
    for (int n = 1; n <= 5; ++n) {
        expected << QStringLiteral("line 2");
        for (const QString& column : b.sim.model().storedRecord(n))
            expected << QStringLiteral("column ") + column;
    }
    QTRY_COMPARE(b.recorder.readout.size(), expected.size());
    QCOMPARE(b.recorder.readout, expected);
    QVERIFY(!b.options.modeTobar);
}

void TestEndToEnd::tobarModeValuesAndReadout()
{
    Bench b;
    QVERIFY(b.startSim());
    QCOMPARE(b.connectPort(true), CommControl::Ok);
    QTRY_VERIFY(b.recorder.messages >= 2);

    QVERIFY(b.console.execute(QStringLiteral("instrument tobar")).ok);
    QTRY_VERIFY(b.options.modeTobar);

    // The display tick polls with "b" while in TOBAR mode.
    QTimer tick;
    tick.setInterval(200);
    QObject::connect(&tick, &QTimer::timeout, &b.control, [&b] {
        if (b.options.modeTobar)
            (void)b.control.Output("b\r");
    });
    tick.start();
    QTRY_VERIFY(b.sim.model().tobarPolls() >= 3);
    tick.stop();
    const InstrumentModel::TobarReading last = b.sim.model().lastTobar();
    QTRY_COMPARE(b.link.lastTobarMsg, qint16(last.type));
    QTRY_COMPARE(b.link.tobarStatus, qint16(last.status));
    bool ok = false;
    QTRY_VERIFY(near(QLocale().toDouble(b.link.tobarValue, &ok), last.value.toDouble()));
    QVERIFY(ok);

    // A TOBAR readout: five columns, the comment only on EFL lines.
    b.sim.model().setStoredRecords(6);
    QCOMPARE(b.control.Output("t\r"), CommControl::Ok);
    QStringList expected{QStringLiteral("grid 1 6 5")};
    for (int n = 1; n <= 6; ++n) {
        expected << QStringLiteral("line 1");
        QStringList columns = b.sim.model().storedRecord(n);
        if (columns[2] != QLatin1String("EFL"))
            columns[4].clear();
        for (const QString& column : columns)
            expected << QStringLiteral("column ") + column;
    }
    QTRY_COMPARE(b.recorder.readout.size(), expected.size());
    QCOMPARE(b.recorder.readout, expected);
    QVERIFY(b.recorder.readout.contains(QStringLiteral("column ")));

    QVERIFY(b.console.execute(QStringLiteral("instrument orvelan")).ok);
    QTRY_VERIFY(!b.options.modeTobar);
    const int seen = b.recorder.messages;
    QTRY_VERIFY(b.recorder.messages >= seen + 3);
    QCOMPARE(b.link.angleStatus, qint16(3));
}

void TestEndToEnd::textInPiecesDoubledSpaceAndLineFeed()
{
    Bench b;
    QVERIFY(b.startSim());
    QCOMPARE(b.connectPort(true), CommControl::Ok);
    QTRY_VERIFY(b.recorder.messages >= 2);
    b.sim.model().setStreaming(false);
    b.inject("1 103 0.11 0.22\r");
    QTRY_VERIFY(near(b.link.angleX, 0.11) && near(b.link.angleY, 0.22));

    // One character at a time; each must have arrived on its own before the next is sent.
    const QByteArray line = "1 101 7.25 -8.5\r";
    QString token;
    for (const char c : line) {
        b.inject(QByteArray(1, c));
        token = (c == ' ' || c == '\r') ? QString() : token + QLatin1Char(c);
        QVERIFY2(QTest::qWaitFor([&] { return b.internal.token == token; }), qPrintable(token));
    }
    QTRY_VERIFY(near(b.link.angleX, 7.25) && near(b.link.angleY, -8.5));
    QCOMPARE(b.link.angleStatus, qint16(1));

    // A doubled space ends a receive pass; the rest of the line is still decoded, into the same slots.
    b.link.storeAtIR = true;
    b.inject("1 113  4.5 6.5\r");
    QTRY_VERIFY(near(b.link.angleX, 4.5) && near(b.link.angleY, 6.5));
    QCOMPARE(b.link.angleStatus, qint16(3));
    QCOMPARE(b.recorder.xy2Table, 1);

    // A line feed after the carriage return leads the next type token and is ignored.
    b.inject("1 103 1.5 2.5\r\n1 107 3.5 4.5\r");
    QTRY_VERIFY(near(b.link.angleX, 3.5) && near(b.link.angleY, 4.5));
    QCOMPARE(b.link.angleStatus, qint16(7));
    QCOMPARE(b.recorder.xy2Table, 1);
}

void TestEndToEnd::compatibleRecords()
{
    Bench b;
    QVERIFY(b.startSim());
    QCOMPARE(b.connectPort(false), CommControl::Ok);
    QTRY_COMPARE(b.sim.lineBaud(), 2400);
    QCOMPARE(b.sim.linkMode(), InstrumentModel::LinkMode::Compatible);
    QTRY_VERIFY(b.recorder.messages >= 5);
    b.sim.model().setStreaming(false);
    const InstrumentModel::AnglePair drift = b.sim.model().lastAngles();
    QTRY_VERIFY(near(b.link.angleX, drift.x) && near(b.link.angleY, drift.y));

    // A stray byte costs synchronisation; a stream of good records brings it back.
    b.inject("\x55");
    b.sim.model().setFixedAngles(12.34, -56.78);
    b.sim.model().setStreaming(true);
    QTRY_VERIFY(near(b.link.angleX, 12.34) && near(b.link.angleY, -56.78));
    QVERIFY(b.internal.inSync);

    // In step, a record with only its end byte right still counts.
    b.sim.model().setStreaming(false);
    b.inject(QByteArray::fromHex("05102700f0d8ff03"));
    QTRY_VERIFY(near(b.link.angleX, 100.0) && near(b.link.angleY, -100.0));

    b.link.isHR = 1;
    b.sim.model().setHR(true);
    b.sim.model().setFixedAngles(1.234, -5.678);
    b.sim.model().setStreaming(true);
    QTRY_VERIFY(near(b.link.angleX, 1.234) && near(b.link.angleY, -5.678));
    QCOMPARE(b.link.angleStatus, qint16(0)); // records carry no status
}

void TestEndToEnd::vanishAndReturn()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Named after the unique folder: the port's lock file is named after the device's file name.
    const QString linkPath = dir.filePath(QFileInfo(dir.path()).fileName() + QStringLiteral("-line"));
    Bench b;
    b.sim.setLinkPath(linkPath);
    QVERIFY(b.startSim());
    QCOMPARE(qEnvironmentVariable(PortVariable), linkPath);
    QCOMPARE(b.connectPort(true), CommControl::Ok);
    QTRY_VERIFY(b.recorder.messages >= 2);

    QVERIFY(b.console.execute(QStringLiteral("vanish")).ok);
    QTRY_VERIFY(!b.control.PortOpen());
    QVERIFY(b.control.Output("b\r") != CommControl::Ok);
    QCOMPARE(b.connectPort(true), CommControl::ErrInvalidPort); // the device is gone

    const SimConsole::Result back = b.console.execute(QStringLiteral("return"));
    QVERIFY(back.ok);
    QVERIFY(back.reply.endsWith(QStringLiteral("TARNOLUX_COM9=") + linkPath));
    QCOMPARE(b.connectPort(true), CommControl::Ok);
    const int seen = b.recorder.messages;
    QTRY_VERIFY(b.recorder.messages >= seen + 3);
    QCOMPARE(b.control.Output("M\r"), CommControl::Ok);
    QTRY_COMPARE(b.link.angleStatus, qint16(7));
}

void TestEndToEnd::simulatorProgram()
{
    QProcess sim;
    QByteArray out;
    QObject::connect(&sim, &QProcess::readyReadStandardOutput, &sim,
                     [&] { out.append(sim.readAllStandardOutput()); });
    sim.start(QStringLiteral(TARNOLUX_SIM_BINARY), {QStringLiteral("--port"), QStringLiteral("9")});
    QVERIFY(sim.waitForStarted());
    QTRY_VERIFY(out.contains("TARNOLUX_COM9="));
    const QList<QByteArray> lines = out.split('\n');
    const QByteArray device = lines.value(0);
    QCOMPARE(lines.value(1), "TARNOLUX_COM9=" + device);

    Bench b;
    qputenv(PortVariable, device);
    QCOMPARE(b.connectPort(true), CommControl::Ok);
    QTRY_VERIFY(b.recorder.messages >= 2);
    sim.write("angles 1.25 -2.5\nkey exit\n");
    b.link.storeAtExitkey = true;
    QTRY_VERIFY(near(b.link.angleX, 1.25) && near(b.link.angleY, -2.5));
    QTRY_COMPARE(b.recorder.xy2Table, 1);
    sim.write("stream off\ntext 8 TOBAR\\r\n");
    QTRY_VERIFY(b.options.modeTobar);

    // End of input does not end the simulator.
    sim.write("stream on\n");
    sim.closeWriteChannel();
    QTRY_VERIFY(!b.options.modeTobar);
    const int seen = b.recorder.messages;
    QTRY_VERIFY(b.recorder.messages >= seen + 10);
    QCOMPARE(sim.state(), QProcess::Running);

    sim.terminate();
    QVERIFY(sim.waitForFinished(3000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QTRY_VERIFY(!b.control.PortOpen());
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "test_endtoend.moc"
