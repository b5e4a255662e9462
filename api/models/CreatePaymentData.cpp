#include "api/models/CreatePaymentData.h"

#include "api/models/JsonReader.h"

namespace Tavorin::Api::Models {

CreatePaymentData CreatePaymentData::fromJson(const QJsonObject &json)
{
    CreatePaymentData data;
    data.orderId = JsonReader::text(json, QStringLiteral("order_id"));
    data.paymentUrl = JsonReader::text(json, QStringLiteral("payment_url"));
    data.amount = JsonReader::real(json, QStringLiteral("amount"));
    data.planName = JsonReader::text(json, QStringLiteral("plan_name"));
    data.planDays = JsonReader::integer(json, QStringLiteral("plan_days"));
    return data;
}

} // namespace Tavorin::Api::Models
