#include "platform/settingsstore.h"

#include <QSettings>

namespace SettingsStore {

namespace {
QString path(const QString& section, const QString& key)
{
    return section + QLatin1Char('/') + key;
}
} // namespace

QString GetSetting(const QString& appName, const QString& section, const QString& key, const QString& def)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, appName, appName);
    settings.setFallbacksEnabled(false);
    const QVariant value = settings.value(path(section, key));
    if (!value.isValid())
        return def;
    // A hand-edited store may hold a list or another type; only text is a stored value.
    if (value.canConvert<QString>())
        return value.toString();
    return def;
}

void SaveSetting(const QString& appName, const QString& section, const QString& key, const QString& value)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, appName, appName);
    settings.setFallbacksEnabled(false);
    settings.setValue(path(section, key), value);
}

} // namespace SettingsStore
