#include "api/models/Announcement.h"

#include "api/models/JsonReader.h"

namespace Tavorin::Api::Models {

Announcement Announcement::fromJson(const QJsonObject &json)
{
    Announcement announcement;
    announcement.id = JsonReader::integer(json, QStringLiteral("id"));
    announcement.title = JsonReader::text(json, QStringLiteral("title"));
    announcement.content = JsonReader::text(json, QStringLiteral("content"));
    announcement.type = JsonReader::text(json, QStringLiteral("type"));
    announcement.publishedAt = JsonReader::dateTime(json, QStringLiteral("published_at"));
    announcement.createdAt = JsonReader::dateTime(json, QStringLiteral("created_at"));
    return announcement;
}

} // namespace Tavorin::Api::Models
