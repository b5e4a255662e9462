#include "api/models/OrderListResponse.h"

#include "api/models/JsonReader.h"

namespace Tavorin::Api::Models {

OrderListResponse OrderListResponse::fromJson(const QJsonObject &json)
{
    OrderListResponse response;
    response.success = JsonReader::boolean(json, QStringLiteral("success"));
    response.data = parseOrders(json.value(QStringLiteral("data")).toArray());
    if (json.value(QStringLiteral("meta")).isObject())
        response.meta = PaginationMeta::fromJson(JsonReader::object(json, QStringLiteral("meta")));
    if (json.value(QStringLiteral("links")).isObject())
        response.links = PaginationLinks::fromJson(JsonReader::object(json, QStringLiteral("links")));
    return response;
}

QList<Order> OrderListResponse::parseOrders(const QJsonArray &array)
{
    QList<Order> orders;
    for (const QJsonValue &element : array) {
        if (element.isObject())
            orders.append(Order::fromJson(element.toObject()));
    }
    return orders;
}

} // namespace Tavorin::Api::Models
