#pragma once

#include "link/linkcalls.h"
#include "link/receiveport.h"
#include "state/linkinternal.h"
#include "state/linkstate.h"
#include "state/mainoptions.h"

#include <QByteArray>

// Receive framing, message decoding and measurement counting of the instrument link. Widget-free: the
// connection window owns one and forwards the port's receive event and its timer tick to it.
class LinkReceiver {
public:
    static constexpr int CommEvReceive = 2;
    static constexpr int CommEventRxOver = 1008;
    static constexpr int MaxTokenLength = 4096; // a stream without separators cannot grow a token further

    LinkReceiver(LinkState& link, MainOptions& options, LinkInternal& internal)
        : m_link(link), m_options(options), m_internal(internal)
    {
    }

    void setPort(ReceivePort* port) { m_port = port; }
    void setMainWindow(MainWindowCalls* calls) { m_main = calls; }
    void setBackgroundWriter(BackgroundWriter* writer) { m_background = writer; }

    // Receive event of the serial port.
    void comPort_OnComm(int commEvent);

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
    // Compatible-mode status rule, run by the connection window's one-second timer.
    void TimerCom_Timer();

private:
    LinkState& m_link;
    MainOptions& m_options;
    LinkInternal& m_internal;
    ReceivePort* m_port = nullptr;
    MainWindowCalls* m_main = nullptr;
    BackgroundWriter* m_background = nullptr;
};
