#include "benchsupport.h"

#include "connection/formcom.h"
#include "settings/settingvalues.h"

#include <QCoreApplication>
#include <QSettings>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

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
    window = std::make_unique<FormMain>(state, link);
    window->show();
    settle();
    // The first display tick lays the window out for the instrument mode; later ticks only show values.
    window->TimerDisplay_Timer();
    settle();
}

Program::~Program()
{
    window.reset();
    settle();
}

void Program::connectText(const QString& device)
{
    qputenv("TARNOLUX_COM1", device.toLocal8Bit());
    {
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, SettingValues::AppName,
                        SettingValues::AppName);
        store.setValue(SettingKeys::path(SettingKeys::PortNumber), QStringLiteral("1"));
        store.setValue(SettingKeys::path(SettingKeys::PortMode), QStringLiteral("1"));
        store.sync();
    }
    FormCom& form = link.form();
    form.show();
    form.hide();
    settle();
}

void Program::settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

PtyLine::PtyLine()
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
        return;
    m_path = QString::fromLocal8Bit(ptsname(m_master));
    // A slave stays open here so the master never sees a hang-up while the program reopens the port.
    m_slave = ::open(ptsname(m_master), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios tio{};
    if (m_slave >= 0 && tcgetattr(m_slave, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(m_slave, TCSANOW, &tio);
    }
}

PtyLine::~PtyLine()
{
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
}

bool PtyLine::writeAll(const char* data, long size) const
{
    long done = 0;
    while (done < size) {
        const ssize_t n = ::write(m_master, data + done, static_cast<size_t>(size - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd p{m_master, POLLOUT, 0};
        (void)::poll(&p, 1, 100);
    }
    return true;
}

void PtyLine::drain() const
{
    char buffer[4096];
    while (::read(m_master, buffer, sizeof buffer) > 0) {
    }
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
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

} // namespace Bench
