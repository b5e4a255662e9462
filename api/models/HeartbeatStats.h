#pragma once

#include <QJsonObject>
#include <QMetaType>

namespace Tavorin::Api::Models {

// How many users and devices the service sees online.
struct HeartbeatStats
{
    int onlineUsers = 0;
    int onlineDevices = 0;

    static HeartbeatStats fromJson(const QJsonObject &json);
};

} // namespace Tavorin::Api::Models

Q_DECLARE_METATYPE(Tavorin::Api::Models::HeartbeatStats)
