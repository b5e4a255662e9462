#include "api/services/OrderService.h"

#include "api/network/ApiResponse.h"
#include "api/network/HttpClient.h"
#include "api/security/TokenManager.h"
#include "api/services/AuthService.h"

#include <QDebug>

namespace Tavorin::Api::Services {

using Network::ApiResponse;
using Network::HttpClient;
using Security::TokenManager;

OrderService *OrderService::instance()
{
    static OrderService *service = new OrderService();
    return service;
}

OrderService::OrderService(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<Models::Order>();
    qRegisterMetaType<QList<Models::Order>>();
    qRegisterMetaType<Models::OrderListResponse>();
    qDebug().noquote() << "[OrderService] 初始化完成";
}

void OrderService::getOrders(int page, int perPage, const OrderPageCallback &completion)
{
    qDebug().noquote() << "[OrderService] 获取订单列表, 页码:" << page << ", 每页:" << perPage;
    QMap<QString, QString> query;
    query.insert(QStringLiteral("page"), QString::number(page));
    query.insert(QStringLiteral("per_page"), QString::number(perPage));
    // The orders of an account that has signed out since are no one's to see now.
    const QString sentWith = TokenManager::instance()->getToken();
    HttpClient::instance()->get(
        QStringLiteral("orders"),
        [this, page, sentWith, completion](const ApiResponse &response) {
            if (!AuthService::isCurrentSignIn(sentWith)) {
                if (completion)
                    completion(false, AuthService::signInChangedText(), Models::OrderListResponse());
                qDebug().noquote() << "[OrderService] 订单列表晚于登录状态变化, 已忽略";
                return;
            }
            if (!response.isSuccess()) {
                const QString message = response.getErrorMessage();
                if (completion)
                    completion(false, message, Models::OrderListResponse());
                qWarning().noquote() << "[OrderService] 获取订单列表失败:" << message;
                return;
            }
            const Models::OrderListResponse result = Models::OrderListResponse::fromJson(response.json);
            if (page == 1)
                cachedOrders = result.data;
            else
                cachedOrders.append(result.data);
            pagination = result.meta;
            if (completion)
                completion(true, QStringLiteral("获取成功"), result);
            emit ordersUpdated(cachedOrders);
            qDebug().noquote() << "[OrderService] 订单列表获取成功, 数量:" << result.data.size();
        },
        query);
}

void OrderService::getAllOrders(const OrderListCallback &completion)
{
    getOrders(1, 100,
              [completion](bool success, const QString &message, const Models::OrderListResponse &response) {
                  if (completion)
                      completion(success, message, response.data);
              });
}

void OrderService::clearCache()
{
    cachedOrders.clear();
    pagination = Models::PaginationMeta();
    qDebug().noquote() << "[OrderService] 订单缓存已清除";
}

} // namespace Tavorin::Api::Services
