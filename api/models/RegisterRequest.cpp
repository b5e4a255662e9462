#include "api/models/RegisterRequest.h"

namespace Tavorin::Api::Models {

QJsonObject RegisterRequest::toJson() const
{
    QJsonObject json;
    json.insert(QStringLiteral("email"), email);
    json.insert(QStringLiteral("password"), password);
    json.insert(QStringLiteral("password_confirmation"), passwordConfirmation);
    json.insert(QStringLiteral("name"), name);
    json.insert(QStringLiteral("device_id"), deviceId);
    json.insert(QStringLiteral("device_name"), deviceName);
    json.insert(QStringLiteral("device_type"), deviceType);
    json.insert(QStringLiteral("equipment"), equipment);
    json.insert(QStringLiteral("reffer_code"),
                refferCode.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(refferCode));
    return json;
}

} // namespace Tavorin::Api::Models
