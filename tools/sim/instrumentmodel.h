#pragma once

#include <QByteArray>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

// The simulated instrument, free of any I/O: time moves on only through advance(), commands come in through
// receive(), and everything the instrument sends collects until takeOutput(). Messages are appended whole,
// so the output never splits one message across two takeOutput() calls.
class InstrumentModel {
public:
    enum class LinkMode { Text, Compatible };
    enum class Kind { Orvelan, Tobar };
    enum Key { RemoteControl = 1, ExitKey = 2 };

    struct AnglePair {
        double x = 0.0;
        double y = 0.0;
    };
    struct TobarReading {
        int type = 30; // 30 EFL, 31 Radius, 32 BFL
        int status = 0;
        QString value;
    };

    static constexpr int DefaultRate = 20; // angle messages a second
    static constexpr int MaxRate = 100;
    static constexpr qint64 AnnouncePeriodMs = 1000;
    static constexpr int MaxCatchUpMessages = 100;
    static constexpr int MaxCommandLength = 64;
    static constexpr int MaxStoredRecords = 2000;
    static constexpr int TextBaud = 19200;
    static constexpr int CompatibleBaud = 2400;
    static constexpr double TobarNominalMm = 25.4;
    static constexpr double TobarToleranceMm = 0.012;

    // The slowly drifting angle at a point in time, before any rounding.
    [[nodiscard]] static AnglePair driftAt(qint64 timeMs);
    // The TOBAR reading the instrument gives at a time for the n-th poll (0-based).
    [[nodiscard]] static TobarReading tobarAt(qint64 timeMs, int poll, bool inch);
    // Line speed of a link mode in bytes per second (start, 8 data and stop bit).
    [[nodiscard]] static int bytesPerSecond(LinkMode mode);
    // The 8-byte record for raw values in hundredths (or thousandths) of an arcsecond.
    [[nodiscard]] static QByteArray compatibleRecord(qint32 rawX, qint32 rawY);

    void setLinkMode(LinkMode mode);
    [[nodiscard]] LinkMode linkMode() const { return m_linkMode; }
    // Switching the kind announces it with the mode message in text mode.
    void setKind(Kind kind);
    [[nodiscard]] Kind kind() const { return m_kind; }
    void setHR(bool on) { m_hr = on; }
    [[nodiscard]] bool isHR() const { return m_hr; }
    void setAveraging(bool on) { m_averaging = on; }
    [[nodiscard]] bool averaging() const { return m_averaging; }
    void setStreaming(bool on) { m_streaming = on; }
    [[nodiscard]] bool streaming() const { return m_streaming; }
    // Angle messages a second (1..MaxRate); the next one follows a full new period after now.
    void setRate(int perSecond);
    [[nodiscard]] int rate() const { return m_rate; }
    // Validity mask of the angle messages (1 X valid, 2 Y valid); averaging adds 4 on its own.
    void setValidity(int mask) { m_validity = mask & 3; }
    [[nodiscard]] int validity() const { return m_validity; }
    void setFixedAngles(double x, double y) { m_fixed = AnglePair{x, y}; }
    void setDrift() { m_fixed.reset(); }
    // Uniform random noise in [-amplitude, amplitude] arcseconds on each angle of every message; 0: none.
    void setNoise(double amplitude) { m_noise = amplitude > 0 ? amplitude : 0.0; }
    [[nodiscard]] double noise() const { return m_noise; }
    void setTobarInch(bool on) { m_inch = on; }
    [[nodiscard]] bool tobarInch() const { return m_inch; }
    // Size of the instrument's memory readout, and the table number it names.
    void setStoredRecords(int count) { m_storedRecords = qBound(0, count, MaxStoredRecords); }
    [[nodiscard]] int storedRecords() const { return m_storedRecords; }
    void setStoredTable(int table) { m_storedTable = table; }
    [[nodiscard]] int storedTable() const { return m_storedTable; }
    // While the line is busy the periodic messages are skipped, as a transmitter that cannot keep up would.
    void setLineBusy(bool busy) { m_lineBusy = busy; }

    // The key's signal digit goes out with the next angle message (text mode only; a record has no status).
    void pressKey(Key key) { m_pendingSignal |= key; }
    // Bytes that go out exactly as given, in order with the instrument's own messages.
    void injectRaw(const QByteArray& bytes) { m_out.append(bytes); }

    void advance(qint64 ms);
    [[nodiscard]] qint64 now() const { return m_now; }
    void receive(const QByteArray& bytes);
    [[nodiscard]] QByteArray takeOutput();
    // Commands received since the last call, as the letters (or "0xHH" for other compatible-mode codes).
    [[nodiscard]] QStringList takeCommands();

    // What the last angle message carried, as a receiver decodes it.
    [[nodiscard]] AnglePair lastAngles() const { return m_lastAngles; }
    [[nodiscard]] int angleMessagesSent() const { return m_angleMessages; }
    [[nodiscard]] TobarReading lastTobar() const { return m_lastTobar; }
    [[nodiscard]] int tobarPolls() const { return m_polls; }

    // The readout the instrument answers "t" with, header included.
    [[nodiscard]] QByteArray storedReadout() const;
    // The value columns of stored record n (1-based), as sent.
    [[nodiscard]] QStringList storedRecord(int n) const;
    [[nodiscard]] int storedColumns() const { return m_kind == Kind::Tobar ? 5 : 2; }

private:
    // Index of the last message due at or before a time, counted from m_rateStart.
    [[nodiscard]] qint64 lastDueBy(qint64 timeMs) const;
    void periodic(qint64 timeMs);
    void sendAngles(qint64 timeMs);
    void execute(const QString& command);
    void receiveText(char c);
    void receiveCompatible(char c);

    LinkMode m_linkMode = LinkMode::Text;
    Kind m_kind = Kind::Orvelan;
    bool m_hr = false;
    bool m_averaging = false;
    bool m_streaming = true;
    bool m_inch = false;
    bool m_lineBusy = false;
    int m_validity = 3;
    int m_pendingSignal = 0;
    std::optional<AnglePair> m_fixed;
    double m_noise = 0.0;
    QRandomGenerator m_random{20261208}; // the same noise run after run
    int m_storedRecords = 5;
    int m_storedTable = 1;

    int m_rate = DefaultRate;
    qint64 m_now = 0;
    qint64 m_rateStart = 0;
    qint64 m_lastPoll = -AnnouncePeriodMs;
    qint64 m_lastAnnounce = -AnnouncePeriodMs;
    AnglePair m_lastAngles;
    int m_angleMessages = 0;
    TobarReading m_lastTobar;
    int m_polls = 0;

    QByteArray m_out;
    QStringList m_commands;
    QByteArray m_textCommand;
    bool m_textOverlong = false;
    QByteArray m_frame; // the last bytes of a compatible-mode command frame
};
