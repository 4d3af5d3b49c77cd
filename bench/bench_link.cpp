// The receive path: text framing and decoding, compatible records, the whole link over a pseudo-terminal
// at full speed, and the CPU it takes at the real line rate.
#include "benchsupport.h"

#include "analysis/measurementlog.h"
#include "analysiswindow/analysiswindow.h"

#include "connection/formcom.h"
#include "link/linkreceiver.h"
#include "platform/commcontrol.h"
#include "platform/memoryport.h"
#include "tables/tables.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

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
class CountingCalls final : public LinkEvents {
public:
    void onMeasurement(double, double, qint16) override {}
    void onTobarValue(const QString&, qint16, TobarMessage) override {}
    void onStoreSignal(StoreSignal) override {}
    void onReadoutStart(qint16, qint32, qint16) override {}
    void onReadoutLine(qint16) override {}
    void onReadoutCell(const QString&) override {}
    void onInterval() override { ++messages; }

    long long messages = 0;
};

// The receive path alone on an in-memory port, every decoded message counted.
struct MemoryLink {
    explicit MemoryLink(LinkMode portMode)
    {
        link.portMode = portMode;
        receiver.setPort(&port);
        receiver.setEvents(&calls);
        receiver.setMsgSignal(1);
    }

    LinkState link;
    MainOptions options;
    LinkInternal internal;
    CountingCalls calls;
    LinkReceiver receiver{link, options, internal};
    MemoryPort port;
};

// Follows the link beside the main window and checks the sequence number carried in every message.
struct SequenceCheck {
    void measured(double x, double y)
    {
        const long long sequence = std::llround(x * 100.0);
        if (sequence != expected || y != -x)
            ++wrong;
        expected = sequence + 1;
        ++received;
    }

    long long expected = 1;
    long long received = 0;
    long long wrong = 0;
};

// The instrument on the master side of a pseudo-terminal, on its own thread: numbered angle lines as fast as
// the line takes them.
class LineWriter {
public:
    LineWriter(const PtyPair& line, double seconds) : m_line(line), m_seconds(seconds) {}
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

private:
    void run()
    {
        // The first carriage return gives the receiver its synchronisation.
        failed = !PtyPair::writeAll(m_line.master(), "\r", 1);
        const Clock::time_point start = Clock::now();
        char chunk[8192];
        long long sequence = 1;
        while (!failed && secondsSince(start) < m_seconds) {
            int used = 0;
            while (used < static_cast<int>(sizeof chunk) - 64)
                used += angleLine(chunk + used, sequence++);
            failed = !PtyPair::writeAll(m_line.master(), chunk, used);
            sent = sequence - 1;
        }
        done = true;
    }

    const PtyPair& m_line;
    double m_seconds;
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
    const int count = config().textLines;
    const QByteArray lines = angleLines(count);
    for (auto _ : state) {
        MemoryLink m(LinkMode::Text);
        m.port.feed(QByteArrayLiteral("\r"));
        m.port.feed(lines);

        Clock::time_point start = Clock::now();
        m.receiver.receive(PortCode::Receive);
        const double seconds = secondsSince(start);

        start = Clock::now();
        long long carriageReturns = 0;
        for (const char c : lines)
            carriageReturns += c == '\r';
        benchmark::DoNotOptimize(carriageReturns);
        const double baseSeconds = secondsSince(start);

        const qsizetype lastStart = lines.lastIndexOf('\r', lines.size() - 2) + 1;
        const QList<QByteArray> last = lines.mid(lastStart).trimmed().split(' ');
        if (!require(state, m.calls.messages == count && carriageReturns == count,
                     QStringLiteral("%1 of %2 lines decoded").arg(m.calls.messages).arg(count)) ||
            !require(state,
                     m.link.angleX == last.value(2).toDouble() && m.link.angleY == last.value(3).toDouble(),
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
        char record[8];
        out.append(record, compatibleRecord(record, x, -x / 3));
    }
    return out;
}

void compatibleRecords(benchmark::State& state)
{
    const int count = config().records;
    // One more: the first record only brings the synchronisation.
    const QByteArray records = makeRecords(count + 1);
    for (auto _ : state) {
        MemoryLink m(LinkMode::Compatible);
        m.port.feed(records);

        Clock::time_point start = Clock::now();
        for (int i = 0; i <= count; ++i)
            m.receiver.receive(PortCode::Receive);
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
        if (!require(state, m.calls.messages == count && framed == count + 1,
                     QStringLiteral("%1 of %2 records decoded").arg(m.calls.messages).arg(count)) ||
            !require(state, m.link.angleX == lastX / 100.0, QStringLiteral("last record misdecoded")))
            return;
        state.SetIterationTime(seconds);
        sample(state, "compatible", count / seconds, (count + 1) / baseSeconds);
    }
}

// The plain reader: drains the same flood from the slave side with read() and counts the lines.
double rawPtyRate(benchmark::State& state)
{
    PtyPair line;
    if (!require(state, line.isValid(), QStringLiteral("no pseudo-terminal")))
        return 0;
    const int slave = ::open(qPrintable(line.path()), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (!require(state, slave >= 0, QStringLiteral("cannot open the slave")))
        return 0;
    LineWriter writer(line, config().rawPtySeconds);
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
        PtyPair line;
        Program program;
        if (!program.connect(state, line))
            return;
        SequenceCheck check;
        QObject::connect(&program.link, &Link::measurementDecoded, &program.link,
                         [&check](double x, double y) { check.measured(x, y); });
        program.link.setMsgSignal(1);
        int overflows = 0;
        QObject::connect(&program.link.comPort(), &CommControl::OnComm, &program.link,
                         [&overflows](PortCode code) { overflows += code == PortCode::RxOver; });

        LineWriter writer(line, config().floodSeconds);
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

// Lets events run for the given time.
void runEventsFor(double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

// The program's CPU share, percent of a core, in each of count consecutive windows of wall time. The
// process holds only the program: its own threads count, the instrument's process does not.
std::vector<double> cpuWindows(int count, double seconds)
{
    std::vector<double> shares;
    QEventLoop loop;
    QTimer boundary;
    boundary.setTimerType(Qt::PreciseTimer);
    boundary.setInterval(static_cast<int>(seconds * 1000));
    double cpu = processCpuSeconds();
    Clock::time_point at = Clock::now();
    QObject::connect(&boundary, &QTimer::timeout, &loop, [&] {
        const double cpuNow = processCpuSeconds();
        const Clock::time_point now = Clock::now();
        shares.push_back(100.0 * (cpuNow - cpu) / std::chrono::duration<double>(now - at).count());
        cpu = cpuNow;
        at = now;
        if (static_cast<int>(shares.size()) >= count)
            loop.quit();
    });
    boundary.start();
    loop.exec();
    return shares;
}

// CPU share of the program while the instrument streams at the real line rate, one sample per window, next
// to the same program connected but idle; reading only (text or compatible mode), storing every message
// into the table with the analysis window open, or with the trend page following.
enum class Busy { Reading, Compatible, Storing, Trend };
void cpuAt(benchmark::State& state, Busy busy)
{
    const bool text = busy != Busy::Compatible;
    const bool storing = busy == Busy::Storing;
    // Bytes a second of 19200 and 2400 baud with one start and one stop bit.
    const double rate = text ? 1920.0 : 240.0;
    const double messageBytes = text ? 24.0 : 8.0;
    const char* figure = busy == Busy::Reading      ? "cpu"
                         : busy == Busy::Compatible ? "cpu_compatible"
                         : storing                  ? "cpu_storing"
                                                    : "cpu_trend";
    const Config& c = config();
    for (auto _ : state) {
        PtyPair line;
        Program program;
        if (!program.connect(state, line, text ? 1 : 0))
            return;
        FormMain& window = *program.window;
        if (busy == Busy::Trend)
            window.analysis().showPage(AnalysisWindow::Trend);
        if (storing) {
            window.analysis().showPage(AnalysisWindow::Statistics);
            control<QLineEdit>(window, "TextTimer")->setText(QStringLiteral("1"));
            window.startStoring();
        }
        SequenceCheck check;
        QObject::connect(&program.link, &Link::measurementDecoded, &program.link,
                         [&check](double x, double y) { check.measured(x, y); });
        program.link.setMsgSignal(1);
        Program::settle();

        const std::vector<double> idle = cpuWindows(c.idleWindows, c.idleWindowSeconds);
        WriterProcess writer;
        // The instrument's clock starts once its process has loaded, so its stream outlasts the last window.
        const double streamSeconds = c.cpuLeadSeconds + c.cpuWindows * c.cpuWindowSeconds + 0.1;
        if (!require(state, writer.start(line, text, rate, streamSeconds),
                     QStringLiteral("the instrument's process could not start")))
            return;
        runEventsFor(c.cpuLeadSeconds);
        const std::vector<double> reading = cpuWindows(c.cpuWindows, c.cpuWindowSeconds);
        const long long sent = writer.finish();
        const bool drained = runEventsUntil([&] { return check.received >= sent; }, 5);

        const double expected = streamSeconds * rate / messageBytes;
        if (!require(state, sent >= 0 && drained && check.received == sent,
                     QStringLiteral("%1 of %2 messages arrived").arg(check.received).arg(sent)) ||
            !require(state, check.received > expected * 0.8,
                     QStringLiteral("only %1 messages at line rate").arg(check.received)) ||
            !require(state, check.wrong == 0, QStringLiteral("%1 messages misdecoded").arg(check.wrong)) ||
            !require(state, !storing || window.tables().current().count() == check.received,
                     QStringLiteral("not every message stored")))
            return;
        state.SetIterationTime(c.cpuWindows * c.cpuWindowSeconds);
        const double idleShare = median(idle);
        for (const double share : reading)
            sample(state, figure, share, idleShare);
    }
}
void cpuAtLineRate(benchmark::State& state)
{
    cpuAt(state, Busy::Reading);
}
void cpuCompatible(benchmark::State& state)
{
    cpuAt(state, Busy::Compatible);
}
void cpuStoringWithAnalysis(benchmark::State& state)
{
    cpuAt(state, Busy::Storing);
}
void cpuTrendFollowing(benchmark::State& state)
{
    cpuAt(state, Busy::Trend);
}

// Percentile q (0..1) of the values, the nearest rank.
double percentile(std::vector<double> values, double q)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<size_t>(std::ceil(q * static_cast<double>(values.size())));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

// Share of neighbours with the same time, percent.
double equalShare(const std::vector<long long>& times)
{
    long long equal = 0;
    for (size_t i = 1; i < times.size(); ++i)
        equal += times[i] == times[i - 1];
    return times.size() > 1 ? 100.0 * equal / static_cast<double>(times.size() - 1) : 0;
}

// How well the log's arrival times follow the instrument: messages sent one by one at their own times, well
// below the line's byte rate, each matched to its log entry by its sequence number. The error of a message
// is its log time minus its send time, less the median of that (the constant delay of the path).
void messageTimes(benchmark::State& state, bool text)
{
    const Config& c = config();
    const int rate = text ? 50 : 25;
    const std::string figure = text ? "time_error" : "time_error_compatible";
    const long long lead = std::llround(c.pacedLeadSeconds * rate);
    const long long total = lead + std::llround(c.pacedSeconds * rate);
    for (auto _ : state) {
        PtyPair line;
        Program program;
        if (!program.connect(state, line, text ? 1 : 0))
            return;
        Program::settle();
        const MeasurementLog& log = program.link.log();
        const qint64 before = log.count(MeasurementLog::Kind::Angles);
        QTemporaryDir files;
        const QString sendFile = files.filePath(QStringLiteral("sent"));
        WriterProcess writer;
        if (!require(state, writer.startPaced(line, text, rate, static_cast<double>(total) / rate, sendFile),
                     QStringLiteral("the instrument's process could not start")))
            return;
        const bool arrived = runEventsUntil(
            [&] { return writer.hasEnded() && log.count(MeasurementLog::Kind::Angles) >= before + total; },
            static_cast<double>(total) / rate + 10);
        const long long sent = writer.finish();

        std::vector<long long> sentUs;
        QFile file(sendFile);
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray& row : file.readAll().split('\n'))
                if (!row.isEmpty())
                    sentUs.push_back(row.toLongLong());
        }
        // Log time of each sequence number, 0 where none arrived.
        std::vector<long long> loggedMs(static_cast<size_t>(total) + 1, 0);
        std::vector<long long> measuredTimes;
        long long wrong = 0;
        log.visitAngles(log.firstTime(MeasurementLog::Kind::Angles),
                        log.lastTime(MeasurementLog::Kind::Angles), [&](const MeasurementLog::AnglePoint& p) {
                            const long long sequence = std::llround(p.x * 100.0);
                            if (sequence < 1 || sequence > total || p.y != -p.x ||
                                loggedMs[static_cast<size_t>(sequence)] != 0) {
                                ++wrong;
                                return true;
                            }
                            loggedMs[static_cast<size_t>(sequence)] = log.startMsecsSinceEpoch() + p.time;
                            if (sequence > lead)
                                measuredTimes.push_back(p.time);
                            return true;
                        });
        const long long missing = std::count(loggedMs.begin() + 1, loggedMs.end(), 0);
        if (!require(state, sent == total && static_cast<long long>(sentUs.size()) == total,
                     QStringLiteral("the instrument sent %1 of %2 messages").arg(sent).arg(total)) ||
            !require(state, arrived && missing == 0 && wrong == 0,
                     QStringLiteral("%1 of %2 messages missing, %3 misdecoded")
                         .arg(missing)
                         .arg(total)
                         .arg(wrong)))
            return;

        std::vector<double> errors;
        std::vector<long long> sentMs;
        for (long long k = lead + 1; k <= total; ++k) {
            const double sentAt = static_cast<double>(sentUs[static_cast<size_t>(k - 1)]) / 1000.0;
            errors.push_back(static_cast<double>(loggedMs[static_cast<size_t>(k)]) - sentAt);
            sentMs.push_back(std::llround(std::floor(sentAt)));
        }
        const double offset = median(errors);
        for (double& e : errors)
            e = std::fabs(e - offset);

        state.SetIterationTime(c.pacedSeconds);
        sample(state, figure.c_str(), percentile(errors, 0.99), median(errors));
        sample(state, (figure + "_equal").c_str(), equalShare(measuredTimes), equalShare(sentMs));
        state.counters[figure + "_offset"] = offset;
    }
}
void messageTimesText(benchmark::State& state)
{
    messageTimes(state, true);
}
void messageTimesCompatible(benchmark::State& state)
{
    messageTimes(state, false);
}

} // namespace

void registerLinkBenchmarks()
{
    registerFigure("TextFraming", textFraming, config().repetitions);
    registerFigure("CompatibleRecords", compatibleRecords, config().repetitions);
    registerFigure("EndToEnd", endToEnd, config().slowRepetitions);
    // One run each: its windows are the samples.
    registerFigure("CpuAtLineRate", cpuAtLineRate, 1);
    registerFigure("CpuCompatibleAtLineRate", cpuCompatible, 1);
    registerFigure("CpuStoringWithAnalysis", cpuStoringWithAnalysis, 1);
    registerFigure("CpuTrendFollowing", cpuTrendFollowing, 1);
    // One run each: the messages of its 20 s are the samples.
    registerFigure("MessageTimes", messageTimesText, 1);
    registerFigure("MessageTimesCompatible", messageTimesCompatible, 1);
}

int lineWriterMain(int argc, char** argv)
{
    if (argc < 6)
        return 2;
    const int fd = std::atoi(argv[2]);
    const bool text = std::strcmp(argv[3], "text") == 0;
    const double rate = std::atof(argv[4]);
    const double seconds = std::atof(argv[5]);
    // The first carriage return or record only brings the synchronisation.
    char first[8];
    bool failed =
        text ? !PtyPair::writeAll(fd, "\r", 1) : !PtyPair::writeAll(fd, first, angleRecord(first, 0));
    // In 10 ms steps, as a serial line delivers its bytes.
    QByteArray pending;
    long long queued = 0;
    char message[64];
    double budget = 0;
    const Clock::time_point start = Clock::now();
    Clock::time_point last = start;
    Clock::time_point next = start;
    while (!failed && secondsSince(start) < seconds) {
        next += std::chrono::milliseconds(10);
        std::this_thread::sleep_until(next);
        const Clock::time_point now = Clock::now();
        budget += std::chrono::duration<double>(now - last).count() * rate;
        last = now;
        while (pending.size() < budget + 64) {
            ++queued;
            pending.append(message, text ? angleLine(message, queued) : angleRecord(message, queued));
        }
        const auto n = static_cast<qsizetype>(budget);
        failed = !PtyPair::writeAll(fd, pending.constData(), n);
        pending.remove(0, n);
        budget -= static_cast<double>(n);
    }
    // Messages written completely.
    const long long partial = text ? pending.count('\r') : (pending.size() + 7) / 8;
    std::printf("sent %lld\n", queued - partial);
    return failed ? 1 : 0;
}

int pacedWriterMain(int argc, char** argv)
{
    if (argc < 7)
        return 2;
    const int fd = std::atoi(argv[2]);
    const bool text = std::strcmp(argv[3], "text") == 0;
    const long long rate = std::atoll(argv[4]);
    const long long count = rate > 0 ? std::llround(std::atof(argv[5]) * static_cast<double>(rate)) : 0;
    char message[64];
    // The first carriage return or record only brings the synchronisation.
    bool failed =
        text ? !PtyPair::writeAll(fd, "\r", 1) : !PtyPair::writeAll(fd, message, angleRecord(message, 0));
    std::vector<long long> sentUs;
    sentUs.reserve(static_cast<size_t>(std::max(0LL, count)));
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const long long startNs = start.tv_sec * 1000000000LL + start.tv_nsec;
    for (long long k = 1; k <= count && !failed; ++k) {
        // Absolute times, so that late wake-ups do not add up.
        const long long due = startNs + k * 1000000000LL / rate;
        const timespec at{static_cast<time_t>(due / 1000000000LL), static_cast<long>(due % 1000000000LL)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
        }
        const int n = text ? angleLine(message, k) : angleRecord(message, k);
        // Whole in one write, as the instrument's transmitter hands a message to the line.
        failed = ::write(fd, message, static_cast<size_t>(n)) != n;
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        sentUs.push_back(now.tv_sec * 1000000LL + now.tv_nsec / 1000);
    }
    FILE* out = std::fopen(argv[6], "w");
    for (const long long t : sentUs)
        failed = failed || !out || std::fprintf(out, "%lld\n", t) < 0;
    failed = !out || std::fclose(out) != 0 || failed;
    std::printf("sent %zu\n", sentUs.size());
    return failed ? 1 : 0;
}

} // namespace Bench
