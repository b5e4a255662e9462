#pragma once

#include <QJsonObject>
#include <QString>

namespace Tavorin::Api::Models {

// One heartbeat as sent: the device, its connection state and what it has transferred.
struct HeartbeatRequest
{
    QString deviceId;
    QString connectionStatus;
    qint64 uploadBytes = 0;
    qint64 downloadBytes = 0;
    int latencyMs = 0;

    QJsonObject toJson() const;
};

} // namespace Tavorin::Api::Models
