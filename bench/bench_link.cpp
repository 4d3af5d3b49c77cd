// The receive path: text framing and decoding, compatible records, the whole link over a pseudo-terminal
// at full speed, and the CPU it takes at the real line rate.
#include "benchsupport.h"

#include "analysiswindow/analysiswindow.h"

#include "connection/formcom.h"
#include "link/linkreceiver.h"
#include "platform/commcontrol.h"
#include "platform/memoryport.h"
#include "tables/tableset.h"
#include "widgets/flexgrid.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace Bench {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Counts the store signals (one per decoded message with N = 1); nothing else is needed here.
class CountingCalls final : public MainWindowCalls {
public:
    void XY2Table() override {}
    void setGridForLoad(qint16, qint32, qint16) override {}
    void addLine(qint16) override {}
    void setColumn(const QString&) override {}
    void haveAngleMsg() override { ++messages; }

    long long messages = 0;
};

// Sits between the decoder and the main window and checks the sequence number carried in every message.
class SequenceCheck final : public MainWindowCalls {
public:
    SequenceCheck(FormMain& main, const LinkState& link) : m_main(main), m_link(link) {}

    void XY2Table() override { m_main.XY2Table(); }
    void setGridForLoad(qint16 g, qint32 r, qint16 c) override { m_main.setGridForLoad(g, r, c); }
    void addLine(qint16 gridNum) override { m_main.addLine(gridNum); }
    void setColumn(const QString& s) override { m_main.setColumn(s); }
    void haveAngleMsg() override
    {
        const long long sequence = std::llround(m_link.angleX * 100.0);
        if (sequence != expected || m_link.angleY != -m_link.angleX)
            ++wrong;
        expected = sequence + 1;
        ++received;
        m_main.haveAngleMsg();
    }

    long long expected = 1;
    long long received = 0;
    long long wrong = 0;

private:
    FormMain& m_main;
    const LinkState& m_link;
};

// The instrument on the master side of a pseudo-terminal, on its own thread: numbered angle lines, either as
// fast as the line takes them or paced at a byte rate in 10 ms steps, as a serial line delivers them.
class LineWriter {
public:
    LineWriter(const PtyLine& line, double seconds, double bytesPerSecond)
        : m_line(line), m_seconds(seconds), m_rate(bytesPerSecond)
    {
    }
    ~LineWriter() { join(); }

    void start()
    {
        m_thread = std::thread([this] { run(); });
    }
    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    std::atomic<bool> done{false};
    std::atomic<long long> sent{0};
    bool failed = false;
    double cpuSeconds = 0;

private:
    void run()
    {
        const double cpuStart = threadCpuSeconds();
        // The first carriage return gives the receiver its synchronisation.
        failed = !m_line.writeAll("\r", 1);
        const Clock::time_point start = Clock::now();
        if (m_rate > 0)
            paced(start);
        else
            flood(start);
        cpuSeconds = threadCpuSeconds() - cpuStart;
        done = true;
    }

    void flood(Clock::time_point start)
    {
        char chunk[8192];
        long long sequence = 1;
        while (!failed && secondsSince(start) < m_seconds) {
            int used = 0;
            while (used < static_cast<int>(sizeof chunk) - 64)
                used += angleLine(chunk + used, sequence++);
            failed = !m_line.writeAll(chunk, used);
            sent = sequence - 1;
        }
    }

    void paced(Clock::time_point start)
    {
        QByteArray pending;
        long long sequence = 1;
        double budget = 0;
        long long queued = 0;
        char line[64];
        Clock::time_point last = start;
        Clock::time_point next = start;
        while (!failed && secondsSince(start) < m_seconds) {
            next += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(next);
            const Clock::time_point now = Clock::now();
            budget += std::chrono::duration<double>(now - last).count() * m_rate;
            last = now;
            while (pending.size() < budget + 64) {
                pending.append(line, angleLine(line, sequence++));
                ++queued;
            }
            const auto n = static_cast<qsizetype>(budget);
            failed = !m_line.writeAll(pending.constData(), n);
            pending.remove(0, n);
            budget -= static_cast<double>(n);
            // Lines completely written so far.
            sent = queued - pending.count('\r');
        }
    }

    const PtyLine& m_line;
    double m_seconds;
    double m_rate;
    std::thread m_thread;
};

// Runs events until the condition holds or the time is up; true when it holds.
template <typename Condition> bool runEventsUntil(Condition condition, double seconds)
{
    QTimer wake;
    wake.start(10);
    const Clock::time_point start = Clock::now();
    while (!condition()) {
        if (secondsSince(start) > seconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void textFraming(benchmark::State& state)
{
    const QByteArray lines = angleLines(config().textLines);
    for (auto _ : state) {
        LinkState link;
        link.portMode = 1;
        MainOptions options;
        LinkInternal internal;
        CountingCalls calls;
        LinkReceiver receiver(link, options, internal);
        MemoryPort port;
        receiver.setPort(&port);
        receiver.setMainWindow(&calls);
        receiver.setMsgSignal(1);
        port.feed(QByteArrayLiteral("\r"));
        port.feed(lines);

        Clock::time_point start = Clock::now();
        receiver.comPort_OnComm(CommEvents::Receive);
        const double seconds = secondsSince(start);

        start = Clock::now();
        long long carriageReturns = 0;
        for (const char c : lines)
            carriageReturns += c == '\r';
        benchmark::DoNotOptimize(carriageReturns);
        const double baseSeconds = secondsSince(start);

        const qsizetype lastStart = lines.lastIndexOf('\r', lines.size() - 2) + 1;
        const QList<QByteArray> last = lines.mid(lastStart).trimmed().split(' ');
        if (!require(state, calls.messages == config().textLines && carriageReturns == config().textLines,
                     QStringLiteral("%1 of %2 lines decoded").arg(calls.messages).arg(config().textLines)) ||
            !require(state,
                     link.angleX == last.value(2).toDouble() && link.angleY == last.value(3).toDouble(),
                     QStringLiteral("last line misdecoded")))
            return;
        state.SetIterationTime(seconds);
        const double megabytes = static_cast<double>(lines.size()) / 1e6;
        sample(state, "text", megabytes / seconds, megabytes / baseSeconds);
        state.counters["x_line_rate"] = lines.size() / seconds / 1920.0;
    }
}

QByteArray makeRecords(int count)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(count) * 8);
    for (int i = 0; i < count; ++i) {
        const qint32 x = (i * 37) % 4000000 - 2000000;
        const qint32 y = -x / 3;
        const char record[8] = {0x02,
                                static_cast<char>(x & 0xFF),
                                static_cast<char>((x >> 8) & 0xFF),
                                static_cast<char>((x >> 16) & 0xFF),
                                static_cast<char>(y & 0xFF),
                                static_cast<char>((y >> 8) & 0xFF),
                                static_cast<char>((y >> 16) & 0xFF),
                                0x03};
        out.append(record, 8);
    }
    return out;
}

void compatibleRecords(benchmark::State& state)
{
    const int count = config().records;
    // One more: the first record only brings the synchronisation.
    const QByteArray records = makeRecords(count + 1);
    for (auto _ : state) {
        LinkState link;
        link.portMode = 0;
        MainOptions options;
        LinkInternal internal;
        CountingCalls calls;
        LinkReceiver receiver(link, options, internal);
        MemoryPort port;
        receiver.setPort(&port);
        receiver.setMainWindow(&calls);
        receiver.setMsgSignal(1);
        port.feed(records);

        Clock::time_point start = Clock::now();
        for (int i = 0; i <= count; ++i)
            receiver.comPort_OnComm(CommEvents::Receive);
        const double seconds = secondsSince(start);

        // The plain loop: take each record, check its frame bytes, add up its two values.
        start = Clock::now();
        long long framed = 0;
        long long sum = 0;
        for (qsizetype at = 0; at + 8 <= records.size(); at += 8) {
            unsigned char r[8];
            std::memcpy(r, records.constData() + at, 8);
            if (r[0] == 0x02 || r[7] == 0x03) {
                ++framed;
                sum += r[1] + 256 * r[2] + 65536 * r[3] + r[4] + 256 * r[5] + 65536 * r[6];
            }
        }
        benchmark::DoNotOptimize(sum);
        const double baseSeconds = secondsSince(start);

        const qint32 lastX = ((count)*37) % 4000000 - 2000000;
        if (!require(state, calls.messages == count && framed == count + 1,
                     QStringLiteral("%1 of %2 records decoded").arg(calls.messages).arg(count)) ||
            !require(state, link.angleX == lastX / 100.0, QStringLiteral("last record misdecoded")))
            return;
        state.SetIterationTime(seconds);
        sample(state, "compatible", count / seconds, (count + 1) / baseSeconds);
    }
}

// The plain reader: drains the same flood from the slave side with read() and counts the lines.
double rawPtyRate(benchmark::State& state)
{
    PtyLine line;
    if (!require(state, line.isValid(), QStringLiteral("no pseudo-terminal")))
        return 0;
    const int slave = ::open(qPrintable(line.path()), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (!require(state, slave >= 0, QStringLiteral("cannot open the slave")))
        return 0;
    LineWriter writer(line, config().rawPtySeconds, 0);
    const Clock::time_point start = Clock::now();
    writer.start();
    long long lines = -1; // the synchronising carriage return
    char buffer[65536];
    while (!(writer.done && lines >= writer.sent)) {
        pollfd p{slave, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0 && writer.done)
            break;
        const ssize_t n = ::read(slave, buffer, sizeof buffer);
        for (ssize_t i = 0; i < n; ++i)
            lines += buffer[i] == '\r';
    }
    const double seconds = secondsSince(start);
    writer.join();
    ::close(slave);
    return lines / seconds;
}

void endToEnd(benchmark::State& state)
{
    for (auto _ : state) {
        const double baseline = rawPtyRate(state);
        PtyLine line;
        Program program;
        program.connectText(line.path());
        if (!require(state, line.isValid() && program.state.link.conStatus == 1,
                     QStringLiteral("the program could not open the pseudo-terminal")))
            return;
        SequenceCheck check(*program.window, program.state.link);
        program.link.setMainWindow(&check);
        program.link.setMsgSignal(1);
        int overflows = 0;
        QObject::connect(&program.link.form().comPort(), &CommControl::OnComm, &program.link,
                         [&overflows](int code) { overflows += code == CommEvents::RxOver; });

        LineWriter writer(line, config().floodSeconds, 0);
        const Clock::time_point start = Clock::now();
        writer.start();
        // Lost messages would never come: give up a second after the last one arrived.
        long long seen = 0;
        Clock::time_point lastArrival = Clock::now();
        const bool drained = runEventsUntil(
                                 [&] {
                                     if (check.received != seen) {
                                         seen = check.received;
                                         lastArrival = Clock::now();
                                     }
                                     return (writer.done && check.received >= writer.sent) ||
                                            (writer.done && secondsSince(lastArrival) > 1.0);
                                 },
                                 config().floodSeconds + 20) &&
                             check.received >= writer.sent;
        const double seconds = secondsSince(start);
        writer.join();
        program.link.setMainWindow(program.window.get());

        const long long sent = writer.sent;
        if (!require(state, !writer.failed, QStringLiteral("writing to the pseudo-terminal failed")) ||
            !require(state, drained && check.received == sent,
                     QStringLiteral("%1 of %2 messages arrived, %3 receive buffer overflows")
                         .arg(check.received)
                         .arg(sent)
                         .arg(overflows)) ||
            !require(state, check.wrong == 0,
                     QStringLiteral("%1 messages out of sequence or misdecoded").arg(check.wrong)))
            return;
        state.SetIterationTime(seconds);
        sample(state, "endtoend", check.received / seconds, baseline);
    }
}

// CPU share of the program over a span of wall time while the writer (whose own CPU time is left out) runs;
// optionally storing every message into the table with the analysis window open, or with the trend page
// following.
enum class Busy { Reading, Storing, Trend };
void cpuAt(benchmark::State& state, Busy busy)
{
    const bool storing = busy == Busy::Storing;
    for (auto _ : state) {
        PtyLine line;
        Program program;
        program.connectText(line.path());
        if (!require(state, line.isValid() && program.state.link.conStatus == 1,
                     QStringLiteral("the program could not open the pseudo-terminal")))
            return;
        FormMain& window = *program.window;
        if (busy == Busy::Trend)
            window.analysis().showPage(AnalysisWindow::Trend);
        if (storing) {
            window.analysis().showPage(AnalysisWindow::Statistics);
            window.TextTimer->setText(QStringLiteral("1"));
            window.CommandStart_Click();
        }
        SequenceCheck check(window, program.state.link);
        program.link.setMainWindow(&check);
        program.link.setMsgSignal(1);

        const auto busyShare = [](double seconds, LineWriter* writer) {
            QEventLoop loop;
            QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
            const double cpuStart = processCpuSeconds();
            const Clock::time_point start = Clock::now();
            if (writer)
                writer->start();
            loop.exec();
            const double wall = secondsSince(start);
            double cpu = processCpuSeconds() - cpuStart;
            if (writer) {
                writer->join();
                cpu -= writer->cpuSeconds;
            }
            return 100.0 * cpu / wall;
        };

        const double idle = busyShare(config().idleSeconds, nullptr);
        LineWriter writer(line, config().pacedSeconds, 1920.0);
        const double reading = busyShare(config().pacedSeconds, &writer);
        const bool drained = runEventsUntil([&] { return check.received >= writer.sent; }, 5);
        program.link.setMainWindow(program.window.get());

        const double expected = config().pacedSeconds * 1920.0 / 24.0;
        if (!require(
                state, !writer.failed && drained && check.received == writer.sent,
                QStringLiteral("%1 of %2 messages arrived").arg(check.received).arg(writer.sent.load())) ||
            !require(state, check.received > expected * 0.8,
                     QStringLiteral("only %1 messages at line rate").arg(check.received)) ||
            !require(state, check.wrong == 0, QStringLiteral("%1 messages misdecoded").arg(check.wrong)) ||
            !require(state, !storing || window.tables().currentGrid()->Rows() - 1 == check.received,
                     QStringLiteral("not every message stored")))
            return;
        state.SetIterationTime(config().pacedSeconds);
        sample(state, storing ? "cpu_storing" : busy == Busy::Trend ? "cpu_trend" : "cpu", reading, idle);
    }
}
void cpuAtLineRate(benchmark::State& state)
{
    cpuAt(state, Busy::Reading);
}
void cpuStoringWithAnalysis(benchmark::State& state)
{
    cpuAt(state, Busy::Storing);
}
void cpuTrendFollowing(benchmark::State& state)
{
    cpuAt(state, Busy::Trend);
}

} // namespace

void registerLinkBenchmarks()
{
    registerFigure("TextFraming", textFraming, config().repetitions);
    registerFigure("CompatibleRecords", compatibleRecords, config().repetitions);
    registerFigure("EndToEnd", endToEnd, config().slowRepetitions);
    registerFigure("CpuAtLineRate", cpuAtLineRate, config().slowRepetitions);
    registerFigure("CpuStoringWithAnalysis", cpuStoringWithAnalysis, config().slowRepetitions);
    registerFigure("CpuTrendFollowing", cpuTrendFollowing, config().slowRepetitions);
}

} // namespace Bench
