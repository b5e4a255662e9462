#include "DevService.h"
#include "LocalPorts.h"
#include "LogCapture.h"
#include "StandinState.h"
#include "TestHttpServer.h"
#include "VmessTestServer.h"
#include "api/network/HttpClient.h"
#include "api/security/CryptoUtil.h"
#include "api/services/HeartbeatService.h"
#include "app/QmlApiAdapter.h"
#include "vpn/V2RayCore.h"
#include "vpn/VpnConnectionService.h"

#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using Tavorin::Api::QmlApiAdapter;
using Tavorin::Api::Network::HttpClient;
using Tavorin::Api::Security::CryptoUtil;
using Tavorin::Api::Services::HeartbeatService;
using Tavorin::Api::Services::VpnConnectionService;

// The whole client below the screens, through `API` alone: the development service, the real proxy
// core stand-in carrying traffic over vmess to a local v2ray server, and the command stand-ins.
class TestFullStack : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void signInConnectCarryTrafficAndGetForcedOff();
    void serviceEndsTheConnectionWithoutAStall_data();
    void serviceEndsTheConnectionWithoutAStall();
    void goodbyeLeavesWhileTheConnectionStands();
    void noSecretReachesTheLog();

private:
    // The link of the local vmess server as the server list hands it to the screens; empty when absent.
    QString testServerLink(QmlApiAdapter &api) const;
    // Connects `api` to the local vmess server; empty once connected, otherwise what went wrong.
    QString connectToTestServer(QmlApiAdapter &api, const QString &link) const;
    // Signs `api` in as `email` and connects it to the local vmess server; empty once connected.
    QString signInAndConnect(QmlApiAdapter &api, const QString &email) const;

    DevService dev;
    VmessTestServer vmess;
    TestHttpServer echo;
    int serverId = 0;
};

void TestFullStack::initTestCase()
{
    StandinState::reset();
    LocalPorts::useFree();
    QVERIFY(dev.start());
    HttpClient::instance()->setBaseUrl(dev.baseUrl());
    QVERIFY2(vmess.start(), qPrintable(vmess.errorString()));
    QVERIFY(echo.listen());
    echo.setDefaultReply(
        TestHttpServer::Reply{200, QByteArray("hello through the tunnel ") + QByteArray(4000, 'x'), {}, 0});

    // A heartbeat every 300 ms instead of every 30 s, traffic read every 100 ms instead of 2 s.
    HeartbeatService::instance()->setSecondLengthMs(10);
    VpnConnectionService::instance()->proxyCore()->setTrafficInterval(100);

    const QJsonObject link = vmess.linkObject();
    serverId = dev.addServer(QJsonObject{{"name", "本地 vmess 节点"},
                                         {"country_code", "HK"},
                                         {"tier", "free"},
                                         {"requires_vip", false},
                                         {"encrypted", true},
                                         {"vmess", QJsonObject{{"address", "127.0.0.1"},
                                                               {"port", vmess.port()},
                                                               {"id", vmess.uuid()},
                                                               {"aid", 0},
                                                               {"net", "tcp"}}}});
    QVERIFY(serverId > 0);
}

QString TestFullStack::testServerLink(QmlApiAdapter &api) const
{
    QSignalSpy servers(&api, &QmlApiAdapter::serversLoaded);
    api.getServers();
    if (!servers.wait(30000))
        return {};
    for (const QVariant &entry : servers.at(0).at(0).toList()) {
        if (entry.toMap().value("id").toInt() == serverId)
            return entry.toMap().value("vmessLink").toString();
    }
    return {};
}

QString TestFullStack::connectToTestServer(QmlApiAdapter &api, const QString &link) const
{
    QSignalSpy connected(&api, &QmlApiAdapter::vpnConnected);
    QSignalSpy failed(&api, &QmlApiAdapter::vpnConnectionFailed);
    if (!api.connectVpn(serverId, link, false))
        return QStringLiteral("connectVpn refused");
    if (!connected.wait(30000))
        return failed.isEmpty() ? QStringLiteral("not connected in 30 s") : failed.at(0).at(1).toString();
    return {};
}

QString TestFullStack::signInAndConnect(QmlApiAdapter &api, const QString &email) const
{
    QSignalSpy signedIn(&api, &QmlApiAdapter::loginSuccess);
    api.login(email, DevService::demoPassword());
    if (!signedIn.wait(30000))
        return QStringLiteral("not signed in in 30 s");
    const QString link = testServerLink(api);
    if (link.isEmpty())
        return QStringLiteral("the local vmess server is not in the list");
    return connectToTestServer(api, link);
}

void TestFullStack::signInConnectCarryTrafficAndGetForcedOff()
{
    QmlApiAdapter api;
    api.setForcedLogoutDelayMs(50);

    QSignalSpy signedIn(&api, &QmlApiAdapter::loginSuccess);
    QSignalSpy config(&api, &QmlApiAdapter::systemConfigLoaded);
    api.login(DevService::trialEmail(), DevService::demoPassword());
    QVERIFY(signedIn.wait(30000));
    QVERIFY(config.count() > 0 || config.wait(30000)); // brings the link passphrase

    // A free account connects on its trial time.
    QSignalSpy trial(&api, &QmlApiAdapter::trialActivated);
    api.activateFreeTrial();
    QVERIFY(trial.wait(30000));
    QVERIFY(api.getFreeMinutes() > 0);

    const QString link = testServerLink(api);
    QVERIFY2(!link.isEmpty() && !link.startsWith("vmess://"), "the server's link travels encrypted");

    QSignalSpy connected(&api, &QmlApiAdapter::vpnConnected);
    QSignalSpy failed(&api, &QmlApiAdapter::vpnConnectionFailed);
    QSignalSpy traffic(&api, &QmlApiAdapter::vpnTrafficUpdate);
    QVERIFY(api.connectVpn(serverId, link, false));
    QVERIFY2(connected.wait(30000), failed.isEmpty() ? "" : qPrintable(failed.at(0).at(1).toString()));
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("1"));
    QCOMPARE(StandinState::environmentVariable("http_proxy"),
             QString("socks://127.0.0.1:%1").arg(LocalPorts::mixed()));

    // An HTTP request through the local proxy reaches the local endpoint over the vmess tunnel.
    QNetworkAccessManager network;
    network.setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", LocalPorts::mixed()));
    const QUrl target(
        QStringLiteral("http://%1:%2/through-the-tunnel").arg(VmessTestServer::echoHost()).arg(echo.port()));
    QNetworkReply *reply = network.get(QNetworkRequest(target));
    QSignalSpy finished(reply, &QNetworkReply::finished);
    QVERIFY(finished.wait(30000));
    QVERIFY2(reply->error() == QNetworkReply::NoError, qPrintable(reply->errorString()));
    const QByteArray body = reply->readAll();
    QVERIFY(body.startsWith("hello through the tunnel"));
    QCOMPARE(echo.lastRequest().path, QString("/through-the-tunnel"));
    reply->deleteLater();

    // The figures grow by at least what crossed the tunnel, and the service hears them.
    QTRY_VERIFY_WITH_TIMEOUT(!traffic.isEmpty() && traffic.last().at(1).toLongLong() >= body.size(), 30000);
    const qlonglong upload = traffic.last().at(0).toLongLong();
    QVERIFY(upload >= target.path().size());
    auto heardTraffic = [this, &body]() {
        const QJsonArray beats = dev.heartbeats();
        for (const QJsonValue &beat : beats) {
            const QJsonObject object = beat.toObject();
            if (object.value("connection_status") == QLatin1String("connected") &&
                object.value("download_bytes").toInteger() >= body.size() &&
                object.value("upload_bytes").toInteger() > 0)
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(heardTraffic(), 30000);

    // Signed in elsewhere: the service drops the token, the next heartbeat draws a 401.
    QSignalSpy forced(&api, &QmlApiAdapter::vpnForceDisconnected);
    QSignalSpy disconnected(&api, &QmlApiAdapter::vpnDisconnected);
    dev.revokeAllTokens();
    QVERIFY(forced.wait(30000));
    QTRY_VERIFY_WITH_TIMEOUT(!api.isLoggedIn() && dev.requests("auth/logout").size() == 1, 30000);
    QCOMPARE(forced.count(), 1);
    QVERIFY(forced.at(0).at(0).toString().contains("强制下线"));
    QCOMPARE(api.getUserEmail(), QString());

    // Nothing points at the dead local port any more.
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("0"));
    QCOMPARE(StandinState::environmentVariable("http_proxy"), QString());
    QCOMPARE(StandinState::environmentVariable("https_proxy"), QString());
    QCOMPARE(StandinState::winHttpProxy(), QString());
}

void TestFullStack::serviceEndsTheConnectionWithoutAStall_data()
{
    QTest::addColumn<bool>("deviceForcedOff"); // otherwise the trial runs out
    QTest::newRow("device forced off") << true;
    QTest::newRow("trial runs out") << false;
}

// The service ends the connection in a heartbeat's answer. The teardown then runs while that answer is
// still being handled: it waits for its goodbye, not for the answer it runs in, which the window would
// sit out frozen.
void TestFullStack::serviceEndsTheConnectionWithoutAStall()
{
    QFETCH(bool, deviceForcedOff);
    StandinState::reset();
    dev.updateUser(QJsonObject{{"email", DevService::trialEmail()}, {"trial_hours", 2}});
    QmlApiAdapter api;
    const QString connectProblem = signInAndConnect(api, DevService::trialEmail());
    QVERIFY2(connectProblem.isEmpty(), qPrintable(connectProblem));

    QSignalSpy disconnected(&api, &QmlApiAdapter::vpnDisconnected);
    const qsizetype goodbyes = dev.goodbyes().size();
    LogCapture log;
    if (deviceForcedOff)
        dev.setDeviceStatus(QStringLiteral("active"), true, QStringLiteral("设备已被下线"));
    else
        dev.updateUser(QJsonObject{{"email", DevService::trialEmail()}, {"trial_hours", 0}});
    QVERIFY2(disconnected.wait(30000), "waiting for the service's answer to end the connection");
    dev.setDeviceStatus(QStringLiteral("active"), false, QString());

    // The wait ended on the goodbye's own answer, not on its limit.
    QVERIFY(log.contains("[VpnConnectionService] 告别心跳已应答"));
    QVERIFY(!log.contains("[VpnConnectionService] 告别心跳未等到应答"));
    QTRY_VERIFY_WITH_TIMEOUT(dev.goodbyes().size() > goodbyes, 30000);
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("0"));
}

// The service hears the goodbye while the connection still stands: the system proxy is switched off
// and the core ended only after it, so a goodbye that a slow network holds up never finds the user
// cut off already, and the service's figures end where the connection did.
void TestFullStack::goodbyeLeavesWhileTheConnectionStands()
{
    StandinState::reset();
    QmlApiAdapter api;
    const QString connectProblem = signInAndConnect(api, DevService::demoEmail());
    QVERIFY2(connectProblem.isEmpty(), qPrintable(connectProblem));

    // Every heartbeat is answered late from now on, the goodbye too: the teardown waits for it, and
    // meanwhile a probe looks at the engine as soon as the service has the goodbye.
    dev.scriptReply("POST", "heartbeat", 0, {}, 1000, 0);
    const qsizetype goodbyes = dev.goodbyes().size();
    QString proxyWhenHeard;
    qint64 coreWhenHeard = -1;
    bool probing = false;
    QTimer probe;
    probe.setInterval(20);
    connect(&probe, &QTimer::timeout, this, [&]() {
        if (probing || !proxyWhenHeard.isNull())
            return;
        probing = true;
        if (dev.goodbyes().size() > goodbyes) {
            proxyWhenHeard = StandinState::registryValue("ProxyEnable");
            coreWhenHeard = StandinState::corePid();
        }
        probing = false;
    });
    probe.start();
    api.disconnectVpn();
    probe.stop();
    dev.control(QStringLiteral("POST"), QStringLiteral("script/clear"));

    QCOMPARE(proxyWhenHeard, QString("1"));
    QVERIFY(coreWhenHeard > 0);
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("0"));
    QTRY_COMPARE(StandinState::corePid(), qint64(0));
}

// Every secret the client handles on the way from signing in to a running connection, with values of
// this test's own so that any trace of them in the log is unmistakable.
void TestFullStack::noSecretReachesTheLog()
{
    const QString password = QStringLiteral("pw-7Hq2Lx9Vb");
    const QString apiSecret = QStringLiteral("sig-Rk4Wn8Tz3");
    const QString linkKey = QStringLiteral("lk-Pm6Yc1Gd5");
    dev.updateUser(QJsonObject{{"password", password}, {"vip_days", 30}});
    dev.setConfig("vpn_encrypt_key", linkKey);
    dev.setEnvelope(true, apiSecret);

    LogCapture log;
    QmlApiAdapter api;
    // The configuration first, as at start-up: it teaches the client the envelope's secret.
    QSignalSpy config(&api, &QmlApiAdapter::systemConfigLoaded);
    api.getSystemConfig();
    QVERIFY(config.wait(30000));
    QSignalSpy signedIn(&api, &QmlApiAdapter::loginSuccess);
    api.login(DevService::demoEmail(), password);
    QVERIFY(signedIn.wait(30000));
    QVERIFY(config.count() > 1 || config.wait(30000));
    const QString token = HttpClient::instance()->getAuthToken();
    QVERIFY(!token.isEmpty());

    const QString link = testServerLink(api);
    QVERIFY(!link.isEmpty());

    const QString connectProblem = connectToTestServer(api, link);
    QVERIFY2(connectProblem.isEmpty(), qPrintable(connectProblem));
    QSignalSpy disconnected(&api, &QmlApiAdapter::vpnDisconnected);
    api.disconnectVpn();
    QVERIFY(!disconnected.isEmpty() || disconnected.wait(30000));
    dev.setEnvelope(false, QString());

    // The link as it travelled (encrypted) and its tail: the connection log shows a short prefix by design.
    const QString plainLink = CryptoUtil::decryptVmessLink(link, linkKey);
    QVERIFY(plainLink.startsWith("vmess://"));
    const QStringList secrets{password,          token,       apiSecret, linkKey, link.mid(20),
                              plainLink.mid(20), vmess.uuid()};
    QVERIFY(log.lines().size() > 50);
    for (const QString &secret : secrets) {
        for (const QString &line : log.lines())
            QVERIFY2(!line.contains(secret), qPrintable(line.left(300)));
    }
}

QTEST_MAIN(TestFullStack)
#include "tst_fullstack.moc"
