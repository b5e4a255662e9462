#pragma once

#include "api/models/User.h"
#include "api/services/ServiceCallbacks.h"

#include <QObject>
#include <QString>

namespace Tavorin::Api::Network {
struct ApiResponse;
}

namespace Tavorin::Api::Services {

// Signs the user in and out, registers accounts and refreshes the current user. The signed-in
// state itself lives in TokenManager; the token for requests in HttpClient.
class AuthService : public QObject
{
    Q_OBJECT

public:
    static AuthService *instance();

    void login(const QString &email, const QString &password, const UserCallback &completion);
    void registerUser(const QString &email, const QString &password, const QString &name,
                      const QString &refferCode, const UserCallback &completion);
    // Always ends with (true, "登出成功") and the local sign-out, unless the user signed in again
    // before the answer came: then (false, ...) and the new sign-in stays as it is.
    void logout(const ResultCallback &completion);
    void getCurrentUser(const UserCallback &completion);
    void refreshCurrentUser(const UserCallback &completion);

    // The rule every reply that carries the signed-in user must pass before it is stored.
    static bool isAcceptableUser(const Models::User &user);
    // Such a reply also applies only to the sign-in its request was sent with (`sentWith`, the token
    // then): an answer that comes after a sign-out, or after another account signed in, is dropped
    // with (false, signInChangedText()).
    static bool isCurrentSignIn(const QString &sentWith);
    static QString signInChangedText();

signals:
    void loginSuccess(const Models::User &user);
    void loginFailed(const QString &message);
    void registerSuccess(const Models::User &user);
    void registerFailed(const QString &message);
    void logoutSuccess();
    void userInfoUpdated(const Models::User &user);
    void authenticationRequired();

private:
    explicit AuthService(QObject *parent = nullptr);

    // Returns whether the reply was accepted; `message` and `user` are what the caller was given.
    bool handleAuthResponse(const Network::ApiResponse &response, const UserCallback &completion,
                            QString *message, Models::User *user);
};

} // namespace Tavorin::Api::Services
