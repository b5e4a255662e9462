#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QMetaType>
#include <QString>

namespace Tavorin::Api::Models {

// One order of the user's history.
struct Order
{
    int id = 0;
    QString orderNumber;
    QString planName;
    int planDays = 0;
    double amount = 0;
    QString paymentCurrency;
    QString paymentMethod;
    QString paymentMethodText;
    QString providerCode;
    QString providerName;
    QString thirdPartyOrderId;
    QString paymentId;
    QString status;
    QString statusText;
    QDateTime createdAt;
    QDateTime paidAt;
    QDateTime updatedAt;

    static Order fromJson(const QJsonObject &json);
};

} // namespace Tavorin::Api::Models

Q_DECLARE_METATYPE(Tavorin::Api::Models::Order)
