#include "app/ApiManager.h"

#include "api/network/HttpClient.h"
#include "api/security/TokenManager.h"
#include "api/services/AuthService.h"
#include "api/services/ConfigService.h"
#include "api/services/HeartbeatService.h"
#include "api/services/OrderService.h"
#include "api/services/PaymentService.h"
#include "api/services/ServerService.h"

#include <QDateTime>
#include <QDebug>

namespace Tavorin::Api {

using Network::HttpClient;
using Security::TokenManager;
using namespace Services;

ApiManager *ApiManager::instance()
{
    static ApiManager *manager = [] {
        auto *created = new ApiManager();
        created->setupConnections();
        qDebug() << "[ApiManager] 创建完成";
        return created;
    }();
    return manager;
}

ApiManager::ApiManager(QObject *parent) : QObject(parent) {}

ApiManager::~ApiManager()
{
    qDebug() << "[ApiManager] 销毁";
}

void ApiManager::initialize(const InitializeCallback &completion)
{
    qDebug() << "[ApiManager] 开始初始化API模块";
    restoreLoginState();
    ConfigService::instance()->initialize([this, completion](bool success) {
        initSucceeded = success;
        if (success) {
            qDebug() << "[ApiManager] API模块初始化成功";
            if (ConfigService::instance()->isMaintenanceMode())
                emit maintenanceModeEntered();
        } else {
            qWarning() << "[ApiManager] API模块初始化失败";
        }
        emit initialized(success);
        if (completion)
            completion(success);
    });
}

void ApiManager::restoreLoginState()
{
    const QString token = TokenManager::instance()->getToken();
    if (token.isEmpty())
        return;
    HttpClient::instance()->setAuthToken(token);
    qDebug() << "[ApiManager] 恢复登录状态成功";
    AuthService::instance()->refreshCurrentUser([](bool success, const QString &, const Models::User &user) {
        if (success)
            qDebug().noquote() << "[ApiManager] 用户信息刷新成功:" << user.email;
        else
            qWarning() << "[ApiManager] 用户信息刷新失败，Token可能已过期";
    });
}

void ApiManager::login(const QString &email, const QString &password, const UserCallback &completion)
{
    AuthService::instance()->login(email, password, completion);
}

void ApiManager::loginUser(const QString &email, const QString &password)
{
    AuthService::instance()->login(email, password,
                                   [this](bool success, const QString &message, const Models::User &) {
                                       if (!success)
                                           emit loginError(message);
                                   });
}

void ApiManager::registerUser(const QString &email, const QString &password, const QString &name,
                              const QString &refferCode, const UserCallback &completion)
{
    AuthService::instance()->registerUser(email, password, name, refferCode, completion);
}

void ApiManager::logout(const ResultCallback &completion)
{
    HeartbeatService::instance()->stopAutoHeartbeat();
    AuthService::instance()->logout([this, completion](bool success, const QString &message) {
        // Not done: the user signed in again meanwhile, and what is cached belongs to that sign-in.
        if (!success) {
            if (completion)
                completion(false, message);
            return;
        }
        PaymentService::instance()->stopPolling();
        ServerService::instance()->clearCache();
        OrderService::instance()->clearCache();
        if (completion)
            completion(success, message);
        emit loginStateChanged(false);
    });
}

bool ApiManager::canConnect() const
{
    return canConnect(getCurrentUser());
}

bool ApiManager::canConnect(const Models::User &user)
{
    if (user.status != QLatin1String("active"))
        return false;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const bool trialRunning = user.trialUsed && user.trialExpiresAt.isValid() && user.trialExpiresAt > now &&
                              user.trialHoursRemaining > 0;
    return user.isVipValid() || trialRunning;
}

Models::User ApiManager::getCurrentUser() const
{
    return TokenManager::instance()->getCurrentUser();
}

bool ApiManager::isLoggedIn() const
{
    return TokenManager::instance()->isLoggedIn();
}

void ApiManager::setupConnections()
{
    AuthService *auth = AuthService::instance();
    connect(auth, &AuthService::loginSuccess, this, [this]() { emit loginStateChanged(true); });
    connect(auth, &AuthService::logoutSuccess, this, [this]() { emit loginStateChanged(false); });
    connect(auth, &AuthService::authenticationRequired, this, &ApiManager::authenticationRequired);
    connect(ConfigService::instance(), &ConfigService::maintenanceModeEntered, this,
            &ApiManager::maintenanceModeEntered);
    connect(HttpClient::instance(), &HttpClient::networkError, this, &ApiManager::networkError);
    connect(HttpClient::instance(), &HttpClient::authenticationRequired, this,
            &ApiManager::authenticationRequired);
    connect(TokenManager::instance(), &TokenManager::loginStateChanged, this, &ApiManager::loginStateChanged);
}

} // namespace Tavorin::Api
