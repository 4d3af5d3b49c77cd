#include "settings/settingvalues.h"

#include "platform/settingsstore.h"
#include "state/numbers.h"

#include <QLocale>

#include <optional>

namespace SettingValues {

namespace {
// Numbers are written under the regional conventions; accept the C form too, which is what a person
// editing the store by hand is likely to type.
std::optional<double> number(const QString& text)
{
    if (auto value = Numbers::strictNumber(text))
        return value;
    return Numbers::strictNumber(text, QLocale::c());
}

template <typename T> std::optional<T> whole(const QString& text)
{
    const auto value = number(text);
    return value ? Numbers::wholeInRange<T>(*value) : std::nullopt;
}

QString stored(const SettingKeys::Key& key, const QString& def, const QString& suffix = QString())
{
    return SettingsStore::GetSetting(AppName, QLatin1String(key.section), QLatin1String(key.key) + suffix,
                                     def);
}
} // namespace

bool toFlag(const QString& text, bool def)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    if (const auto value = number(t))
        return *value != 0.0;
    return def;
}

qint16 toInt16(const QString& text, qint16 def)
{
    return whole<qint16>(text).value_or(def);
}
qint32 toInt32(const QString& text, qint32 def)
{
    return whole<qint32>(text).value_or(def);
}
double toNumber(const QString& text, double def)
{
    return number(text).value_or(def);
}

QString defaultText(const SettingKeys::Key& key)
{
    if (key.envDefault)
        return qEnvironmentVariable(key.envDefault);
    return QLatin1String(key.def);
}

QString readText(const SettingKeys::Key& key)
{
    return stored(key, defaultText(key));
}

qint16 readInt16(const SettingKeys::Key& key)
{
    const qint16 def = toInt16(defaultText(key), 0);
    return toInt16(stored(key, QString::number(def)), def);
}

qint32 readInt32(const SettingKeys::Key& key)
{
    const qint32 def = toInt32(defaultText(key), 0);
    return toInt32(stored(key, QString::number(def)), def);
}

double readNumber(const SettingKeys::Key& key)
{
    const double def = toNumber(defaultText(key), 0);
    return toNumber(stored(key, Numbers::shortestText(def)), def);
}

bool readFlag(const SettingKeys::Key& key)
{
    const bool def = toFlag(defaultText(key), false);
    return toFlag(stored(key, def ? QStringLiteral("1") : QStringLiteral("0")), def);
}

void writeText(const SettingKeys::Key& key, const QString& value)
{
    SettingsStore::SaveSetting(AppName, QLatin1String(key.section), QLatin1String(key.key), value);
}

QString readText(const SettingKeys::Key& key, int portNumber)
{
    return stored(key, defaultText(key), QString::number(portNumber));
}

void writeText(const SettingKeys::Key& key, int portNumber, const QString& value)
{
    SettingsStore::SaveSetting(AppName, QLatin1String(key.section),
                               QLatin1String(key.key) + QString::number(portNumber), value);
}

void writeInt(const SettingKeys::Key& key, qint32 value)
{
    writeText(key, QString::number(value));
}

void writeNumber(const SettingKeys::Key& key, double value)
{
    writeText(key, Numbers::shortestText(value));
}

} // namespace SettingValues
