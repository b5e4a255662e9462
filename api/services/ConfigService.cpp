#include "api/services/ConfigService.h"

#include "api/models/JsonReader.h"
#include "api/network/ApiResponse.h"
#include "api/network/HttpClient.h"
#include "api/security/TokenManager.h"
#include "api/services/AuthService.h"
#include "api/storage/LocalStorage.h"

#include <QDebug>
#include <QJsonDocument>

namespace Tavorin::Api::Services {

using Models::JsonReader;
using Network::ApiResponse;
using Network::HttpClient;
using Security::TokenManager;

ConfigService *ConfigService::instance()
{
    static ConfigService *service = new ConfigService();
    return service;
}

ConfigService::ConfigService(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<Models::SystemConfig>();
    qRegisterMetaType<Models::User>();
    const QString cached = Storage::LocalStorage::instance()->getString(QStringLiteral("cached_configs"));
    if (!cached.isEmpty()) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(cached.toUtf8(), &error);
        if (error.error == QJsonParseError::NoError && document.isObject()) {
            currentConfig = Models::SystemConfig::fromJson(document.object());
            if (isLoaded(currentConfig)) {
                configLoaded = true;
                applyEncryptionConfig(currentConfig);
                qDebug().noquote() << "[ConfigService] 从缓存加载配置成功";
            }
        }
    }
    qDebug().noquote() << "[ConfigService] 初始化完成";
}

bool ConfigService::isLoaded(const Models::SystemConfig &config)
{
    return !config.appName.isEmpty() && !config.items.isEmpty();
}

void ConfigService::initialize(const InitializeCallback &completion)
{
    qDebug().noquote() << "[ConfigService] 开始初始化";
    getConfigs([completion](bool success, const QString &, const Models::SystemConfig &) {
        if (completion)
            completion(success);
    });
}

void ConfigService::getConfigs(const SystemConfigCallback &completion)
{
    qDebug().noquote() << "[ConfigService] 获取系统配置";
    HttpClient::instance()->getWithoutAuth(
        QStringLiteral("configs"), [this, completion](const ApiResponse &response) {
            if (!response.isSuccess()) {
                const QString message = response.getErrorMessage();
                if (completion)
                    completion(false, message, Models::SystemConfig());
                qWarning().noquote() << "[ConfigService] 获取系统配置失败:" << message;
                return;
            }
            const QJsonObject data = JsonReader::object(response.json, QStringLiteral("data"));
            const Models::SystemConfig config = Models::SystemConfig::fromJson(data);
            currentConfig = config;
            configLoaded = isLoaded(config);
            Storage::LocalStorage::instance()->setString(
                QStringLiteral("cached_configs"),
                QString::fromUtf8(QJsonDocument(data).toJson(QJsonDocument::Compact)));
            applyEncryptionConfig(config);
            if (config.maintenanceMode)
                emit maintenanceModeEntered();
            if (completion)
                completion(true, QStringLiteral("获取成功"), config);
            emit configUpdated(config);
            qDebug().noquote() << "[ConfigService] 系统配置获取成功, 应用名:" << config.appName;
        });
}

void ConfigService::applyEncryptionConfig(const Models::SystemConfig &config)
{
    TokenManager::instance()->saveVpnEncryptConfig(config.vpnEncryptKey, config.vpnEncryptEnabled);
    TokenManager::instance()->saveApiEncryptConfig(config.apiSecretKey, config.apiEncryptEnabled);
    HttpClient::instance()->setApiEncryption(config.apiEncryptEnabled, config.apiSecretKey);
    qDebug().noquote() << "[ConfigService] 加密配置已应用"
                       << "- VPN加密:" << (config.vpnEncryptEnabled ? "true" : "false")
                       << "- API加密:" << (config.apiEncryptEnabled ? "true" : "false");
}

void ConfigService::activateFreeTrial(const UserCallback &completion)
{
    qDebug().noquote() << "[ConfigService] 激活免费体验";
    activateTrial(QStringLiteral("trial/activate-free"), false, completion);
}

void ConfigService::activateVipTrial(const UserCallback &completion)
{
    qDebug().noquote() << "[ConfigService] 激活VIP体验";
    activateTrial(QStringLiteral("trial/activate-vip"), true, completion);
}

void ConfigService::activateTrial(const QString &endpoint, bool vip, const UserCallback &completion)
{
    const QString sentWith = TokenManager::instance()->getToken();
    HttpClient::instance()->post(
        endpoint, QJsonObject(), [this, vip, sentWith, completion](const ApiResponse &response) {
            QString failure;
            Models::User user;
            if (!AuthService::isCurrentSignIn(sentWith)) {
                failure = AuthService::signInChangedText();
            } else if (!response.isSuccess()) {
                failure = response.getErrorMessage();
            } else {
                user = Models::User::fromJson(JsonReader::object(response.json, QStringLiteral("data")));
                // The stored user is replaced only by a real one: a malformed answer must not sign the
                // user out.
                if (!AuthService::isAcceptableUser(user))
                    failure = QStringLiteral("响应数据无效");
            }
            if (!failure.isEmpty() || !response.isSuccess()) {
                if (completion)
                    completion(false, failure, Models::User());
                qWarning().noquote() << (vip ? "[ConfigService] 激活VIP体验失败:"
                                             : "[ConfigService] 激活免费体验失败:")
                                     << failure;
                return;
            }
            TokenManager::instance()->saveUserInfo(user);
            if (completion)
                completion(true, JsonReader::text(response.json, QStringLiteral("message")), user);
            emit trialActivated(user);
            qDebug().noquote() << (vip ? "[ConfigService] VIP体验激活成功"
                                       : "[ConfigService] 免费体验激活成功");
        });
}

void ConfigService::getTrialStatus(const TrialStatusCallback &completion)
{
    qDebug().noquote() << "[ConfigService] 获取体验状态";
    HttpClient::instance()->get(QStringLiteral("trial/status"), [completion](const ApiResponse &response) {
        if (!completion)
            return;
        if (response.isSuccess())
            completion(
                true, QStringLiteral("获取成功"),
                Models::TrialStatus::fromJson(JsonReader::object(response.json, QStringLiteral("data"))));
        else
            completion(false, response.getErrorMessage(), Models::TrialStatus());
    });
}

bool ConfigService::isMaintenanceMode() const
{
    return currentConfig.maintenanceMode;
}

} // namespace Tavorin::Api::Services
