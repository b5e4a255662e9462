#include "api/models/PaymentStatusData.h"

#include "api/models/JsonReader.h"

namespace Tavorin::Api::Models {

PaymentStatusData PaymentStatusData::fromJson(const QJsonObject &json)
{
    PaymentStatusData data;
    data.orderId = JsonReader::text(json, QStringLiteral("order_id"));
    data.status = JsonReader::text(json, QStringLiteral("status"));
    data.amount = JsonReader::real(json, QStringLiteral("amount"));
    data.planName = JsonReader::text(json, QStringLiteral("plan_name"));
    data.planDays = JsonReader::integer(json, QStringLiteral("plan_days"));
    data.paymentMethod = JsonReader::text(json, QStringLiteral("payment_method"));
    data.thirdPartyOrderId = JsonReader::text(json, QStringLiteral("third_party_order_id"));
    data.createdAt = JsonReader::text(json, QStringLiteral("created_at"));
    data.paidAt = JsonReader::text(json, QStringLiteral("paid_at"));
    return data;
}

} // namespace Tavorin::Api::Models
