#pragma once

#include "api/models/Order.h"
#include "api/models/PaginationLinks.h"
#include "api/models/PaginationMeta.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMetaType>

namespace Tavorin::Api::Models {

// One page of the order history, read from the whole reply body.
struct OrderListResponse
{
    bool success = false;
    QList<Order> data;
    PaginationMeta meta;
    PaginationLinks links;

    static OrderListResponse fromJson(const QJsonObject &json);
    static QList<Order> parseOrders(const QJsonArray &array);
};

} // namespace Tavorin::Api::Models

Q_DECLARE_METATYPE(Tavorin::Api::Models::OrderListResponse)
