#include "api/models/TrialStatus.h"

#include "api/models/JsonReader.h"

namespace Tavorin::Api::Models {

TrialStatus TrialStatus::fromJson(const QJsonObject &data)
{
    TrialStatus status;
    if (data.value(QStringLiteral("trial")).isObject()) {
        const QJsonObject trial = JsonReader::object(data, QStringLiteral("trial"));
        status.trialEnabled = JsonReader::boolean(trial, QStringLiteral("enabled"));
        status.trialAvailable = JsonReader::boolean(trial, QStringLiteral("available"));
        status.trialUsed = JsonReader::boolean(trial, QStringLiteral("used"));
        status.trialExpiresAt = JsonReader::text(trial, QStringLiteral("expires_at"));
        status.trialHoursTotal = JsonReader::integer(trial, QStringLiteral("hours_total"));
        status.trialHoursUsed = JsonReader::real(trial, QStringLiteral("hours_used"));
        status.trialHoursRemaining = JsonReader::real(trial, QStringLiteral("hours_remaining"));
    }
    if (data.value(QStringLiteral("vip")).isObject()) {
        const QJsonObject vip = JsonReader::object(data, QStringLiteral("vip"));
        status.vipEnabled = JsonReader::boolean(vip, QStringLiteral("enabled"));
        status.isVip = JsonReader::boolean(vip, QStringLiteral("is_vip"));
        status.vipExpiresAt = JsonReader::text(vip, QStringLiteral("expires_at"));
        status.vipDaysRemaining = JsonReader::integer(vip, QStringLiteral("days_remaining"));
    }
    status.accountStatus = JsonReader::text(data, QStringLiteral("account_status"));
    return status;
}

} // namespace Tavorin::Api::Models
