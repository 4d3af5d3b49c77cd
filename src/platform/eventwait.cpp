#include "platform/eventwait.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace EventWait {

bool waitUntil(const std::function<bool()>& done, int limitMs, int pollMs)
{
    if (done())
        return true;
    QDeadlineTimer deadline(limitMs);
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(pollMs);
    bool reached = false;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) {
            reached = true;
            loop.quit();
        } else if (deadline.hasExpired()) {
            loop.quit();
        }
    });
    poll.start();
    loop.exec();
    return reached;
}

} // namespace EventWait
