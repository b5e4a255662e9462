#pragma once

#include <QJsonObject>
#include <QMetaType>
#include <QString>

namespace Tavorin::Api::Models {

// The account's trial and VIP state as the service reports it.
struct TrialStatus
{
    bool trialEnabled = false;
    bool trialAvailable = false;
    bool trialUsed = false;
    QString trialExpiresAt;
    int trialHoursTotal = 0;
    double trialHoursUsed = 0;
    double trialHoursRemaining = 0;
    bool vipEnabled = false;
    bool isVip = false;
    QString vipExpiresAt;
    int vipDaysRemaining = 0;
    QString accountStatus;

    static TrialStatus fromJson(const QJsonObject &data);
};

} // namespace Tavorin::Api::Models

Q_DECLARE_METATYPE(Tavorin::Api::Models::TrialStatus)
