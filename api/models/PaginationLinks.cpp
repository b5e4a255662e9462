#include "api/models/PaginationLinks.h"

#include "api/models/JsonReader.h"

namespace Tavorin::Api::Models {

PaginationLinks PaginationLinks::fromJson(const QJsonObject &json)
{
    PaginationLinks links;
    links.first = JsonReader::text(json, QStringLiteral("first"));
    links.last = JsonReader::text(json, QStringLiteral("last"));
    links.prev = JsonReader::text(json, QStringLiteral("prev"));
    links.next = JsonReader::text(json, QStringLiteral("next"));
    return links;
}

} // namespace Tavorin::Api::Models
