#include "api/models/Order.h"

#include "api/models/JsonReader.h"

namespace Tavorin::Api::Models {

Order Order::fromJson(const QJsonObject &json)
{
    Order order;
    order.id = JsonReader::integer(json, QStringLiteral("id"));
    order.orderNumber = JsonReader::text(json, QStringLiteral("order_number"));
    order.planName = JsonReader::text(json, QStringLiteral("plan_name"));
    order.planDays = JsonReader::integer(json, QStringLiteral("plan_days"));
    order.amount = JsonReader::real(json, QStringLiteral("amount"));
    order.paymentCurrency = JsonReader::text(json, QStringLiteral("payment_currency"));
    order.paymentMethod = JsonReader::text(json, QStringLiteral("payment_method"));
    order.paymentMethodText = JsonReader::text(json, QStringLiteral("payment_method_text"));
    order.providerCode = JsonReader::text(json, QStringLiteral("provider_code"));
    order.providerName = JsonReader::text(json, QStringLiteral("provider_name"));
    order.thirdPartyOrderId = JsonReader::text(json, QStringLiteral("third_party_order_id"));
    order.paymentId = JsonReader::text(json, QStringLiteral("payment_id"));
    order.status = JsonReader::text(json, QStringLiteral("status"));
    order.statusText = JsonReader::text(json, QStringLiteral("status_text"));
    order.createdAt = JsonReader::dateTime(json, QStringLiteral("created_at"));
    order.paidAt = JsonReader::dateTime(json, QStringLiteral("paid_at"));
    order.updatedAt = JsonReader::dateTime(json, QStringLiteral("updated_at"));
    return order;
}

} // namespace Tavorin::Api::Models
