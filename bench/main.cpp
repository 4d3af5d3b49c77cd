// The benchmark executable: every figure next to its baseline, then one table of the medians.
//
//   tarnolux-bench                 all figures, full size (make bench)
//   tarnolux-bench --smoke         every body once at a small size, checks only (the test suite)
//   --repetitions N                N repetitions of every figure (default 5, 3 for the slow ones)
//   --cpu-windows N --cpu-window-seconds S
//                                  the CPU figures' windows, each one sample (default 5 of 20 s)
//   --benchmark_filter=REGEX etc.  Google Benchmark's own options
// Internal modes, started by the figures themselves: --bare-window (the start-up baseline: an empty Qt
// window), --line-writer (the instrument streaming at a line rate, for the CPU figures), --paced-writer (the
// instrument sending message by message at their times, for the message times), --memory-probe LINES
// (ten tables of LINES lines; prints the resident sets) and --log-probe POINTS (a measurement log of POINTS
// points; prints its resident set growth and its own count of bytes).
#include "benchsupport.h"

#include "widgets/messagebox.h"

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace Bench {
void registerLinkBenchmarks();
void registerTableBenchmarks();
void registerWindowBenchmarks();
void registerStatisticsBenchmarks();
void registerLogBenchmarks();
void registerStraightnessBenchmarks();
void registerFlatnessBenchmarks();
void registerJournalBenchmarks();
void registerPublishBenchmarks();
int memoryProbe(int lines);
int logProbe(qint64 points);
int lineWriterMain(int argc, char** argv);
int pacedWriterMain(int argc, char** argv);
} // namespace Bench

namespace {

enum class Rule { AtLeast, AtMost };

struct Figure {
    const char* label;
    const char* key;
    double scale; // from the recorded unit to the shown one
    const char* unit;
    Rule rule;
    double limit;
    double maxRatio; // 0: none
    const char* target;
    const char* benchmark;
    double maxCv = 0; // most spread of the samples, percent; 0: none
};

const Figure figures[] = {
    {"text framing + decoding", "text", 1, "MB/s", Rule::AtLeast, 5, 0, ">= 5 MB/s", "TextFraming"},
    {"  the same, x line rate", "text", 1e6 / 1920, "x", Rule::AtLeast, 2600, 0, ">= 2600 x", "TextFraming"},
    {"compatible records", "compatible", 1, "rec/s", Rule::AtLeast, 1e6, 0, ">= 1000000/s",
     "CompatibleRecords"},
    {"end to end, pty flood 10 s", "endtoend", 1, "msg/s", Rule::AtLeast, 50000, 0, ">= 50000/s, none lost",
     "EndToEnd"},
    {"CPU at 19200-baud line rate", "cpu", 1, "%", Rule::AtMost, 0.5, 0, "<= 0.5 %, cv <= 20 %",
     "CpuAtLineRate", 20},
    {"  compatible mode, 2400 baud", "cpu_compatible", 1, "%", Rule::AtMost, 0.3, 0, "<= 0.3 %, cv <= 20 %",
     "CpuCompatibleAtLineRate", 20},
    {"  storing, analysis open", "cpu_storing", 1, "%", Rule::AtMost, 1, 0, "<= 1 %, cv <= 20 %",
     "CpuStoringWithAnalysis", 20},
    {"  trend page following", "cpu_trend", 1, "%", Rule::AtMost, 3, 0, "<= 3 %, cv <= 20 %",
     "CpuTrendFollowing", 20},
    {"message time error at line rate", "time_error", 1, "ms", Rule::AtMost, 5, 0, "<= 5 ms (99th pct.)",
     "MessageTimes"},
    {"  equal times, text mode", "time_error_equal", 1, "%", Rule::AtMost, 1, 0, "<= 1 %", "MessageTimes"},
    {"  compatible mode, 2400 baud", "time_error_compatible", 1, "ms", Rule::AtMost, 5, 0,
     "<= 5 ms (99th pct.)", "MessageTimesCompatible"},
    {"  equal times, compatible mode", "time_error_compatible_equal", 1, "%", Rule::AtMost, 1, 0, "<= 1 %",
     "MessageTimesCompatible"},
    {"XY2Table, 32767 calls", "xy2table", 1, "ms", Rule::AtMost, 1000, 0, "<= 1000 ms", "XY2TableFull"},
    {"save full table", "save", 1, "ms", Rule::AtMost, 150, 3, "<= 150 ms, <= 3x", "TableFiles"},
    {"load full table", "load", 1, "ms", Rule::AtMost, 150, 3, "<= 150 ms, <= 3x", "TableFiles"},
    {"copy full table", "copy", 1, "ms", Rule::AtMost, 150, 3, "<= 150 ms, <= 3x", "TableFiles"},
    {"recovery copy, full table", "recovery", 1, "ms", Rule::AtMost, 30, 0, "<= 30 ms more", "RecoveryCopy"},
    {"CSV export, full table", "csv", 1, "ms", Rule::AtMost, 150, 0, "<= 150 ms", "CsvExport"},
    {"delete all 32767 lines", "delete_all", 1, "ms", Rule::AtMost, 50, 0, "<= 50 ms", "DeleteSelection"},
    {"delete 10000 in the middle", "delete_block", 1, "ms", Rule::AtMost, 50, 0, "<= 50 ms",
     "DeleteSelection"},
    {"statistics, full table", "stats_full", 1, "ms", Rule::AtMost, 5, 0, "<= 5 ms", "StatisticsFullTable"},
    {"statistics, per stored line", "stats_line", 1, "us", Rule::AtMost, 5, 0, "<= 5 us",
     "StatisticsPerLine"},
    {"straightness, 32767 stations", "straightness", 1, "ms", Rule::AtMost, 20, 0, "<= 20 ms",
     "StraightnessFullTable"},
    {"settle detection, per message", "settle", 1, "us", Rule::AtMost, 2, 0, "<= 2 us", "SettleDetection"},
    {"run uncertainty, 100 x 2, 10000 trials", "montecarlo", 1, "ms", Rule::AtMost, 200, 0, "<= 200 ms",
     "MonteCarloUncertainty"},
    {"flatness, Union Jack 8 x 20", "flatness_union_jack", 1, "ms", Rule::AtMost, 10, 0, "<= 10 ms",
     "FlatnessUnionJack"},
    {"flatness, grid 40 x 40", "flatness_grid", 1, "ms", Rule::AtMost, 200, 0, "<= 200 ms", "FlatnessGrid"},
    {"layoutForMode, ten full tables", "layout", 1, "ms", Rule::AtMost, 200, 0, "<= 200 ms", "ModeRebuild"},
    {"display tick, ORVELAN", "tick_orvelan", 1, "ms", Rule::AtMost, 0.1, 0, "<= 0.1 ms", "DisplayTick"},
    {"display tick, TOBAR", "tick_tobar", 1, "ms", Rule::AtMost, 0.1, 0, "<= 0.1 ms", "DisplayTick"},
    {"background file, N = 1", "background", 1, "rec/s", Rule::AtLeast, 200, 0, ">= 200/s", "BackgroundFile"},
    {"start-up to shown window", "startup", 1, "s", Rule::AtMost, 0.5, 0, "<= 0.5 s", "StartUp"},
    {"memory, ten full tables", "memory", 1, "MB", Rule::AtMost, 150, 0, "<= 150 MB", "Memory"},
    {"measurement log, append", "log_append", 1, "us", Rule::AtMost, 1, 0, "<= 1 us a point", "LogAppend"},
    {"measurement log, 24 h at 100/s", "log_memory", 1, "MB", Rule::AtMost, 250, 0, "<= 250 MB", "LogMemory"},
    {"journal, CPU at line rate, storing", "journal_cpu", 1, "%", Rule::AtMost, 0.2, 0, "<= 0.2 % more",
     "Journal"},
    {"journal, wait per stored line", "journal_wait", 1, "ms", Rule::AtMost, 2, 0, "<= 2 ms (99th pct.)",
     "Journal"},
    {"journal, 24 h at 100/s, full table", "journal_size", 1, "MB", Rule::AtMost, 300, 0, "<= 300 MB",
     "Journal"},
    {"journal, restore 10 tables + 24 h", "journal_restore", 1, "s", Rule::AtMost, 5, 0, "<= 5 s", "Journal"},
    {"publishing every measurement, CPU", "mqtt_cpu", 1, "%", Rule::AtMost, 0.2, 0, "<= 0.2 % more",
     "PublishingCpu"},
    {"10000 queued lines after reconnect", "mqtt_queued", 1, "ms", Rule::AtMost, 2000, 0, "<= 2000 ms",
     "QueuedLines"},
    {"log columns, 24 h in 1000", "log_columns_day", 1, "ms", Rule::AtMost, 30, 0, "<= 30 ms (a redraw)",
     "LogColumns"},
    {"log columns, 30 s in 1000", "log_columns_30s", 1, "ms", Rule::AtMost, 30, 0, "<= 30 ms (a redraw)",
     "LogColumns"},
    {"trend redraw, 24 h log, any span", "trend_redraw", 1, "ms", Rule::AtMost, 30, 0, "<= 30 ms",
     "TrendRedraw"},
};

const char* const baselines[] = {
    "text: a loop that only scans the same bytes for CR",
    "compatible: a loop that copies each record and checks its frame bytes",
    "end to end: a plain read() loop on the same pseudo-terminal flood",
    "CPU: the same program connected but idle; the instrument streams from a process of its own; each CPU",
    "  figure is the median of its windows of wall time (percent of a core), cv their spread",
    "message time: log time minus send time of each message (50/s text, 25/s compatible, paced one by one",
    "  from a process of its own), less its median; value: 99th percentile, baseline: median; equal times:",
    "  share of neighbouring log entries with the same time, baseline: the same of the send times",
    "XY2Table: a vector of rows given the same texts",
    "save: the same bytes written line by line with stdio to a new file, synchronised and renamed over",
    "  the old one, as the program's save does; copy: the same bytes written with stdio; load: read with "
    "stdio",
    "recovery copy: \"Clear table\" without the copy; the figure is the time the copy adds",
    "CSV export: the table's own \"Save\" of the same lines",
    "delete: erasing the same rows from a vector and renumbering",
    "statistics: mean and deviation of the same numbers in a plain vector, two passes",
    "trend redraw: the same plot drawn again with the points it already holds",
    "straightness: the least-squares sums of the same heights in a plain vector",
    "settle detection: the running minimum and maximum of the same readings; run uncertainty: its normal",
    "  draws alone",
    "flatness: the same readings summed line by line (both evaluations and the minimum zone are the figure)",
    "layoutForMode: the same rebuild with ten empty tables",
    "display tick: the same boxes given ready texts",
    "background file: the same records written with open(O_TRUNC)/write/close",
    "start-up: an empty Qt window in the same way",
    "memory: the program with empty tables",
    "log append: the same points pushed onto a plain vector",
    "log memory: the figure is the resident set growth of a probe filling the log; baseline: the log's own",
    "  count of its bytes",
    "log columns: the same columns from every point of the span, one by one",
    "journal: CPU, value: the share it adds, baseline: the same storing without journal; wait: the same",
    "  appends without journal; size: 16 bytes a point; restore: none",
    "publishing: a local mosquitto; CPU, value: the share publishing every measurement adds at the text line",
    "  rate, baseline: the alternating windows without; queued lines: from the reconnect until the broker",
    "  acknowledged the last (per 10000), baseline: the same lines stored while connected",
};

// Coefficient of variation of the samples, percent; 0 for fewer than two.
double spread(const std::vector<double>& values)
{
    if (values.size() < 2)
        return 0;
    double mean = 0;
    for (const double v : values)
        mean += v;
    mean /= static_cast<double>(values.size());
    double squares = 0;
    for (const double v : values)
        squares += (v - mean) * (v - mean);
    const double deviation = std::sqrt(squares / static_cast<double>(values.size() - 1));
    return mean != 0 ? 100.0 * deviation / std::fabs(mean) : 0;
}

std::string number(double v)
{
    char text[64];
    const double a = v < 0 ? -v : v;
    if (a >= 1000)
        std::snprintf(text, sizeof text, "%.0f", v);
    else if (a >= 100)
        std::snprintf(text, sizeof text, "%.1f", v);
    else if (a >= 1)
        std::snprintf(text, sizeof text, "%.2f", v);
    else
        std::snprintf(text, sizeof text, "%.4f", v);
    return text;
}

bool hasError(const char* benchmark)
{
    const std::string prefix = std::string(benchmark) + ":";
    for (const std::string& e : Bench::errors()) {
        if (e.rfind(prefix, 0) == 0)
            return true;
    }
    return false;
}

// Prints the table; true when every figure that ran did its work (and, outside the smoke run, met its
// target).
bool printTable(bool smoke)
{
    bool allPass = true;
    std::printf("\n%-32s %14s %7s %12s %8s  %-24s %s\n", "figure", "value", "cv", "baseline", "ratio",
                "target", "result");
    std::printf("%s\n", std::string(110, '-').c_str());
    for (const Figure& f : figures) {
        const auto found = Bench::samples().find(f.key);
        const bool failedCheck = hasError(f.benchmark);
        if (found == Bench::samples().end() && !failedCheck)
            continue; // filtered out
        std::string value = "-";
        std::string baseline = "-";
        std::string ratio = "-";
        std::string cv = "-";
        bool pass = !failedCheck && found != Bench::samples().end();
        if (found != Bench::samples().end()) {
            const double v = Bench::median(found->second.value) * f.scale;
            const double b = Bench::median(found->second.baseline) * f.scale;
            const double r = Bench::median(found->second.ratio);
            const double c = spread(found->second.value);
            value = number(v) + " " + f.unit;
            baseline = number(b);
            ratio = number(r);
            if (found->second.value.size() > 1)
                cv = std::to_string(static_cast<int>(std::lround(c))) + " %";
            if (!smoke) {
                pass = pass && (f.rule == Rule::AtLeast ? v >= f.limit : v <= f.limit);
                pass = pass && (f.maxRatio <= 0 || r <= f.maxRatio);
                pass = pass && (f.maxCv <= 0 || c <= f.maxCv);
            }
        }
        allPass = allPass && pass;
        std::printf("%-32s %14s %7s %12s %8s  %-24s %s\n", f.label, value.c_str(), cv.c_str(),
                    baseline.c_str(), ratio.c_str(), f.target,
                    failedCheck ? "FAIL (check)"
                    : pass      ? (smoke ? "ran" : "pass")
                                : "FAIL");
    }
    std::printf(
        "\nMedians of the repetitions; cv = their coefficient of variation; ratio = value / baseline, per "
        "repetition.\nBaselines:\n");
    for (const char* b : baselines)
        std::printf("  %s\n", b);
    for (const std::string& e : Bench::errors())
        std::printf("check failed: %s\n", e.c_str());
    if (smoke)
        std::printf("Smoke run: small sizes, targets not applied.\n");
    return allPass;
}

int bareWindow(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(400, 300);
    window.show();
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv)
{
    bool smoke = false;
    int probeLines = -1;
    qint64 logProbePoints = -1;
    int repetitions = 0;
    std::vector<char*> rest{argv[0]};
    // The instrument's process needs no Qt at all.
    if (argc > 1 && std::strcmp(argv[1], "--line-writer") == 0)
        return Bench::lineWriterMain(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--paced-writer") == 0)
        return Bench::pacedWriterMain(argc, argv);
    int cpuWindows = 0;
    double cpuWindowSeconds = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0)
            smoke = true;
        else if (std::strcmp(argv[i], "--bare-window") == 0)
            return bareWindow(argc, argv);
        else if (std::strcmp(argv[i], "--repetitions") == 0 && i + 1 < argc)
            repetitions = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--cpu-windows") == 0 && i + 1 < argc)
            cpuWindows = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--cpu-window-seconds") == 0 && i + 1 < argc)
            cpuWindowSeconds = std::atof(argv[++i]);
        else if (std::strcmp(argv[i], "--memory-probe") == 0 && i + 1 < argc)
            probeLines = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--log-probe") == 0 && i + 1 < argc)
            logProbePoints = std::atoll(argv[++i]);
        else
            rest.push_back(argv[i]);
    }

    // Hermetic: the settings store, the configuration and data folders (recovery copies) live in a temporary
    // folder.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path());
    MessageBox::setHandler(
        [](QWidget*, const QString& text) { std::fprintf(stderr, "message box: %s\n", qPrintable(text)); });

    if (probeLines >= 0)
        return Bench::memoryProbe(probeLines);
    if (logProbePoints >= 0)
        return Bench::logProbe(logProbePoints);

    Bench::Config& c = Bench::config();
    c.selfPath = QCoreApplication::applicationFilePath();
    if (smoke) {
        c.smoke = true;
        c.repetitions = 1;
        c.slowRepetitions = 1;
        c.tableLines = 600;
        c.textLines = 2000;
        c.records = 20000;
        c.floodSeconds = 0.3;
        c.rawPtySeconds = 0.2;
        c.cpuWindows = 2;
        c.cpuWindowSeconds = 0.15;
        c.cpuLeadSeconds = 0.1;
        c.idleWindows = 2;
        c.idleWindowSeconds = 0.05;
        c.pacedSeconds = 1.5;
        c.pacedLeadSeconds = 0.5;
        c.ticks = 10;
        c.backgroundRecords = 50;
        c.startups = 1;
        c.logPoints = 20000;
        c.logAppends = 20000;
    }
    if (repetitions > 0)
        c.repetitions = c.slowRepetitions = repetitions;
    if (cpuWindows > 0)
        c.cpuWindows = cpuWindows;
    if (cpuWindowSeconds > 0)
        c.cpuWindowSeconds = cpuWindowSeconds;
    Bench::registerLinkBenchmarks();
    Bench::registerTableBenchmarks();
    Bench::registerWindowBenchmarks();
    Bench::registerStatisticsBenchmarks();
    Bench::registerLogBenchmarks();
    Bench::registerStraightnessBenchmarks();
    Bench::registerFlatnessBenchmarks();
    Bench::registerJournalBenchmarks();
    Bench::registerPublishBenchmarks();

    int benchArgc = static_cast<int>(rest.size());
    benchmark::Initialize(&benchArgc, rest.data());
    if (benchmark::ReportUnrecognizedArguments(benchArgc, rest.data()))
        return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const bool pass = printTable(smoke);
    MessageBox::setHandler({});
    return pass ? 0 : 1;
}
