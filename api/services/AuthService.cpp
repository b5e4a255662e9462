#include "api/services/AuthService.h"

#include "api/models/JsonReader.h"
#include "api/models/LoginRequest.h"
#include "api/models/RegisterRequest.h"
#include "api/network/ApiResponse.h"
#include "api/network/HttpClient.h"
#include "api/security/TokenManager.h"

#include <QDebug>
#include <QJsonObject>

namespace Tavorin::Api::Services {

using Network::ApiResponse;
using Network::HttpClient;
using Security::TokenManager;

namespace {
const QString invalidReply = QStringLiteral("响应数据无效");
const QString supersededSignOut = QStringLiteral("已重新登录，登出未生效");
} // namespace

AuthService *AuthService::instance()
{
    static AuthService *service = new AuthService();
    return service;
}

AuthService::AuthService(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<Models::User>();
    connect(HttpClient::instance(), &HttpClient::authenticationRequired, this,
            &AuthService::authenticationRequired);
    qDebug().noquote() << "[AuthService] 初始化完成";
}

bool AuthService::isAcceptableUser(const Models::User &user)
{
    return user.id > 0 && !user.email.isEmpty();
}

void AuthService::login(const QString &email, const QString &password, const UserCallback &completion)
{
    qDebug().noquote() << "[AuthService] 开始登录:" << email;
    Models::LoginRequest request;
    request.email = email;
    request.password = password;
    request.deviceId = TokenManager::instance()->getDeviceId();
    request.deviceName = TokenManager::instance()->getDeviceName();
    HttpClient::instance()->postWithoutAuth(QStringLiteral("auth/login"), request.toJson(),
                                            [this, completion](const ApiResponse &response) {
                                                QString message;
                                                Models::User user;
                                                if (handleAuthResponse(response, completion, &message, &user))
                                                    emit loginSuccess(user);
                                                else
                                                    emit loginFailed(message);
                                            });
}

void AuthService::registerUser(const QString &email, const QString &password, const QString &name,
                               const QString &refferCode, const UserCallback &completion)
{
    qDebug().noquote() << "[AuthService] 开始注册用户:" << email;
    Models::RegisterRequest request;
    request.email = email;
    request.password = password;
    request.passwordConfirmation = password;
    request.name = name;
    request.deviceId = TokenManager::instance()->getDeviceId();
    request.deviceName = TokenManager::instance()->getDeviceName();
    request.refferCode = refferCode;
    HttpClient::instance()->postWithoutAuth(QStringLiteral("auth/register"), request.toJson(),
                                            [this, completion](const ApiResponse &response) {
                                                QString message;
                                                Models::User user;
                                                if (handleAuthResponse(response, completion, &message, &user))
                                                    emit registerSuccess(user);
                                                else
                                                    emit registerFailed(message);
                                            });
}

bool AuthService::handleAuthResponse(const ApiResponse &response, const UserCallback &completion,
                                     QString *message, Models::User *user)
{
    if (!response.isSuccess()) {
        *message = response.getErrorMessage();
        *user = Models::User();
        if (completion)
            completion(false, *message, *user);
        qWarning().noquote() << "[AuthService] 登录/注册失败:" << *message;
        return false;
    }
    const QString token = Models::JsonReader::text(response.json, QStringLiteral("token"));
    const Models::User candidate =
        Models::User::fromJson(Models::JsonReader::object(response.json, QStringLiteral("data")));
    // The token goes into the header of every later request: one that could break the header line is
    // no token the client can use.
    if (token.isEmpty() || !HttpClient::isHeaderSafe(token) || !isAcceptableUser(candidate)) {
        *message = invalidReply;
        *user = Models::User();
        if (completion)
            completion(false, *message, *user);
        qWarning().noquote() << "[AuthService] 响应数据无效";
        return false;
    }
    *user = candidate;
    *message = Models::JsonReader::text(response.json, QStringLiteral("message"));
    TokenManager::instance()->saveLoginInfo(token, candidate);
    HttpClient::instance()->setAuthToken(token);
    if (completion)
        completion(true, *message, candidate);
    qDebug().noquote() << "[AuthService] 登录/注册成功:" << candidate.email;
    return true;
}

void AuthService::logout(const ResultCallback &completion)
{
    qDebug().noquote() << "[AuthService] 开始登出";
    // The local sign-out follows whatever the service answers: a user who asks to leave must not stay
    // signed in because the network is down. It ends the sign-in the request was sent for, though: a
    // user who signed in again before the answer came keeps the new sign-in.
    const QString token = TokenManager::instance()->getToken();
    HttpClient::instance()->post(QStringLiteral("auth/logout"), QJsonObject(),
                                 [this, token, completion](const ApiResponse &) {
                                     if (TokenManager::instance()->getToken() != token) {
                                         if (completion)
                                             completion(false, supersededSignOut);
                                         qDebug().noquote() << "[AuthService] 登出响应晚于新的登录, 已忽略";
                                         return;
                                     }
                                     TokenManager::instance()->clearLoginInfo();
                                     HttpClient::instance()->clearAuthToken();
                                     if (completion)
                                         completion(true, QStringLiteral("登出成功"));
                                     emit logoutSuccess();
                                     qDebug().noquote() << "[AuthService] 登出完成";
                                 });
}

void AuthService::getCurrentUser(const UserCallback &completion)
{
    qDebug().noquote() << "[AuthService] 获取当前用户信息";
    const QString sentWith = TokenManager::instance()->getToken();
    HttpClient::instance()->get(
        QStringLiteral("auth/me"), [this, sentWith, completion](const ApiResponse &response) {
            if (!isCurrentSignIn(sentWith)) {
                if (completion)
                    completion(false, signInChangedText(), Models::User());
                qDebug().noquote() << "[AuthService] 用户信息晚于登录状态变化, 已忽略";
                return;
            }
            if (!response.isSuccess()) {
                const QString message = response.getErrorMessage();
                if (completion)
                    completion(false, message, Models::User());
                qWarning().noquote() << "[AuthService] 获取用户信息失败:" << message;
                return;
            }
            const Models::User user =
                Models::User::fromJson(Models::JsonReader::object(response.json, QStringLiteral("data")));
            // A reply without a usable user must not overwrite the stored one: that would sign the user
            // out without a word.
            if (!isAcceptableUser(user)) {
                if (completion)
                    completion(false, invalidReply, Models::User());
                qWarning().noquote() << "[AuthService] 获取用户信息失败:" << invalidReply;
                return;
            }
            TokenManager::instance()->saveUserInfo(user);
            if (completion)
                completion(true, QStringLiteral("获取成功"), user);
            emit userInfoUpdated(user);
            qDebug().noquote() << "[AuthService] 用户信息获取成功:" << user.email;
        });
}

bool AuthService::isCurrentSignIn(const QString &sentWith)
{
    return !sentWith.isEmpty() && TokenManager::instance()->getToken() == sentWith;
}

QString AuthService::signInChangedText()
{
    return QStringLiteral("登录状态已变化");
}

void AuthService::refreshCurrentUser(const UserCallback &completion)
{
    getCurrentUser(completion);
}

} // namespace Tavorin::Api::Services
