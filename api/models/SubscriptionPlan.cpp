#include "api/models/SubscriptionPlan.h"

#include "api/models/JsonReader.h"

namespace Tavorin::Api::Models {

SubscriptionPlan SubscriptionPlan::fromJson(const QJsonObject &json)
{
    SubscriptionPlan plan;
    plan.id = JsonReader::integer(json, QStringLiteral("id"));
    plan.name = JsonReader::text(json, QStringLiteral("name"));
    plan.description = JsonReader::text(json, QStringLiteral("description"));
    plan.days = JsonReader::integer(json, QStringLiteral("days"));
    plan.daysText = JsonReader::text(json, QStringLiteral("days_text"));
    plan.price = JsonReader::real(json, QStringLiteral("price"));
    plan.currency = JsonReader::text(json, QStringLiteral("currency"));
    plan.formattedPrice = JsonReader::text(json, QStringLiteral("formatted_price"));
    plan.isActive = JsonReader::boolean(json, QStringLiteral("is_active"), plan.isActive);
    plan.sortOrder = JsonReader::integer(json, QStringLiteral("sort_order"));
    plan.createdAt = JsonReader::text(json, QStringLiteral("created_at"));
    plan.updatedAt = JsonReader::text(json, QStringLiteral("updated_at"));
    return plan;
}

} // namespace Tavorin::Api::Models
