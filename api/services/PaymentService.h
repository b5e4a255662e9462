#pragma once

#include "api/models/CreatePaymentData.h"
#include "api/models/PaymentStatusData.h"
#include "api/models/SubscriptionPlan.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QTimer;

namespace Tavorin::Api::Services {

using PlanListCallback =
    std::function<void(bool success, const QString &message, const QList<Models::SubscriptionPlan> &plans)>;
using CreatePaymentCallback =
    std::function<void(bool success, const QString &message, const Models::CreatePaymentData &data)>;
using PaymentStatusCallback =
    std::function<void(bool success, const QString &message, const Models::PaymentStatusData &data)>;
using VoidCallback = std::function<void()>;

// VIP plans, payment orders and the polling of one order's status until it is paid or given up.
class PaymentService : public QObject
{
    Q_OBJECT

public:
    static constexpr int defaultPollIntervalMs = 5000;
    static constexpr int defaultPollLimit = 60;

    static PaymentService *instance();
    ~PaymentService() override;

    void getSubscriptionPlans(const PlanListCallback &completion);
    void createPayment(int planId, const QString &paymentMethod, const CreatePaymentCallback &completion);
    void getPaymentStatus(const QString &orderId, const PaymentStatusCallback &completion);
    void startPolling(const QString &orderId, const PaymentStatusCallback &status,
                      const VoidCallback &completed, const VoidCallback &failed);
    void stopPolling();

    QList<Models::SubscriptionPlan> getCachedPlans() const { return cachedPlans; }
    bool isPolling() const;
    QString getPollingOrderId() const { return pollingOrderId; }

    // Seams for tests: the product polls every 5000 ms, at most 60 times.
    void setPollIntervalMs(int milliseconds);
    void setPollLimit(int limit);

    // Status words that end a polling.
    static bool isCompletedStatus(const QString &status);
    static bool isFailedStatus(const QString &status);

signals:
    void plansUpdated(const QList<Models::SubscriptionPlan> &plans);
    void paymentCreated(const Models::CreatePaymentData &data);
    void paymentStatusUpdated(const Models::PaymentStatusData &data);
    void paymentCompleted(const QString &orderNumber);
    void paymentFailed(const QString &orderNumber, const QString &message);

private:
    explicit PaymentService(QObject *parent = nullptr);

    void onPollTick();
    void handlePollStatus(const QString &orderId, bool success, const QString &message,
                          const Models::PaymentStatusData &data);
    // Whether an answer about `orderId` still belongs to the polling that runs now.
    bool isCurrentPolling(const QString &orderId) const;

    QList<Models::SubscriptionPlan> cachedPlans;
    QTimer *pollTimer;
    QString pollingOrderId;
    int pollCount = 0;
    PaymentStatusCallback statusCallback;
    VoidCallback completedCallback;
    VoidCallback failedCallback;
    int pollLimit = defaultPollLimit;
};

} // namespace Tavorin::Api::Services
