#include "state/anglemanager.h"
// TODO(helper): implementation
void AngleManager::initAngleConstants() {}
void AngleManager::setAngleZero() {}
void AngleManager::resetAngleZero() {}
QString AngleManager::angleXText() const { return {}; }
QString AngleManager::angleYText() const { return {}; }
QString AngleManager::formatAngle(double) const { return {}; }
QString AngleManager::formatDegMinSec(double) const { return {}; }
