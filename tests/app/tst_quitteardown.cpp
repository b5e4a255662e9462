#include "DevService.h"
#include "LocalPorts.h"
#include "StandinState.h"
#include "api/network/HttpClient.h"
#include "api/services/HeartbeatService.h"
#include "app/ApiManager.h"
#include "app/QmlApiAdapter.h"
#include "app/TerminationSignals.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTest>
#include <QTimer>

#include <csignal>

using Tavorin::Api::QmlApiAdapter;
using Tavorin::Api::Network::HttpClient;

namespace {
const char *childFlag = "--connect-then-quit";

// How the child leaves once connected: through the application's quit, by a signal the test sends, or
// by closing the window as a user does. The real window is open in every case, and its closing
// disconnects first: a quit closes the windows too.
enum class Leaving { Quit, Signal, Window };

// Run as the client: sign in, connect, and leave once the connection's first heartbeat is answered.
int connectThenLeave(const QString &baseUrl, Leaving leaving)
{
    Tavorin::Api::TerminationSignals terminationSignals;
    HttpClient::instance()->setBaseUrl(baseUrl);
    LocalPorts::useFree();
    auto *api = new QmlApiAdapter(QCoreApplication::instance());
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    QQmlApplicationEngine engine;
    engine.rootContext()->setContextProperty(QStringLiteral("API"), api);
    engine.addImportPath(QStringLiteral(":/qt/qml"));
    engine.load(QUrl(QStringLiteral("qrc:/qt/qml/UntitledProject1Content/App.qml")));
    if (engine.rootObjects().isEmpty())
        return 5;
    QObject::connect(api, &QmlApiAdapter::loginSuccess, api, [api]() { api->activateFreeTrial(); });
    QObject::connect(api, &QmlApiAdapter::trialActivated, api, [api]() { api->getServers("free"); });
    QObject::connect(api, &QmlApiAdapter::serversLoaded, api, [api](const QVariantList &servers) {
        const QVariantMap server = servers.value(0).toMap();
        api->connectVpn(server.value("id").toInt(), server.value("vmessLink").toString(), false);
    });
    QObject::connect(api, &QmlApiAdapter::vpnConnected, api,
                     []() { QTextStream(stdout) << "connected" << Qt::endl; });
    // Once the connection's first heartbeat is answered, the goodbye is the only heartbeat whose
    // answer the teardown waits for.
    QObject::connect(Tavorin::Api::Services::HeartbeatService::instance(),
                     &Tavorin::Api::Services::HeartbeatService::heartbeatSuccess, api, [leaving, &engine]() {
                         QTextStream(stdout) << "heartbeat answered" << Qt::endl;
                         if (leaving == Leaving::Quit)
                             QCoreApplication::quit();
                         else if (leaving == Leaving::Window)
                             qobject_cast<QQuickWindow *>(engine.rootObjects().first())->close();
                     });
    QObject::connect(api, &QmlApiAdapter::vpnConnectionFailed, api, []() { QCoreApplication::exit(3); });
    api->login(DevService::demoEmail(), DevService::demoPassword());
    QTimer::singleShot(30000, []() { QCoreApplication::exit(4); });
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
    QTest::addColumn<int>("signalNumber"); // 0: the window is closed, -1: the application quits
    QTest::newRow("window closed") << 0;
    QTest::newRow("application quit") << -1;
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
    client.start(
        QCoreApplication::applicationFilePath(),
        {childFlag, dev.baseUrl(), signalNumber > 0 ? "signal" : (signalNumber == 0 ? "window" : "quit")});
    QByteArray output;
    if (signalNumber > 0) {
        QVERIFY(QTest::qWaitFor(
            [&]() {
                client.waitForReadyRead(100);
                return (output += client.readAllStandardOutput()).contains("heartbeat answered");
            },
            20000));
        QCOMPARE(::kill(static_cast<pid_t>(client.processId()), signalNumber), 0);
    }
    QVERIFY(client.waitForFinished(30000));
    output += client.readAllStandardOutput();
    QVERIFY2(client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0,
             client.readAllStandardError().right(3000).constData());
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
    if (argc > 3 && qstrcmp(argv[1], childFlag) == 0) {
        const Leaving leaving = qstrcmp(argv[3], "signal") == 0   ? Leaving::Signal
                                : qstrcmp(argv[3], "window") == 0 ? Leaving::Window
                                                                  : Leaving::Quit;
        QGuiApplication app(argc, argv);
        return connectThenLeave(QString::fromLocal8Bit(argv[2]), leaving);
    }
    QCoreApplication app(argc, argv);
    TestQuitTeardown test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_quitteardown.moc"
