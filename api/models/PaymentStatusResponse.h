#pragma once

#include "api/models/PaymentStatusData.h"

#include <QJsonObject>

namespace Tavorin::Api::Models {

// The whole reply body of a status query.
struct PaymentStatusResponse
{
    bool success = false;
    PaymentStatusData data;

    static PaymentStatusResponse fromJson(const QJsonObject &json);
};

} // namespace Tavorin::Api::Models
