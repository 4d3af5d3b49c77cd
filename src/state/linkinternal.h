#pragma once

#include <QString>
#include <QtGlobal>

#include <array>

// Receive, decode and count state of the link; only the link's own code touches it.
struct LinkInternal {
    static constexpr int TokenSlots = 9;

    std::array<QString, TokenSlots> tokens; // overwritten, never cleared
    QString token;
    qint16 tokenIndex = 0;
    bool lastWasSpace = false;
    bool inSync = false;
    qint32 measureCountdown = 0;
    qint32 msgSignalEvery = 0;
    qint32 updateSignalEvery = 0;
    qint32 lastCountdownSeen = 0;
    qint16 loadColumns = 0;
    qint32 backgroundCounter = 0;
};
