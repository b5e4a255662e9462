#include "Trials.h"

#include "Configuration.h"
#include "WireFormat.h"

#include <algorithm>

namespace MirevoDev {

using WireFormat::isoOrNull;

DevReply Trials::status(const Accounts::Account &account) const
{
    const bool freeEnabled = configuration.flag(QStringLiteral("free_trial_enabled"));
    const double remaining = Accounts::trialHoursRemaining(account);
    const int hoursTotal = account.trialUsed ? account.trialHoursTotal
                                             : configuration.number(QStringLiteral("free_trial_duration"), 0);
    const QJsonObject trial{{QStringLiteral("enabled"), freeEnabled},
                            {QStringLiteral("available"), freeEnabled && !account.trialUsed},
                            {QStringLiteral("used"), account.trialUsed},
                            {QStringLiteral("expires_at"), isoOrNull(account.trialExpiresAt)},
                            {QStringLiteral("hours_total"), hoursTotal},
                            {QStringLiteral("hours_used"), Accounts::trialHoursUsed(account, remaining)},
                            {QStringLiteral("hours_remaining"), remaining}};
    const bool vip = Accounts::isVip(account);
    int daysRemaining = 0;
    if (vip) {
        const qint64 seconds = QDateTime::currentDateTimeUtc().secsTo(account.vipExpiresAt);
        daysRemaining = static_cast<int>((seconds + 86399) / 86400);
    }
    const QJsonObject vipTrial{
        {QStringLiteral("enabled"), configuration.flag(QStringLiteral("vip_trial_enabled"))},
        {QStringLiteral("is_vip"), vip},
        {QStringLiteral("expires_at"), isoOrNull(account.vipExpiresAt)},
        {QStringLiteral("days_remaining"), daysRemaining}};
    return DevReply::success(QStringLiteral("获取成功"),
                             QJsonObject{{QStringLiteral("trial"), trial},
                                         {QStringLiteral("vip"), vipTrial},
                                         {QStringLiteral("account_status"), account.status}});
}

DevReply Trials::activateFree(Accounts::Account &account) const
{
    if (!configuration.flag(QStringLiteral("free_trial_enabled")))
        return DevReply::failure(403, QStringLiteral("免费体验暂未开放"));
    if (account.trialUsed)
        return DevReply::failure(422, QStringLiteral("您已使用过免费体验"));
    const int hours = std::max(1, configuration.number(QStringLiteral("free_trial_duration"), 2));
    account.trialUsed = true;
    account.trialHoursTotal = hours;
    account.trialExpiresAt = WireFormat::now().addSecs(hours * 3600);
    return DevReply::success(QStringLiteral("免费体验已激活"), Accounts::userJson(account));
}

DevReply Trials::activateVip(Accounts::Account &account) const
{
    if (!configuration.flag(QStringLiteral("vip_trial_enabled")))
        return DevReply::failure(403, QStringLiteral("VIP体验暂未开放"));
    if (account.vipTrialUsed)
        return DevReply::failure(422, QStringLiteral("您已使用过VIP体验"));
    const int days = std::max(1, configuration.number(QStringLiteral("vip_trial_duration"), 1));
    account.vipTrialUsed = true;
    Accounts::extendVip(account, days);
    return DevReply::success(QStringLiteral("VIP体验已激活"), Accounts::userJson(account));
}

} // namespace MirevoDev
