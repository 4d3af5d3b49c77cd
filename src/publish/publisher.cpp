#include "publish/publisher.h"

#include "link/link.h"
#include "publish/payloads.h"
#include "publish/publishclient.h"
#include "state/appstate.h"
#include "state/numbers.h"
#include "tables/table.h"
#include "tables/tables.h"

#include <QDateTime>
#include <QTimer>

#include <mosquitto.h>

#include <chrono>
#include <limits>

using PublishClient::Shared;

namespace {
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
// A clean end gives queued lines this long to go out.
constexpr int EndGraceMsecs = 2000;
} // namespace

Publisher::Publisher(AppState& state, QObject* parent)
    : QObject(parent), m_state(state), m_shared(std::make_shared<Shared>()), m_rateTimer(new QTimer(this))
{
    m_shared->owner = this;
    m_shared->changed = [this] { emit stateChanged(); };
    m_shared->status = Payloads::online(QStringLiteral("compatible"), QString());
    m_rateTimer->setSingleShot(true);
    m_rateTimer->setTimerType(Qt::PreciseTimer);
    connect(m_rateTimer, &QTimer::timeout, this, &Publisher::sendPending);
}

Publisher::~Publisher()
{
    if (m_client)
        (void)waitSent(EndGraceMsecs);
    m_client.reset();
}

void Publisher::follow(Link& link, Tables& tables)
{
    connect(&link, &Link::measurementDecoded, this, &Publisher::publishAngles);
    connect(&link, &Link::tobarValueDecoded, this,
            [this](const QString& value, qint16 status, TobarMessage, qint64 msecs) {
                publishTobar(value, status, msecs);
            });
    const auto linkInfo = [this, &link] {
        setLinkInfo(link.state().portMode == LinkMode::Text ? QStringLiteral("text")
                                                            : QStringLiteral("compatible"),
                    link.comPort().devicePath());
    };
    linkInfo();
    connect(&link, &Link::portOpened, this, linkInfo);
    connect(&tables, &Tables::lineStored, this,
            [this, &tables](int number, qint32 line) { publishLine(tables.table(number), number, line); });
}

void Publisher::apply(const PublishSettings& settings)
{
    // The same settings again start a new connection at once, without waiting for the backoff.
    if (!settings.enabled && !m_client && settings == m_settings)
        return;
    m_client.reset();
    m_settings = settings;
    const QByteArray prefix = settings.topicPrefix().toUtf8();
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->measurementTopic = prefix + "/measurement";
        m_shared->lineTopic = prefix + "/line";
        m_shared->statusTopic = prefix + "/status";
        m_shared->attempts = 0;
        m_shared->error.clear();
        if (!settings.enabled) {
            m_shared->dropped += qint64(m_shared->lines.size());
            m_shared->lines.clear();
        }
    }
    m_hasPending = false;
    m_rateTimer->stop();
    if (settings.enabled)
        m_client = std::make_unique<PublishClient::Client>(m_shared, settings);
    emit stateChanged();
}

Publisher::State Publisher::state() const
{
    State s;
    std::lock_guard lock(m_shared->mutex);
    s.enabled = m_client != nullptr;
    s.connected = m_shared->connected;
    s.queued = qint64(m_shared->lines.size());
    s.dropped = m_shared->dropped;
    s.attempts = m_shared->attempts;
    s.lastError = m_shared->error;
    return s;
}

void Publisher::publishAngles(double x, double y, qint16 status, qint64 msecs)
{
    if (!m_shared->connected)
        return;
    Measurement m;
    m.msecs = msecs;
    m.a = (status & 1) != 0 ? x - m_state.angles.zeroX : NaN;
    m.b = (status & 2) != 0 ? y - m_state.angles.zeroY : NaN;
    offer(m);
}

void Publisher::publishTobar(const QString& value, qint16 status, qint64 msecs)
{
    if (!m_shared->connected)
        return;
    Measurement m;
    m.tobar = true;
    m.msecs = msecs;
    m.a = Numbers::strictNumber(value).value_or(NaN);
    m.inch = status % 100 >= 10;
    offer(m);
}

void Publisher::offer(const Measurement& m)
{
    if (m_settings.rate <= 0) {
        send(m);
        return;
    }
    // At most rate a second: a measurement waits for its turn, and a newer one takes its place.
    m_pending = m;
    m_hasPending = true;
    if (!m_rateTimer->isActive()) {
        const qint64 gap = 1000 / m_settings.rate;
        const qint64 since = QDateTime::currentMSecsSinceEpoch() - m_lastSent;
        if (since >= gap || since < 0)
            sendPending();
        else
            m_rateTimer->start(int(gap - since));
    }
}

void Publisher::sendPending()
{
    if (!m_hasPending)
        return;
    m_hasPending = false;
    m_lastSent = QDateTime::currentMSecsSinceEpoch();
    send(m_pending);
    m_rateTimer->start(int(1000 / std::max(1, m_settings.rate)));
}

void Publisher::send(const Measurement& m)
{
    if (!m_client || !m_shared->connected)
        return;
    const qint32 offset = m_offsets.at(m.msecs);
    const QByteArray payload =
        m.tobar ? Payloads::tobar(m.msecs, offset, m.a, m.inch) : Payloads::angles(m.msecs, offset, m.a, m.b);
    m_batch.push_back(payload);
    if (m_batch.size() == 1)
        QMetaObject::invokeMethod(this, &Publisher::sendBatch, Qt::QueuedConnection);
}

// The measurements of one read are handed over together once it is done, so that the network thread wakes
// once for all of them: a wake-up costs far more than sending.
void Publisher::sendBatch()
{
    std::lock_guard lock(m_shared->mutex);
    for (QByteArray& payload : m_batch)
        m_shared->measurement(std::move(payload));
    m_batch.clear();
}

void Publisher::publishLine(const Table& table, int number, qint32 line)
{
    if (!m_client || line < 1 || line >= table.rows())
        return;
    QStringList cells;
    for (qint32 c = 0; c < table.cols(); ++c)
        cells << table.cell(line, c);
    Shared::Line entry{Payloads::line(number, line, cells, table.lineRecord(line))};
    std::lock_guard lock(m_shared->mutex);
    if (qsizetype(m_shared->lines.size()) >= MaxQueued) {
        // The oldest not yet handed to the library goes.
        if (m_shared->handed < m_shared->lines.size())
            m_shared->lines.erase(m_shared->lines.begin() + qsizetype(m_shared->handed));
        ++m_shared->dropped;
    }
    m_shared->lines.push_back(std::move(entry));
    m_shared->pump();
    m_shared->waker.wake();
    m_shared->notify();
}

void Publisher::setLinkInfo(const QString& mode, const QString& device)
{
    const QByteArray status = Payloads::online(mode, device);
    std::lock_guard lock(m_shared->mutex);
    if (status == m_shared->status)
        return;
    m_shared->status = status;
    if (m_shared->connected && m_shared->mosq) {
        mosquitto_publish(m_shared->mosq, nullptr, m_shared->statusTopic.constData(), int(status.size()),
                          status.constData(), 1, true);
        m_shared->waker.wake();
    }
}

bool Publisher::waitSent(int msecs)
{
    std::unique_lock lock(m_shared->mutex);
    return m_shared->drained.wait_for(lock, std::chrono::milliseconds(msecs), [this] {
        return m_shared->lines.empty() || !m_shared->connected;
    }) && m_shared->lines.empty();
}
