#pragma once

#include "analysis/csvexport.h"
#include "publish/publishsettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QtGlobal>

#include <cmath>
#include <memory>
#include <vector>

struct AppState;
class Link;
class QTimer;
class Table;
class Tables;

namespace PublishClient {
class Client;
struct Shared;
} // namespace PublishClient

// Publishes the link's measurements and the tables' stored lines to an MQTT broker. The connection lives on
// a network thread of its own; nothing here waits for the network. Measurements go out while connected
// (QoS 0) and are never queued; stored lines are queued in memory (QoS 1) and sent in order, also after a
// reconnect, until the broker has acknowledged them.
class Publisher : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype MaxQueued = 100000;

    struct State {
        bool enabled = false;
        bool connected = false;
        qint64 queued = 0;   // stored lines not yet acknowledged by the broker
        qint64 dropped = 0;  // lines dropped from a full queue, oldest first
        qint64 attempts = 0; // connection attempts since the settings were applied
        QString lastError;
    };

    explicit Publisher(AppState& state, QObject* parent = nullptr);
    // At a clean end lines still queued get up to two seconds, then the status turns offline.
    ~Publisher() override;

    // Follows the link's measurements and port, and the lines stored into the tables.
    void follow(Link& link, Tables& tables);
    // Starts, restarts or stops publishing. Queued lines are kept across a restart.
    void apply(const PublishSettings& settings);
    [[nodiscard]] const PublishSettings& settings() const { return m_settings; }
    [[nodiscard]] State state() const;

    // Raw angles in arcseconds as decoded; status bit 1: X valid, bit 2: Y valid.
    void publishAngles(double x, double y, qint16 status, qint64 msecs);
    void publishTobar(const QString& value, qint16 status, qint64 msecs);
    void publishLine(const Table& table, int number, qint32 line);
    // The link's mode and device, named by the status.
    void setLinkInfo(const QString& mode, const QString& device);
    // Until every queued line is acknowledged (true), or msecs passed, or no connection.
    bool waitSent(int msecs);

signals:
    // The state changed: connected, queue length, an error.
    void stateChanged();

private:
    struct Measurement {
        bool tobar = false;
        bool inch = false;
        qint64 msecs = 0;
        double a = std::nan(""), b = std::nan("");
    };
    void send(const Measurement& m);
    void offer(const Measurement& m);
    void sendPending();
    void sendBatch();

    AppState& m_state;
    PublishSettings m_settings;
    std::shared_ptr<PublishClient::Shared> m_shared;
    std::unique_ptr<PublishClient::Client> m_client;
    CsvExport::UtcOffsets m_offsets;
    std::vector<QByteArray> m_batch;
    // Rate limit: the newest measurement waiting for its turn.
    QTimer* m_rateTimer = nullptr;
    Measurement m_pending;
    bool m_hasPending = false;
    qint64 m_lastSent = 0;
};
