#include "api/models/LoginRequest.h"

namespace Tavorin::Api::Models {

QJsonObject LoginRequest::toJson() const
{
    QJsonObject json;
    json.insert(QStringLiteral("email"), email);
    json.insert(QStringLiteral("password"), password);
    json.insert(QStringLiteral("device_id"), deviceId);
    json.insert(QStringLiteral("device_name"), deviceName);
    json.insert(QStringLiteral("device_type"), deviceType);
    return json;
}

} // namespace Tavorin::Api::Models
