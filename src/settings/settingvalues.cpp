#include "settings/settingvalues.h"

#include "platform/settingsstore.h"
#include "state/numbers.h"

#include <QLocale>

#include <limits>
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
    if (!value)
        return std::nullopt;
    const double rounded = Numbers::roundHalfEven(*value);
    if (rounded < std::numeric_limits<T>::min() || rounded > std::numeric_limits<T>::max())
        return std::nullopt;
    return static_cast<T>(rounded);
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

QString readText(const QString& section, const QString& key, const QString& def)
{
    return SettingsStore::GetSetting(AppName, section, key, def);
}

qint16 readInt16(const QString& section, const QString& key, qint16 def)
{
    return toInt16(readText(section, key, QString::number(def)), def);
}

qint32 readInt32(const QString& section, const QString& key, qint32 def)
{
    return toInt32(readText(section, key, QString::number(def)), def);
}

double readNumber(const QString& section, const QString& key, double def)
{
    return toNumber(readText(section, key, Numbers::shortestText(def)), def);
}

bool readFlag(const QString& section, const QString& key, bool def)
{
    return toFlag(readText(section, key, def ? QStringLiteral("1") : QStringLiteral("0")), def);
}

void writeText(const QString& section, const QString& key, const QString& value)
{
    SettingsStore::SaveSetting(AppName, section, key, value);
}

void writeInt(const QString& section, const QString& key, qint32 value)
{
    writeText(section, key, QString::number(value));
}

} // namespace SettingValues
