#pragma once

#include "link/linkreceiver.h"
#include "platform/memoryport.h"

#include <QStringList>

#include <limits>

// Logs every call out of the receiver with its arguments.
class LinkRecorder final : public MainWindowCalls, public BackgroundWriter {
public:
    void XY2Table() override { calls << QStringLiteral("XY2Table"); }
    void setGridForLoad(qint16 g, qint32 r, qint16 c) override
    {
        calls << QStringLiteral("setGridForLoad(%1,%2,%3)").arg(g).arg(r).arg(c);
    }
    void addLine(qint16 gridNum) override { calls << QStringLiteral("addLine(%1)").arg(gridNum); }
    void setColumn(const QString& s) override { calls << QStringLiteral("setColumn(%1)").arg(s); }
    void haveAngleMsg() override
    {
        calls << QStringLiteral("haveAngleMsg");
        if (watched)
            messages << slotsText(*watched);
    }
    void writeBackgroundFile() override { calls << QStringLiteral("writeBackgroundFile"); }

    static QString slotsText(const LinkInternal& internal)
    {
        QStringList parts;
        for (const QString& slot : internal.tokens)
            parts << slot;
        return parts.join(QLatin1Char('|'));
    }

    QStringList calls;
    // With a store signal after every message, the slots as each message was decoded.
    const LinkInternal* watched = nullptr;
    QStringList messages;
};

// The receiver wired to an in-memory port and a recorder, counters as after the connection window loaded.
struct LinkFixture {
    LinkState link;
    MainOptions options;
    LinkInternal internal;
    MemoryPort port;
    LinkRecorder recorder;
    LinkReceiver receiver{link, options, internal};

    LinkFixture()
    {
        receiver.setPort(&port);
        receiver.setMainWindow(&recorder);
        receiver.setBackgroundWriter(&recorder);
        internal.measureCountdown = std::numeric_limits<qint32>::max();
        internal.msgSignalEvery = std::numeric_limits<qint32>::max();
        internal.updateSignalEvery = 1;
    }

    // Tokens separated by single spaces into slots 0 onward, as the framing would put them.
    void setTokens(const QString& line)
    {
        const QStringList parts = line.split(QLatin1Char(' '));
        for (int i = 0; i < parts.size() && i < LinkInternal::TokenSlots; ++i)
            internal.tokens[static_cast<size_t>(i)] = parts.at(i);
    }
};
