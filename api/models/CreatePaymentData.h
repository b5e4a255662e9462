#pragma once

#include <QJsonObject>
#include <QMetaType>
#include <QString>

namespace Tavorin::Api::Models {

// A created payment order: the order number to poll and the page the user pays on.
struct CreatePaymentData
{
    QString orderId;
    QString paymentUrl;
    double amount = 0;
    QString planName;
    int planDays = 0;

    static CreatePaymentData fromJson(const QJsonObject &json);
};

} // namespace Tavorin::Api::Models

Q_DECLARE_METATYPE(Tavorin::Api::Models::CreatePaymentData)
