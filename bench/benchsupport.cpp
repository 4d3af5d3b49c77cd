#include "benchsupport.h"

#include "connection/formcom.h"
#include "settings/settingvalues.h"

#include <QCoreApplication>
#include <QSettings>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace Bench {

Config& config()
{
    static Config c;
    return c;
}

namespace {
std::map<std::string, Samples>& sampleStore()
{
    static std::map<std::string, Samples> store;
    return store;
}
std::vector<std::string>& errorStore()
{
    static std::vector<std::string> store;
    return store;
}
std::string& currentBenchmark()
{
    static std::string name;
    return name;
}
} // namespace

void registerFigure(const char* name, void (*body)(benchmark::State&), int repetitions)
{
    const std::string key = name;
    benchmark::internal::Benchmark* b =
        benchmark::RegisterBenchmark(name, [key, body](benchmark::State& state) {
            currentBenchmark() = key;
            body(state);
        });
    b->Iterations(1)->Repetitions(repetitions)->UseManualTime()->Unit(benchmark::kMillisecond);
    if (repetitions > 1)
        b->ReportAggregatesOnly(true);
}

bool require(benchmark::State& state, bool ok, const QString& what)
{
    if (!ok) {
        errorStore().push_back(currentBenchmark() + ": " + what.toStdString());
        state.SkipWithError(qPrintable(what));
    }
    return ok;
}

void sample(benchmark::State& state, const char* figure, double value, double baseline)
{
    Samples& s = sampleStore()[figure];
    s.value.push_back(value);
    s.baseline.push_back(baseline);
    s.ratio.push_back(baseline != 0.0 ? value / baseline : 0.0);
    const std::string prefix = figure;
    state.counters[prefix] = value;
    state.counters[prefix + "_base"] = baseline;
}

const std::map<std::string, Samples>& samples()
{
    return sampleStore();
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

const std::vector<std::string>& errors()
{
    return errorStore();
}

void resetSettings(bool showTable)
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, SettingValues::AppName,
                    SettingValues::AppName);
    store.setFallbacksEnabled(false);
    store.clear();
    store.setValue(SettingKeys::path(SettingKeys::ShowTable),
                   showTable ? QStringLiteral("True") : QStringLiteral("False"));
    store.sync();
}

int angleLine(char* out, long long sequence)
{
    const long long whole = sequence / 100;
    const long long cents = sequence % 100;
    return std::sprintf(out, "1 103 %lld.%02lld -%lld.%02lld\r", whole, cents, whole, cents);
}

int compatibleRecord(char* out, qint32 x, qint32 y)
{
    const char record[8] = {0x02,
                            static_cast<char>(x & 0xFF),
                            static_cast<char>((x >> 8) & 0xFF),
                            static_cast<char>((x >> 16) & 0xFF),
                            static_cast<char>(y & 0xFF),
                            static_cast<char>((y >> 8) & 0xFF),
                            static_cast<char>((y >> 16) & 0xFF),
                            0x03};
    std::memcpy(out, record, sizeof record);
    return static_cast<int>(sizeof record);
}

int angleRecord(char* out, long long sequence)
{
    const auto x = static_cast<qint32>(sequence);
    return compatibleRecord(out, x, -x);
}

QByteArray angleLines(int count)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(count) * 24);
    char line[64];
    for (int i = 0; i < count; ++i) {
        const double x = 250.0 * std::sin(i * 0.001) + 0.01 * (i % 7);
        const double y = -130.0 * std::cos(i * 0.0007) - 0.01 * (i % 5);
        const int n = std::snprintf(line, sizeof line, "1 103 %.2f %.2f\r", x, y);
        out.append(line, n);
    }
    return out;
}

Program::Program(bool showTable)
{
    resetSettings(showTable);
    tables.follow(link);
    window = std::make_unique<FormMain>(state, link, tables);
    window->show();
    settle();
    // The first display tick lays the window out for the instrument mode; later ticks only show values.
    window->displayTick();
    settle();
}

Program::~Program()
{
    window.reset();
    settle();
}

bool Program::connect(benchmark::State& run, const PtyPair& line, int portMode)
{
    qputenv("TARNOLUX_COM1", line.path().toLocal8Bit());
    {
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, SettingValues::AppName,
                        SettingValues::AppName);
        store.setValue(SettingKeys::path(SettingKeys::PortNumber), QStringLiteral("1"));
        store.setValue(SettingKeys::path(SettingKeys::PortMode), QString::number(portMode));
        store.sync();
    }
    FormCom& form = window->connection();
    form.show();
    form.hide();
    // The main window becomes active again, as a desktop makes it when the connection window closes.
    window->activateWindow();
    settle();
    return require(run, line.isValid() && state.link.conStatus == 1,
                   QStringLiteral("the program could not open the pseudo-terminal"));
}

void Program::settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

double processCpuSeconds()
{
    // The scheduler's exact run time of every thread, user and system; the rusage figures are split by
    // tick samples and can lag behind.
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

double residentBytes()
{
    long pages = 0;
    long resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm)
        return 0;
    const int fields = std::fscanf(statm, "%ld %ld", &pages, &resident);
    std::fclose(statm);
    return fields == 2 ? static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) : 0.0;
}

WriterProcess::~WriterProcess()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        (void)finish();
    }
}

bool WriterProcess::start(const PtyPair& line, bool text, double bytesPerSecond, double seconds)
{
    return spawn("--line-writer", line, text,
                 {QByteArray::number(bytesPerSecond, 'g', 17), QByteArray::number(seconds, 'g', 17)});
}

bool WriterProcess::startPaced(const PtyPair& line, bool text, int messagesPerSecond, double seconds,
                               const QString& sendTimes)
{
    return spawn("--paced-writer", line, text,
                 {QByteArray::number(messagesPerSecond), QByteArray::number(seconds, 'g', 17),
                  sendTimes.toLocal8Bit()});
}

bool WriterProcess::spawn(const char* mode, const PtyPair& line, bool text, const QByteArrayList& more)
{
    int out[2];
    if (m_pid > 0 || !line.isValid() || ::pipe2(out, O_CLOEXEC) != 0)
        return false;
    const QByteArray self = config().selfPath.toLocal8Bit();
    const QByteArray fd = QByteArray::number(line.master());
    std::vector<char*> argv{const_cast<char*>(self.constData()), const_cast<char*>(mode),
                            const_cast<char*>(fd.constData()),
                            const_cast<char*>(text ? "text" : "compatible")};
    for (const QByteArray& arg : more)
        argv.push_back(const_cast<char*>(arg.constData()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, self.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (failed != 0) {
        ::close(out[0]);
        return false;
    }
    m_pid = pid;
    m_output = out[0];
    return true;
}

bool WriterProcess::hasEnded() const
{
    pollfd p{m_output, POLLIN, 0};
    return m_pid > 0 && ::poll(&p, 1, 0) > 0;
}

long long WriterProcess::finish()
{
    if (m_pid <= 0)
        return -1;
    QByteArray report;
    char buffer[256];
    ssize_t n = 0;
    while ((n = ::read(m_output, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        report.append(buffer, n > 0 ? n : 0);
    ::close(m_output);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    m_output = -1;
    bool ok = false;
    const long long sent = report.trimmed().mid(5).toLongLong(&ok);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && report.startsWith("sent ") && ok ? sent : -1;
}

} // namespace Bench
