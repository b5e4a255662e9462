#pragma once

#include "api/models/CreatePaymentData.h"

#include <QJsonObject>
#include <QString>

namespace Tavorin::Api::Models {

// The whole reply body of an order creation.
struct CreatePaymentResponse
{
    bool success = false;
    QString message;
    CreatePaymentData data;

    static CreatePaymentResponse fromJson(const QJsonObject &json);
};

} // namespace Tavorin::Api::Models
