#pragma once

// What every benchmark body shares: the run's sizes, the program's window on a hermetic settings store
// connected to a pseudo-terminal that plays the instrument, and process figures (CPU time, resident set).

#include "link/link.h"
#include "link/linkcalls.h"
#include "mainwindow/formmain.h"
#include "sim/ptypair.h"
#include "state/appstate.h"
#include "tables/tables.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Bench {

// Sizes of one run. The smoke run uses small ones so every body runs once in a few seconds.
struct Config {
    bool smoke = false;
    int repetitions = 5;
    int slowRepetitions = 3;      // end to end, CPU, start-up, memory
    int tableLines = 32767;       // a full table: lines 1 .. 32766 and the marker line
    int textLines = 90000;        // about 2 MB of angle lines per text-mode sample
    int records = 1000000;        // compatible-mode records per sample
    double floodSeconds = 10.0;   // end to end
    double rawPtySeconds = 2.0;   // end to end baseline
    int cpuWindows = 5;           // CPU at line rate: windows of wall time, each one sample
    double cpuWindowSeconds = 20; //   and their length
    double cpuLeadSeconds = 2;    //   the stream runs this long before the first window
    double pacedSeconds = 20;     // message times: the messages measured
    double pacedLeadSeconds = 4;  //   and the stream before them, while the times settle, not measured
    int idleWindows = 5;          // CPU baseline, connected but idle
    double idleWindowSeconds = 2;
    int ticks = 300;              // display ticks per sample
    int backgroundRecords = 3000; // background file writes per sample
    int startups = 5;             // program starts per sample
    qint64 logPoints = 8640000;   // a day of measurements at 100 a second
    qint64 logAppends = 2000000;  // appends per sample
    QString selfPath;             // this executable, for the probes
};
Config& config();

// Registers a figure's benchmark body: one iteration per repetition, the time given by the body.
void registerFigure(const char* name, void (*body)(benchmark::State&), int repetitions);

// A body that did not do its work ends the sample with an error, which fails the run.
bool require(benchmark::State& state, bool ok, const QString& what);
// One repetition's measurement of a figure next to its baseline, in the figure's unit (ratio = value /
// baseline).
void sample(benchmark::State& state, const char* figure, double value, double baseline);

// What the repetitions measured, for the final table.
struct Samples {
    std::vector<double> value;
    std::vector<double> baseline;
    std::vector<double> ratio;
};
const std::map<std::string, Samples>& samples();
// The middle value (the mean of the two middle ones); 0 for none.
double median(std::vector<double> values);

// "benchmark: message" for every body that failed its checks.
const std::vector<std::string>& errors();

// The settings store of the whole run lives in a temporary folder; each program start empties it.
void resetSettings(bool showTable);

// Angle line of the instrument with a sequence number in the values: X = n / 100, Y = -X.
int angleLine(char* out, long long sequence);
// A compatible-mode record of the angles x and y (24 bits each) into out; its length (8).
int compatibleRecord(char* out, qint32 x, qint32 y);
// The same as a compatible-mode record; sequence 0 is the record that brings synchronisation.
int angleRecord(char* out, long long sequence);
// A realistic stream: drifting angles, status 103, CR-terminated.
QByteArray angleLines(int count);

// The program's window, started as the program starts it, on the hermetic settings store.
class Program {
public:
    explicit Program(bool showTable = true);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Opens port 1 on the line in text mode (1) or compatible mode (0), as the connection window does; a
    // line the program could not open fails the run's sample.
    [[nodiscard]] bool connect(benchmark::State& run, const PtyPair& line, int portMode = 1);
    // Lets queued work (view updates, paints) run.
    static void settle();

    AppState state;
    Link link{state};
    Tables tables{state};
    std::unique_ptr<FormMain> window;
};

// Fills the current table through XY2Table, as interval storing does, with angles that change per line.
void fillByXY2Table(Program& program, int lines);

// Process CPU time (all threads) and the calling thread's CPU time, seconds.
double processCpuSeconds();
double threadCpuSeconds();

// The instrument at a paced byte rate in a process of its own (this executable with --line-writer), so
// that none of its time, its writes to the pseudo-terminal included, is counted as the program's.
class WriterProcess {
public:
    WriterProcess() = default;
    ~WriterProcess();
    WriterProcess(const WriterProcess&) = delete;
    WriterProcess& operator=(const WriterProcess&) = delete;

    // Numbered angle lines (text) or records (compatible) for the given seconds, after one carriage return
    // or one synchronising record.
    [[nodiscard]] bool start(const PtyPair& line, bool text, double bytesPerSecond, double seconds);
    // Numbered messages one by one at their scheduled times (this executable with --paced-writer); their
    // send times go to the file.
    [[nodiscard]] bool startPaced(const PtyPair& line, bool text, int messagesPerSecond, double seconds,
                                  const QString& sendTimes);
    // Whether it has told its count, which it does last: finish() then no longer waits.
    [[nodiscard]] bool hasEnded() const;
    // Waits for its end: the messages it wrote completely, or -1 when it failed.
    long long finish();

private:
    [[nodiscard]] bool spawn(const char* mode, const PtyPair& line, bool text, const QByteArrayList& more);

    int m_pid = -1;
    int m_output = -1;
};
// The body of --line-writer FD text|compatible BYTES_PER_SECOND SECONDS; prints "sent N".
int lineWriterMain(int argc, char** argv);
// The body of --paced-writer FD text|compatible MESSAGES_PER_SECOND SECONDS SEND_TIMES_FILE: one message
// at a time, each at k / rate after the start; writes each one's send time (wall clock, us) to the file, one
// a line, and prints "sent N".
int pacedWriterMain(int argc, char** argv);
// Resident set of this process, bytes.
double residentBytes();

// A window's control found by its object name.
template <class T> T* control(const QObject& window, const char* name)
{
    return window.findChild<T*>(QLatin1String(name));
}

} // namespace Bench
