#pragma once

#include "Accounts.h"
#include "DevReply.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace MirevoDev {

// VIP plans and their payments: creating an order, its status, the payment page with its QR picture,
// and the status moves that add (or, on a refund, take back) the plan's days of VIP.
class Payments
{
public:
    struct Plan
    {
        int id = 0;
        QString name;
        QString description;
        int days = 0;
        double price = 0;
        QString currency = QStringLiteral("CNY");
        int sortOrder = 0;
        QDateTime createdAt;
    };
    struct Payment
    {
        int id = 0;
        QString orderId;
        int accountId = 0;
        int planId = 0;
        QString planName;
        int planDays = 0;
        double amount = 0;
        QString currency = QStringLiteral("CNY");
        QString method;
        QString provider;
        QString deviceId;
        QString status = QStringLiteral("pending");
        QString thirdPartyOrderId;
        QDateTime createdAt;
        QDateTime paidAt;
        QDateTime updatedAt;
    };

    explicit Payments(Accounts &accountBook) : accounts(accountBook) { reset(); }
    // The seeded plans, no payments.
    void reset();

    DevReply plans() const;
    // publicRoot: http://127.0.0.1:PORT, the root of the payment page and its QR picture.
    DevReply create(const Accounts::Session &session, const QJsonObject &body, const QString &publicRoot);
    DevReply status(const Accounts::Account &account, const QString &orderId) const;

    // The payment page, its QR picture and the page's buttons, outside /api/v1.
    DevReply page(const QString &orderId) const;
    DevReply qr(const QString &orderId, const QString &publicRoot) const;
    DevReply confirm(const QString &orderId, const QByteArray &formBody);

    // Control operations; each answers an error text, empty on success.
    QString setStatus(const QString &orderId, const QString &status);
    QJsonArray list() const;
    QString addOrders(const QJsonObject &request, QJsonArray *orderIds);

    const QList<Payment> &all() const { return payments; }

    // What a restart keeps: every payment and the numbering of orders.
    QJsonObject saved() const;
    bool restore(const QJsonObject &saved, QString *error);

private:
    const Plan *planById(int id) const;
    const Payment *byOrderId(const QString &orderId) const;
    Payment *byOrderId(const QString &orderId);
    Payment &append(int accountId, const Plan &plan, const QString &method);
    void applyStatus(Payment &payment, const QString &status);
    // The provider's order number comes with the payment.
    static void markPaid(Payment &payment, const QDateTime &at);
    static QJsonObject statusJson(const Payment &payment);

    Accounts &accounts;
    QList<Plan> planList;
    QList<Payment> payments;
    int nextPaymentId = 1;
    int orderSequence = 0;
};

} // namespace MirevoDev
