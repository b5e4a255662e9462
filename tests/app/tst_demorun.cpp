#include "DemoEndpointProcess.h"
#include "DevService.h"
#include "LocalPorts.h"
#include "StandinState.h"
#include "TestHttpServer.h"
#include "api/network/HttpClient.h"
#include "api/security/CryptoUtil.h"
#include "api/security/TokenManager.h"
#include "api/services/HeartbeatService.h"
#include "app/QmlApiAdapter.h"
#include "vpn/VpnConnectionService.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using Tavorin::Api::QmlApiAdapter;
using Tavorin::Api::Network::HttpClient;
using Tavorin::Api::Security::CryptoUtil;
using Tavorin::Api::Security::TokenManager;
using Tavorin::Api::Services::HeartbeatService;
using Tavorin::Api::Services::VpnConnectionService;

namespace {

// The transport a server's link asks for: "tcp", "ws", "tcp+tls" or "ws+tls".
QString transportOf(const QString &vmessLink)
{
    QString link = vmessLink;
    if (!link.startsWith(QLatin1String("vmess://")))
        link = CryptoUtil::decryptVmessLink(link, TokenManager::instance()->getVpnEncryptKey());
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromBase64(link.mid(8).toLatin1())).object();
    return json.value("net").toString() + (json.value("tls").toString().isEmpty() ? "" : "+tls");
}

} // namespace

// What scripts/run starts, below the window: the development service with its state file, the demo's
// vmess endpoint its servers lead to, and the client's back end through `API` with the platform
// stand-ins. Every seeded line carries real traffic, and a restarted service still knows the sign-in.
class TestDemoRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void seededAccountsStayConnected_data();
    void seededAccountsStayConnected();
    void everyLineTunnelsAndTheSignInOutlivesARestart();

private:
    QTemporaryDir folder;
    DemoEndpointProcess endpoint;
    DevService dev;
    TestHttpServer page;
};

void TestDemoRun::initTestCase()
{
    StandinState::reset();
    LocalPorts::useFree();
    QVERIFY(folder.isValid());
    QVERIFY(endpoint.start(folder.filePath(QStringLiteral("endpoint"))));
    QVERIFY(dev.start({QStringLiteral("--state"), folder.filePath(QStringLiteral("service-state.json")),
                       QStringLiteral("--vmess-endpoint"), endpoint.linesFile()}));
    HttpClient::instance()->setBaseUrl(dev.baseUrl());
    // A heartbeat every 300 ms instead of every 30 s.
    HeartbeatService::instance()->setSecondLengthMs(10);
    QVERIFY(page.listen());
    page.setDefaultReply(TestHttpServer::Reply{200, QByteArray("a page served on this machine"), {}, 0});
}

// The accounts the README names, used as it says: the demo account connects as it signs in, the trial
// account once it has taken its free trial. Each is let through by the permission rule and is still
// connected after the service's answers to its heartbeats, which carry the account's VIP and trial time.
void TestDemoRun::seededAccountsStayConnected_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<bool>("takesTrial");
    QTest::addColumn<bool>("vip");

    QTest::newRow("demo account as it signs in") << DevService::demoEmail() << false << true;
    QTest::newRow("trial account after its free trial") << DevService::trialEmail() << true << false;
}

void TestDemoRun::seededAccountsStayConnected()
{
    QFETCH(QString, email);
    QFETCH(bool, takesTrial);
    QFETCH(bool, vip);

    QmlApiAdapter api;
    QSignalSpy signedIn(&api, &QmlApiAdapter::loginSuccess);
    QSignalSpy refused(&api, &QmlApiAdapter::loginError);
    QSignalSpy config(&api, &QmlApiAdapter::systemConfigLoaded);
    api.login(email, DevService::demoPassword());
    QVERIFY2(signedIn.wait(5000), refused.isEmpty() ? "" : qPrintable(refused.at(0).at(0).toString()));
    QVERIFY(config.count() > 0 || config.wait(5000));
    if (takesTrial) {
        QSignalSpy trial(&api, &QmlApiAdapter::trialActivated);
        api.activateFreeTrial();
        QVERIFY(trial.wait(5000));
    }
    QCOMPARE(api.getIsVip(), vip);

    QSignalSpy servers(&api, &QmlApiAdapter::serversLoaded);
    api.getServers();
    QVERIFY(servers.wait(5000));
    QVariantMap line;
    for (const QVariant &entry : servers.takeFirst().at(0).toList()) {
        const QVariantMap server = entry.toMap();
        const bool vipLine = server.value("requiresVip").toBool();
        // 3: the line wants VIP time.
        QCOMPARE(api.checkVpnPermission(server.value("id").toInt(), vipLine), vipLine && !vip ? 3 : 0);
        if (vipLine == vip)
            line = server;
    }
    QVERIFY(!line.isEmpty());

    QSignalSpy connected(&api, &QmlApiAdapter::vpnConnected);
    QSignalSpy failed(&api, &QmlApiAdapter::vpnConnectionFailed);
    QSignalSpy denied(&api, &QmlApiAdapter::vpnPermissionDenied);
    QSignalSpy disconnected(&api, &QmlApiAdapter::vpnDisconnected);
    QSignalSpy beats(HeartbeatService::instance(), &HeartbeatService::heartbeatSuccess);
    QVERIFY(api.connectVpn(line.value("id").toInt(), line.value("vmessLink").toString(), vip));
    QVERIFY2(connected.wait(10000), failed.isEmpty() ? "" : qPrintable(failed.at(0).at(1).toString()));
    // The first answer comes at once, the next ones on the shortened period.
    QTRY_VERIFY_WITH_TIMEOUT(beats.count() >= 3 || !disconnected.isEmpty(), 10000);
    QVERIFY2(denied.isEmpty(), denied.isEmpty() ? "" : qPrintable(denied.at(0).at(1).toString()));
    QCOMPARE(disconnected.count(), 0);
    QVERIFY(VpnConnectionService::instance()->isConnected());

    api.disconnectVpn();
    QVERIFY(disconnected.count() > 0 || disconnected.wait(5000));
    QSignalSpy signedOut(&api, &QmlApiAdapter::loginStateChanged);
    api.logout();
    QVERIFY(signedOut.wait(5000));
}

void TestDemoRun::everyLineTunnelsAndTheSignInOutlivesARestart()
{
    QmlApiAdapter api;
    QSignalSpy signedIn(&api, &QmlApiAdapter::loginSuccess);
    QSignalSpy config(&api, &QmlApiAdapter::systemConfigLoaded);
    api.login(DevService::demoEmail(), DevService::demoPassword());
    QVERIFY(signedIn.wait(5000));
    QVERIFY(config.count() > 0 || config.wait(5000)); // brings the link passphrase

    // VIP lines too: the demo account has VIP time from the start.
    QSignalSpy servers(&api, &QmlApiAdapter::serversLoaded);
    api.getServers();
    QVERIFY(servers.wait(5000));
    const QVariantList list = servers.takeFirst().at(0).toList();

    QNetworkAccessManager network;
    network.setProxy(
        QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), LocalPorts::mixed()));
    QSet<QString> tunnelled;
    QSet<bool> vipLines;
    for (const QVariant &entry : list) {
        const QVariantMap server = entry.toMap();
        const QString link = server.value("vmessLink").toString();
        const QString transport = transportOf(link);

        QSignalSpy connected(&api, &QmlApiAdapter::vpnConnected);
        QSignalSpy failed(&api, &QmlApiAdapter::vpnConnectionFailed);
        QVERIFY(api.connectVpn(server.value("id").toInt(), link, server.value("requiresVip").toBool()));
        QVERIFY2(
            connected.wait(10000),
            qPrintable(transport + ": " + (failed.isEmpty() ? QString() : failed.at(0).at(1).toString())));

        // The name resolves only at the endpoint: the page is reached through the tunnel or not at all.
        const QUrl target(QStringLiteral("http://local.mirevo.test:%1/%2").arg(page.port()).arg(transport));
        QNetworkReply *reply = network.get(QNetworkRequest(target));
        QSignalSpy finished(reply, &QNetworkReply::finished);
        QVERIFY(finished.wait(10000));
        QVERIFY2(reply->error() == QNetworkReply::NoError,
                 qPrintable(transport + ": " + reply->errorString()));
        QCOMPARE(reply->readAll(), QByteArray("a page served on this machine"));
        QCOMPARE(page.lastRequest().path, QStringLiteral("/") + transport);
        reply->deleteLater();

        QSignalSpy disconnected(&api, &QmlApiAdapter::vpnDisconnected);
        api.disconnectVpn();
        QVERIFY(disconnected.count() > 0 || disconnected.wait(5000));
        tunnelled.insert(transport);
        vipLines.insert(server.value("requiresVip").toBool());
    }
    QCOMPARE(tunnelled, QSet<QString>({"tcp", "ws", "tcp+tls", "ws+tls"}));
    QCOMPARE(vipLines, QSet<bool>({false, true}));
    // What a person watching the endpoint's log sees.
    QVERIFY(endpoint.output().contains(QStringLiteral("local.mirevo.test:%1").arg(page.port())));

    // The next run starts the service again: the client's saved sign-in still holds there.
    QVERIFY(dev.restart());
    QSignalSpy serversAgain(&api, &QmlApiAdapter::serversLoaded);
    QSignalSpy serversError(&api, &QmlApiAdapter::serversError);
    api.getServers();
    QVERIFY2(serversAgain.wait(5000),
             serversError.isEmpty() ? "" : qPrintable(serversError.at(0).at(0).toString()));
    QCOMPARE(serversAgain.at(0).at(0).toList().size(), list.size());
    QVERIFY(api.isLoggedIn());
    QCOMPARE(api.getUserEmail(), DevService::demoEmail());
    QSignalSpy user(&api, &QmlApiAdapter::userInfoChanged);
    api.refreshUserInfo();
    QVERIFY(user.wait(5000));
    QVERIFY(api.isLoggedIn());
}

QTEST_MAIN(TestDemoRun)
#include "tst_demorun.moc"
