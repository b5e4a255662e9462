#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QMetaType>
#include <QString>

namespace Tavorin::Api::Models {

// The signed-in account as the service describes it; id 0 with an empty e-mail means "no user".
struct User
{
    int id = 0;
    QString email;
    QString name;
    QString status;
    bool isVip = false;
    QDateTime vipExpiresAt;
    bool trialUsed = false;
    QDateTime trialExpiresAt;
    int trialHoursTotal = 0;
    double trialHoursUsed = 0;
    double trialHoursRemaining = 0;
    QDateTime createdAt;
    qint64 totalUpload = 0;
    qint64 totalDownload = 0;
    int totalTime = 0;

    static User fromJson(const QJsonObject &json);
    QJsonObject toJson() const;
    bool isVipValid() const;
};

} // namespace Tavorin::Api::Models

Q_DECLARE_METATYPE(Tavorin::Api::Models::User)
