#include "publish/publishclient.h"

#include "publish/payloads.h"

#include <QFile>
#include <QMetaObject>

#include <mosquitto.h>

#include <algorithm>
#include <chrono>

namespace PublishClient {

namespace {

constexpr int KeepAliveSeconds = 30;
// How long a stopping client may take to send the offline status and disconnect.
constexpr auto StopGrace = std::chrono::seconds(2);

QString errorText(int rc)
{
    return QString::fromUtf8(mosquitto_strerror(rc));
}

} // namespace

void Shared::pump()
{
    while (connected && mosq && handed < lines.size() && handed < size_t(Window)) {
        Line& line = lines[handed];
        if (mosquitto_publish(mosq, &line.mid, lineTopic.constData(), int(line.payload.size()),
                              line.payload.constData(), 1, false) != MOSQ_ERR_SUCCESS)
            break;
        ++handed;
    }
}

void Shared::measurement(QByteArray payload)
{
    if (!connected || !mosq)
        return;
    measurements.push_back(std::move(payload));
    waker.wake();
}

void Shared::notify()
{
    if (owner && !notifying.exchange(true))
        // The owner holds this: while the call can run, this lives.
        QMetaObject::invokeMethod(
            owner,
            [this] {
                notifying = false;
                if (changed)
                    changed();
            },
            Qt::QueuedConnection);
}

Client::Client(std::shared_ptr<Shared> shared, const PublishSettings& s)
    : m_shared(std::move(shared)), m_settings(s), m_host(s.host.toUtf8())
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
    QString problem;
    if (m_host.isEmpty())
        problem = QStringLiteral("No broker host is set");
    else if (s.tls && (s.caFile.isEmpty() || !QFile::exists(s.caFile)))
        problem = QStringLiteral("The CA file cannot be used: ") + s.caFile;
    if (!problem.isEmpty()) {
        std::lock_guard lock(m_shared->mutex);
        m_shared->error = problem;
        m_shared->notify();
        return;
    }
    m_thread = std::thread([this] { run(); });
}

Client::~Client()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_stopMutex);
        m_stop = true;
    }
    m_stopWake.notify_all();
    {
        std::lock_guard lock(m_shared->mutex);
        disconnect();
    }
    m_thread.join();
}

mosquitto* Client::create()
{
    const QByteArray id = m_settings.clientId.toUtf8();
    mosquitto* m = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), true, this);
    if (!m)
        return nullptr;
    mosquitto_threaded_set(m, true);
    // Room for the status beside the lines in flight, so that it never waits behind them.
    mosquitto_int_option(m, MOSQ_OPT_SEND_MAXIMUM, Window + 2);
    mosquitto_int_option(m, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(m, &Client::onConnect);
    mosquitto_disconnect_callback_set(m, &Client::onDisconnect);
    mosquitto_publish_callback_set(m, &Client::onPublish);
    const QByteArray offline = Payloads::offline();
    mosquitto_will_set(m, m_shared->statusTopic.constData(), int(offline.size()), offline.constData(), 1,
                       true);
    const QByteArray user = m_settings.user.toUtf8();
    const QByteArray password = m_settings.password.toUtf8();
    // MQTT 3.1.1 knows no password without a user name.
    if (!user.isEmpty())
        mosquitto_username_pw_set(m, user.constData(), password.isEmpty() ? nullptr : password.constData());
    if (m_settings.tls && mosquitto_tls_set(m, QFile::encodeName(m_settings.caFile).constData(), nullptr,
                                            nullptr, nullptr, nullptr) != MOSQ_ERR_SUCCESS) {
        mosquitto_destroy(m);
        return nullptr;
    }
    return m;
}

void Client::disconnect()
{
    if (!m_shared->mosq || m_disconnecting)
        return;
    m_disconnecting = true;
    if (m_shared->connected) {
        const QByteArray offline = Payloads::offline();
        mosquitto_publish(m_shared->mosq, nullptr, m_shared->statusTopic.constData(), int(offline.size()),
                          offline.constData(), 0, true);
    }
    mosquitto_disconnect(m_shared->mosq);
    m_shared->waker.wake();
}

void Client::waitFor(int msecs)
{
    std::unique_lock lock(m_stopMutex);
    m_stopWake.wait_for(lock, std::chrono::milliseconds(msecs), [this] { return m_stop.load(); });
}

void Client::run()
{
    using Clock = std::chrono::steady_clock;
    int delay = FirstDelayMsecs;
    while (!m_stop) {
        m_up = m_told = false;
        mosquitto* m = create();
        const int rc = m ? mosquitto_connect_async(m, m_host.constData(), m_settings.port, KeepAliveSeconds)
                         : MOSQ_ERR_NOMEM;
        {
            std::lock_guard lock(m_shared->mutex);
            ++m_shared->attempts;
            if (!m)
                m_shared->error = QStringLiteral("The MQTT client could not be set up");
            else if (rc != MOSQ_ERR_SUCCESS)
                m_shared->error = errorText(rc);
            else
                m_shared->mosq = m;
            m_disconnecting = false;
            m_shared->notify();
        }
        if (m && rc == MOSQ_ERR_SUCCESS) {
            auto deadline = Clock::time_point::max();
            int loop = MOSQ_ERR_SUCCESS;
            while (loop == MOSQ_ERR_SUCCESS && Clock::now() < deadline) {
                if (m_stop && deadline == Clock::time_point::max()) {
                    deadline = Clock::now() + StopGrace;
                    std::lock_guard lock(m_shared->mutex);
                    disconnect();
                }
                std::vector<QByteArray> burst;
                {
                    std::lock_guard lock(m_shared->mutex);
                    burst.swap(m_shared->measurements);
                }
                for (const QByteArray& payload : burst)
                    mosquitto_publish(m, nullptr, m_shared->measurementTopic.constData(), int(payload.size()),
                                      payload.constData(), 0, false);
                loop = step(m);
            }
            std::lock_guard lock(m_shared->mutex);
            m_shared->mosq = nullptr;
            m_shared->connected = false;
            m_shared->measurements.clear();
            if (!m_stop && !m_told)
                m_shared->error = errorText(loop);
            // What the broker did not acknowledge goes again, in order, with the next connection.
            for (size_t i = 0; i < m_shared->handed; ++i)
                m_shared->lines[i].mid = -1;
            m_shared->handed = 0;
            m_shared->notify();
        }
        if (m)
            mosquitto_destroy(m);
        if (m_up)
            delay = FirstDelayMsecs;
        if (m_stop)
            break;
        waitFor(delay);
        delay = std::min(delay * 2, MaxDelayMsecs);
    }
}

int Client::step(mosquitto* m)
{
    const int socket = mosquitto_socket(m);
    if (socket < 0)
        return MOSQ_ERR_NO_CONN;
    // At most a second, for the keep-alive.
    const int ready = m_shared->waker.wait(socket, mosquitto_want_write(m), 1000);
    int rc = MOSQ_ERR_SUCCESS;
    if ((ready & SocketWait::Readable) != 0)
        rc = mosquitto_loop_read(m, 1);
    if (rc == MOSQ_ERR_SUCCESS && (ready & SocketWait::Writable) != 0 && mosquitto_socket(m) >= 0)
        rc = mosquitto_loop_write(m, 1);
    return rc == MOSQ_ERR_SUCCESS ? mosquitto_loop_misc(m) : rc;
}

void Client::onConnect(mosquitto* mosq, void* self, int rc)
{
    auto* c = static_cast<Client*>(self);
    Shared& s = *c->m_shared;
    std::lock_guard lock(s.mutex);
    if (rc != 0) {
        s.error = QStringLiteral("Refused by the broker: ") + QString::fromUtf8(mosquitto_connack_string(rc));
        c->m_told = true;
    } else {
        c->m_up = true;
        s.connected = true;
        mosquitto_publish(mosq, nullptr, s.statusTopic.constData(), int(s.status.size()),
                          s.status.constData(), 1, true);
        s.pump();
    }
    s.notify();
}

void Client::onDisconnect(mosquitto*, void* self, int rc)
{
    auto* c = static_cast<Client*>(self);
    Shared& s = *c->m_shared;
    std::lock_guard lock(s.mutex);
    s.connected = false;
    if (rc != 0 && c->m_up && !c->m_stop) {
        s.error = QStringLiteral("The connection to the broker was lost");
        c->m_told = true;
    }
    s.notify();
}

void Client::onPublish(mosquitto*, void* self, int mid)
{
    Shared& s = *static_cast<Client*>(self)->m_shared;
    std::lock_guard lock(s.mutex);
    const auto end = s.lines.begin() + qsizetype(s.handed);
    const auto found =
        std::find_if(s.lines.begin(), end, [mid](const Shared::Line& line) { return line.mid == mid; });
    if (found == end)
        return;
    s.lines.erase(found);
    --s.handed;
    s.pump();
    if (s.lines.empty())
        s.drained.notify_all();
    s.notify();
}

} // namespace PublishClient
