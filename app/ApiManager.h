#pragma once

#include "api/models/User.h"
#include "api/services/ServiceCallbacks.h"

#include <QObject>
#include <QString>

namespace Tavorin::Api {

// The one object between the QML facade and the services: start-up initialisation, sign-in and
// sign-out with their clean-up, and the account rule for connecting.
class ApiManager : public QObject
{
    Q_OBJECT

public:
    static ApiManager *instance();
    ~ApiManager() override;

    void initialize(const Services::InitializeCallback &completion);
    void login(const QString &email, const QString &password, const Services::UserCallback &completion);
    Q_INVOKABLE void loginUser(const QString &email, const QString &password);
    void registerUser(const QString &email, const QString &password, const QString &name,
                      const QString &refferCode, const Services::UserCallback &completion);
    void logout(const Services::ResultCallback &completion);
    bool canConnect() const;
    Models::User getCurrentUser() const;
    bool isLoggedIn() const;

    // The account rule on its own, for the user it is given.
    static bool canConnect(const Models::User &user);

signals:
    void loginError(const QString &message);
    void initialized(bool success);
    void loginStateChanged(bool loggedIn);
    void authenticationRequired();
    void maintenanceModeEntered();
    void networkError(const QString &message);

private:
    explicit ApiManager(QObject *parent = nullptr);
    void setupConnections();
    void restoreLoginState();

    bool initSucceeded = false;
};

} // namespace Tavorin::Api
