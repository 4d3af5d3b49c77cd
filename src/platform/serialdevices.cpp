#include "platform/serialdevices.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

namespace SerialDevices {

namespace {
std::function<QList<SerialDevice>()>& lister()
{
    static std::function<QList<SerialDevice>()> instance;
    return instance;
}

// The stable names by device node: the links in /dev/serial/by-id.
QHash<QString, QString> stableNames()
{
    QHash<QString, QString> names;
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        names.insert(link.canonicalFilePath(), link.absoluteFilePath());
    return names;
}
} // namespace

QList<SerialDevice> available()
{
    if (lister())
        return lister()();
    const QHash<QString, QString> stable = stableNames();
    QList<SerialDevice> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialDevice device;
        device.path = info.systemLocation();
        device.stablePath = stable.value(QFileInfo(device.path).canonicalFilePath());
        device.description = info.description();
        device.manufacturer = info.manufacturer();
        device.serialNumber = info.serialNumber();
        devices.append(device);
    }
    return devices;
}

void setLister(std::function<QList<SerialDevice>()> lister_)
{
    lister() = std::move(lister_);
}

} // namespace SerialDevices
