#include "link/linkreceiver.h"
// TODO(helper): implementation
void LinkReceiver::comPort_OnComm(int) {}
void LinkReceiver::receiveText() {}
void LinkReceiver::collectTextTokens() {}
void LinkReceiver::receiveCompatible() {}
