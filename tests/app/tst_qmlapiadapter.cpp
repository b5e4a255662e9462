#include "DevService.h"
#include "LogCapture.h"
#include "api/network/HttpClient.h"
#include "api/security/TokenManager.h"
#include "api/services/PaymentService.h"
#include "app/QmlApiAdapter.h"
#include "vpn/VpnConnectionService.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMetaType>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <functional>
#include <memory>

#include <limits>

using Tavorin::Api::QmlApiAdapter;
using Tavorin::Api::Network::HttpClient;
using Tavorin::Api::Security::TokenManager;
using Tavorin::Api::Services::PaymentService;
using Tavorin::Api::Services::VpnConnectionService;

namespace {

QByteArray userReply(const QJsonObject &fields)
{
    QJsonObject user{
        {"id", 1}, {"email", DevService::demoEmail()}, {"name", "演示用户"}, {"status", "active"}};
    for (auto it = fields.begin(); it != fields.end(); ++it)
        user.insert(it.key(), it.value());
    return QJsonDocument(QJsonObject{{"success", true}, {"data", user}}).toJson(QJsonDocument::Compact);
}

// An expiry `seconds` from now, with its fraction kept so that the whole seconds are exact while the
// test runs its next few milliseconds.
QString inSeconds(double seconds)
{
    return QDateTime::currentDateTimeUtc().addMSecs(qint64(seconds * 1000)).toString(Qt::ISODateWithMs);
}

// The names and value types of a map handed to QML, as "key:type".
QStringList shape(const QVariantMap &map)
{
    QStringList result;
    for (auto it = map.begin(); it != map.end(); ++it)
        result << it.key() + QLatin1Char(':') + QString::fromLatin1(it.value().metaType().name());
    return result;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

QByteArray listReply(const QJsonArray &data)
{
    return QJsonDocument(QJsonObject{{"success", true}, {"data", data}}).toJson(QJsonDocument::Compact);
}

// The result signal and the error signal of one operation, spied on from before it starts.
struct OperationSpies
{
    std::unique_ptr<QSignalSpy> loaded;
    std::unique_ptr<QSignalSpy> failed;
};

template <typename Loaded, typename Failed>
OperationSpies spyAndStart(QmlApiAdapter *api, Loaded loaded, Failed failed,
                           const std::function<void()> &start)
{
    OperationSpies spies{std::make_unique<QSignalSpy>(api, loaded),
                         std::make_unique<QSignalSpy>(api, failed)};
    start();
    return spies;
}

// Starts the operation that asks the service for `path`.
OperationSpies requestOperation(QmlApiAdapter *api, const QString &path)
{
    using A = QmlApiAdapter;
    if (path == "servers")
        return spyAndStart(api, &A::serversLoaded, &A::serversError, [api]() { api->getServers(); });
    if (path == "plans")
        return spyAndStart(api, &A::plansLoaded, &A::plansError, [api]() { api->getSubscriptionPlans(); });
    if (path == "orders")
        return spyAndStart(api, &A::ordersLoaded, &A::ordersError, [api]() { api->getUserOrders(); });
    if (path == "announcements")
        return spyAndStart(api, &A::announcementsLoaded, &A::announcementsError,
                           [api]() { api->getAnnouncements(); });
    if (path == "trial/status")
        return spyAndStart(api, &A::trialStatusLoaded, &A::trialStatusError,
                           [api]() { api->getTrialStatus(); });
    if (path == "heartbeat")
        return spyAndStart(api, &A::heartbeatSent, &A::heartbeatError, [api]() { api->sendHeartbeat(true); });
    if (path == "heartbeat/stats")
        return spyAndStart(api, &A::heartbeatStatsLoaded, &A::heartbeatStatsError,
                           [api]() { api->getHeartbeatStats(); });
    qFatal("no operation asks for %s", qPrintable(path));
}

QByteArray refusal(const QString &message)
{
    return QJsonDocument(QJsonObject{{"success", false}, {"message", message}})
        .toJson(QJsonDocument::Compact);
}

} // namespace

class TestQmlApiAdapter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void userState_data();
    void userState();
    void userFiguresOutOfRange_data();
    void userFiguresOutOfRange();
    void configFiguresOutOfRange_data();
    void configFiguresOutOfRange();
    void permissionRule_data();
    void permissionRule();
    void signInSignalOrder();
    void registrationSignalOrder();
    void registrationRefused_data();
    void registrationRefused();
    void signOutSignalOrderAndGuard();
    void lateSignOutLeavesANewerSignIn_data();
    void lateSignOutLeavesANewerSignIn();
    void lateSignOutLeavesANewerSignOutWaiting();
    void forcedDisconnection_data();
    void forcedDisconnection();
    void serverTiers_data();
    void serverTiers();
    void emptyLists_data();
    void emptyLists();
    void failureSignals_data();
    void failureSignals();
    void heartbeatSignals();
    void trialStateBeforeTheSignal_data();
    void trialStateBeforeTheSignal();
    void trialRefused_data();
    void trialRefused();
    void serverDisplay_data();
    void serverDisplay();
    void mapShapes_data();
    void mapShapes();
    void paymentStatusSignals_data();
    void paymentStatusSignals();
    void pollingEnds_data();
    void pollingEnds();
    void refusedConnectAndTheLinkInTheLog();
    void failureTexts_data();
    void failureTexts();

private:
    void signIn();
    void setUser(QJsonObject fields);
    void setDemoAccount(QJsonObject account);
    QVariantMap createPayment();

    DevService dev;
    QmlApiAdapter *api = nullptr;
};

void TestQmlApiAdapter::initTestCase()
{
    QVERIFY(dev.start());
    HttpClient::instance()->setBaseUrl(dev.baseUrl());
    PaymentService::instance()->setPollIntervalMs(20);
    api = new QmlApiAdapter(this);
}

void TestQmlApiAdapter::init()
{
    dev.clearRequests();
    if (!api->isLoggedIn())
        signIn();
}

void TestQmlApiAdapter::signIn()
{
    QSignalSpy success(api, &QmlApiAdapter::loginSuccess);
    api->login(DevService::demoEmail(), DevService::demoPassword());
    QVERIFY(success.wait(5000));
}

// "vip_in" gives the VIP expiry in seconds from the moment the expiry is built. The facade counts whole
// seconds, so a row's fraction of a second is how long the round trip to the service may take before
// the facade reads the user; a slower one (a loaded machine) is tried again with a fresh expiry.
void TestQmlApiAdapter::setUser(QJsonObject fields)
{
    const bool timed = fields.contains("vip_in");
    const double vipIn = fields.take("vip_in").toDouble();
    const qint64 slackMs = qint64((vipIn - std::floor(vipIn)) * 1000);
    for (int attempt = 1;; ++attempt) {
        QElapsedTimer sinceExpiry;
        sinceExpiry.start();
        if (timed)
            fields.insert("vip_expires_at", inSeconds(vipIn));
        dev.scriptReply("GET", "auth/me", 200, userReply(fields));
        QSignalSpy changed(api, &QmlApiAdapter::userInfoChanged);
        api->refreshUserInfo();
        QVERIFY(changed.wait(5000));
        if (slackMs == 0 || sinceExpiry.elapsed() < slackMs)
            return;
        qInfo().noquote() << QStringLiteral("round trip of %1 ms, more than the row's %2 ms: again")
                                 .arg(sinceExpiry.elapsed())
                                 .arg(slackMs);
        QVERIFY2(attempt < 50, "no round trip to the service was fast enough");
    }
}

// Stores the demo account in the service (no VIP days, then `account`) and has the facade read it again.
// Unlike setUser's one scripted answer, every later request (a trial's activation) finds it so.
void TestQmlApiAdapter::setDemoAccount(QJsonObject account)
{
    account.insert("email", DevService::demoEmail());
    account.insert("vip_days", 0);
    dev.control("POST", "users", account);
    QSignalSpy refreshed(api, &QmlApiAdapter::userInfoChanged);
    api->refreshUserInfo();
    QVERIFY(refreshed.wait(5000));
}

void TestQmlApiAdapter::userState_data()
{
    QTest::addColumn<QJsonObject>("fields");
    QTest::addColumn<bool>("isVip");
    QTest::addColumn<int>("vipDays");
    QTest::addColumn<int>("freeMinutes");
    QTest::addColumn<bool>("trialUsed");

    // "vip_in": the expiry in seconds from the moment the row runs (see setUser for its fraction).
    auto vip = [](double seconds) { return QJsonObject{{"is_vip", true}, {"vip_in", seconds}}; };
    QTest::newRow("vip 1 s left") << vip(1.9) << true << 1 << 0 << false;
    QTest::newRow("vip exactly one day") << vip(86400.9) << true << 1 << 0 << false;
    QTest::newRow("vip one day and a second") << vip(86401.9) << true << 2 << 0 << false;
    QTest::newRow("vip 30 hours") << vip(108000.9) << true << 2 << 0 << false;
    QTest::newRow("vip under a second") << vip(0.9) << true << 0 << 0 << false;
    QTest::newRow("vip passed") << vip(-60) << false << 0 << 120 << false;
    QTest::newRow("vip flag without date") << QJsonObject{{"is_vip", true}} << false << 0 << 120 << false;
    QTest::newRow("trial unused, 2 h offer")
        << QJsonObject{{"trial_hours_total", 2}, {"trial_hours_remaining", 0}} << false << 0 << 120 << false;
    QTest::newRow("trial unused, no offer") << QJsonObject{} << false << 0 << 120 << false;
    QTest::newRow("trial used, 1.99 h left")
        << QJsonObject{{"trial_used", true}, {"trial_hours_total", 2}, {"trial_hours_remaining", 1.99}}
        << false << 0 << 119 << true;
    QTest::newRow("trial used up") << QJsonObject{{"trial_used", true},
                                                  {"trial_hours_total", 2},
                                                  {"trial_hours_remaining", 0}}
                                   << false << 0 << 0 << true;
    QTest::newRow("trial used, overdrawn")
        << QJsonObject{{"trial_used", true}, {"trial_hours_total", 2}, {"trial_hours_remaining", -0.5}}
        << false << 0 << 0 << true;
    QTest::newRow("vip with trial left") << QJsonObject{{"is_vip", true},
                                                        {"vip_in", 7200.9},
                                                        {"trial_used", true},
                                                        {"trial_hours_remaining", 1.0}}
                                         << true << 1 << 0 << true;
}

void TestQmlApiAdapter::userState()
{
    QFETCH(QJsonObject, fields);
    const bool hasExpiry = fields.contains("vip_in");
    setUser(fields);
    QTEST(api->getIsVip(), "isVip");
    QTEST(api->getVipDays(), "vipDays");
    QTEST(api->getFreeMinutes(), "freeMinutes");
    QTEST(api->getTrialUsed(), "trialUsed");
    QCOMPARE(api->getUserEmail(), DevService::demoEmail());
    // The expiry text stays even when the VIP is over.
    QCOMPARE(api->getVipExpiresAt().isEmpty(), !hasExpiry);
}

// Figures as the service may send them, however absurd: each lands in range, none wraps around, and a user
// with time left may connect.
void TestQmlApiAdapter::userFiguresOutOfRange_data()
{
    QTest::addColumn<QJsonObject>("fields");
    QTest::addColumn<int>("freeMinutes");
    QTest::addColumn<int>("code"); // checkVpnPermission for a free server

    const int most = std::numeric_limits<int>::max();
    auto used = [](double remaining) {
        return QJsonObject{
            {"trial_used", true}, {"trial_hours_total", 2}, {"trial_hours_remaining", remaining}};
    };
    auto offer = [](double total) { return QJsonObject{{"trial_hours_total", total}}; };
    QTest::newRow("1e300 hours left") << used(1e300) << most << 0;
    QTest::newRow("-1e300 hours left") << used(-1e300) << 0 << 4;
    QTest::newRow("hours left just within int minutes") << used(35791394.1) << 2147483646 << 0;
    QTest::newRow("hours left just beyond int minutes") << used(35791395) << most << 0;
    QTest::newRow("a fraction of a minute left") << used(0.001) << 0 << 4;
    QTest::newRow("zero hours left") << used(0) << 0 << 4;
    QTest::newRow("an offer of 2147483647 hours") << offer(2147483647) << most << 0;
    QTest::newRow("an offer of -2147483648 hours") << offer(-2147483648.0) << 120 << 0;
    QTest::newRow("an offer beyond int") << offer(1e300) << 120 << 0;
    QTest::newRow("an unused trial with 1e300 hours left")
        << QJsonObject{{"trial_hours_remaining", 1e300}} << most << 0;
}

void TestQmlApiAdapter::userFiguresOutOfRange()
{
    QFETCH(QJsonObject, fields);
    setUser(fields);
    QTEST(api->getFreeMinutes(), "freeMinutes");
    QTEST(api->checkVpnPermission(5, false), "code");
}

void TestQmlApiAdapter::configFiguresOutOfRange_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("maxDevices");

    QTest::newRow("huge") << 1e300 << std::numeric_limits<int>::max();
    QTest::newRow("beyond int") << 1e10 << std::numeric_limits<int>::max();
    QTest::newRow("hugely negative") << -1e300 << std::numeric_limits<int>::min();
    QTest::newRow("half way rounds away from zero") << 2.5 << 3;
    QTest::newRow("fraction") << 0.2 << 0;
    QTest::newRow("zero") << 0.0 << 0;
}

void TestQmlApiAdapter::configFiguresOutOfRange()
{
    QFETCH(double, value);
    dev.setConfig("max_devices", value);
    const auto restore = qScopeGuard([this]() { dev.setConfig("max_devices", 3); });
    QSignalSpy loaded(api, &QmlApiAdapter::systemConfigLoaded);
    api->getSystemConfig();
    QVERIFY(loaded.wait(5000));
    QTEST(loaded.at(0).at(0).toMap().value("maxDevices").toInt(), "maxDevices");
}

void TestQmlApiAdapter::permissionRule_data()
{
    QTest::addColumn<QJsonObject>("fields");
    QTest::addColumn<int>("serverId");
    QTest::addColumn<bool>("requiresVip");
    QTest::addColumn<int>("code");

    const QJsonObject free{{"trial_hours_total", 2}};
    const QJsonObject exhausted{{"trial_used", true}, {"trial_hours_remaining", 0}};
    const QJsonObject vip{{"is_vip", true}, {"vip_expires_at", "2099-01-01T00:00:00Z"}};
    const QJsonObject vipEnding{{"is_vip", true}, {"vip_in", 0.9}}; // VIP, but not one whole second left

    QTest::newRow("free user, free line") << free << 5 << false << 0;
    QTest::newRow("no server") << free << 0 << false << 2;
    QTest::newRow("negative server") << free << -3 << false << 2;
    QTest::newRow("free user, vip line") << free << 5 << true << 3;
    QTest::newRow("trial used up") << exhausted << 5 << false << 4;
    QTest::newRow("trial used up, no server") << exhausted << 0 << false << 2;
    QTest::newRow("vip, vip line") << vip << 5 << true << 0;
    QTest::newRow("vip ending, vip line") << vipEnding << 5 << true << 5;
    QTest::newRow("vip ending, free line") << vipEnding << 5 << false << 6;
}

void TestQmlApiAdapter::permissionRule()
{
    QFETCH(QJsonObject, fields);
    setUser(fields);
    QFETCH(int, serverId);
    QFETCH(bool, requiresVip);
    QTEST(api->checkVpnPermission(serverId, requiresVip), "code");
}

void TestQmlApiAdapter::signInSignalOrder()
{
    QSignalSpy logout(api, &QmlApiAdapter::loginStateChanged);
    api->logout();
    QTRY_VERIFY(!api->isLoggedIn() && !logout.isEmpty());

    QStringList events;
    auto conn1 = connect(api, &QmlApiAdapter::loginStateChanged, this,
                         [&events](bool in) { events << (in ? "state:true" : "state:false"); });
    auto conn2 = connect(api, &QmlApiAdapter::userInfoChanged, this, [&events]() { events << "user"; });
    auto conn3 = connect(api, &QmlApiAdapter::loginSuccess, this, [&events]() { events << "success"; });
    signIn();
    QTRY_COMPARE(events.count("state:true"), 3);
    QCOMPARE(events.count("user"), 3);
    QCOMPARE(events.count("success"), 1);
    const int success = events.indexOf("success");
    QVERIFY(success > events.indexOf("state:true"));
    QVERIFY(success < events.lastIndexOf("user") || success < events.lastIndexOf("state:true"));
    QVERIFY(!events.contains("state:false"));
    disconnect(conn1);
    disconnect(conn2);
    disconnect(conn3);
}

void TestQmlApiAdapter::registrationSignalOrder()
{
    QSignalSpy out(api, &QmlApiAdapter::loginStateChanged);
    api->logout();
    QTRY_VERIFY(!api->isLoggedIn() && !out.isEmpty());

    QSignalSpy state(api, &QmlApiAdapter::loginStateChanged);
    QSignalSpy user(api, &QmlApiAdapter::userInfoChanged);
    QSignalSpy success(api, &QmlApiAdapter::loginSuccess);
    QSignalSpy error(api, &QmlApiAdapter::registrationError);
    api->registerUser("new.user@mirevo.dev", "secret12", "新用户");
    QVERIFY(success.wait(5000));
    QTRY_COMPARE(state.count(), 2);
    QCOMPARE(user.count(), 2);
    QVERIFY(error.isEmpty());
    QCOMPARE(api->getUserEmail(), QString("new.user@mirevo.dev"));
    const QJsonObject body =
        QJsonDocument::fromJson(dev.lastRequest("auth/register").value("body").toString().toUtf8()).object();
    QCOMPARE(body.value("name").toString(), QString("新用户"));
    QVERIFY(body.value("reffer_code").isNull());

    // A second registration of the same address is refused with the service's own words.
    api->logout();
    QTRY_VERIFY(!api->isLoggedIn());
    api->registerUser("new.user@mirevo.dev", "secret12", "新用户", "FRIEND1");
    QVERIFY(error.wait(5000));
    QVERIFY(!error.at(0).at(0).toString().isEmpty());
    QCOMPARE(QJsonDocument::fromJson(dev.lastRequest("auth/register").value("body").toString().toUtf8())
                 .object()
                 .value("reffer_code")
                 .toString(),
             QString("FRIEND1"));
}

void TestQmlApiAdapter::registrationRefused_data()
{
    QTest::addColumn<bool>("registrationOpen");
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("message");
    QTest::newRow("address taken") << true << DevService::demoEmail() << "该邮箱已被注册";
    QTest::newRow("registration closed") << false << "closed.door@mirevo.dev"
                                         << "暂未开放注册";
}

void TestQmlApiAdapter::registrationRefused()
{
    QFETCH(bool, registrationOpen);
    QFETCH(QString, email);
    QSignalSpy out(api, &QmlApiAdapter::loginStateChanged);
    api->logout();
    QTRY_VERIFY(!api->isLoggedIn() && !out.isEmpty());
    dev.setConfig("enable_registration", registrationOpen);

    QSignalSpy refused(api, &QmlApiAdapter::registrationError);
    QSignalSpy loginRefused(api, &QmlApiAdapter::loginError);
    QSignalSpy success(api, &QmlApiAdapter::loginSuccess);
    QSignalSpy state(api, &QmlApiAdapter::loginStateChanged);
    QSignalSpy user(api, &QmlApiAdapter::userInfoChanged);
    api->registerUser(email, "secret12", "someone");
    const bool answered = refused.wait(5000);
    dev.setConfig("enable_registration", true);
    QVERIFY(answered);
    QCOMPARE(refused.count(), 1);
    QTEST(refused.at(0).at(0).toString(), "message");
    // The refusal is the registration's: a sign-in form waiting for its own answer hears nothing.
    QVERIFY(loginRefused.isEmpty());
    QVERIFY(success.isEmpty());
    QVERIFY(state.isEmpty());
    QVERIFY(user.isEmpty());
    QVERIFY(!api->isLoggedIn());
    QCOMPARE(api->getUserEmail(), QString());
}

void TestQmlApiAdapter::signOutSignalOrderAndGuard()
{
    QStringList events;
    QStringList emailsAtStateChange;
    auto conn1 = connect(api, &QmlApiAdapter::loginStateChanged, this, [&](bool in) {
        events << (in ? "state:true" : "state:false");
        emailsAtStateChange << api->getUserEmail();
    });
    auto conn2 = connect(api, &QmlApiAdapter::userInfoChanged, this, [&events]() { events << "user"; });

    api->logout();
    api->logout(); // ignored: the first is still waiting for the service
    QTRY_COMPARE(events.count("state:false"), 4);
    QCOMPARE(events.count("user"), 1);
    QCOMPARE(emailsAtStateChange.first(), DevService::demoEmail()); // members still hold the old user
    QCOMPARE(dev.requests("auth/logout").size(), 1);
    QVERIFY(!api->isLoggedIn());
    QCOMPARE(api->getUserEmail(), QString());
    QCOMPARE(api->getFreeMinutes(), 120);
    QCOMPARE(api->checkVpnPermission(5, false), 1);

    // Once the answer is in, a new sign-out runs again.
    signIn();
    api->logout();
    QTRY_COMPARE(dev.requests("auth/logout").size(), 2);
    disconnect(conn1);
    disconnect(conn2);
}

void TestQmlApiAdapter::lateSignOutLeavesANewerSignIn_data()
{
    QTest::addColumn<bool>("signOutAgain");
    QTest::newRow("the late answer finds the new sign-in") << false;
    QTest::newRow("the new sign-in is left before the late answer") << true;
}

// A sign-out answered late, after the user has signed in again, ends the sign-in it was sent for (the
// service has dropped that token), never the new one.
void TestQmlApiAdapter::lateSignOutLeavesANewerSignIn()
{
    QFETCH(bool, signOutAgain);
    const QString oldToken = HttpClient::instance()->getAuthToken();
    dev.scriptReply("POST", "auth/logout", 0, {}, 1000);
    LogCapture log;
    api->logout();
    signIn();
    const QString newToken = HttpClient::instance()->getAuthToken();
    QVERIFY(!newToken.isEmpty() && newToken != oldToken);
    QVERIFY2(!log.contains("[AuthService] 登出"), "the sign-out was answered before the new sign-in");

    if (signOutAgain) {
        // Not held up by the sign-out still on its way: it was for the sign-in before.
        api->logout();
        QTRY_VERIFY(!api->isLoggedIn());
        QCOMPARE(dev.requests("auth/logout").size(), 2);
    }
    QSignalSpy state(api, &QmlApiAdapter::loginStateChanged);
    QSignalSpy user(api, &QmlApiAdapter::userInfoChanged);
    // The late answer is in (after the answer to the second sign-out, if there was one).
    QTRY_COMPARE(log.lines().filter("[AuthService] 登出").size(), signOutAgain ? 2 : 1);
    QVERIFY(state.isEmpty());
    QVERIFY(user.isEmpty());
    if (signOutAgain)
        return;
    QVERIFY(api->isLoggedIn());
    QCOMPARE(api->getUserEmail(), DevService::demoEmail());
    QCOMPARE(HttpClient::instance()->getAuthToken(), newToken);
    QCOMPARE(TokenManager::instance()->getToken(), newToken);

    // The new sign-in still works with the service, and signing out of it works as ever.
    QSignalSpy refreshed(api, &QmlApiAdapter::userInfoChanged);
    api->refreshUserInfo();
    QVERIFY(refreshed.wait(5000));
    QVERIFY(api->isLoggedIn());
    api->logout();
    QTRY_VERIFY(!api->isLoggedIn());
    QCOMPARE(dev.requests("auth/logout").size(), 2);
}

// Each sign-out owns its wait: the late answer to a sign-out that a new sign-in superseded does not end
// the wait of the sign-out that came after that sign-in.
void TestQmlApiAdapter::lateSignOutLeavesANewerSignOutWaiting()
{
    dev.scriptReply("POST", "auth/logout", 0, {}, 1000);
    dev.scriptReply("POST", "auth/logout", 0, {}, 3000);
    LogCapture log;
    api->logout();
    signIn();
    api->logout();
    QTRY_VERIFY(log.contains("[AuthService] 登出响应晚于新的登录"));
    QVERIFY(api->isLoggedIn()); // the second sign-out is still waiting for its answer

    api->logout();
    QVERIFY(log.contains("正在退出登录中，忽略重复调用"));
    QTRY_VERIFY_WITH_TIMEOUT(!api->isLoggedIn(), 10000);
    QCOMPARE(dev.requests("auth/logout").size(), 2);
}

void TestQmlApiAdapter::forcedDisconnection_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("signsOut");
    QTest::newRow("signed in elsewhere") << "您的账号在其他设备登录，已被强制下线" << true;
    QTest::newRow("forced offline") << "管理员已将您强制下线" << true;
    QTest::newRow("neither phrase") << "服务器维护中，连接已断开" << false;
    QTest::newRow("phrase in other words") << "您已被下线" << false;
}

void TestQmlApiAdapter::forcedDisconnection()
{
    QFETCH(QString, message);
    QFETCH(bool, signsOut);
    const int delayMs = 20;
    api->setForcedLogoutDelayMs(delayMs);
    QSignalSpy forced(api, &QmlApiAdapter::vpnForceDisconnected);
    QSignalSpy state(api, &QmlApiAdapter::loginStateChanged);
    emit VpnConnectionService::instance()->forceDisconnected(message);
    QCOMPARE(forced.count(), 1);
    QCOMPARE(forced.at(0).at(0).toString(), message);
    QVERIFY(api->isLoggedIn()); // never at once: the dialog comes first

    // A timer started after the facade's and running longer fires after it would have.
    QTimer later;
    later.setSingleShot(true);
    QSignalSpy passed(&later, &QTimer::timeout);
    later.start(delayMs * 5);
    QVERIFY(passed.wait(5000));
    if (signsOut) {
        QTRY_VERIFY(!api->isLoggedIn());
        QCOMPARE(dev.requests("auth/logout").size(), 1);
    } else {
        QVERIFY(api->isLoggedIn());
        QVERIFY(state.isEmpty());
        QCOMPARE(dev.requests("auth/logout").size(), 0);
    }
    api->setForcedLogoutDelayMs(1000);
}

void TestQmlApiAdapter::serverTiers_data()
{
    QTest::addColumn<QString>("tier");
    QTest::addColumn<QString>("query");
    QTest::newRow("none") << ""
                          << "";
    QTest::newRow("all") << "all"
                         << "";
    QTest::newRow("free") << "free"
                          << "free";
    QTest::newRow("vip") << "vip"
                         << "vip";
    QTest::newRow("ALL is a tier of its own") << "ALL"
                                              << "ALL";
    QTest::newRow("other word") << "premium"
                                << "premium";
}

void TestQmlApiAdapter::serverTiers()
{
    QFETCH(QString, tier);
    QFETCH(QString, query);
    QSignalSpy loaded(api, &QmlApiAdapter::serversLoaded);
    tier.isEmpty() ? api->getServers() : api->getServers(tier);
    QVERIFY(loaded.wait(5000));
    const QJsonArray sent = dev.requests("servers");
    QCOMPARE(sent.size(), 1);
    const QJsonObject sentQuery = sent.at(0).toObject().value("query").toObject();
    QCOMPARE(sentQuery.contains("tier"), !query.isEmpty());
    QCOMPARE(sentQuery.value("tier").toString(), query);
    // What the service lists for that word is what QML gets.
    for (const QVariant &server : loaded.at(0).at(0).toList()) {
        if (!query.isEmpty())
            QCOMPARE(server.toMap().value("tier").toString(), query);
    }
}

void TestQmlApiAdapter::emptyLists_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("servers") << "servers";
    QTest::newRow("plans") << "plans";
    QTest::newRow("orders") << "orders";
    QTest::newRow("announcements") << "announcements";
}

void TestQmlApiAdapter::emptyLists()
{
    QFETCH(QString, path);
    dev.scriptReply("GET", path, 200, listReply({}));
    const auto [loaded, failed] = requestOperation(api, path);
    QVERIFY(loaded->wait(5000));
    QCOMPARE(loaded->count(), 1);
    QCOMPARE(loaded->at(0).at(0).toList(), QVariantList());
    QVERIFY(failed->isEmpty());
}

void TestQmlApiAdapter::failureSignals_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("serviceSays"); // empty: the service answers too late
    QTest::addColumn<QString>("message");
    // What the service says reaches QML; the heartbeat operations pass on nothing of it and say their
    // own fixed text.
    QTest::newRow("servers") << "GET"
                             << "servers"
                             << "服务器列表暂不可用"
                             << "服务器列表暂不可用";
    QTest::newRow("plans") << "GET"
                           << "plans"
                           << "套餐维护中"
                           << "套餐维护中";
    QTest::newRow("orders") << "GET"
                            << "orders"
                            << "订单服务繁忙"
                            << "订单服务繁忙";
    QTest::newRow("announcements") << "GET"
                                   << "announcements"
                                   << "公告服务繁忙"
                                   << "公告服务繁忙";
    QTest::newRow("trial status") << "GET"
                                  << "trial/status"
                                  << "体验服务繁忙"
                                  << "体验服务繁忙";
    QTest::newRow("heartbeat") << "POST"
                               << "heartbeat"
                               << "数据库不可用"
                               << "心跳发送失败";
    QTest::newRow("heartbeat stats") << "GET"
                                     << "heartbeat/stats"
                                     << "数据库不可用"
                                     << "获取统计数据失败";
    // A request that times out says so, in the same words for every operation.
    for (const char *path : {"servers", "plans", "orders", "announcements", "trial/status"})
        QTest::addRow("%s, timed out", path) << "GET" << path << QString() << "请求超时";
    QTest::newRow("heartbeat, timed out") << "POST"
                                          << "heartbeat" << QString() << "心跳发送失败";
}

void TestQmlApiAdapter::failureSignals()
{
    QFETCH(QString, method);
    QFETCH(QString, path);
    QFETCH(QString, serviceSays);
    if (serviceSays.isEmpty()) {
        HttpClient::instance()->setTimeoutMs(200);
        dev.scriptReply(method, path, 0, {}, 5000);
    } else {
        dev.scriptReply(method, path, 500, refusal(serviceSays));
    }
    const auto [loaded, failed] = requestOperation(api, path);
    const bool answered = failed->wait(5000);
    HttpClient::instance()->setTimeoutMs(30000);
    QVERIFY(answered);
    QCOMPARE(failed->count(), 1);
    QTEST(failed->at(0).at(0).toString(), "message");
    QVERIFY(loaded->isEmpty());
}

void TestQmlApiAdapter::heartbeatSignals()
{
    const auto [sent, refused] = requestOperation(api, "heartbeat");
    QVERIFY(sent->wait(5000));
    QCOMPARE(sent->count(), 1);
    QVERIFY(refused->isEmpty());
    const QJsonObject body =
        QJsonDocument::fromJson(dev.lastRequest("heartbeat").value("body").toString().toUtf8()).object();
    QCOMPARE(body.value("connection_status").toString(), QString("connected"));

    const auto [stats, statsRefused] = requestOperation(api, "heartbeat/stats");
    QVERIFY(stats->wait(5000));
    QVERIFY(statsRefused->isEmpty());
    const QVariantMap figures = stats->at(0).at(0).toMap();
    QVERIFY(figures.value("onlineUsers").toInt() >= 0);
    QVERIFY(figures.value("onlineDevices").toInt() >= figures.value("onlineUsers").toInt());
}

void TestQmlApiAdapter::trialStateBeforeTheSignal_data()
{
    QTest::addColumn<bool>("vipTrial");
    QTest::newRow("free trial") << false;
    QTest::newRow("vip trial") << true;
}

void TestQmlApiAdapter::trialStateBeforeTheSignal()
{
    QFETCH(bool, vipTrial);
    setDemoAccount(QJsonObject{{"trial_used", false}, {"vip_trial_used", false}});
    QVERIFY(!api->getTrialUsed());
    QVERIFY(!api->getIsVip());
    // What a screen reads of the facade when it hears of the activation.
    QVariantList seen;
    auto watch = connect(api, &QmlApiAdapter::trialActivated, this, [this, &seen](const QVariantMap &) {
        seen = {api->getTrialUsed(), api->getIsVip(), api->getFreeMinutes()};
    });
    QSignalSpy activated(api, &QmlApiAdapter::trialActivated);
    QSignalSpy refused(api, &QmlApiAdapter::trialActivationError);
    vipTrial ? api->activateVipTrial() : api->activateFreeTrial();
    QVERIFY2(activated.wait(5000),
             qPrintable(refused.isEmpty() ? QString() : refused.at(0).at(0).toString()));
    disconnect(watch);
    if (vipTrial)
        QCOMPARE(seen, (QVariantList{false, true, 0}));
    else
        QCOMPARE(seen, (QVariantList{true, false, 120}));
}

void TestQmlApiAdapter::trialRefused_data()
{
    QTest::addColumn<bool>("vipTrial");
    QTest::addColumn<QJsonObject>("account");
    QTest::addColumn<QString>("config");
    QTest::addColumn<QString>("message");
    const QJsonObject used{{"trial_used", true}, {"trial_hours", 1}, {"vip_trial_used", true}};
    const QJsonObject unused{{"trial_used", false}, {"vip_trial_used", false}};
    QTest::newRow("free trial used (422)") << false << used << ""
                                           << "您已使用过免费体验";
    QTest::newRow("free trial closed (403)") << false << unused << "free_trial_enabled"
                                             << "免费体验暂未开放";
    QTest::newRow("vip trial used (422)") << true << used << ""
                                          << "您已使用过VIP体验";
    QTest::newRow("vip trial closed (403)") << true << unused << "vip_trial_enabled"
                                            << "VIP体验暂未开放";
}

void TestQmlApiAdapter::trialRefused()
{
    QFETCH(bool, vipTrial);
    QFETCH(QJsonObject, account);
    QFETCH(QString, config);
    setDemoAccount(account);
    const QVariantList before{api->getTrialUsed(), api->getIsVip(), api->getFreeMinutes()};
    if (!config.isEmpty())
        dev.setConfig(config, false);

    QSignalSpy refused(api, &QmlApiAdapter::trialActivationError);
    QSignalSpy activated(api, &QmlApiAdapter::trialActivated);
    QSignalSpy changed(api, &QmlApiAdapter::userInfoChanged);
    vipTrial ? api->activateVipTrial() : api->activateFreeTrial();
    const bool answered = refused.wait(5000);
    if (!config.isEmpty())
        dev.setConfig(config, true);
    QVERIFY(answered);
    QTEST(refused.at(0).at(0).toString(), "message");
    QVERIFY(activated.isEmpty());
    QVERIFY(changed.isEmpty());
    QCOMPARE((QVariantList{api->getTrialUsed(), api->getIsVip(), api->getFreeMinutes()}), before);
}

void TestQmlApiAdapter::serverDisplay_data()
{
    QTest::addColumn<QJsonObject>("server");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("flag");
    QTest::addColumn<double>("load");

    QTest::newRow("code as name, location")
        << QJsonObject{{"name", "HK"}, {"country_code", "HK"}, {"location", "Hong Kong"}} << "Hong Kong"
        << "🇭🇰" << 0.0;
    QTest::newRow("code as name, tier text") << QJsonObject{{"name", "JP"},
                                                            {"country_code", "JP"},
                                                            {"tier_text", "VIP"},
                                                            {"max_users", 200},
                                                            {"current_users", 50}}
                                             << "JP VIP"
                                             << "🇯🇵" << 25.0;
    QTest::newRow("short name, city") << QJsonObject{{"name", "US1"},
                                                     {"country_code", "US"},
                                                     {"city", "LA"},
                                                     {"max_users", 8},
                                                     {"current_users", 3}}
                                      << "US LA"
                                      << "🇺🇸" << 37.5;
    QTest::newRow("long name kept") << QJsonObject{{"name", "香港 IPLC 01"},
                                                   {"country_code", "hk"},
                                                   {"location", "x"}}
                                    << "香港 IPLC 01"
                                    << "🇭🇰" << 0.0;
    QTest::newRow("short name, nothing else") << QJsonObject{{"name", "X1"}, {"country_code", "BR"}} << "X1"
                                              << "🇧🇷" << 0.0;
    QTest::newRow("no code") << QJsonObject{{"name", "Somewhere"}} << "Somewhere"
                             << "🌐" << 0.0;
    QTest::newRow("three-letter code")
        << QJsonObject{{"name", "Somewhere"}, {"country_code", "USA"}} << "Somewhere"
        << "🌐" << 0.0;
}

void TestQmlApiAdapter::serverDisplay()
{
    QFETCH(QJsonObject, server);
    server.insert("id", 7);
    dev.scriptReply("GET", "servers", 200,
                    QJsonDocument(QJsonObject{{"success", true}, {"data", QJsonArray{server}}}).toJson());
    QSignalSpy loaded(api, &QmlApiAdapter::serversLoaded);
    api->getServers();
    QVERIFY(loaded.wait(5000));
    const QVariantMap map = loaded.at(0).at(0).toList().value(0).toMap();
    QTEST(map.value("name").toString(), "name");
    QTEST(map.value("flag").toString(), "flag");
    QTEST(map.value("loadPercentage").toDouble(), "load");
}

void TestQmlApiAdapter::mapShapes_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("keys");

    QTest::newRow("servers")
        << "servers"
        << QStringList{
               "id:int",           "name:QString",     "countryCode:QString", "city:QString",
               "location:QString", "tier:QString",     "tierText:QString",    "requiresVip:bool",
               "canConnect:bool",  "status:QString",   "flag:QString",        "vmessLink:QString",
               "maxUsers:int",     "currentUsers:int", "cpuUsage:double",     "loadPercentage:double"};
    QTest::newRow("server detail") << "serverDetail"
                                   << QStringList{
                                          "id:int",           "name:QString",     "countryCode:QString",
                                          "city:QString",     "location:QString", "tier:QString",
                                          "tierText:QString", "requiresVip:bool", "canConnect:bool",
                                          "status:QString",   "flag:QString"};
    QTest::newRow("announcements") << "announcements"
                                   << QStringList{
                                          "id:int",       "title:QString",         "content:QString",
                                          "type:QString", "publishedAt:QDateTime", "createdAt:QDateTime"};
    QTest::newRow("plans") << "plans"
                           << QStringList{"id:int",
                                          "name:QString",
                                          "days:int",
                                          "price:double",
                                          "currency:QString",
                                          "description:QString",
                                          "formattedPrice:QString",
                                          "daysText:QString",
                                          "isActive:bool"};
    QTest::newRow("orders") << "orders" << QStringList{"id:int",
                                                       "orderNumber:QString",
                                                       "planName:QString",
                                                       "planDays:int",
                                                       "amount:double",
                                                       "paymentCurrency:QString",
                                                       "paymentMethod:QString",
                                                       "paymentMethodText:QString",
                                                       "status:QString",
                                                       "statusText:QString",
                                                       "createdAt:QDateTime",
                                                       "paidAt:QDateTime"};
    QTest::newRow("free trial") << "freeTrial"
                                << QStringList{"id:int",     "email:QString",  "name:QString",
                                               "isVip:bool", "trialUsed:bool", "trialHoursRemaining:double"};
    QTest::newRow("vip trial") << "vipTrial"
                               << QStringList{"id:int", "email:QString", "name:QString", "isVip:bool",
                                              "vipExpiresAt:QString"};
    QTest::newRow("trial status")
        << "trialStatus"
        << QStringList{"trialEnabled:bool",          "trialAvailable:bool", "trialUsed:bool",
                       "trialExpiresAt:QString",     "trialHoursTotal:int", "trialHoursUsed:double",
                       "trialHoursRemaining:double", "isVip:bool",          "vipExpiresAt:QString",
                       "vipDaysRemaining:int"};
    QTest::newRow("payment created") << "paymentCreated"
                                     << QStringList{"orderId:QString", "paymentUrl:QString", "amount:double",
                                                    "planName:QString", "planDays:int"};
    QTest::newRow("payment status") << "paymentStatus"
                                    << QStringList{"orderId:QString", "status:QString",
                                                   "amount:double",   "planName:QString",
                                                   "planDays:int",    "paymentMethod:QString",
                                                   "paidAt:QString"};
    QTest::newRow("payment polled") << "paymentPolled"
                                    << QStringList{"orderId:QString", "status:QString", "amount:double",
                                                   "planName:QString", "paidAt:QString"};
    QTest::newRow("heartbeat stats") << "heartbeatStats"
                                     << QStringList{"onlineUsers:int", "onlineDevices:int"};
    QTest::newRow("system config") << "systemConfig"
                                   << QStringList{"appName:QString",         "appVersion:QString",
                                                  "siteName:QString",        "freeTrialEnabled:bool",
                                                  "vipTrialEnabled:bool",    "maintenanceMode:bool",
                                                  "enableRegistration:bool", "maxDevices:int"};
}

QVariantMap TestQmlApiAdapter::createPayment()
{
    QSignalSpy created(api, &QmlApiAdapter::paymentCreated);
    api->createPayment(1, "alipay");
    if (!created.wait(5000))
        return {};
    return created.at(0).at(0).toMap();
}

void TestQmlApiAdapter::mapShapes()
{
    QFETCH(QString, operation);
    QVariant value;
    auto first = [](const QVariant &list) { return list.toList().value(0); };
    if (operation == "servers") {
        QSignalSpy spy(api, &QmlApiAdapter::serversLoaded);
        api->getServers("free");
        QVERIFY(spy.wait(5000));
        value = first(spy.at(0).at(0));
    } else if (operation == "serverDetail") {
        QSignalSpy spy(api, &QmlApiAdapter::serverDetailLoaded);
        api->getServerById(1);
        QVERIFY(spy.wait(5000));
        value = spy.at(0).at(0);
    } else if (operation == "announcements") {
        QSignalSpy spy(api, &QmlApiAdapter::announcementsLoaded);
        api->getAnnouncements();
        QVERIFY(spy.wait(5000));
        value = first(spy.at(0).at(0));
    } else if (operation == "plans") {
        QSignalSpy spy(api, &QmlApiAdapter::plansLoaded);
        api->getSubscriptionPlans();
        QVERIFY(spy.wait(5000));
        value = first(spy.at(0).at(0));
    } else if (operation == "orders") {
        QVERIFY(!createPayment().isEmpty());
        QSignalSpy spy(api, &QmlApiAdapter::ordersLoaded);
        api->getUserOrders();
        QVERIFY(spy.wait(5000));
        value = first(spy.at(0).at(0));
    } else if (operation == "freeTrial" || operation == "vipTrial") {
        QSignalSpy spy(api, &QmlApiAdapter::trialActivated);
        QSignalSpy error(api, &QmlApiAdapter::trialActivationError);
        dev.control("POST", "users",
                    QJsonObject{{"email", DevService::demoEmail()},
                                {"trial_used", false},
                                {"vip_trial_used", false}});
        operation == "freeTrial" ? api->activateFreeTrial() : api->activateVipTrial();
        QVERIFY2(spy.wait(5000), qPrintable(error.isEmpty() ? QString() : error.at(0).at(0).toString()));
        value = spy.at(0).at(0);
    } else if (operation == "trialStatus") {
        QSignalSpy spy(api, &QmlApiAdapter::trialStatusLoaded);
        api->getTrialStatus();
        QVERIFY(spy.wait(5000));
        value = spy.at(0).at(0);
    } else if (operation == "paymentCreated") {
        value = createPayment();
    } else if (operation == "paymentStatus" || operation == "paymentPolled") {
        const QString orderId = createPayment().value("orderId").toString();
        QVERIFY(!orderId.isEmpty());
        QSignalSpy spy(api, &QmlApiAdapter::paymentStatusLoaded);
        operation == "paymentStatus" ? api->getPaymentStatus(orderId) : api->startPollingPayment(orderId);
        QVERIFY(spy.wait(5000));
        api->stopPollingPayment();
        value = spy.at(0).at(0);
    } else if (operation == "heartbeatStats") {
        QSignalSpy spy(api, &QmlApiAdapter::heartbeatStatsLoaded);
        api->getHeartbeatStats();
        QVERIFY(spy.wait(5000));
        value = spy.at(0).at(0);
    } else if (operation == "systemConfig") {
        QSignalSpy spy(api, &QmlApiAdapter::systemConfigLoaded);
        api->getSystemConfig();
        QVERIFY(spy.wait(5000));
        value = spy.at(0).at(0);
    }
    QFETCH(QStringList, keys);
    QCOMPARE(sorted(shape(value.toMap())), sorted(keys));
}

void TestQmlApiAdapter::paymentStatusSignals_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("completed");
    QTest::addColumn<bool>("failed");
    QTest::newRow("pending") << "pending" << false << false;
    QTest::newRow("completed") << "completed" << false << false;
    QTest::newRow("paid") << "paid" << true << false;
    QTest::newRow("cancelled") << "cancelled" << false << true;
    QTest::newRow("failed") << "failed" << false << true;
}

void TestQmlApiAdapter::paymentStatusSignals()
{
    QFETCH(QString, status);
    const QString orderId = createPayment().value("orderId").toString();
    QVERIFY(!orderId.isEmpty());
    if (status != "pending")
        dev.setPaymentStatus(orderId, status);
    QSignalSpy loaded(api, &QmlApiAdapter::paymentStatusLoaded);
    QSignalSpy completed(api, &QmlApiAdapter::paymentCompleted);
    QSignalSpy failed(api, &QmlApiAdapter::paymentFailed);
    api->getPaymentStatus(orderId);
    QVERIFY(loaded.wait(5000));
    QCOMPARE(loaded.at(0).at(0).toMap().value("status").toString(), status);
    QTEST(completed.count() == 1, "completed");
    QTEST(failed.count() == 1, "failed");
    if (!failed.isEmpty())
        QCOMPARE(failed.at(0), (QVariantList{orderId, status}));
}

void TestQmlApiAdapter::pollingEnds_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("pollLimit");
    QTest::addColumn<QString>("failure");
    QTest::newRow("completed") << "completed" << 60 << "";
    // The user reads what ended the order, not a time-out.
    QTest::newRow("cancelled") << "cancelled" << 60 << "订单已取消";
    QTest::newRow("refunded") << "refunded" << 60 << "订单已退款";
    QTest::newRow("failed") << "failed" << 60 << "支付未成功";
    QTest::newRow("poll limit") << "pending" << 3 << "支付超时";
}

void TestQmlApiAdapter::pollingEnds()
{
    QFETCH(QString, status);
    QFETCH(int, pollLimit);
    QFETCH(QString, failure);
    setUser(QJsonObject{{"trial_hours_total", 2}}); // not VIP before paying
    QVERIFY(!api->getIsVip());
    const QString orderId = createPayment().value("orderId").toString();
    QSignalSpy done(api, &QmlApiAdapter::paymentCompleted);
    QSignalSpy failed(api, &QmlApiAdapter::paymentFailed);
    QSignalSpy polled(api, &QmlApiAdapter::paymentStatusLoaded);
    PaymentService::instance()->setPollLimit(pollLimit);
    api->startPollingPayment(orderId);
    const bool first = polled.wait(5000);
    dev.setPaymentStatus(orderId, status);
    // The end may come while the service is being told the status, before a wait could start.
    const bool ended =
        failure.isEmpty() ? !done.isEmpty() || done.wait(5000) : !failed.isEmpty() || failed.wait(5000);
    PaymentService::instance()->setPollLimit(60);
    QVERIFY(first);
    QVERIFY(ended);
    if (failure.isEmpty()) {
        QCOMPARE(done.at(0).at(0).toString(), orderId);
        QTRY_VERIFY(api->getIsVip()); // the user is read again, with the days bought
        QVERIFY(failed.isEmpty());
    } else {
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0), (QVariantList{orderId, failure}));
        QVERIFY(done.isEmpty());
    }
}

void TestQmlApiAdapter::refusedConnectAndTheLinkInTheLog()
{
    const QString link = QStringLiteral("vmess://eyJhZGQiOiIxMjcuMC4wLjEiLCJpZCI6InNlY3JldC11dWlkIn0=");
    QSignalSpy denied(api, &QmlApiAdapter::vpnPermissionDenied);
    QSignalSpy failed(api, &QmlApiAdapter::vpnConnectionFailed);
    LogCapture log;
    QVERIFY(!api->connectVpn(0, link, false));
    QCOMPARE(denied.count(), 1);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(denied.at(0), (QVariantList{2, QString("请先选择服务器")}));
    QCOMPARE(failed.at(0), denied.at(0));
    QVERIFY(log.contains(QStringLiteral("VMess链接前缀: ") + link.left(20)));
    QVERIFY2(!log.joined().contains(link.mid(20)), "no line carries more of the link than its head");

    // An empty link is refused before any check, without a signal.
    QVERIFY(!api->connectVpn(5, QString(), false));
    QCOMPARE(denied.count(), 1);
}

void TestQmlApiAdapter::failureTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << 0 << "";
    QTest::newRow("not logged in") << 1 << "请先登录账号";
    QTest::newRow("vip line") << 3 << "此线路为VIP专线，请升级VIP后使用";
    QTest::newRow("vip expired") << 5 << "您的VIP已过期，无法连接VIP专线";
    QTest::newRow("vip expired, trial used up") << 6 << "您的VIP已过期且体验时长已用完，请续费VIP";
    QTest::newRow("account suspended") << 7 << "您的账户已被暂停，请联系客服";
    QTest::newRow("account banned") << 8 << "您的账户已被封禁，请联系客服";
    QTest::newRow("forced offline") << 9 << "您的账号在其他设备登录，已被强制下线";
    QTest::newRow("server failed") << 11 << "服务器连接失败，请稍后重试";
    QTest::newRow("past the table") << 12 << "未知错误";
    QTest::newRow("negative") << -1 << "未知错误";
}

void TestQmlApiAdapter::failureTexts()
{
    QFETCH(int, code);
    QTEST(api->getVpnFailureReasonText(code), "text");
}

QTEST_MAIN(TestQmlApiAdapter)
#include "tst_qmlapiadapter.moc"
