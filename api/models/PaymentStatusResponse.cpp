#include "api/models/PaymentStatusResponse.h"

#include "api/models/JsonReader.h"

namespace Tavorin::Api::Models {

PaymentStatusResponse PaymentStatusResponse::fromJson(const QJsonObject &json)
{
    PaymentStatusResponse response;
    response.success = JsonReader::boolean(json, QStringLiteral("success"));
    if (json.value(QStringLiteral("data")).isObject())
        response.data = PaymentStatusData::fromJson(JsonReader::object(json, QStringLiteral("data")));
    return response;
}

} // namespace Tavorin::Api::Models
