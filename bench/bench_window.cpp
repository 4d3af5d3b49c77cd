// The main window around the tables: the display tick, the background file, start-up and memory.
#include "benchsupport.h"

#include "link/backgroundfile.h"
#include "tables/tables.h"

#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace Bench {
namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void displayTick(benchmark::State& state)
{
    const int ticks = config().ticks;
    PtyPair line;
    Program program;
    // A text-mode link: in TOBAR mode every tick asks the instrument for its value.
    if (!program.connect(state, line))
        return;
    FormMain& window = *program.window;
    AppState& s = program.state;
    QLineEdit* const boxX = control<QLineEdit>(window, "TextX");
    QLineEdit* const boxY = control<QLineEdit>(window, "TextY");
    QLineEdit* const tobarBox = control<QLineEdit>(window, "TextTobar");
    QLineEdit* const verdictBox = control<QLineEdit>(window, "TextGONG");
    QLineEdit* const reticleBox = control<QLineEdit>(window, "TextReticle");

    const auto switchMode = [&](bool tobar) {
        s.options.modeTobar = tobar;
        window.displayTick();
        Program::settle();
        (void)line.readAvailable();
    };

    for (auto _ : state) {
        switchMode(false);
        s.link.angleStatus = 3;
        std::vector<double> orvelan;
        std::vector<double> orvelanBase;
        for (int i = 0; i < ticks; ++i) {
            s.link.angleX = 100.0 + 0.01 * i;
            s.link.angleY = -20.0 - 0.01 * i;
            const QString x = s.angles.angleXText();
            const QString y = s.angles.angleYText();
            Clock::time_point start = Clock::now();
            window.displayTick();
            orvelan.push_back(msSince(start));
            const bool shown = boxX->text() == x && boxY->text() == y;
            // The baseline: the same two boxes given ready texts.
            start = Clock::now();
            boxX->setText(y);
            boxY->setText(x);
            orvelanBase.push_back(msSince(start));
            Program::settle();
            if (!require(state, shown, QStringLiteral("tick %1 did not show the angles").arg(i)))
                return;
        }

        switchMode(true);
        std::vector<double> tobar;
        std::vector<double> tobarBase;
        static constexpr qint16 statuses[] = {1, 12, 112, 205, 302, 410};
        QByteArray commands;
        for (int i = 0; i < ticks; ++i) {
            s.link.tobarValue = QString::number(12.5 + 0.001 * i, 'f', 3);
            s.link.tobarStatus = statuses[i % 6];
            Clock::time_point start = Clock::now();
            window.displayTick();
            tobar.push_back(msSince(start));
            const QString value = tobarBox->text();
            start = Clock::now();
            tobarBox->setText(s.link.tobarValue);
            verdictBox->setText(QStringLiteral("----"));
            reticleBox->setText(QStringLiteral("1"));
            tobarBase.push_back(msSince(start));
            commands += line.readAvailable();
            Program::settle();
            if (!require(state, value.startsWith(s.link.tobarValue),
                         QStringLiteral("tick %1 did not show the TOBAR value").arg(i)))
                return;
        }
        switchMode(false);
        if (!require(state, commands.count("b\r") >= ticks,
                     QStringLiteral("%1 value requests for %2 ticks").arg(commands.count("b\r")).arg(ticks)))
            return;
        state.SetIterationTime((median(orvelan) + median(tobar)) / 1000);
        sample(state, "tick_orvelan", median(orvelan), median(orvelanBase));
        sample(state, "tick_tobar", median(tobar), median(tobarBase));
    }
}

void backgroundFile(benchmark::State& state)
{
    const int count = config().backgroundRecords;
    QTemporaryDir dir;
    LinkState link;
    MainOptions options;
    LinkInternal internal;
    options.updatePath = dir.filePath(QStringLiteral("current.txt"));
    options.useBackground = true;
    link.angleStatus = 3;
    BackgroundFile file(link, options, internal);
    const QByteArray plainPath = dir.filePath(QStringLiteral("plain.txt")).toLocal8Bit();
    const auto setAngles = [&link](int i) {
        link.angleX = 12.5 + 0.01 * i;
        link.angleY = -3.25 - 0.001 * i;
    };

    for (auto _ : state) {
        std::vector<QByteArray> records;
        records.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            setAngles(i);
            records.push_back(file.record().toLatin1());
        }
        internal.backgroundCounter = 0;

        Clock::time_point start = Clock::now();
        for (int i = 0; i < count; ++i) {
            setAngles(i);
            file.writeBackgroundFile();
        }
        const double seconds = msSince(start) / 1000;

        start = Clock::now();
        bool plainOk = true;
        for (const QByteArray& record : records) {
            const int fd = ::open(plainPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            plainOk = plainOk && fd >= 0 &&
                      ::write(fd, record.constData(), static_cast<size_t>(record.size())) == record.size();
            plainOk = fd >= 0 && ::close(fd) == 0 && plainOk;
        }
        const double plainSeconds = msSince(start) / 1000;

        QFile written(options.updatePath);
        const QByteArray last = written.open(QIODevice::ReadOnly) ? written.readAll() : QByteArray();
        if (!require(state, plainOk && internal.backgroundCounter == count,
                     QStringLiteral("%1 of %2 records written").arg(internal.backgroundCounter).arg(count)) ||
            !require(state,
                     !records.empty() &&
                         last.mid(last.indexOf(' ')) == records.back().mid(records.back().indexOf(' ')),
                     QStringLiteral("the file does not hold the last record")))
            return;
        state.SetIterationTime(seconds);
        sample(state, "background", count / seconds, count / plainSeconds);
    }
}

// Seconds from starting the executable to the first frame of its first window on the screen (the paint
// log's first flush), and the log line of that flush; a negative time when it never came.
std::pair<double, QString> timeToFirstFrame(const QString& program, const QStringList& arguments)
{
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.widgets.painting=true"));
    env.remove(QStringLiteral("TARNOLUX_COM1"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.setReadChannel(QProcess::StandardError);
    const Clock::time_point start = Clock::now();
    process.start(program, arguments);
    QString flush;
    QByteArray pending;
    while (flush.isEmpty() && msSince(start) < 10000 && process.state() != QProcess::NotRunning) {
        if (!process.waitForReadyRead(100) && !process.canReadLine())
            continue;
        while (process.canReadLine()) {
            const QByteArray lineText = process.readLine();
            if (lineText.contains("painting: Flushing QRegion(")) {
                flush = QString::fromLatin1(lineText);
                break;
            }
        }
    }
    const double seconds = msSince(start) / 1000;
    process.kill();
    process.waitForFinished(5000);
    return {flush.isEmpty() ? -1.0 : seconds, flush};
}

void startUp(benchmark::State& state)
{
    const QString program = QStringLiteral(TARNOLUX_PROGRAM);
    const QStringList bare{QStringLiteral("--bare-window")};
    // Warm the file cache for both.
    (void)timeToFirstFrame(program, {});
    (void)timeToFirstFrame(config().selfPath, bare);
    for (auto _ : state) {
        std::vector<double> starts;
        std::vector<double> bareStarts;
        for (int i = 0; i < config().startups; ++i) {
            const auto [seconds, flush] = timeToFirstFrame(program, {});
            if (!require(state, seconds > 0 && flush.contains(QLatin1String("of FormMain(")),
                         QStringLiteral("no main window shown: %1").arg(flush.trimmed())))
                return;
            starts.push_back(seconds);
            const double bareSeconds = timeToFirstFrame(config().selfPath, bare).first;
            if (!require(state, bareSeconds > 0, QStringLiteral("the bare window never showed")))
                return;
            bareStarts.push_back(bareSeconds);
        }
        state.SetIterationTime(median(starts));
        sample(state, "startup", median(starts), median(bareStarts));
    }
}

void memory(benchmark::State& state)
{
    for (auto _ : state) {
        QProcess probe;
        probe.start(config().selfPath,
                    {QStringLiteral("--memory-probe"), QString::number(config().tableLines)});
        const bool finished = probe.waitForFinished(120000);
        const QList<QByteArray> fields = probe.readAllStandardOutput().trimmed().split(' ');
        if (!require(state, finished && probe.exitCode() == 0 && fields.size() == 3,
                     QStringLiteral("memory probe failed: %1")
                         .arg(QString::fromLocal8Bit(probe.readAllStandardError()))))
            return;
        state.SetIterationTime(fields[2].toDouble());
        sample(state, "memory", fields[1].toDouble() / 1e6, fields[0].toDouble() / 1e6);
    }
}

} // namespace

int memoryProbe(int lines)
{
    double base = 0;
    double full = 0;
    const Clock::time_point start = Clock::now();
    bool ok = true;
    {
        Program program;
        Program::settle();
        base = residentBytes();
        Tables& tables = program.window->tables();
        for (int n = 1; n <= 10; ++n) {
            tables.setCurrent(n);
            fillByXY2Table(program, lines);
            Program::settle();
        }
        for (int n = 1; n <= 10; ++n)
            ok = ok && tables.table(n).rows() == lines + 1;
        full = residentBytes();
    }
    std::printf("%.0f %.0f %.3f\n", base, full, msSince(start) / 1000);
    return ok ? 0 : 1;
}

void registerWindowBenchmarks()
{
    registerFigure("DisplayTick", displayTick, config().repetitions);
    registerFigure("BackgroundFile", backgroundFile, config().repetitions);
    registerFigure("StartUp", startUp, config().slowRepetitions);
    registerFigure("Memory", memory, config().slowRepetitions);
}

} // namespace Bench
