#include "DevService.h"
#include "LocalPorts.h"
#include "StandinState.h"
#include "api/network/HttpClient.h"
#include "api/services/HeartbeatService.h"
#include "app/ApiManager.h"
#include "app/QmlApiAdapter.h"
#include "app/TerminationSignals.h"

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

// Run as the client: sign in, connect, and leave the event loop as closing the application does, or
// (`waitForSignal`) stay connected until a signal ends the program.
int connectThenQuit(const QString &baseUrl, bool waitForSignal)
{
    Tavorin::Api::TerminationSignals terminationSignals;
    HttpClient::instance()->setBaseUrl(baseUrl);
    LocalPorts::useFree();
    auto *api = new QmlApiAdapter(QCoreApplication::instance());
    QObject::connect(api, &QmlApiAdapter::loginSuccess, api, [api]() { api->activateFreeTrial(); });
    QObject::connect(api, &QmlApiAdapter::trialActivated, api, [api]() { api->getServers("free"); });
    QObject::connect(api, &QmlApiAdapter::serversLoaded, api, [api](const QVariantList &servers) {
        const QVariantMap server = servers.value(0).toMap();
        api->connectVpn(server.value("id").toInt(), server.value("vmessLink").toString(), false);
    });
    QObject::connect(api, &QmlApiAdapter::vpnConnected, api, [waitForSignal]() {
        QTextStream(stdout) << "connected" << Qt::endl;
        if (!waitForSignal)
            QCoreApplication::quit();
    });
    // A signal comes once the connection's first heartbeat is answered: the goodbye is then the only
    // heartbeat whose answer the teardown waits for.
    QObject::connect(Tavorin::Api::Services::HeartbeatService::instance(),
                     &Tavorin::Api::Services::HeartbeatService::heartbeatSuccess, api,
                     []() { QTextStream(stdout) << "heartbeat answered" << Qt::endl; });
    QObject::connect(api, &QmlApiAdapter::vpnConnectionFailed, api, []() { QCoreApplication::exit(3); });
    api->login(DevService::demoEmail(), DevService::demoPassword());
    QTimer::singleShot(waitForSignal ? 30000 : 15000, []() { QCoreApplication::exit(4); });
    return QCoreApplication::exec();
}
} // namespace

// Leaving the client while connected: the final heartbeat reaches the service and the system proxy
// is switched off before the process is gone, not in destructors that run without an event loop.
// A shutdown, Ctrl+C or a closed terminal (SIGTERM, SIGINT, SIGHUP) leaves it the same way.
class TestQuitTeardown : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void leavingWhileConnectedCleansUp_data();
    void leavingWhileConnectedCleansUp();
};

void TestQuitTeardown::cleanup()
{
    // A client that died without its teardown leaves its core: it must not hold the next case's port.
    if (const qint64 core = StandinState::corePid(); core > 0)
        ::kill(static_cast<pid_t>(core), SIGKILL);
}

void TestQuitTeardown::leavingWhileConnectedCleansUp_data()
{
    QTest::addColumn<int>("signalNumber"); // 0: the event loop is left as closing the window does
    QTest::newRow("window closed") << 0;
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestQuitTeardown::leavingWhileConnectedCleansUp()
{
    QFETCH(int, signalNumber);
    StandinState::reset();
    LocalPorts::useFree();
    DevService dev;
    QVERIFY(dev.start());
    QProcess client;
    client.start(QCoreApplication::applicationFilePath(),
                 {childFlag, dev.baseUrl(), signalNumber != 0 ? "signal" : "quit"});
    QByteArray output;
    if (signalNumber != 0) {
        QVERIFY(QTest::qWaitFor(
            [&]() {
                client.waitForReadyRead(100);
                return (output += client.readAllStandardOutput()).contains("heartbeat answered");
            },
            20000));
        QCOMPARE(::kill(static_cast<pid_t>(client.processId()), signalNumber), 0);
    }
    QVERIFY(client.waitForFinished(20000));
    output += client.readAllStandardOutput();
    QCOMPARE(client.exitStatus(), QProcess::NormalExit);
    QCOMPARE(client.exitCode(), 0);
    QVERIFY(output.contains("connected"));

    QVERIFY(!dev.goodbyes().isEmpty());
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("0"));
    QCOMPARE(StandinState::environmentVariable("http_proxy"), QString());
    const qint64 core = StandinState::corePid();
    QVERIFY(core <= 0 || ::kill(static_cast<pid_t>(core), 0) != 0);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 3 && qstrcmp(argv[1], childFlag) == 0)
        return connectThenQuit(QString::fromLocal8Bit(argv[2]), qstrcmp(argv[3], "signal") == 0);
    TestQuitTeardown test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_quitteardown.moc"
