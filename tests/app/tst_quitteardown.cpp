#include "DevService.h"
#include "LocalPorts.h"
#include "StandinState.h"
#include "api/network/HttpClient.h"
#include "app/ApiManager.h"
#include "app/QmlApiAdapter.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <csignal>

using Tavorin::Api::QmlApiAdapter;
using Tavorin::Api::Network::HttpClient;

namespace {
const char *childFlag = "--connect-then-quit";

// Run as the client: sign in, connect, and leave the event loop as closing the application does.
int connectThenQuit(const QString &baseUrl)
{
    HttpClient::instance()->setBaseUrl(baseUrl);
    LocalPorts::useFree();
    auto *api = new QmlApiAdapter(QCoreApplication::instance());
    QObject::connect(api, &QmlApiAdapter::loginSuccess, api, [api]() { api->activateFreeTrial(); });
    QObject::connect(api, &QmlApiAdapter::trialActivated, api, [api]() { api->getServers("free"); });
    QObject::connect(api, &QmlApiAdapter::serversLoaded, api, [api](const QVariantList &servers) {
        const QVariantMap server = servers.value(0).toMap();
        api->connectVpn(server.value("id").toInt(), server.value("vmessLink").toString(), false);
    });
    QObject::connect(api, &QmlApiAdapter::vpnConnected, api, []() {
        QTextStream(stdout) << "connected" << Qt::endl;
        QCoreApplication::quit();
    });
    QObject::connect(api, &QmlApiAdapter::vpnConnectionFailed, api, []() { QCoreApplication::exit(3); });
    api->login(DevService::demoEmail(), DevService::demoPassword());
    QTimer::singleShot(15000, []() { QCoreApplication::exit(4); });
    return QCoreApplication::exec();
}
} // namespace

// Leaving the client while connected: the final heartbeat reaches the service and the system proxy
// is switched off before the process is gone, not in destructors that run without an event loop.
class TestQuitTeardown : public QObject
{
    Q_OBJECT

private slots:
    void leavingWhileConnectedCleansUp();
};

void TestQuitTeardown::leavingWhileConnectedCleansUp()
{
    StandinState::reset();
    LocalPorts::useFree();
    DevService dev;
    QVERIFY(dev.start());
    QProcess client;
    client.start(QCoreApplication::applicationFilePath(), {childFlag, dev.baseUrl()});
    QVERIFY(client.waitForFinished(20000));
    const QByteArray output = client.readAllStandardOutput();
    QCOMPARE(client.exitStatus(), QProcess::NormalExit);
    QCOMPARE(client.exitCode(), 0);
    QVERIFY(output.contains("connected"));

    const QJsonArray beats = dev.heartbeats();
    QVERIFY(!beats.isEmpty());
    QCOMPARE(beats.last().toObject().value("connection_status").toString(), QString("disconnected"));
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("0"));
    QCOMPARE(StandinState::environmentVariable("http_proxy"), QString());
    const qint64 core = StandinState::corePid();
    QVERIFY(core <= 0 || ::kill(static_cast<pid_t>(core), 0) != 0);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 2 && qstrcmp(argv[1], childFlag) == 0)
        return connectThenQuit(QString::fromLocal8Bit(argv[2]));
    TestQuitTeardown test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_quitteardown.moc"
