#pragma once

#include "api/models/User.h"

#include <QObject>
#include <QString>

namespace Tavorin::Api::Security {

// The signed-in state (token, user, device id) and the keeper of the service's encryption settings.
class TokenManager : public QObject
{
    Q_OBJECT

public:
    static TokenManager *instance();

    QString getToken() const;
    bool isLoggedIn() const;
    Models::User getCurrentUser() const;
    void saveLoginInfo(const QString &token, const Models::User &user);
    void clearLoginInfo();
    void saveUserInfo(const Models::User &user);
    QString getDeviceId();
    QString getDeviceName() const;
    void saveVpnEncryptConfig(const QString &key, bool enabled);
    void saveApiEncryptConfig(const QString &secretKey, bool enabled);
    QString getVpnEncryptKey() const;

    static QString deviceNameFor(const QString &hostName);

signals:
    void tokenChanged();
    void userChanged();
    void loginStateChanged(bool loggedIn);

private:
    explicit TokenManager(QObject *parent = nullptr);

    QString token;
    Models::User currentUser;
    QString deviceId;
};

} // namespace Tavorin::Api::Security
