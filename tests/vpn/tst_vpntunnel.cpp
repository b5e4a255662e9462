#include "DevService.h"
#include "LocalPorts.h"
#include "StandinState.h"
#include "TestHttpServer.h"
#include "VmessTestServer.h"
#include "api/models/Server.h"
#include "api/network/HttpClient.h"
#include "api/security/TokenManager.h"
#include "api/services/AuthService.h"
#include "api/services/ConfigService.h"
#include "api/services/ServerService.h"
#include "vpn/V2RayCore.h"
#include "vpn/VpnConnectionService.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

using Tavorin::Api::Models::Server;
using Tavorin::Api::Models::User;
using Tavorin::Api::Network::HttpClient;
using Tavorin::Api::Services::AuthService;
using Tavorin::Api::Services::ConfigService;
using Tavorin::Api::Services::ServerService;
using Tavorin::Api::Services::VpnConnectionService;
namespace Services = Tavorin::Api::Services;

namespace {

// The service's description of a server entry, from the link the local vmess server offers.
QJsonObject serverEntry(const VmessTestServer &vmess, bool encrypted)
{
    const QJsonObject link = vmess.linkObject();
    QJsonObject entry{
        {"address", link.value("add")}, {"port", link.value("port")}, {"id", link.value("id")},
        {"aid", link.value("aid")},     {"net", link.value("net")},   {"host", link.value("host")},
        {"path", link.value("path")},   {"tls", link.value("tls")},   {"sni", link.value("sni")}};
    if (link.contains("scy"))
        entry.insert("scy", link.value("scy"));
    return QJsonObject{{"name", "本地隧道"},    {"country_code", "HK"}, {"tier", "free"},
                       {"requires_vip", false}, {"vmess", entry},       {"encrypted", encrypted}};
}

QNetworkReply *throughTunnel(QNetworkAccessManager &network, quint16 port, const QByteArray &body)
{
    network.setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", LocalPorts::mixed()));
    QNetworkRequest request(QUrl(QString("http://%1:%2/echo").arg(VmessTestServer::echoHost()).arg(port)));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/octet-stream");
    request.setTransferTimeout(30000);
    return network.post(request, body);
}

} // namespace

class TestVpnTunnel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void trafficTravelsOverVmess_data();
    void trafficTravelsOverVmess();

private:
    DevService dev;
    User user;
};

void TestVpnTunnel::initTestCase()
{
    LocalPorts::useFree();
    QVERIFY(dev.start());
    // An account with time left, or the first heartbeat would end the connection.
    dev.updateUser({{"vip_days", 30}});
    HttpClient::instance()->setBaseUrl(dev.baseUrl());
    bool done = false;
    AuthService::instance()->login(DevService::demoEmail(), DevService::demoPassword(),
                                   [&](bool success, const QString &message, const User &signedIn) {
                                       QVERIFY2(success, qPrintable(message));
                                       user = signedIn;
                                       done = true;
                                   });
    QTRY_VERIFY_WITH_TIMEOUT(done, 30000);
    done = false;
    // The configuration carries the passphrase of encrypted links.
    ConfigService::instance()->getConfigs([&](bool, const QString &, const auto &) { done = true; });
    QTRY_VERIFY_WITH_TIMEOUT(done, 30000);
    QVERIFY(!Tavorin::Api::Security::TokenManager::instance()->getVpnEncryptKey().isEmpty());
    VpnConnectionService::instance()->updateUserInfo(user);
    VpnConnectionService::instance()->proxyCore()->setTrafficInterval(100);
}

void TestVpnTunnel::init()
{
    StandinState::reset();
}

void TestVpnTunnel::cleanup()
{
    VpnConnectionService::instance()->disconnect();
    QVERIFY(StandinState::endRunningPrograms());
}

void TestVpnTunnel::trafficTravelsOverVmess_data()
{
    QTest::addColumn<bool>("encrypted");
    QTest::addColumn<QString>("network");
    QTest::addColumn<bool>("tls");

    QTest::newRow("plain link, tcp") << false << "tcp" << false;
    QTest::newRow("encrypted link, websocket") << true << "ws" << false;
    QTest::newRow("plain link, tls") << false << "tcp" << true;
}

void TestVpnTunnel::trafficTravelsOverVmess()
{
    QFETCH(bool, encrypted);
    QFETCH(QString, network);
    QFETCH(bool, tls);

    VmessTestServer vmess;
    VmessTestServer::Options options;
    options.network = network;
    options.path = network == QLatin1String("ws") ? "/tunnel" : "";
    options.host = network == QLatin1String("ws") ? "cdn.mirevo.test" : "";
    options.tls = tls;
    options.sni = tls ? "vmess.mirevo.test" : "";
    options.security = "aes-128-gcm";
    QVERIFY2(vmess.start(options), qPrintable(vmess.errorString()));
    const int serverId = dev.addServer(serverEntry(vmess, encrypted));
    QVERIFY(serverId > 0);

    QString link;
    ServerService::instance()->getAllServers(
        [&](bool success, const QString &, const QList<Server> &servers) {
            QVERIFY(success);
            for (const Server &server : servers) {
                if (server.id == serverId)
                    link = server.vmessLink;
            }
        });
    QTRY_VERIFY_WITH_TIMEOUT(!link.isEmpty(), 30000);
    QCOMPARE(link.startsWith("vmess://"), !encrypted);

    TestHttpServer endpoint;
    QVERIFY(endpoint.listen());
    const QByteArray answer = QByteArray(48 * 1024, 'd');
    endpoint.setDefaultReply(TestHttpServer::Reply{200, answer, {}, 0});
    const QByteArray sent = QByteArray(16 * 1024, 'u');

    VpnConnectionService *service = VpnConnectionService::instance();
    QSignalSpy successes(service, &VpnConnectionService::connectionSuccess);
    QSignalSpy failures(service, &VpnConnectionService::connectionFailed);
    const qsizetype earlierHeartbeats = dev.heartbeats().size();
    QVERIFY(service->connect(serverId, link));
    QVERIFY2(successes.wait(30000), "the connection");
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("1"));

    QNetworkAccessManager client;
    QNetworkReply *reply = throughTunnel(client, endpoint.port(), sent);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    QVERIFY2(finished.wait(60000), "the answer through the tunnel");
    QCOMPARE(reply->error(), QNetworkReply::NoError);
    QCOMPARE(reply->readAll(), answer);
    QCOMPARE(endpoint.lastRequest().body, sent);
    reply->deleteLater();

    // The figures are the core's own count of what it relayed.
    QTRY_VERIFY2_WITH_TIMEOUT(service->getUploadBytes() >= sent.size() &&
                                  service->getDownloadBytes() >= answer.size(),
                              "the core's figures of the transfer", 30000);
    const qlonglong upload = service->getUploadBytes();

    service->disconnect();
    QCOMPARE(failures.size(), 0);
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("0"));
    QCOMPARE(StandinState::environmentVariable("http_proxy"), QString());
    QCOMPARE(StandinState::winHttpProxy(), QString());

    // The service heard of the connection and, at its end, of the traffic it carried.
    QTRY_VERIFY_WITH_TIMEOUT(dev.heartbeats().size() > earlierHeartbeats + 1 &&
                                 dev.heartbeats().last().toObject().value("connection_status") ==
                                     "disconnected",
                             30000);
    const QJsonArray heartbeats = dev.heartbeats();
    QVERIFY(heartbeats.size() >= earlierHeartbeats + 2);
    QCOMPARE(heartbeats.at(earlierHeartbeats).toObject().value("connection_status").toString(),
             QString("connected"));
    QVERIFY(heartbeats.last().toObject().value("upload_bytes").toInteger() >= sent.size());
    QVERIFY(heartbeats.last().toObject().value("upload_bytes").toInteger() <= upload);

    // Nothing listens on the local port any more.
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, LocalPorts::mixed());
    QVERIFY(!probe.waitForConnected(2000));
    QCOMPARE(probe.error(), QAbstractSocket::ConnectionRefusedError);
}

QTEST_GUILESS_MAIN(TestVpnTunnel)
#include "tst_vpntunnel.moc"
