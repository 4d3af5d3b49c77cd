// Publishing to a real mosquitto started here: the CPU that publishing every measurement at line rate adds,
// and how fast 10,000 lines queued while the broker was away go out once the publisher reconnects.
#include "benchsupport.h"

#include "publish/publisher.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>

namespace Bench {
namespace {

// A broker on a free loopback port, its configuration and data in a temporary folder.
class Broker {
public:
    Broker()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        m_port = probe.serverPort();
        probe.close();
        QFile conf(m_dir.filePath(QStringLiteral("mosquitto.conf")));
        if (conf.open(QIODevice::WriteOnly))
            conf.write("listener " + QByteArray::number(m_port) + " 127.0.0.1\nallow_anonymous true\n");
    }
    ~Broker() { stop(); }
    bool start()
    {
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        m_process->start(QStringLiteral("/usr/sbin/mosquitto"),
                         {QStringLiteral("-c"), m_dir.filePath(QStringLiteral("mosquitto.conf"))});
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (!out.contains(" running") && m_process->state() != QProcess::NotRunning &&
               t.elapsed() < 10000) {
            m_process->waitForReadyRead(100);
            out += m_process->readAll();
        }
        return out.contains(" running");
    }
    void stop()
    {
        if (!m_process)
            return;
        m_process->terminate();
        m_process->waitForFinished();
        m_process.reset();
    }
    [[nodiscard]] int port() const { return m_port; }

private:
    QTemporaryDir m_dir;
    int m_port = 0;
    std::unique_ptr<QProcess> m_process;
};

PublishSettings settings(int port)
{
    PublishSettings s;
    s.enabled = true;
    s.host = QStringLiteral("127.0.0.1");
    s.port = port;
    s.prefix = QStringLiteral("bench");
    return s;
}

// Lets events run until done() or the seconds have passed; whether done() became true.
bool runUntil(const std::function<bool()>& done, double seconds)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < qint64(seconds * 1000)) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

// The program's CPU share (percent of a core) over seconds of wall time, events running.
double cpuShare(double seconds)
{
    const double cpu = processCpuSeconds();
    QElapsedTimer t;
    t.start();
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    return 100.0 * (processCpuSeconds() - cpu) / (double(t.nsecsElapsed()) / 1e9);
}

// The text stream at 19200 baud read as the CPU row reads it; windows of publishing every measurement
// alternate with windows that do not publish, the connection open throughout.
void publishingCpu(benchmark::State& state)
{
    const Config& c = config();
    for (auto _ : state) {
        Broker broker;
        if (!require(state, broker.start(), QStringLiteral("mosquitto did not start")))
            return;
        PtyPair line;
        Program program;
        if (!program.connect(state, line, 1))
            return;
        Publisher publisher(program.state);
        publisher.apply(settings(broker.port()));
        if (!require(state, runUntil([&] { return publisher.state().connected; }, 10),
                     QStringLiteral("no connection to the broker")))
            return;
        bool on = false;
        long long published = 0;
        QObject::connect(&program.link, &Link::measurementDecoded, &publisher,
                         [&](double x, double y, qint16 status, qint64 msecs) {
                             if (on) {
                                 publisher.publishAngles(x, y, status, msecs);
                                 ++published;
                             }
                         });
        program.link.setMsgSignal(1);
        Program::settle();
        WriterProcess writer;
        // The program reads the line about five times a second: a window takes several reads.
        const double window = std::max(c.cpuWindowSeconds / 2, 0.6);
        const double streamSeconds = c.cpuLeadSeconds + c.cpuWindows * window * 2 + 0.5;
        if (!require(state, writer.start(line, true, 1920.0, streamSeconds),
                     QStringLiteral("the instrument's process could not start")))
            return;
        runUntil([] { return false; }, c.cpuLeadSeconds);
        std::vector<double> with, without;
        for (int w = 0; w < c.cpuWindows; ++w) {
            on = true;
            with.push_back(cpuShare(window));
            on = false;
            without.push_back(cpuShare(window));
        }
        (void)writer.finish();
        const double expected = c.cpuWindows * window * 1920.0 / 24.0;
        if (!require(state, published > expected * 0.6,
                     QStringLiteral("only %1 measurements published").arg(published)) ||
            !require(state, publisher.state().connected && publisher.state().attempts == 1,
                     QStringLiteral("the connection to the broker did not hold")))
            return;
        state.SetIterationTime(c.cpuWindows * window * 2);
        for (size_t w = 0; w < with.size(); ++w)
            sample(state, "mqtt_cpu", with[w] - without[w], without[w]);
    }
}

// Seconds until the queue is empty, from the moment the publisher is connected.
double drain(Publisher& publisher, const std::function<void()>& store, Broker* away)
{
    if (away) {
        away->stop();
        runUntil([&] { return !publisher.state().connected; }, 10);
        store();
        if (!away->start())
            return -1;
    }
    if (!runUntil([&] { return publisher.state().connected; }, 70))
        return -1;
    QElapsedTimer t;
    t.start();
    if (!away)
        store();
    if (!runUntil([&] { return publisher.state().queued == 0; }, 30))
        return -1;
    return double(t.nsecsElapsed()) / 1e9;
}

void queuedLines(benchmark::State& state)
{
    const int lines = config().smoke ? 1000 : 10000;
    for (auto _ : state) {
        Broker broker;
        if (!require(state, broker.start(), QStringLiteral("mosquitto did not start")))
            return;
        AppState app;
        Link link(app);
        Tables tables(app);
        tables.setupForMode();
        Publisher publisher(app);
        publisher.follow(link, tables);
        publisher.apply(settings(broker.port()));
        const auto store = [&] {
            for (int i = 0; i < lines; ++i) {
                if (tables.current().rows() >= Tables::FullRows - 1)
                    tables.clearCurrent();
                tables.XY2Table(LineRecord::Source::Interval);
            }
        };
        const double connected = drain(publisher, store, nullptr);
        const double reconnected = drain(publisher, store, &broker);
        if (!require(state, connected >= 0 && reconnected >= 0,
                     QStringLiteral("the queued lines did not reach the broker")) ||
            !require(state, publisher.state().dropped == 0, QStringLiteral("lines were dropped")))
            return;
        state.SetIterationTime(reconnected);
        sample(state, "mqtt_queued", reconnected * 1000 * 10000 / lines, connected * 1000 * 10000 / lines);
    }
}

} // namespace

void registerPublishBenchmarks()
{
    registerFigure("PublishingCpu", publishingCpu, 1);
    registerFigure("QueuedLines", queuedLines, config().slowRepetitions);
}

} // namespace Bench
