#pragma once

#include <QJsonObject>
#include <QString>

namespace Tavorin::Api::Models {

// The body that orders a plan.
struct CreatePaymentRequest
{
    int planId = 0;
    QString paymentMethod;
    QString paymentProvider = QStringLiteral("ciyun");
    QString deviceId;
    QString equipment = QStringLiteral("Mirevo加速器");

    QJsonObject toJson() const;
};

} // namespace Tavorin::Api::Models
