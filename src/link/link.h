#pragma once

#include "analysis/linerecord.h"
#include "analysis/measurementlog.h"
#include "link/backgroundfile.h"
#include "link/linkcalls.h"
#include "link/linkreceiver.h"
#include "platform/commcontrol.h"

#include <QObject>
#include <QString>

#include <optional>

struct AppState;
class QTimer;

// The instrument link, from program start to its end: the serial port, connect and close, commands, the
// receive path, the measurement log and the background file. Windows read its state and call it; what
// happened comes out as signals. The port is first connected on first use (loading).
class Link : public QObject, private LinkEvents {
    Q_OBJECT
public:
    // logChunks: the measurement log's capacity (MeasurementLog::chunks()).
    explicit Link(AppState& state, QObject* parent = nullptr,
                  qint64 logChunks = MeasurementLog::DefaultChunks);
    ~Link() override;

    [[nodiscard]] const LinkState& state() const;
    // Every measurement decoded since program start.
    [[nodiscard]] MeasurementLog& log() { return m_log; }
    [[nodiscard]] CommControl& comPort() { return *m_comPort; }
    [[nodiscard]] const CommControl& comPort() const { return *m_comPort; }
    // The outcome of the last connect step, or InvalidPort once the device vanished; none before the first.
    [[nodiscard]] std::optional<PortCode> lastResult() const { return m_lastResult; }
    [[nodiscard]] bool isLoaded() const { return m_loaded; }

    void setMsgSignal(double time) { m_receiver.setMsgSignal(time); }
    void setUpdateSignal(double time) { m_receiver.setUpdateSignal(time); }
    // Which instrument signals store a line.
    void setStoreTriggers(bool atExitKey, bool atRemoteControl);

    // Commands to the instrument; with no port number nothing is sent. A link not loaded is loaded first.
    void sendCommand(const QString& s);
    void sendCommandCompatible(const qint16& command);

    [[nodiscard]] PortCode initCom(qint16& portNumber, qint32 baudRate);
    void deInitCom();

    // The load step: the stored settings taken and the port connected, or, after a failed send, only
    // connected again.
    void load();
    // Before the operator edits the settings: loaded if need be, then the load step again.
    void activate();
    // No port number until the next load step (the operator is about to choose one).
    void forgetPortNumber();
    void selectMode(LinkMode mode);
    void setHighResolution(bool on);
    // Whether a port lost with its device opens again by itself once the device is back at its path.
    void setReconnect(bool on);
    [[nodiscard]] bool reconnects() const { return m_reconnect; }
    // The port number the operator typed; a number outside the 16-bit range names no port.
    void connectTyped(double typed);
    // Binds the current port number to the device, stores the binding and connects to it.
    void bindDevice(const QString& path);
    void saveComSettings();
    // Settings stored and port closed at the operator's request; the next use loads again.
    void unload();
    // Shut-down: unloads a loaded link.
    void closeIfLoaded();

signals:
    void portOpened(PortCode result);
    // No more commands until the next connect step.
    void linkLost();
    // msecs: when the message arrived, ms since the epoch.
    void measurementDecoded(double x, double y, qint16 status, qint64 msecs);
    void tobarValueDecoded(const QString& value, qint16 status, TobarMessage message, qint64 msecs);
    void storeRequested(LineRecord::Source cause, qint64 msecs);
    void intervalReached(qint64 msecs);
    void readoutStarted(qint16 table, qint32 lines, qint16 columns);
    void readoutLineStarted(qint16 table);
    void readoutCell(const QString& text);

private:
    void connectPort(qint16& portNumber);
    void loadComSettings();
    void showComSettings();
    void loadStepMain();
    // The port's device vanished: the measurement is gone.
    void deviceLost();
    void dropLink();
    // Runs the device watch while a lost port waits for its device and may reopen it.
    void updateDeviceWatch();
    void reopenIfDeviceBack();

    // The decoder's events, each emitted as its signal.
    void onMeasurement(double x, double y, qint16 status) override;
    void onTobarValue(const QString& value, qint16 status, TobarMessage message) override;
    void onStoreSignal(StoreSignal cause) override;
    void onInterval() override;
    void onReadoutStart(qint16 table, qint32 lines, qint16 columns) override;
    void onReadoutLine(qint16 table) override;
    void onReadoutCell(const QString& text) override;

    AppState& m_state;
    MeasurementLog m_log;
    LinkReceiver m_receiver;
    BackgroundFile m_background;
    CommControl* m_comPort = nullptr;
    // Once a second in compatible mode: whether messages arrived since the last look.
    QTimer* m_compatibleStatusTimer = nullptr;
    std::optional<PortCode> m_lastResult;
    bool m_loaded = false;
    // The mode of a load step is applied as if chosen once, with its own connect step.
    bool m_modeApplied = false;
    bool m_reconnect = true;
    // The device vanished from the open port; no connect step has opened it since.
    bool m_awaitingDevice = false;
    QTimer* m_deviceWatch = nullptr;
};
