#pragma once

#include <QJsonObject>
#include <QMetaType>
#include <QString>

namespace Tavorin::Api::Models {

// The payment status of one order.
struct PaymentStatusData
{
    QString orderId;
    QString status;
    double amount = 0;
    QString planName;
    int planDays = 0;
    QString paymentMethod;
    QString thirdPartyOrderId;
    QString createdAt;
    QString paidAt;

    static PaymentStatusData fromJson(const QJsonObject &json);
};

} // namespace Tavorin::Api::Models

Q_DECLARE_METATYPE(Tavorin::Api::Models::PaymentStatusData)
