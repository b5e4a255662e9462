#pragma once

#include <QJsonObject>
#include <QString>

namespace Tavorin::Api::Models {

// The sign-in body; the device fields bind the session to this installation.
struct LoginRequest
{
    QString email;
    QString password;
    QString deviceId;
    QString deviceName;
    QString deviceType = QStringLiteral("windows");

    QJsonObject toJson() const;
};

} // namespace Tavorin::Api::Models
