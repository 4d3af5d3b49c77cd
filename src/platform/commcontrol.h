#pragma once

#include "platform/receiveport.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <deque>

class QSerialPort;
class QSocketNotifier;
class QTimer;

// The serial port over QSerialPort: port number, line settings, receive buffer and threshold,
// outcomes as port codes, the receive event as the OnComm signal with CommEvent.
// On Linux the port reads through a descriptor of its own, watched by its own notifier; QSerialPort keeps
// the line settings, the modem lines and the writing. While bytes trickle in (a stream at line rate) the
// device is not watched but read about every ReadEvery ms, a display tick, at intervals that vary within
// ReadSpread so that the reads fall at every phase of the instrument's pace: the program wakes with the
// tick instead of at every few bytes, and each read bounds when its bytes arrived (lastTakenArrival). A
// read that finds nothing, or a flood, goes back to watching.
class CommControl : public QObject, public ReceivePort {
    Q_OBJECT
public:
    static constexpr int ReadEvery = 200;
    static constexpr int ReadSpread = 100;
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
    [[nodiscard]] ByteArrival lastTakenArrival() override;

    // Who chooses the times of the timed reads; null: they vary evenly within ReadSpread.
    void setReadPlanner(ReadPlanner* planner) { m_planner = planner; }

    // Writes the bytes; a closed or vanished port gives a failure.
    [[nodiscard]] PortCode Output(const QByteArray& bytes);

signals:
    // The receive event; the code is also readable as CommEvent().
    void OnComm(PortCode commEvent);
    // The device vanished while open (unplugged adapter, removed pseudo-terminal); the port is closed.
    void deviceLost();

private:
    // A read of the device into the receive buffer: the count, or -1 when the device has ended or failed.
    // atOnce: the device has just signalled bytes.
    qint64 readDevice(bool atOnce);
    void onDeviceSignalled();
    void readOnTimer();
    [[nodiscard]] bool isTrickle(qint64 got) const
    {
        return got > 0 && !m_filledRoom && got < qMin<qint64>(TrickleBelow, m_inBufferSize);
    }
    void watchDevice(bool on);
    void startReadTimer();
    // Raises the receive event while enough bytes wait; repeat: again while handlers take bytes, else once
    // and the rest queued.
    void raiseReceiveEvents(bool repeat = false);
    void scheduleRaise();
    // Emits OnComm; false when a handler destroyed this control.
    [[nodiscard]] bool emitEvent(PortCode commEvent);
    void onPortError(int error);
    void deviceEnded();
    void closeVanished();
    void closePort();
    [[nodiscard]] bool applySettings(const QString& settings);
    void dropArrivalsPast(quint64 end);

    // One read that brought bytes: the stream position after them and what bounds their arrival.
    struct Read {
        quint64 end = 0;
        qint64 id = 0;
        qint64 after = ByteArrival::Unknown;
        qint64 at = 0;
        bool atOnce = false;
    };

    QSerialPort* m_port = nullptr;
    // The descriptor this control reads and its watch; -1 and null where QSerialPort reads (Windows).
    int m_readFd = -1;
    QSocketNotifier* m_readWatch = nullptr;
    QTimer* m_readTimer = nullptr;
    double m_readPhase = 0.0;
    ReadPlanner* m_planner = nullptr;
    std::deque<Read> m_reads;
    qint64 m_readCount = 0;
    qint64 m_lastRead = ByteArrival::Unknown;
    // The last read took all the room there was: more may wait in the device, it is no trickle.
    bool m_filledRoom = false;
    // Time one character takes on the line at the current settings.
    double m_byteMicros = 0.0;
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
    // Bytes taken or discarded from the receive buffer, and bytes put into it, since the control was made.
    quint64 m_consumed = 0;
    quint64 m_received = 0;
};
