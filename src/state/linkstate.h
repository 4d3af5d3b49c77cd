#pragma once

#include <QString>
#include <QtGlobal>

// How the instrument talks; the settings store keeps the mode as its number.
enum class LinkMode : qint16 {
    Compatible = 0, // 2400 baud, binary records
    Text = 1,       // 19200 baud, text lines
};

// What made the decoder store the last line.
enum class StoreSignal : qint16 {
    None = 0,
    RemoteControl = 1,
    ExitKey = 2,
};

// What the last TOBAR value measures, by the number of the message that brought it (the background file
// writes that number).
enum class TobarMessage : qint16 {
    None = 0,
    Efl = 30,    // effective focal length
    Radius = 31, // radius of curvature
    Bfl = 32,    // back focal length
};

// State of the instrument link, living from program start. Plain fields: the link writes them, windows read
// them at their own pace.
struct LinkState {
    qint16 portNum = 0; // 0 = no port: commands are not sent
    LinkMode portMode = LinkMode::Compatible;
    qint16 isHR = 0;        // 1 = compatible-mode angles carry thousandths of an arcsecond
    qint16 angleStatus = 0; // bit 1 X valid, bit 2 Y valid, bit 4 instrument averaging
    double angleX = 0.0;    // arcseconds
    double angleY = 0.0;    // arcseconds
    QString tobarValue;     // regional decimal separator
    qint16 tobarStatus = 0;
    TobarMessage lastTobarMsg = TobarMessage::None;
    qint16 conStatus = 0; // 1 after a connect step that opened the port
    bool storeAtExitkey = false;
    bool storeAtIR = false;
    bool wasSendError = false;
    StoreSignal storeSignal = StoreSignal::None;

    // The TOBAR value is in inch, else in mm: the tens digit of its status.
    [[nodiscard]] bool tobarInInch() const { return tobarStatus % 100 >= 10; }
};
