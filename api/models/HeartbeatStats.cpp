#include "api/models/HeartbeatStats.h"

#include "api/models/JsonReader.h"

namespace Tavorin::Api::Models {

HeartbeatStats HeartbeatStats::fromJson(const QJsonObject &json)
{
    HeartbeatStats stats;
    if (!json.value(QStringLiteral("data")).isObject())
        return stats;
    const QJsonObject data = JsonReader::object(json, QStringLiteral("data"));
    stats.onlineUsers = JsonReader::integer(data, QStringLiteral("online_users"));
    stats.onlineDevices = JsonReader::integer(data, QStringLiteral("online_devices"));
    return stats;
}

} // namespace Tavorin::Api::Models
