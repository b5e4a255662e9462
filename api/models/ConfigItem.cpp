#include "api/models/ConfigItem.h"

#include "api/models/JsonReader.h"

namespace Tavorin::Api::Models {

ConfigItem ConfigItem::fromJson(const QJsonObject &item)
{
    ConfigItem result;
    result.name = JsonReader::text(item, QStringLiteral("name"));
    result.description = JsonReader::text(item, QStringLiteral("description"));
    result.type = JsonReader::text(item, QStringLiteral("type"));
    const QString key = QStringLiteral("value");
    if (result.type == QLatin1String("boolean"))
        result.value = JsonReader::boolean(item, key);
    else if (result.type == QLatin1String("number"))
        result.value = JsonReader::real(item, key);
    else if (result.type == QLatin1String("json"))
        result.value = JsonReader::object(item, key);
    else
        result.value = JsonReader::text(item, key);
    return result;
}

} // namespace Tavorin::Api::Models
