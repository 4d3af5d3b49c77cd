#pragma once

#include <QString>

// The per-user settings store: application, section and key address a text value. QSettings in the
// native per-user format; the application name is also the organisation.
namespace SettingsStore {

// The stored text, or def when the key is absent.
[[nodiscard]] QString GetSetting(const QString& appName, const QString& section, const QString& key,
                                 const QString& def);
// Creates or replaces the value. Failures are not reported.
void SaveSetting(const QString& appName, const QString& section, const QString& key, const QString& value);

} // namespace SettingsStore
