#pragma once

#include "analysis/measurementlog.h"
#include "link/linkcalls.h"
#include "link/messageclock.h"
#include "platform/receiveport.h"
#include "state/linkinternal.h"
#include "state/linkstate.h"
#include "state/mainoptions.h"

#include <QByteArray>

// Receive framing, message decoding and measurement counting of the instrument link. The link owns one and
// forwards the port's receive event and its timer tick to it.
class LinkReceiver {
public:
    static constexpr int MaxTokenLength = 4096; // a stream without separators cannot grow a token further
    static constexpr int RecordLength = 8;
    static constexpr char RecordStart = 0x02;
    static constexpr char RecordEnd = 0x03;

    LinkReceiver(LinkState& link, MainOptions& options, LinkInternal& internal)
        : m_link(link), m_options(options), m_internal(internal)
    {
    }

    void setPort(ReceivePort* port) { m_port = port; }
    void setEvents(LinkEvents* events) { m_events = events; }
    void setBackgroundWriter(BackgroundWriter* writer) { m_background = writer; }
    // Where every decoded angle pair and TOBAR value is appended; null: nowhere.
    void setLog(MeasurementLog* log) { m_log = log; }

    // Takes what the port's receive event announces: reads on, or discards an overflowing buffer.
    void receive(PortCode event);
    [[nodiscard]] MessageClock& clock() { return m_clock; }
    // When the message being decoded (or the last one) arrived, ms since the epoch.
    [[nodiscard]] qint64 messageMsecs() const { return m_messageMsecs; }

    // Framing.
    void receiveText();
    void collectTextTokens();
    void receiveCompatible();

    // Decoding and counting.
    void decodeTextMessage();
    void decodeCompatibleRecord(const QByteArray& record);
    void countMeasurement();
    void setMsgSignal(double time);
    void setUpdateSignal(double time);
    // Compatible mode has no status: both axes count as valid while records arrived since the last call (the
    // link calls it every second), else neither.
    void updateCompatibleStatus();

private:
    // One character from the port (Latin-1); false when nothing could be read.
    [[nodiscard]] bool readChar(QChar& c);
    [[nodiscard]] QByteArray readBytes(qint16 count);
    // Times the message whose last byte was just read.
    void stampMessage();
    // The message's time on the log's clock.
    [[nodiscard]] qint64 logTime() const { return m_messageMsecs - m_log->startMsecsSinceEpoch(); }
    void decodeAngleMessage();
    void decodeStoredHeader();
    void decodeStoredRecord();
    void decodeTobarValue(double type);
    [[nodiscard]] static qint32 divisorFor(double time);

    LinkState& m_link;
    MainOptions& m_options;
    LinkInternal& m_internal;
    ReceivePort* m_port = nullptr;
    LinkEvents* m_events = nullptr;
    BackgroundWriter* m_background = nullptr;
    MeasurementLog* m_log = nullptr;
    // A carriage return with no token since the previous one is no message: decoding it would repeat the
    // previous message from the stale slots (and store its angles twice).
    bool m_lineHasToken = false;
    MessageClock m_clock;
    qint64 m_messageMsecs = 0;
};
