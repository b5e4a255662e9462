#include "api/models/HeartbeatResponse.h"

#include "api/models/JsonReader.h"

#include <limits>

namespace Tavorin::Api::Models {

HeartbeatResponse HeartbeatResponse::fromJson(const QJsonObject &json)
{
    HeartbeatResponse response;
    response.success = JsonReader::boolean(json, QStringLiteral("success"));
    if (!json.value(QStringLiteral("data")).isObject())
        return response;
    const QJsonObject data = JsonReader::object(json, QStringLiteral("data"));
    constexpr int notSaid = std::numeric_limits<int>::min();
    const int interval = JsonReader::integer(data, QStringLiteral("interval"), notSaid);
    response.hasInterval = interval != notSaid;
    if (response.hasInterval)
        response.interval = interval;
    if (data.value(QStringLiteral("server_status")).isObject()) {
        const QJsonObject server = JsonReader::object(data, QStringLiteral("server_status"));
        response.serverStatus = JsonReader::text(server, QStringLiteral("status"));
        response.currentUsers = JsonReader::integer(server, QStringLiteral("current_users"));
        response.maxUsers = JsonReader::integer(server, QStringLiteral("max_users"));
        response.cpuUsage = JsonReader::real(server, QStringLiteral("cpu_usage"));
    }
    if (data.value(QStringLiteral("user_status")).isObject()) {
        const QJsonObject user = JsonReader::object(data, QStringLiteral("user_status"));
        response.hasUserStatus = true;
        response.isVip = JsonReader::boolean(user, QStringLiteral("is_vip"));
        response.vipExpiresAt = JsonReader::text(user, QStringLiteral("vip_expires_at"));
        response.totalTrafficGb = JsonReader::real(user, QStringLiteral("total_traffic_gb"));
        response.todayTrafficGb = JsonReader::real(user, QStringLiteral("today_traffic_gb"));
        response.trialUsed = JsonReader::boolean(user, QStringLiteral("trial_used"));
        response.trialExpiresAt = JsonReader::text(user, QStringLiteral("trial_expires_at"));
        response.trialHoursRemaining = JsonReader::real(user, QStringLiteral("trial_hours_remaining"));
    }
    if (data.value(QStringLiteral("device_status")).isObject()) {
        const QJsonObject device = JsonReader::object(data, QStringLiteral("device_status"));
        response.deviceStatus = JsonReader::text(device, QStringLiteral("status"));
        response.forceDisconnect = JsonReader::boolean(device, QStringLiteral("force_disconnect"));
        response.deviceMessage = JsonReader::text(device, QStringLiteral("message"));
    }
    return response;
}

} // namespace Tavorin::Api::Models
