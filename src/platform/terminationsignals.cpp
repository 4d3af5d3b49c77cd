#include "platform/terminationsignals.h"

#include <QObject>
#include <QPointer>
#include <QSocketNotifier>

#include <memory>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace TerminationSignals {

#ifdef Q_OS_UNIX
namespace {

constexpr int Caught[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int CaughtCount = sizeof Caught / sizeof Caught[0];

// The signal handler may only write to a pipe; the GUI thread reads it through a socket notifier.
int g_pipe[2] = {-1, -1};
QPointer<QSocketNotifier> g_notifier;
struct sigaction g_previous[CaughtCount];
bool g_installed[CaughtCount] = {};

void onSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    // The write end does not block: a full pipe already holds a request.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}

bool openPipe()
{
    if (g_pipe[0] >= 0)
        return true;
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    for (const int fd : fds) {
        (void)::fcntl(fd, F_SETFD, FD_CLOEXEC);
        (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    g_pipe[0] = fds[0];
    g_pipe[1] = fds[1];
    return true;
}

void drainPipe()
{
    char buffer[64];
    while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
    }
}

void restorePrevious()
{
    for (int i = 0; i < CaughtCount; ++i) {
        if (g_installed[i])
            (void)::sigaction(Caught[i], &g_previous[i], nullptr);
        g_installed[i] = false;
    }
}

} // namespace

bool install(QObject* context, std::function<void()> handler)
{
    if (!context || !handler || !openPipe())
        return false;
    delete g_notifier.data();
    restorePrevious();
    drainPipe();

    auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, context);
    g_notifier = notifier;
    auto running = std::make_shared<bool>(false);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [handler = std::move(handler), running] {
        drainPipe();
        // The handler may let events run (closing windows does); a request meanwhile is the same request.
        if (*running)
            return;
        *running = true;
        handler();
        drainPipe();
        *running = false;
    });
    // The context emits destroyed before its children go, so the notifier still receives it.
    QObject::connect(context, &QObject::destroyed, notifier, [notifier] {
        if (g_notifier == notifier)
            restorePrevious();
    });

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bool any = false;
    for (int i = 0; i < CaughtCount; ++i) {
        struct sigaction previous {};
        if (::sigaction(Caught[i], nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN)
            continue;
        if (::sigaction(Caught[i], &action, &g_previous[i]) == 0) {
            g_installed[i] = true;
            any = true;
        }
    }
    return any;
}

#else

bool install(QObject*, std::function<void()>)
{
    return false;
}

#endif

} // namespace TerminationSignals
