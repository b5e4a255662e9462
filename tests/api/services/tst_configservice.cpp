#include "DevService.h"
#include "LogCapture.h"
#include "ServiceTestSupport.h"

#include "api/network/HttpClient.h"
#include "api/security/TokenManager.h"
#include "api/services/ConfigService.h"
#include "api/services/PaymentService.h"
#include "api/storage/LocalStorage.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

using namespace Tavorin::Api;
using Services::ConfigService;

namespace {
const QString cachedSecret = QStringLiteral("secret-from-the-last-run");
}

class TestConfigService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void cachedConfigurationIsInForceBeforeAnyReply();
    void configurationFromService();
    void configurationReplies_data();
    void configurationReplies();
    void failedRequestKeepsEverything();
    void trialActivation_data();
    void trialActivation();
    void trialActivationRefusesUnusableUser_data();
    void trialActivationRefusesUnusableUser();
    void trialStatus();
    void trialStatusWithoutVipBlock();

private:
    DevService dev;
};

void TestConfigService::initTestCase()
{
    QVERIFY(dev.start());
    Network::HttpClient::instance()->setBaseUrl(dev.baseUrl());
    // What the previous run left in the settings file, before the service exists in this one.
    const QJsonObject cached{
        {"app_name", QJsonObject{{"type", "string"}, {"value", "Mirevo加速器"}}},
        {"api_encrypt_enabled", QJsonObject{{"type", "boolean"}, {"value", true}}},
        {"api_secret_key", QJsonObject{{"type", "string"}, {"value", cachedSecret}}},
        {"vpn_encrypt_key", QJsonObject{{"type", "string"}, {"value", "cached-link-key"}}}};
    Storage::LocalStorage::instance()->setString(QStringLiteral("cached_configs"),
                                                 QString::fromUtf8(ServiceTest::json(cached)));
}

void TestConfigService::init()
{
    dev.control(QStringLiteral("POST"), QStringLiteral("script/clear"));
    dev.clearRequests();
}

void TestConfigService::cachedConfigurationIsInForceBeforeAnyReply()
{
    dev.setEnvelope(true, cachedSecret);
    QVERIFY(ConfigService::instance()->isConfigLoaded());
    QCOMPARE(Security::TokenManager::instance()->getVpnEncryptKey(), QStringLiteral("cached-link-key"));

    // The very first reply of this run is already checked and unwrapped.
    LogCapture log;
    ServiceTest::Outcome<QList<Models::SubscriptionPlan>> plans;
    Services::PaymentService::instance()->getSubscriptionPlans(plans.completion());
    QVERIFY(plans.wait());
    QVERIFY(log.contains(QStringLiteral("[HttpClient] API响应解密成功")));
    QCOMPARE(plans.value.size(), 3);
    dev.setEnvelope(false, QString());
}

void TestConfigService::configurationFromService()
{
    QVERIFY(ServiceTest::signIn());
    QStringList events;
    QMetaObject::Connection c = connect(ConfigService::instance(), &ConfigService::configUpdated, this,
                                        [&](const Models::SystemConfig &) { events << "configUpdated"; });
    bool done = false;
    bool ok = false;
    QString message;
    Models::SystemConfig config;
    ConfigService::instance()->getConfigs(
        [&](bool success, const QString &text, const Models::SystemConfig &c2) {
            events << "completion";
            ok = success;
            message = text;
            config = c2;
            done = true;
        });
    QVERIFY(ServiceTest::waitFor(done));
    QTRY_COMPARE(events, (QStringList{"completion", "configUpdated"}));
    disconnect(c);

    QVERIFY(ok);
    QCOMPARE(message, QStringLiteral("获取成功"));
    QCOMPARE(config.appName, QStringLiteral("Mirevo加速器"));
    QCOMPARE(config.siteName, QStringLiteral("Mirevo"));
    QVERIFY(config.freeTrialEnabled);
    QCOMPARE(config.freeTrialDuration, 2);
    QCOMPARE(config.maxDevices, 3);
    QCOMPARE(config.vpnEncryptKey, QStringLiteral("mirevo-dev-link-key"));
    QCOMPARE(config.downloadFileWindows, QStringLiteral("https://download.mirevo.dev/mirevo-setup.exe"));
    QVERIFY(ConfigService::instance()->isConfigLoaded());
    QCOMPARE(Security::TokenManager::instance()->getVpnEncryptKey(), QStringLiteral("mirevo-dev-link-key"));

    const QJsonObject request = dev.lastRequest(QStringLiteral("configs"));
    QCOMPARE(request.value("method").toString(), QStringLiteral("GET"));
    QVERIFY(ServiceTest::header(request, "authorization").isEmpty());

    // The cache holds the "data" object itself, which a restart reads back.
    const QJsonObject cached =
        QJsonDocument::fromJson(Storage::LocalStorage::instance()->getString("cached_configs").toUtf8())
            .object();
    QCOMPARE(Models::SystemConfig::fromJson(cached).vpnEncryptKey, QStringLiteral("mirevo-dev-link-key"));
    QCOMPARE(cached.value("app_name").toObject().value("value").toString(), QStringLiteral("Mirevo加速器"));
}

void TestConfigService::configurationReplies_data()
{
    QTest::addColumn<QJsonObject>("data");
    QTest::addColumn<bool>("maintenance");
    QTest::addColumn<int>("maxDevices");
    QTest::addColumn<bool>("registration");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<int>("items");

    QTest::newRow("maintenance and devices")
        << QJsonObject{{"maintenance_mode", QJsonObject{{"type", "boolean"}, {"value", true}}},
                       {"max_devices", QJsonObject{{"type", "number"}, {"value", 5}}}}
        << true << 5 << true << true << 2;
    QTest::newRow("empty data") << QJsonObject{} << false << 3 << true << false << 0;
    QTest::newRow("type with a capital B")
        << QJsonObject{{"maintenance_mode", QJsonObject{{"type", "Boolean"}, {"value", true}}}} << false << 3
        << true << true << 1;
    QTest::newRow("boolean given as text")
        << QJsonObject{{"enable_registration", QJsonObject{{"type", "boolean"}, {"value", "true"}}}} << false
        << 3 << false << true << 1;
    QTest::newRow("bare values are no items")
        << QJsonObject{{"maintenance_mode", true}, {"max_devices", 9}} << false << 3 << true << false << 0;
}

void TestConfigService::configurationReplies()
{
    QFETCH(QJsonObject, data);
    QFETCH(bool, maintenance);
    QFETCH(int, maxDevices);
    QFETCH(bool, registration);
    QFETCH(bool, loaded);
    QFETCH(int, items);
    dev.scriptReply(QStringLiteral("GET"), QStringLiteral("configs"), 200,
                    ServiceTest::json({{"success", true}, {"data", data}}));

    QStringList events;
    QMetaObject::Connection c1 = connect(ConfigService::instance(), &ConfigService::maintenanceModeEntered,
                                         this, [&]() { events << "maintenanceModeEntered"; });
    QMetaObject::Connection c2 = connect(ConfigService::instance(), &ConfigService::configUpdated, this,
                                         [&](const Models::SystemConfig &) { events << "configUpdated"; });
    bool done = false;
    Models::SystemConfig config;
    ConfigService::instance()->getConfigs([&](bool, const QString &, const Models::SystemConfig &c3) {
        events << "completion";
        config = c3;
        done = true;
    });
    QVERIFY(ServiceTest::waitFor(done));
    QTRY_VERIFY(events.contains("configUpdated"));
    disconnect(c1);
    disconnect(c2);

    QStringList expected{"completion", "configUpdated"};
    if (maintenance)
        expected.prepend("maintenanceModeEntered");
    QCOMPARE(events, expected);
    QCOMPARE(config.maintenanceMode, maintenance);
    QCOMPARE(ConfigService::instance()->isMaintenanceMode(), maintenance);
    QCOMPARE(config.maxDevices, maxDevices);
    QCOMPARE(config.enableRegistration, registration);
    QCOMPARE(config.items.size(), items);
    QCOMPARE(config.appName, QStringLiteral("Mirevo加速器"));
    QCOMPARE(config.siteName, QStringLiteral("Tavorin VPN"));
    QCOMPARE(ConfigService::instance()->isConfigLoaded(), loaded);
    QCOMPARE(Storage::LocalStorage::instance()->getString("cached_configs"),
             QString::fromUtf8(ServiceTest::json(data)));
    // A configuration without the encryption items switches both off.
    QVERIFY(Security::TokenManager::instance()->getVpnEncryptKey().isEmpty());
}

void TestConfigService::failedRequestKeepsEverything()
{
    ServiceTest::Outcome<Models::SystemConfig> first;
    ConfigService::instance()->getConfigs(first.completion());
    QVERIFY(first.wait());
    const QString cache = Storage::LocalStorage::instance()->getString("cached_configs");
    QVERIFY(!cache.isEmpty());

    dev.scriptReply(QStringLiteral("GET"), QStringLiteral("configs"), 503,
                    ServiceTest::json({{"success", false}, {"message", "维护中"}}));
    QSignalSpy updated(ConfigService::instance(), &ConfigService::configUpdated);
    ServiceTest::Outcome<Models::SystemConfig> refused;
    refused.value.appName = QStringLiteral("untouched");
    ConfigService::instance()->getConfigs(refused.completion());
    QVERIFY(refused.wait());
    QVERIFY(!refused.ok);
    QCOMPARE(refused.message, QStringLiteral("维护中"));
    QVERIFY(refused.value.appName.isEmpty()); // a default record, not a half-read one
    QCOMPARE(updated.count(), 0);
    QVERIFY(ConfigService::instance()->isConfigLoaded());
    QCOMPARE(ConfigService::instance()->getCurrentConfig().vpnEncryptKey,
             QStringLiteral("mirevo-dev-link-key"));
    QCOMPARE(Storage::LocalStorage::instance()->getString("cached_configs"), cache);
    QCOMPARE(Security::TokenManager::instance()->getVpnEncryptKey(), QStringLiteral("mirevo-dev-link-key"));
}

void TestConfigService::trialActivation_data()
{
    QTest::addColumn<bool>("vip");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");
    QTest::newRow("free") << false << QStringLiteral("trial/activate-free")
                          << QStringLiteral("免费体验已激活");
    QTest::newRow("vip") << true << QStringLiteral("trial/activate-vip") << QStringLiteral("VIP体验已激活");
}

void TestConfigService::trialActivation()
{
    QFETCH(bool, vip);
    QFETCH(QString, path);
    QFETCH(QString, message);
    QVERIFY(ServiceTest::signIn());
    dev.control(QStringLiteral("POST"), QStringLiteral("users"),
                {{"email", DevService::demoEmail()}, {"trial_used", false}, {"vip_trial_used", false}});

    QSignalSpy activated(ConfigService::instance(), &ConfigService::trialActivated);
    ServiceTest::Outcome<Models::User> trial;
    if (vip)
        ConfigService::instance()->activateVipTrial(trial.completion());
    else
        ConfigService::instance()->activateFreeTrial(trial.completion());
    QVERIFY(trial.wait());
    QVERIFY2(trial.ok, qPrintable(trial.message));
    QCOMPARE(trial.message, message);
    const Models::User &user = trial.value;
    QTRY_COMPARE(activated.count(), 1);
    QCOMPARE(activated.first().at(0).value<Models::User>().email, DevService::demoEmail());
    if (vip)
        QVERIFY(user.isVipValid());
    else
        QVERIFY(user.trialUsed);
    QCOMPARE(Security::TokenManager::instance()->getCurrentUser().trialUsed, user.trialUsed);
    QCOMPARE(Security::TokenManager::instance()->getCurrentUser().vipExpiresAt, user.vipExpiresAt);

    const QJsonObject request = dev.lastRequest(path);
    QCOMPARE(request.value("method").toString(), QStringLiteral("POST"));
    QCOMPARE(request.value("body").toString(), QStringLiteral("{}"));
    QCOMPARE(ServiceTest::header(request, "authorization"),
             QStringLiteral("Bearer ") + Security::TokenManager::instance()->getToken());
}

void TestConfigService::trialActivationRefusesUnusableUser_data()
{
    QTest::addColumn<bool>("vip");
    QTest::addColumn<QJsonObject>("reply");
    const QJsonObject noData{{"success", true}, {"message", "免费体验已激活"}};
    const QJsonObject noId{{"success", true}, {"data", QJsonObject{{"email", "demo@mirevo.dev"}}}};
    const QJsonObject noEmail{{"success", true}, {"data", QJsonObject{{"id", 1}, {"trial_used", true}}}};
    QTest::newRow("free, no data") << false << noData;
    QTest::newRow("free, no id") << false << noId;
    QTest::newRow("free, no e-mail") << false << noEmail;
    QTest::newRow("vip, no data") << true << noData;
    QTest::newRow("vip, no id") << true << noId;
}

void TestConfigService::trialActivationRefusesUnusableUser()
{
    QFETCH(bool, vip);
    QFETCH(QJsonObject, reply);
    QVERIFY(ServiceTest::signIn());
    const QString storedUser = Storage::LocalStorage::instance()->getString(QStringLiteral("user_info"));
    dev.scriptReply(QStringLiteral("POST"),
                    vip ? QStringLiteral("trial/activate-vip") : QStringLiteral("trial/activate-free"), 200,
                    ServiceTest::json(reply));

    QSignalSpy activated(ConfigService::instance(), &ConfigService::trialActivated);
    QSignalSpy userChanged(Security::TokenManager::instance(), &Security::TokenManager::userChanged);
    ServiceTest::Outcome<Models::User> trial;
    if (vip)
        ConfigService::instance()->activateVipTrial(trial.completion());
    else
        ConfigService::instance()->activateFreeTrial(trial.completion());
    QVERIFY(trial.wait());
    QVERIFY(!trial.ok);
    QCOMPARE(trial.message, QStringLiteral("响应数据无效"));
    QCOMPARE(activated.count(), 0);
    QCOMPARE(userChanged.count(), 0);
    QVERIFY(Security::TokenManager::instance()->isLoggedIn());
    QCOMPARE(Storage::LocalStorage::instance()->getString(QStringLiteral("user_info")), storedUser);
}

void TestConfigService::trialStatus()
{
    QVERIFY(ServiceTest::signIn());
    dev.control(QStringLiteral("POST"), QStringLiteral("users"),
                {{"email", DevService::demoEmail()}, {"trial_used", false}, {"vip_days", 10}});
    ServiceTest::Outcome<Models::TrialStatus> answer;
    ConfigService::instance()->getTrialStatus(answer.completion());
    QVERIFY(answer.wait());
    QVERIFY(answer.ok);
    QCOMPARE(answer.message, QStringLiteral("获取成功"));
    const Models::TrialStatus &status = answer.value;
    QVERIFY(status.trialEnabled);
    QVERIFY(status.trialAvailable);
    QCOMPARE(status.trialHoursTotal, 2);
    QVERIFY(status.isVip);
    QCOMPARE(status.vipDaysRemaining, 10);
    QCOMPARE(status.accountStatus, QStringLiteral("active"));
    const QJsonObject request = dev.lastRequest(QStringLiteral("trial/status"));
    QCOMPARE(request.value("method").toString(), QStringLiteral("GET"));
    QVERIFY(!ServiceTest::header(request, "authorization").isEmpty());
}

void TestConfigService::trialStatusWithoutVipBlock()
{
    QVERIFY(ServiceTest::signIn());
    dev.scriptReply(
        QStringLiteral("GET"), QStringLiteral("trial/status"), 200,
        ServiceTest::json({{"success", true},
                           {"data", QJsonObject{{"trial", QJsonObject{{"used", true}, {"hours_total", 2.5}}},
                                                {"vip", "yes"},
                                                {"account_status", "suspended"}}}}));
    ServiceTest::Outcome<Models::TrialStatus> answer;
    ConfigService::instance()->getTrialStatus(answer.completion());
    QVERIFY(answer.wait());
    const Models::TrialStatus &status = answer.value;
    QVERIFY(status.trialUsed);
    QCOMPARE(status.trialHoursTotal, 0);
    QVERIFY(!status.isVip);
    QCOMPARE(status.vipDaysRemaining, 0);
    QCOMPARE(status.accountStatus, QStringLiteral("suspended"));
}

QTEST_MAIN(TestConfigService)
#include "tst_configservice.moc"
