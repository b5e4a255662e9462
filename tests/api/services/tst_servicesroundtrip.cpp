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
    bool done = false;
    ConfigService::instance()->initialize([&](bool success) { done = success; });
    QVERIFY(ServiceTest::waitFor(done));

    // Sign-in.
    done = false;
    Models::User user;
    AuthService::instance()->login(DevService::demoEmail(), DevService::demoPassword(),
                                   [&](bool success, const QString &, const Models::User &u) {
                                       user = u;
                                       done = success;
                                   });
    QVERIFY(ServiceTest::waitFor(done));
    QVERIFY(Security::TokenManager::instance()->isLoggedIn());
    QVERIFY(!user.isVipValid());

    // Server list: a free server the account may use, with a link the client can read.
    done = false;
    QList<Models::Server> servers;
    ServerService::instance()->getAllServers(
        [&](bool success, const QString &, const QList<Models::Server> &list) {
            servers = list;
            done = success;
        });
    QVERIFY(ServiceTest::waitFor(done));
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
    QTRY_COMPARE(dev.heartbeats().last().toObject().value("connection_status").toString(),
                 QStringLiteral("disconnected"));
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
    done = false;
    QList<Models::SubscriptionPlan> plans;
    payments->getSubscriptionPlans(
        [&](bool success, const QString &, const QList<Models::SubscriptionPlan> &list) {
            plans = list;
            done = success;
        });
    QVERIFY(ServiceTest::waitFor(done));
    QVERIFY(!plans.isEmpty());
    done = false;
    Models::CreatePaymentData order;
    payments->createPayment(plans.first().id, QStringLiteral("alipay"),
                            [&](bool success, const QString &, const Models::CreatePaymentData &data) {
                                order = data;
                                done = success;
                            });
    QVERIFY(ServiceTest::waitFor(done));
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

    done = false;
    AuthService::instance()->refreshCurrentUser([&](bool success, const QString &, const Models::User &u) {
        user = u;
        done = success;
    });
    QVERIFY(ServiceTest::waitFor(done));
    QVERIFY(user.isVipValid());
    QVERIFY(Security::TokenManager::instance()->getCurrentUser().isVipValid());

    // Signing out ends the session on both sides.
    const QString token = Security::TokenManager::instance()->getToken();
    done = false;
    AuthService::instance()->logout([&](bool success, const QString &) { done = success; });
    QVERIFY(ServiceTest::waitFor(done));
    QVERIFY(!Security::TokenManager::instance()->isLoggedIn());
    Network::HttpClient::instance()->setAuthToken(token);
    done = false;
    bool ok = true;
    AuthService::instance()->getCurrentUser([&](bool success, const QString &, const Models::User &) {
        ok = success;
        done = true;
    });
    QVERIFY(ServiceTest::waitFor(done));
    QVERIFY(!ok);
    Network::HttpClient::instance()->clearAuthToken();
}

QTEST_MAIN(TestServicesRoundTrip)
#include "tst_servicesroundtrip.moc"
