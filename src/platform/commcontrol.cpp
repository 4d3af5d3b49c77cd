#include "platform/commcontrol.h"
// TODO(helper): implementation
#include <QSerialPort>
CommControl::CommControl(QObject* parent) : QObject(parent) {}
CommControl::~CommControl() = default;
QString CommControl::deviceName(qint16) { return {}; }
int CommControl::setCommPort(qint16) { return 0; }
int CommControl::setSettings(const QString&) { return 0; }
void CommControl::setRTSEnable(bool) {}
void CommControl::setDTREnable(bool) {}
int CommControl::setPortOpen(bool) { return 0; }
bool CommControl::PortOpen() const { return false; }
qint32 CommControl::InBufferCount() const { return 0; }
void CommControl::clearInBuffer() {}
QByteArray CommControl::Input() { return {}; }
qint32 CommControl::OutBufferCount() const { return 0; }
int CommControl::Output(const QByteArray&) { return 0; }
void CommControl::onReadyRead() {}
void CommControl::raiseReceiveEvents() {}
void CommControl::onPortError(int) {}
void CommControl::closeVanished() {}
