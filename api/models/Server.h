#pragma once

#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>

namespace Tavorin::Api::Models {

// One server of the service's catalogue, including whether this account may use it.
struct Server
{
    int id = 0;
    QString name;
    QString appName;
    QString countryCode;
    QString city;
    QString location;
    QString hostname;
    QString host;
    QString ipAddress;
    QString protocol;
    int port = 443;
    QString transport;
    bool tlsEnabled = true;
    QString sni;
    QString status;
    bool isEnabled = true;
    QString tier;
    QString tierText;
    bool requiresVip = false;
    bool canConnect = false;
    int maxUsers = 0;
    int currentUsers = 0;
    double cpuUsage = 0;
    double latitude = 0;
    double longitude = 0;
    QString vmessLink;
    QString createdAt;
    QString updatedAt;

    static Server fromJson(const QJsonObject &json);
};

} // namespace Tavorin::Api::Models

Q_DECLARE_METATYPE(Tavorin::Api::Models::Server)
