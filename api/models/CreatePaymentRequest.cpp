#include "api/models/CreatePaymentRequest.h"

namespace Tavorin::Api::Models {

QJsonObject CreatePaymentRequest::toJson() const
{
    QJsonObject json;
    json.insert(QStringLiteral("plan_id"), planId);
    json.insert(QStringLiteral("payment_method"), paymentMethod);
    json.insert(QStringLiteral("payment_provider"), paymentProvider);
    json.insert(QStringLiteral("device_id"), deviceId);
    json.insert(QStringLiteral("equipment"), equipment);
    return json;
}

} // namespace Tavorin::Api::Models
