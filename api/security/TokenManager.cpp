#include "api/security/TokenManager.h"

#include "api/network/HttpClient.h"
#include "api/security/CryptoUtil.h"
#include "api/storage/LocalStorage.h"

#include <QDebug>
#include <QJsonDocument>
#include <QSysInfo>

namespace Tavorin::Api::Security {

using Storage::LocalStorage;

TokenManager *TokenManager::instance()
{
    static TokenManager *manager = new TokenManager();
    return manager;
}

TokenManager::TokenManager(QObject *parent) : QObject(parent)
{
    LocalStorage *storage = LocalStorage::instance();
    token = storage->getString(QStringLiteral("auth_token"));
    // A settings file edited by hand or brought from elsewhere may hold anything: a token that could
    // break the header it goes into starts the client signed out, as if no one had signed in.
    if (!Network::HttpClient::isHeaderSafe(token)) {
        qWarning() << "[TokenManager] 已保存的Token含有请求头不允许的字符, 按未登录处理";
        token.clear();
    } else if (const QString userInfo = storage->getString(QStringLiteral("user_info"));
               !userInfo.isEmpty()) {
        currentUser = Models::User::fromJson(QJsonDocument::fromJson(userInfo.toUtf8()).object());
    }
    deviceId = storage->getString(QStringLiteral("device_id"));
    qDebug() << "[TokenManager] 初始化完成, 已登录:" << isLoggedIn();
}

QString TokenManager::getToken() const
{
    return token;
}

bool TokenManager::isLoggedIn() const
{
    return !token.isEmpty() && currentUser.id > 0 && !currentUser.email.isEmpty();
}

Models::User TokenManager::getCurrentUser() const
{
    return currentUser;
}

void TokenManager::saveLoginInfo(const QString &newToken, const Models::User &user)
{
    token = newToken;
    LocalStorage::instance()->setString(QStringLiteral("auth_token"), token);
    qDebug() << "[TokenManager] Token已保存";
    emit tokenChanged();

    saveUserInfo(user);

    qDebug().noquote() << "[TokenManager] 登录成功:" << user.email;
    emit loginStateChanged(true);
}

void TokenManager::clearLoginInfo()
{
    token.clear();
    LocalStorage::instance()->remove(QStringLiteral("auth_token"));
    qDebug() << "[TokenManager] Token已清除";
    emit tokenChanged();

    currentUser = Models::User();
    LocalStorage::instance()->remove(QStringLiteral("user_info"));
    qDebug() << "[TokenManager] 用户信息已清除";
    emit userChanged();

    qDebug() << "[TokenManager] 已登出";
    emit loginStateChanged(false);
}

void TokenManager::saveUserInfo(const Models::User &user)
{
    currentUser = user;
    LocalStorage::instance()->setString(
        QStringLiteral("user_info"),
        QString::fromUtf8(QJsonDocument(user.toJson()).toJson(QJsonDocument::Compact)));
    qDebug().noquote() << "[TokenManager] 用户信息已保存:" << user.email;
    emit userChanged();
}

QString TokenManager::getDeviceId()
{
    if (!deviceId.isEmpty())
        return deviceId;
    const QString stored = LocalStorage::instance()->getString(QStringLiteral("device_id"));
    if (!stored.isEmpty()) {
        deviceId = stored;
        return deviceId;
    }
    deviceId = CryptoUtil::generateDeviceId();
    LocalStorage::instance()->setString(QStringLiteral("device_id"), deviceId);
    qDebug().noquote() << "[TokenManager] 生成新设备ID:" << deviceId;
    return deviceId;
}

QString TokenManager::getDeviceName() const
{
    return deviceNameFor(QSysInfo::machineHostName());
}

QString TokenManager::deviceNameFor(const QString &hostName)
{
    return hostName.isEmpty() ? QStringLiteral("Windows PC") : hostName;
}

void TokenManager::saveVpnEncryptConfig(const QString &key, bool enabled)
{
    LocalStorage::instance()->setString(QStringLiteral("vpn_encrypt_key"), key);
    LocalStorage::instance()->setBool(QStringLiteral("vpn_encrypt_enabled"), enabled);
    qDebug() << "[TokenManager] VPN加密配置已保存, 启用:" << enabled;
}

void TokenManager::saveApiEncryptConfig(const QString &secretKey, bool enabled)
{
    LocalStorage::instance()->setString(QStringLiteral("api_secret_key"), secretKey);
    LocalStorage::instance()->setBool(QStringLiteral("api_encrypt_enabled"), enabled);
    qDebug() << "[TokenManager] API加密配置已保存, 启用:" << enabled;
}

QString TokenManager::getVpnEncryptKey() const
{
    return LocalStorage::instance()->getString(QStringLiteral("vpn_encrypt_key"));
}

} // namespace Tavorin::Api::Security
