#include "publish/publishsettings.h"

#include "settings/settingkeys.h"
#include "settings/settingvalues.h"

#include <QSysInfo>

#include <algorithm>

using namespace SettingKeys;

PublishSettings PublishSettings::load()
{
    PublishSettings s;
    s.enabled = SettingValues::readFlag(MqttEnabled);
    s.host = SettingValues::readText(MqttHost).trimmed();
    const qint32 port = SettingValues::readInt32(MqttPort);
    s.port = port >= 1 && port <= 65535 ? port : 1883;
    s.tls = SettingValues::readFlag(MqttTls);
    s.caFile = SettingValues::readText(MqttCaFile);
    s.user = SettingValues::readText(MqttUser);
    s.password = SettingValues::readText(MqttPassword);
    s.clientId = SettingValues::readText(MqttClientId).trimmed();
    s.prefix = SettingValues::readText(MqttPrefix).trimmed();
    s.rate = std::clamp<qint32>(SettingValues::readInt32(MqttRate), 0, 1000);
    return s;
}

void PublishSettings::save() const
{
    SettingValues::writeText(MqttEnabled, enabled ? QStringLiteral("1") : QStringLiteral("0"));
    SettingValues::writeText(MqttHost, host);
    SettingValues::writeInt(MqttPort, port);
    SettingValues::writeText(MqttTls, tls ? QStringLiteral("1") : QStringLiteral("0"));
    SettingValues::writeText(MqttCaFile, caFile);
    SettingValues::writeText(MqttUser, user);
    SettingValues::writeText(MqttPassword, password);
    SettingValues::writeText(MqttClientId, clientId);
    SettingValues::writeText(MqttPrefix, prefix);
    SettingValues::writeInt(MqttRate, rate);
}

QString PublishSettings::defaultPrefix()
{
    // A topic level may hold neither wildcard nor a slash.
    QString host = QSysInfo::machineHostName();
    for (QChar& c : host)
        if (c == QLatin1Char('/') || c == QLatin1Char('+') || c == QLatin1Char('#'))
            c = QLatin1Char('_');
    return QStringLiteral("tarnolux/") + (host.isEmpty() ? QStringLiteral("localhost") : host);
}

bool PublishSettings::operator==(const PublishSettings& o) const
{
    return enabled == o.enabled && host == o.host && port == o.port && tls == o.tls && caFile == o.caFile &&
           user == o.user && password == o.password && clientId == o.clientId && prefix == o.prefix &&
           rate == o.rate;
}
