#include "api/models/HeartbeatRequest.h"

namespace Tavorin::Api::Models {

QJsonObject HeartbeatRequest::toJson() const
{
    QJsonObject json;
    json.insert(QStringLiteral("device_id"), deviceId);
    json.insert(QStringLiteral("connection_status"), connectionStatus);
    json.insert(QStringLiteral("upload_bytes"), uploadBytes);
    json.insert(QStringLiteral("download_bytes"), downloadBytes);
    json.insert(QStringLiteral("latency_ms"), latencyMs);
    return json;
}

} // namespace Tavorin::Api::Models
