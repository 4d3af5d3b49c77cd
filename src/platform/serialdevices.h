#pragma once

#include <QList>
#include <QString>

#include <functional>

// A serial device present on this computer.
struct SerialDevice {
    QString path;        // the device node, for example /dev/ttyUSB0 or COM3
    QString stablePath;  // a name that survives replugging (/dev/serial/by-id/...), else empty
    QString description; // what the system calls the device
    QString manufacturer;
    QString serialNumber;

    // The name to store for the device: the stable one where there is one.
    [[nodiscard]] QString storedPath() const { return stablePath.isEmpty() ? path : stablePath; }
};

namespace SerialDevices {

// The serial devices present now: the system's list, each with its stable name where one exists.
[[nodiscard]] QList<SerialDevice> available();

// Replaces the system's list, for tests (pseudo-terminals are not listed by the system); an empty
// function restores it.
void setLister(std::function<QList<SerialDevice>()> lister);

} // namespace SerialDevices
