#pragma once

#include <QString>
#include <QtGlobal>

// Reading and writing typed values through the settings store. Every value is text; a stored text that
// does not convert to the expected type reads as the key's default.
namespace SettingValues {

inline const QString AppName = QStringLiteral("tarnolux");

[[nodiscard]] QString readText(const QString& section, const QString& key, const QString& def);
[[nodiscard]] qint16 readInt16(const QString& section, const QString& key, qint16 def);
[[nodiscard]] qint32 readInt32(const QString& section, const QString& key, qint32 def);
[[nodiscard]] double readNumber(const QString& section, const QString& key, double def);
// Both flag forms: "True"/"False" and check states "0"/"1" (any other non-zero number reads true).
[[nodiscard]] bool readFlag(const QString& section, const QString& key, bool def);

void writeText(const QString& section, const QString& key, const QString& value);
void writeInt(const QString& section, const QString& key, qint32 value);

// The conversions themselves, for texts from elsewhere.
[[nodiscard]] bool toFlag(const QString& text, bool def);
[[nodiscard]] qint16 toInt16(const QString& text, qint16 def);
[[nodiscard]] qint32 toInt32(const QString& text, qint32 def);
[[nodiscard]] double toNumber(const QString& text, double def);

} // namespace SettingValues
