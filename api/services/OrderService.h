#pragma once

#include "api/models/Order.h"
#include "api/models/OrderListResponse.h"
#include "api/models/PaginationMeta.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

namespace Tavorin::Api::Services {

using OrderPageCallback =
    std::function<void(bool success, const QString &message, const Models::OrderListResponse &response)>;
using OrderListCallback =
    std::function<void(bool success, const QString &message, const QList<Models::Order> &orders)>;

// The signed-in user's order history, page by page; pages since the last first page accumulate.
class OrderService : public QObject
{
    Q_OBJECT

public:
    static OrderService *instance();

    void getOrders(int page, int perPage, const OrderPageCallback &completion);
    void getAllOrders(const OrderListCallback &completion);
    void clearCache();

    QList<Models::Order> getCachedOrders() const { return cachedOrders; }
    Models::PaginationMeta getPagination() const { return pagination; }

signals:
    void ordersUpdated(const QList<Models::Order> &orders);

private:
    explicit OrderService(QObject *parent = nullptr);

    QList<Models::Order> cachedOrders;
    Models::PaginationMeta pagination;
};

} // namespace Tavorin::Api::Services
