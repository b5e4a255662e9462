#include "api/models/CreatePaymentResponse.h"

#include "api/models/JsonReader.h"

namespace Tavorin::Api::Models {

CreatePaymentResponse CreatePaymentResponse::fromJson(const QJsonObject &json)
{
    CreatePaymentResponse response;
    response.success = JsonReader::boolean(json, QStringLiteral("success"));
    response.message = JsonReader::text(json, QStringLiteral("message"));
    if (json.value(QStringLiteral("data")).isObject())
        response.data = CreatePaymentData::fromJson(JsonReader::object(json, QStringLiteral("data")));
    return response;
}

} // namespace Tavorin::Api::Models
