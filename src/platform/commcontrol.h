#pragma once

#include "platform/receiveport.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class QSerialPort;
class QSocketNotifier;
class QTimer;

// The serial port over QSerialPort: port number, line settings, receive buffer and threshold,
// outcomes as port codes, the receive event as the OnComm signal with CommEvent.
// While bytes trickle in (a stream at line rate) the device is not watched but read every ReadEvery ms, a
// display tick: they arrive at most that much later than one by one, and the program wakes with the tick
// instead of at every few bytes. A read that finds nothing, or a flood, goes back to watching.
class CommControl : public QObject, public ReceivePort {
    Q_OBJECT
public:
    static constexpr int ReadEvery = 200;
    // A read this large, or one that filled the receive buffer, means the device has more waiting: read on
    // as fast as it comes.
    static constexpr qint64 TrickleBelow = 1024;

    explicit CommControl(QObject* parent = nullptr);
    ~CommControl() override;

    // Device for port number n: $TARNOLUX_COM<n> when set, else the bound device when given, else COM<n> on
    // Windows and /dev/ttyS<n-1> elsewhere.
    [[nodiscard]] static QString deviceName(qint16 portNumber, const QString& bound = QString());
    // The device the operator bound the port number to; empty for none. Takes effect at the next open.
    void setBoundDevice(const QString& path) { m_bound = path; }
    [[nodiscard]] QString boundDevice() const { return m_bound; }
    // The device the port number resolves to now.
    [[nodiscard]] QString devicePath() const { return deviceName(m_commPort, m_bound); }

    [[nodiscard]] PortCode setCommPort(qint16 portNumber);
    [[nodiscard]] qint16 CommPort() const { return m_commPort; }
    // "baud,parity,databits,stopbits", for example "19200,N,8,1".
    [[nodiscard]] PortCode setSettings(const QString& settings);
    [[nodiscard]] QString Settings() const { return m_settings; }
    // At least 1; more waiting bytes than this raise PortCode::RxOver.
    void setInBufferSize(qint32 size);
    [[nodiscard]] qint32 InBufferSize() const { return m_inBufferSize; }
    void setRTSEnable(bool on);
    void setDTREnable(bool on);
    [[nodiscard]] PortCode setPortOpen(bool open);
    [[nodiscard]] bool PortOpen() const;
    // Bytes waiting before the receive event is raised; below 1 no receive events.
    void setRThreshold(qint16 threshold);
    [[nodiscard]] qint16 RThreshold() const { return m_rThreshold; }
    [[nodiscard]] PortCode CommEvent() const { return m_commEvent; }

    // ReceivePort
    [[nodiscard]] qint32 InBufferCount() const override;
    void clearInBuffer() override;
    // 0 (or below) takes every waiting byte.
    void setInputLen(qint16 count) override { m_inputLen = count; }
    [[nodiscard]] QByteArray Input() override;

    // Writes the bytes; a closed or vanished port gives a failure.
    [[nodiscard]] PortCode Output(const QByteArray& bytes);

signals:
    // The receive event; the code is also readable as CommEvent().
    void OnComm(PortCode commEvent);
    // The device vanished while open (unplugged adapter, removed pseudo-terminal); the port is closed.
    void deviceLost();

private:
    void onReadyRead();
    // Takes what the port has read and, where the platform allows, what waits in the device; the count, or
    // -1 when the device has ended or failed.
    qint64 takeArrived(bool fromDevice);
    void readOnTimer();
    [[nodiscard]] bool isTrickle(qint64 got) const
    {
        return got > 0 && got < qMin<qint64>(TrickleBelow, m_inBufferSize);
    }
    void watchDevice(bool on);
    // Raises the receive event while enough bytes wait; repeat: again while handlers take bytes, else once
    // and the rest queued.
    void raiseReceiveEvents(bool repeat = false);
    void scheduleRaise();
    // Emits OnComm; false when a handler destroyed this control.
    [[nodiscard]] bool emitEvent(PortCode commEvent);
    void onPortError(int error);
    void closeVanished();
    void closePort();
    [[nodiscard]] bool applySettings(const QString& settings);

    QSerialPort* m_port = nullptr;
    // The port's own watch on the device; null where the platform has none to pause.
    QPointer<QSocketNotifier> m_readWatch;
    QTimer* m_readTimer = nullptr;
    ReceiveBuffer m_in;
    qint16 m_commPort = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    QString m_bound;
    qint32 m_inBufferSize = 1024;
    bool m_rts = false;
    bool m_dtr = false;
    qint16 m_rThreshold = 0;
    qint16 m_inputLen = 0;
    PortCode m_commEvent = PortCode::Ok;
    bool m_raisePending = false;
    bool m_closePending = false;
    bool m_inHandler = false;
    bool m_recheck = false;
    quint64 m_consumed = 0;
};
