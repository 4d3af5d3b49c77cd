#pragma once

#include <QString>

// Where and how measurements and stored lines are published: the "mqtt" section of the settings.
struct PublishSettings {
    bool enabled = false;
    QString host = QStringLiteral("localhost");
    int port = 1883;
    bool tls = false;
    QString caFile;
    QString user;
    QString password;
    QString clientId; // empty: the library makes one up
    QString prefix;   // topics are <prefix>/measurement, /line, /status
    int rate = 0;     // measurements a second at most; 0: every one

    [[nodiscard]] static PublishSettings load();
    void save() const;
    // tarnolux/<host name>, for an empty prefix.
    [[nodiscard]] static QString defaultPrefix();
    [[nodiscard]] QString topicPrefix() const { return prefix.isEmpty() ? defaultPrefix() : prefix; }

    [[nodiscard]] bool operator==(const PublishSettings& o) const;
};
