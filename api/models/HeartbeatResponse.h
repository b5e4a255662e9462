#pragma once

#include <QJsonObject>
#include <QMetaType>
#include <QString>

namespace Tavorin::Api::Models {

// The service's answer to a heartbeat, read from the whole reply body.
struct HeartbeatResponse
{
    bool success = false;
    int interval = 30;
    QString serverStatus;
    int currentUsers = 0;
    int maxUsers = 0;
    double cpuUsage = 0;
    bool isVip = false;
    QString vipExpiresAt;
    double totalTrafficGb = 0;
    double todayTrafficGb = 0;
    bool trialUsed = false;
    QString trialExpiresAt;
    double trialHoursRemaining = 0;
    QString deviceStatus;
    bool forceDisconnect = false;
    QString deviceMessage;
    // Whether the answer reported the account at all: without it, false and 0 above are defaults,
    // not an account that lost its VIP time and its trial.
    bool hasUserStatus = false;
    // Whether "interval" was sent as a whole number; the default 30 above is then no instruction.
    bool hasInterval = false;

    static HeartbeatResponse fromJson(const QJsonObject &json);
};

} // namespace Tavorin::Api::Models

Q_DECLARE_METATYPE(Tavorin::Api::Models::HeartbeatResponse)
