#include "api/services/PaymentService.h"

#include "api/models/CreatePaymentRequest.h"
#include "api/models/CreatePaymentResponse.h"
#include "api/models/JsonReader.h"
#include "api/models/PaymentStatusResponse.h"
#include "api/network/ApiResponse.h"
#include "api/network/HttpClient.h"
#include "api/security/TokenManager.h"

#include <QDebug>
#include <QTimer>
#include <QUrl>

namespace Tavorin::Api::Services {

using Network::ApiResponse;
using Network::HttpClient;

PaymentService *PaymentService::instance()
{
    static PaymentService *service = new PaymentService();
    return service;
}

PaymentService::PaymentService(QObject *parent) : QObject(parent), pollTimer(new QTimer(this))
{
    qRegisterMetaType<Models::SubscriptionPlan>();
    qRegisterMetaType<QList<Models::SubscriptionPlan>>();
    qRegisterMetaType<Models::CreatePaymentData>();
    qRegisterMetaType<Models::PaymentStatusData>();
    pollTimer->setInterval(defaultPollIntervalMs);
    connect(pollTimer, &QTimer::timeout, this, &PaymentService::onPollTick);
    qDebug().noquote() << "[PaymentService] 初始化完成";
}

PaymentService::~PaymentService()
{
    stopPolling();
}

bool PaymentService::isCompletedStatus(const QString &status)
{
    // The service speaks of a finished order as "completed" in one place and "paid" in another.
    return status == QLatin1String("completed") || status == QLatin1String("paid");
}

bool PaymentService::isFailedStatus(const QString &status)
{
    return status == QLatin1String("cancelled") || status == QLatin1String("refunded") ||
           status == QLatin1String("failed");
}

void PaymentService::setPollIntervalMs(int milliseconds)
{
    pollTimer->setInterval(milliseconds);
}

void PaymentService::setPollLimit(int limit)
{
    pollLimit = limit;
}

bool PaymentService::isPolling() const
{
    return pollTimer->isActive();
}

void PaymentService::getSubscriptionPlans(const PlanListCallback &completion)
{
    qDebug().noquote() << "[PaymentService] 获取订阅套餐列表";
    HttpClient::instance()->getWithoutAuth(
        QStringLiteral("plans"), [this, completion](const ApiResponse &response) {
            if (!response.isSuccess()) {
                const QString message = response.getErrorMessage();
                if (completion)
                    completion(false, message, {});
                qWarning().noquote() << "[PaymentService] 获取套餐列表失败:" << message;
                return;
            }
            QList<Models::SubscriptionPlan> plans;
            const QList<QJsonObject> elements =
                Models::JsonReader::objects(response.json, QStringLiteral("data"));
            for (const QJsonObject &element : elements)
                plans.append(Models::SubscriptionPlan::fromJson(element));
            cachedPlans = plans;
            if (completion)
                completion(true, QStringLiteral("获取成功"), plans);
            emit plansUpdated(plans);
            qDebug().noquote() << "[PaymentService] 套餐列表获取成功, 数量:" << plans.size();
        });
}

void PaymentService::createPayment(int planId, const QString &paymentMethod,
                                   const CreatePaymentCallback &completion)
{
    qDebug().noquote() << "[PaymentService] 创建支付订单, 套餐ID:" << planId
                       << ", 支付方式:" << paymentMethod;
    Models::CreatePaymentRequest request;
    request.planId = planId;
    request.paymentMethod = paymentMethod;
    request.deviceId = Security::TokenManager::instance()->getDeviceId();
    HttpClient::instance()->post(
        QStringLiteral("payments/create"), request.toJson(), [this, completion](const ApiResponse &response) {
            QString failure;
            Models::CreatePaymentResponse created;
            if (!response.isSuccess()) {
                failure = response.getErrorMessage();
            } else {
                created = Models::CreatePaymentResponse::fromJson(response.json);
                // Without an order to poll and a page to pay on there is nothing the user can do.
                if (created.data.orderId.isEmpty() || created.data.paymentUrl.isEmpty())
                    failure = QStringLiteral("响应数据无效");
            }
            if (!failure.isEmpty()) {
                if (completion)
                    completion(false, failure, Models::CreatePaymentData());
                qWarning().noquote() << "[PaymentService] 创建支付订单失败:" << failure;
                return;
            }
            if (completion)
                completion(true, created.message, created.data);
            emit paymentCreated(created.data);
            qDebug().noquote() << "[PaymentService] 支付订单创建成功:" << created.data.orderId;
        });
}

void PaymentService::getPaymentStatus(const QString &orderId, const PaymentStatusCallback &completion)
{
    qDebug().noquote() << "[PaymentService] 查询支付状态:" << orderId;
    // The order id goes into the path as exactly one segment, whatever characters it holds.
    const QString segment = QString::fromLatin1(QUrl::toPercentEncoding(orderId));
    HttpClient::instance()->get(
        QStringLiteral("%1/%2").arg(QStringLiteral("payments/status"), segment),
        [orderId, completion](const ApiResponse &response) {
            if (!completion)
                return;
            if (!response.isSuccess()) {
                completion(false, response.getErrorMessage(), Models::PaymentStatusData());
                return;
            }
            const Models::PaymentStatusData data =
                Models::PaymentStatusResponse::fromJson(response.json).data;
            // An answer about another order says nothing about this one, however final its word.
            if (!data.orderId.isEmpty() && data.orderId != orderId) {
                qWarning().noquote() << "[PaymentService] 支付状态的订单号不符:" << data.orderId << "查询的是"
                                     << orderId;
                completion(false, QStringLiteral("响应数据无效"), Models::PaymentStatusData());
                return;
            }
            completion(true, QStringLiteral("查询成功"), data);
        });
}

bool PaymentService::isCurrentPolling(const QString &orderId) const
{
    return pollTimer->isActive() && orderId == pollingOrderId;
}

void PaymentService::startPolling(const QString &orderId, const PaymentStatusCallback &status,
                                  const VoidCallback &completed, const VoidCallback &failed)
{
    stopPolling();
    pollingOrderId = orderId;
    statusCallback = status;
    completedCallback = completed;
    failedCallback = failed;
    pollCount = 0;
    // The first answer only informs the caller; the order's final word is taken from the timer's queries.
    getPaymentStatus(orderId, [this, orderId, status](bool success, const QString &message,
                                                      const Models::PaymentStatusData &data) {
        if (!isCurrentPolling(orderId)) {
            qDebug().noquote() << "[PaymentService] 忽略过期的支付状态:" << orderId;
            return;
        }
        if (status)
            status(success, message, data);
    });
    pollTimer->start();
    qDebug().noquote() << "[PaymentService] 开始轮询支付状态:" << orderId;
}

void PaymentService::onPollTick()
{
    if (pollingOrderId.isEmpty()) {
        stopPolling();
        return;
    }
    if (pollCount < pollLimit) {
        ++pollCount;
        const QString orderId = pollingOrderId;
        getPaymentStatus(orderId, [this, orderId](bool success, const QString &message,
                                                  const Models::PaymentStatusData &data) {
            // An answer about an order that is no longer polled must not complete or fail the one
            // that is.
            if (!isCurrentPolling(orderId)) {
                qDebug().noquote() << "[PaymentService] 忽略过期的支付状态:" << orderId;
                return;
            }
            handlePollStatus(orderId, success, message, data);
        });
        return;
    }
    const VoidCallback failed = failedCallback;
    stopPolling();
    if (failed)
        failed();
}

void PaymentService::handlePollStatus(const QString &orderId, bool success, const QString &message,
                                      const Models::PaymentStatusData &data)
{
    // A copy: the caller's function may stop or restart the polling, which replaces the stored one.
    const PaymentStatusCallback status = statusCallback;
    if (status)
        status(success, message, data);
    emit paymentStatusUpdated(data);
    if (!success || !isCurrentPolling(orderId))
        return;
    if (isCompletedStatus(data.status)) {
        const VoidCallback completed = completedCallback;
        stopPolling();
        emit paymentCompleted(data.orderId);
        if (completed)
            completed();
    } else if (isFailedStatus(data.status)) {
        const VoidCallback failed = failedCallback;
        stopPolling();
        emit paymentFailed(data.orderId, QStringLiteral("支付失败或已取消"));
        if (failed)
            failed();
    }
}

void PaymentService::stopPolling()
{
    if (pollTimer->isActive()) {
        pollTimer->stop();
        qDebug().noquote() << "[PaymentService] 停止轮询支付状态";
    }
    pollingOrderId.clear();
    statusCallback = nullptr;
    completedCallback = nullptr;
    failedCallback = nullptr;
    pollCount = 0;
}

} // namespace Tavorin::Api::Services
