#pragma once

#include "settings/settingkeys.h"

#include <QString>
#include <QtGlobal>

// Typed values in the settings store, addressed by the entries of the key table. Every value is text; a
// stored text that does not convert to the key's kind reads as the key's default.
namespace SettingValues {

inline const QString AppName = QStringLiteral("tarnolux");

// The key's default as text (its environment variable's value where the key names one).
[[nodiscard]] QString defaultText(const SettingKeys::Key& key);

[[nodiscard]] QString readText(const SettingKeys::Key& key);
[[nodiscard]] qint16 readInt16(const SettingKeys::Key& key);
[[nodiscard]] qint32 readInt32(const SettingKeys::Key& key);
[[nodiscard]] double readNumber(const SettingKeys::Key& key);
// Both flag forms: "True"/"False" and check states "0"/"1" (any other non-zero number reads true).
[[nodiscard]] bool readFlag(const SettingKeys::Key& key);

void writeText(const SettingKeys::Key& key, const QString& value);
// Port n's entry of a per-port text key such as BoundDevice.
[[nodiscard]] QString readText(const SettingKeys::Key& key, int portNumber);
void writeText(const SettingKeys::Key& key, int portNumber, const QString& value);
void writeInt(const SettingKeys::Key& key, qint32 value);
// Shortest general form with the regional decimal separator.
void writeNumber(const SettingKeys::Key& key, double value);

// The conversions themselves, for texts from elsewhere.
[[nodiscard]] bool toFlag(const QString& text, bool def);
[[nodiscard]] qint16 toInt16(const QString& text, qint16 def);
[[nodiscard]] qint32 toInt32(const QString& text, qint32 def);
[[nodiscard]] double toNumber(const QString& text, double def);

} // namespace SettingValues
