#include "api/models/PaginationMeta.h"

#include "api/models/JsonReader.h"

namespace Tavorin::Api::Models {

PaginationMeta PaginationMeta::fromJson(const QJsonObject &json)
{
    PaginationMeta meta;
    meta.currentPage = JsonReader::integer(json, QStringLiteral("current_page"), meta.currentPage);
    meta.from = JsonReader::integer(json, QStringLiteral("from"), meta.from);
    meta.lastPage = JsonReader::integer(json, QStringLiteral("last_page"), meta.lastPage);
    meta.perPage = JsonReader::integer(json, QStringLiteral("per_page"), meta.perPage);
    meta.to = JsonReader::integer(json, QStringLiteral("to"), meta.to);
    meta.total = JsonReader::integer(json, QStringLiteral("total"), meta.total);
    return meta;
}

} // namespace Tavorin::Api::Models
