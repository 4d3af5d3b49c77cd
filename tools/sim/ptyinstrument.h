#pragma once

#include "sim/instrumentmodel.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class PtyPair;
class QSocketNotifier;

// The instrument model on a pseudo-terminal, in real time. The line's far end (the slave) is what a
// program opens as its serial port. A slave descriptor stays open here so that the program may close and
// reopen the port without the master seeing a hangup. Output leaves at the line's speed.
class PtyInstrument : public QObject {
    Q_OBJECT
public:
    enum class ModeChoice { Auto, Text, Compatible };

    static constexpr int TickMs = 10;
    static constexpr qsizetype MaxPending = 256 * 1024;
    // Bytes that nobody read for this long are dropped, as a real line loses what a closed port misses.
    static constexpr int StaleSeconds = 2;

    explicit PtyInstrument(QObject* parent = nullptr);
    ~PtyInstrument() override;

    // Opens a new pseudo-terminal and starts the instrument's clock; false with a reason on failure.
    [[nodiscard]] bool open(QString* error = nullptr);
    // Closes the line for good, like a pulled cable: the device disappears until open() is called again.
    void vanish();
    [[nodiscard]] bool isOpen() const { return m_line != nullptr; }
    // The device a program opens: the slave, or the stable link to it when one is set.
    [[nodiscard]] QString devicePath() const;
    [[nodiscard]] QString slavePath() const { return m_slavePath; }
    // A symbolic link kept pointing at the current slave and removed while the line is gone.
    void setLinkPath(const QString& path) { m_linkPath = path; }

    [[nodiscard]] InstrumentModel& model() { return m_model; }
    // Auto follows the baud rate the program sets on the line: 19200 text, 2400 compatible, else unchanged.
    void setModeChoice(ModeChoice choice);
    [[nodiscard]] ModeChoice modeChoice() const { return m_choice; }
    [[nodiscard]] InstrumentModel::LinkMode linkMode() const { return m_model.linkMode(); }
    // The baud rate last read from the line (0 when unknown).
    [[nodiscard]] int lineBaud() const { return m_lineBaud; }
    [[nodiscard]] qsizetype pendingBytes() const { return m_pending.size(); }
    [[nodiscard]] qint64 bytesWritten() const { return m_written; }
    [[nodiscard]] qint64 bytesDropped() const { return m_dropped; }

signals:
    void commandReceived(const QString& command);
    void linkModeChanged(InstrumentModel::LinkMode mode);

private:
    void tick();
    void readMaster();
    void followLine();
    void dropStaleInput();
    void writePaced(qint64 elapsedMs);
    void closeLine();
    [[nodiscard]] bool placeLink(QString* error);
    void removeLink();

    InstrumentModel m_model;
    ModeChoice m_choice = ModeChoice::Auto;
    std::unique_ptr<PtyPair> m_line;
    QString m_slavePath;
    QString m_linkPath;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastTick = 0;
    QByteArray m_pending;
    double m_budget = 0.0;
    int m_lineBaud = 0;
    qint64 m_written = 0;
    qint64 m_dropped = 0;
};
