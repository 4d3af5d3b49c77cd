#include "link/linkreceiver.h"
// TODO(helper): implementation
void LinkReceiver::decodeTextMessage() {}
void LinkReceiver::decodeCompatibleRecord(const QByteArray&) {}
void LinkReceiver::countMeasurement() {}
void LinkReceiver::setMsgSignal(double) {}
void LinkReceiver::setUpdateSignal(double) {}
void LinkReceiver::TimerCom_Timer() {}
