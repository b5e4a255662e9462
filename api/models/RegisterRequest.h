#pragma once

#include <QJsonObject>
#include <QString>

namespace Tavorin::Api::Models {

// The registration body. An empty referral code goes out as JSON null, which the service reads as
// "no referrer" rather than as a code made of nothing.
struct RegisterRequest
{
    QString email;
    QString password;
    QString passwordConfirmation;
    QString name;
    QString deviceId;
    QString deviceName;
    QString deviceType = QStringLiteral("windows");
    QString equipment = QStringLiteral("Mirevo加速器");
    QString refferCode;

    QJsonObject toJson() const;
};

} // namespace Tavorin::Api::Models
