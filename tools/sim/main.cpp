// tarnolux-sim: the instrument on a pseudo-terminal, steered by lines on standard input.
#include "sim/ptyinstrument.h"
#include "sim/simconsole.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

// SIGTERM, SIGINT and SIGHUP end the event loop, so the line and its link are cleaned up.
void quitOnStopSignals(QObject* context)
{
    if (::pipe(g_signalPipe) != 0)
        return;
    fcntl(g_signalPipe[0], F_SETFD, FD_CLOEXEC);
    fcntl(g_signalPipe[1], F_SETFD, FD_CLOEXEC);
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [] { QCoreApplication::quit(); });
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

void printOut(const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

void printErr(const QString& text)
{
    const QByteArray bytes = "tarnolux-sim: " + text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

// Reads the command lines from standard input. End of input only stops reading: the simulator runs on
// until it is killed or told to quit.
class StdinReader : public QObject {
public:
    StdinReader(SimConsole& console, QObject* parent) : QObject(parent), m_console(console)
    {
        if (fcntl(STDIN_FILENO, F_GETFD) < 0)
            return;
        m_notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &StdinReader::readInput);
    }

private:
    static constexpr qsizetype MaxLine = 64 * 1024;

    void readInput()
    {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            m_notifier->setEnabled(false);
            if (!m_line.isEmpty())
                runLine(m_line);
            m_line.clear();
            return;
        }
        m_line.append(buffer, static_cast<qsizetype>(n));
        qsizetype end;
        while ((end = m_line.indexOf('\n')) >= 0) {
            const QByteArray line = m_line.left(end);
            m_line.remove(0, end + 1);
            runLine(line);
        }
        if (m_line.size() > MaxLine) {
            printErr(QStringLiteral("input line too long, dropped"));
            m_line.clear();
        }
    }

    void runLine(const QByteArray& line)
    {
        const SimConsole::Result result = m_console.execute(QString::fromLocal8Bit(line));
        if (!result.ok)
            printErr(result.error);
        if (!result.reply.isEmpty())
            printOut(result.reply);
        if (result.quit)
            QCoreApplication::quit();
    }

    SimConsole& m_console;
    QSocketNotifier* m_notifier = nullptr;
    QByteArray m_line;
};

} // namespace

int main(int argc, char* argv[])
{
    // A reader of our output that goes away must not end the simulator, and neither must reading a
    // terminal from the background (the read fails instead and counts as end of input).
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGTTIN, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarnolux-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated autocollimator on a pseudo-terminal. Prints the device path and the TARNOLUX_COM line,\n"
        "then behaves like the instrument until it is killed or told to quit."));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Show this help and the standard-input commands."));
    const QCommandLineOption modeOption(
        QStringLiteral("mode"), QStringLiteral("Link mode: auto (follow the baud rate), text, compatible."),
        QStringLiteral("mode"), QStringLiteral("auto"));
    const QCommandLineOption instrumentOption(QStringLiteral("instrument"),
                                              QStringLiteral("Instrument mode: orvelan or tobar."),
                                              QStringLiteral("kind"), QStringLiteral("orvelan"));
    const QCommandLineOption hrOption(QStringLiteral("hr"),
                                      QStringLiteral("Compatible records in thousandths of an arcsecond."));
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Port number n of the printed TARNOLUX_COM<n> line."),
                                        QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption linkOption(
        QStringLiteral("link"),
        QStringLiteral(
            "Keep a symbolic link at this path pointing at the line (gone while it has vanished)."),
        QStringLiteral("path"));
    const QCommandLineOption rateOption(QStringLiteral("rate"),
                                        QStringLiteral("Angle messages a second, 1 to 100."),
                                        QStringLiteral("n"), QStringLiteral("20"));
    parser.addOptions(
        {helpOption, modeOption, instrumentOption, hrOption, portOption, linkOption, rateOption});
    if (!parser.parse(QCoreApplication::arguments())) {
        printErr(parser.errorText());
        return 2;
    }
    if (parser.isSet(helpOption)) {
        printOut(parser.helpText() + QLatin1Char('\n') + SimConsole::protocolHelp());
        return 0;
    }

    PtyInstrument instrument;
    const QString mode = parser.value(modeOption);
    if (mode == QLatin1String("text"))
        instrument.setModeChoice(PtyInstrument::ModeChoice::Text);
    else if (mode == QLatin1String("compatible"))
        instrument.setModeChoice(PtyInstrument::ModeChoice::Compatible);
    else if (mode != QLatin1String("auto")) {
        printErr(QStringLiteral("--mode: auto, text or compatible"));
        return 2;
    }
    const QString kind = parser.value(instrumentOption);
    if (kind == QLatin1String("tobar"))
        instrument.model().setKind(InstrumentModel::Kind::Tobar);
    else if (kind != QLatin1String("orvelan")) {
        printErr(QStringLiteral("--instrument: orvelan or tobar"));
        return 2;
    }
    instrument.model().setHR(parser.isSet(hrOption));
    bool portOk = false;
    const int port = parser.value(portOption).toInt(&portOk);
    if (!portOk || port < 1 || port > 32767) {
        printErr(QStringLiteral("--port: a number from 1 to 32767"));
        return 2;
    }
    const std::optional<int> rate = SimConsole::rateValue(parser.value(rateOption));
    if (!rate) {
        printErr(QStringLiteral("--rate: a number from 1 to %1").arg(InstrumentModel::MaxRate));
        return 2;
    }
    instrument.model().setRate(*rate);
    instrument.setLinkPath(parser.value(linkOption));
    // Nothing is on the line yet, so the start-up mode message is not wanted in the output.
    (void)instrument.model().takeOutput();

    QString error;
    if (!instrument.open(&error)) {
        printErr(error);
        return 1;
    }
    SimConsole console(instrument, port);
    QObject::connect(&console, &SimConsole::message, &app, [](const QString& line) { printOut(line); });
    printOut(console.announcement());
    StdinReader reader(console, &app);
    quitOnStopSignals(&app);
    return app.exec();
}
