#include "DevService.h"
#include "ServiceTestSupport.h"

#include "api/network/HttpClient.h"
#include "api/security/CryptoUtil.h"
#include "api/security/TokenManager.h"
#include "api/services/AuthService.h"
#include "api/services/ConfigService.h"
#include "api/services/HeartbeatService.h"
#include "api/services/PaymentService.h"
#include "api/services/ServerService.h"

#include <QSignalSpy>
#include <QTest>

using namespace Tavorin::Api;
using namespace Tavorin::Api::Services;

// A user's session from sign-in to a paid plan, through the client's services only; the development
// service is only asked what it saw and told that the user paid.
class TestServicesRoundTrip : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void signInListConnectAndPay();

private:
    DevService dev;
};

void TestServicesRoundTrip::initTestCase()
{
    QVERIFY(dev.start());
    Network::HttpClient::instance()->setBaseUrl(dev.baseUrl());
}

void TestServicesRoundTrip::signInListConnectAndPay()
{
    // Configuration first, as at start-up: it brings the link passphrase.
    ServiceTest::Outcome<> configured;
    ConfigService::instance()->initialize(configured.completion());
    QVERIFY(configured.wait() && configured.ok);

    // Sign-in, with an account that has no VIP time yet.
    ServiceTest::Outcome<Models::User> login;
    AuthService::instance()->login(DevService::trialEmail(), DevService::demoPassword(), login.completion());
    QVERIFY(login.wait() && login.ok);
    QVERIFY(Security::TokenManager::instance()->isLoggedIn());
    QVERIFY(!login.value.isVipValid());

    // Server list: a free server the account may use, with a link the client can read.
    ServiceTest::Outcome<QList<Models::Server>> list;
    ServerService::instance()->getAllServers(list.completion());
    QVERIFY(list.wait() && list.ok);
    const QList<Models::Server> &servers = list.value;
    QCOMPARE(servers.size(), 4);
    int chosen = -1;
    for (qsizetype i = 0; i < servers.size(); ++i) {
        if (servers.at(i).canConnect && !servers.at(i).vmessLink.startsWith(QLatin1String("vmess://")))
            chosen = static_cast<int>(i);
    }
    QVERIFY2(chosen >= 0, "no connectable server with an encrypted link");
    const Models::Server server = servers.at(chosen);
    const QString link = Security::CryptoUtil::decryptVmessLink(
        server.vmessLink, Security::TokenManager::instance()->getVpnEncryptKey());
    QVERIFY2(link.startsWith(QLatin1String("vmess://")), qPrintable(link.left(20)));

    // Connected: heartbeats with the traffic figures, then the goodbye.
    auto *heartbeat = HeartbeatService::instance();
    heartbeat->setSecondLengthMs(2);
    QSignalSpy beats(heartbeat, &HeartbeatService::heartbeatSuccess);
    QSignalSpy forced(heartbeat, &HeartbeatService::forceDisconnectRequired);
    QSignalSpy userStatus(heartbeat, &HeartbeatService::userStatusUpdated);
    heartbeat->startAutoHeartbeat(server.id, 0);
    heartbeat->updateTrafficStats(4096, 65536);
    heartbeat->updateLatency(21);
    QTRY_VERIFY(beats.count() >= 3);
    heartbeat->stopAutoHeartbeat();
    QTRY_VERIFY(!dev.goodbyes().isEmpty());
    bool carried = false;
    for (const QJsonValue &beat : dev.heartbeats()) {
        const QJsonObject body = beat.toObject();
        if (body.value("connection_status") == QLatin1String("connected") &&
            body.value("upload_bytes").toInteger() == 4096 &&
            body.value("download_bytes").toInteger() == 65536 && body.value("latency_ms").toInteger() == 21)
            carried = true;
    }
    QVERIFY(carried);
    QCOMPARE(forced.count(), 0);
    QVERIFY(userStatus.count() >= 1);
    QCOMPARE(userStatus.first().at(0).toBool(), false);

    // Buying a plan: order, polling, the payment confirmed by the service, and the VIP time it bought.
    auto *payments = PaymentService::instance();
    payments->setPollIntervalMs(30);
    ServiceTest::Outcome<QList<Models::SubscriptionPlan>> plans;
    payments->getSubscriptionPlans(plans.completion());
    QVERIFY(plans.wait() && plans.ok);
    QVERIFY(!plans.value.isEmpty());
    ServiceTest::Outcome<Models::CreatePaymentData> created;
    payments->createPayment(plans.value.first().id, QStringLiteral("alipay"), created.completion());
    QVERIFY(created.wait() && created.ok);
    const Models::CreatePaymentData &order = created.value;
    QSignalSpy completed(payments, &PaymentService::paymentCompleted);
    bool completedCalled = false;
    bool failedCalled = false;
    payments->startPolling(
        order.orderId, {}, [&]() { completedCalled = true; }, [&]() { failedCalled = true; });
    QTRY_VERIFY(dev.requests(QStringLiteral("payments/status/") + order.orderId).size() >= 2);
    dev.setPaymentStatus(order.orderId, QStringLiteral("completed"));
    QTRY_VERIFY(completedCalled);
    QVERIFY(!failedCalled);
    QCOMPARE(completed.count(), 1);
    QCOMPARE(completed.first().at(0).toString(), order.orderId);

    ServiceTest::Outcome<Models::User> me;
    AuthService::instance()->refreshCurrentUser(me.completion());
    QVERIFY(me.wait() && me.ok);
    QVERIFY(me.value.isVipValid());
    QVERIFY(Security::TokenManager::instance()->getCurrentUser().isVipValid());

    // Signing out ends the session on both sides.
    const QString token = Security::TokenManager::instance()->getToken();
    ServiceTest::Outcome<> logout;
    AuthService::instance()->logout(logout.completion());
    QVERIFY(logout.wait() && logout.ok);
    QVERIFY(!Security::TokenManager::instance()->isLoggedIn());
    Network::HttpClient::instance()->setAuthToken(token);
    ServiceTest::Outcome<Models::User> afterLogout;
    AuthService::instance()->getCurrentUser(afterLogout.completion());
    QVERIFY(afterLogout.wait());
    QVERIFY(!afterLogout.ok);
    Network::HttpClient::instance()->clearAuthToken();
}

QTEST_MAIN(TestServicesRoundTrip)
#include "tst_servicesroundtrip.moc"
