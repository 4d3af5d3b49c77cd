#pragma once

#include <QString>
#include <QtGlobal>

// State of the instrument link, owned by the connection window but living from program start.
// Plain fields: every window reads and assigns them directly; nobody is notified.
struct LinkState {
    qint16 portNum = 0;     // 0 = no port: commands are not sent
    qint16 portMode = 0;    // 0 compatible mode (2400 baud, binary), 1 text mode (19200 baud)
    qint16 isHR = 0;        // 1 = compatible-mode angles carry thousandths of an arcsecond
    qint16 angleStatus = 0; // bit 1 X valid, bit 2 Y valid, bit 4 instrument averaging
    double angleX = 0.0;    // arcseconds
    double angleY = 0.0;    // arcseconds
    QString tobarValue;     // regional decimal separator
    qint16 tobarStatus = 0;
    qint16 lastTobarMsg = 0; // 30, 31 or 32
    qint16 conStatus = 0;    // 1 after a connect step that opened the port
    bool storeAtExitkey = false;
    bool storeAtIR = false;
    bool wasSendError = false;
    qint16 storeSignal = 0; // what made the decoder store the last line: 1 remote control, 2 exit key
};
