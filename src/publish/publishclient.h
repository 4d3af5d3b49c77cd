#pragma once

#include "platform/socketwait.h"
#include "publish/publishsettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct mosquitto;

// The libmosquitto side of the publisher: one client with its network thread, and the line queue that
// outlives a client when the settings change.
namespace PublishClient {

// Reconnecting waits 1 s after a loss, doubling with each failed attempt up to 60 s.
inline constexpr int FirstDelayMsecs = 1000;
inline constexpr int MaxDelayMsecs = 60000;
// Lines handed to the library at a time; the rest wait in the queue, where the oldest can still be dropped.
inline constexpr int Window = 100;

struct Shared {
    struct Line {
        QByteArray payload;
        int mid = -1; // the library's message id once handed over
    };

    std::mutex mutex;
    std::condition_variable drained;
    std::deque<Line> lines; // handed first, in order
    size_t handed = 0;
    qint64 dropped = 0;
    qint64 attempts = 0;
    QString error;
    std::atomic<bool> connected{false};
    mosquitto* mosq = nullptr; // the live connection's library client; used only with the mutex held
    // Measurements (QoS 0) wait here for the network thread, which sends a read's burst of them in one go.
    QByteArray measurementTopic;
    std::vector<QByteArray> measurements;
    // Wakes the network thread for what was handed to it or to the library from another thread.
    SocketWait waker;
    QByteArray lineTopic;
    QByteArray statusTopic;
    QByteArray status; // the retained online status
    // Called on the owner's thread.
    QObject* owner = nullptr;
    std::function<void()> changed;
    std::atomic<bool> notifying{false};

    // Hands lines to the library while connected and the window has room; mutex held.
    void pump();
    // A measurement to send while connected; mutex held.
    void measurement(QByteArray payload);
    // Tells the owner, on its thread, that the state changed; once until it has looked.
    void notify();
};

// Each connection gets a library client of its own, so that nothing of a lost connection is sent again
// behind the queue's back: the queue alone decides what goes out, and in which order.
class Client {
public:
    Client(std::shared_ptr<Shared> shared, const PublishSettings& settings);
    // Sends the offline status and disconnects while connected, then ends the network thread.
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

private:
    void run();
    // A library client set up for one connection; null when it cannot be.
    [[nodiscard]] mosquitto* create();
    // Ends the connection: offline status, then disconnect. Shared mutex held.
    void disconnect();
    void waitFor(int msecs);
    // One turn of a connection: waits for its socket or a wake-up, then reads, writes and keeps it alive.
    // The library's own loop would turn once for every message handed to it.
    [[nodiscard]] int step(mosquitto* m);
    static void onConnect(mosquitto* mosq, void* self, int rc);
    static void onDisconnect(mosquitto* mosq, void* self, int rc);
    static void onPublish(mosquitto* mosq, void* self, int mid);

    std::shared_ptr<Shared> m_shared;
    PublishSettings m_settings;
    QByteArray m_host;
    std::thread m_thread;
    std::mutex m_stopMutex;
    std::condition_variable m_stopWake;
    std::atomic<bool> m_stop{false};
    // Network thread only: the broker accepted this connection; an error was told for this attempt.
    bool m_up = false;
    bool m_told = false;
    bool m_disconnecting = false;
};

} // namespace PublishClient
