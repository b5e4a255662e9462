#include "api/models/User.h"

#include "api/models/JsonReader.h"

namespace Tavorin::Api::Models {

namespace {
QJsonValue dateOrNull(const QDateTime &date)
{
    return date.isValid() ? QJsonValue(date.toString(Qt::ISODate)) : QJsonValue(QJsonValue::Null);
}
} // namespace

User User::fromJson(const QJsonObject &json)
{
    User user;
    user.id = JsonReader::integer(json, QStringLiteral("id"));
    user.email = JsonReader::text(json, QStringLiteral("email"));
    user.name = JsonReader::text(json, QStringLiteral("name"));
    user.status = JsonReader::text(json, QStringLiteral("status"));
    user.isVip = JsonReader::boolean(json, QStringLiteral("is_vip"));
    user.vipExpiresAt = JsonReader::dateTime(json, QStringLiteral("vip_expires_at"));
    user.trialUsed = JsonReader::boolean(json, QStringLiteral("trial_used"));
    user.trialExpiresAt = JsonReader::dateTime(json, QStringLiteral("trial_expires_at"));
    user.trialHoursTotal = JsonReader::integer(json, QStringLiteral("trial_hours_total"));
    user.trialHoursUsed = JsonReader::real(json, QStringLiteral("trial_hours_used"));
    user.trialHoursRemaining = JsonReader::real(json, QStringLiteral("trial_hours_remaining"));
    user.createdAt = JsonReader::dateTime(json, QStringLiteral("created_at"));
    if (json.value(QStringLiteral("stats")).isObject()) {
        const QJsonObject stats = JsonReader::object(json, QStringLiteral("stats"));
        user.totalUpload = JsonReader::lenientInteger64(stats, QStringLiteral("total_upload"));
        user.totalDownload = JsonReader::lenientInteger64(stats, QStringLiteral("total_download"));
        user.totalTime = JsonReader::integer(stats, QStringLiteral("total_time"));
    }
    return user;
}

QJsonObject User::toJson() const
{
    QJsonObject json;
    json.insert(QStringLiteral("id"), id);
    json.insert(QStringLiteral("email"), email);
    json.insert(QStringLiteral("name"), name);
    json.insert(QStringLiteral("status"), status);
    json.insert(QStringLiteral("is_vip"), isVip);
    json.insert(QStringLiteral("vip_expires_at"), dateOrNull(vipExpiresAt));
    json.insert(QStringLiteral("trial_used"), trialUsed);
    json.insert(QStringLiteral("trial_expires_at"), dateOrNull(trialExpiresAt));
    json.insert(QStringLiteral("trial_hours_total"), trialHoursTotal);
    json.insert(QStringLiteral("trial_hours_used"), trialHoursUsed);
    json.insert(QStringLiteral("trial_hours_remaining"), trialHoursRemaining);
    if (createdAt.isValid())
        json.insert(QStringLiteral("created_at"), createdAt.toString(Qt::ISODate));
    if (totalUpload > 0 || totalDownload > 0 || totalTime > 0) {
        json.insert(QStringLiteral("stats"), QJsonObject{{QStringLiteral("total_upload"), totalUpload},
                                                         {QStringLiteral("total_download"), totalDownload},
                                                         {QStringLiteral("total_time"), totalTime}});
    } else {
        json.insert(QStringLiteral("stats"), QJsonValue::Null);
    }
    return json;
}

bool User::isVipValid() const
{
    return isVip && vipExpiresAt.isValid() && vipExpiresAt > QDateTime::currentDateTimeUtc();
}

} // namespace Tavorin::Api::Models
