#include "LocalPorts.h"
#include "LogCapture.h"
#include "StandinState.h"
#include "VpnTestSupport.h"
#include "api/services/HeartbeatService.h"
#include "vpn/CommandRunner.h"
#include "vpn/SystemProxyManager.h"
#include "vpn/Tun2SocksManager.h"
#include "vpn/V2RayCore.h"
#include "vpn/VpnConnectionService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QUdpSocket>

#include <csignal>
#include <sys/types.h>

using Tavorin::Api::Services::HeartbeatService;
using Tavorin::Api::Services::VpnConnectionService;
using Tavorin::Api::Vpn::CommandRunner;
using Tavorin::Api::Vpn::SystemProxyManager;
using Tavorin::Api::Vpn::V2RayCore;
namespace Services = Tavorin::Api::Services;
using VpnTest::engineLeftovers;
using VpnTest::firstInts;
using VpnTest::service;

namespace {

void killCore()
{
    const qint64 pid = StandinState::corePid();
    QVERIFY(pid > 0);
    QCOMPARE(::kill(static_cast<pid_t>(pid), SIGKILL), 0);
}

// Every command that changes the machine's proxy settings.
QList<QStringList> proxyCommands()
{
    return StandinState::commandLog("reg") + StandinState::commandLog("netsh") +
           StandinState::commandLog("setx");
}

const char *holdPortFlag = "--hold-port";

// Run as a second process: another program that holds a port ("tcp" or "udp"), accepting and
// answering nothing.
int holdPort(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const auto port = quint16(QByteArray(argv[2]).toUShort());
    QTcpServer server;
    QUdpSocket datagrams;
    const bool held = qstrcmp(argv[3], "udp") == 0
                          ? datagrams.bind(QHostAddress::LocalHost, port, QAbstractSocket::DontShareAddress)
                          : server.listen(QHostAddress::LocalHost, port);
    if (!held)
        return 2;
    QTextStream(stdout) << "listening" << Qt::endl;
    return application.exec();
}

} // namespace

// Whatever goes wrong, and wherever, the service ends disconnected, says so exactly once, and
// leaves no system proxy pointing at a local port that nobody serves.
class TestVpnFaults : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void endsCleanly_data();
    void endsCleanly();
    void foreignProgramOnALocalPort_data();
    void foreignProgramOnALocalPort();
    void slowSwitchOnAfterReadiness_data();
    void slowSwitchOnAfterReadiness();
    void coreThatIsNotReadyEndsWithinTheLimit_data();
    void coreThatIsNotReadyEndsWithinTheLimit();
    void coreThatStopsAnswering_data();
    void coreThatStopsAnswering();
    void linkTheEngineCannotHonour_data();
    void linkTheEngineCannotHonour();
};

// Every case starts from the product's limits and a machine without a stand-in's trace: what a case
// that failed half-way changed does not reach the next.
void TestVpnFaults::init()
{
    StandinState::reset();
    LocalPorts::useFree();
    service()->updateUserInfo(VpnTest::activeAccount());
    V2RayCore *core = service()->proxyCore();
    core->setResourcePath(QCoreApplication::applicationDirPath() + "/resources/vpn");
    core->setReadinessPolling(20, V2RayCore::readinessLimitMs);
    core->setTrafficInterval(V2RayCore::trafficIntervalMs);
    service()->setConnectionMode(0);
    service()->setTunnelStartDelayMs(0);
    SystemProxyManager::setCommandTimeoutMs(CommandRunner::defaultTimeoutMs);
}

void TestVpnFaults::cleanup()
{
    service()->disconnect();
    QVERIFY(StandinState::endRunningPrograms());
}

void TestVpnFaults::endsCleanly_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("whileConnected");
    QTest::addColumn<QString>("proxyEnable"); // empty: no proxy command ever ran
    QTest::addColumn<QString>("logged");

    // A core that never came up leaves the system proxy untouched: it is switched on only after.
    QTest::newRow("core missing") << "missing" << false << ""
                                  << "[VpnConnectionService] VPN核心启动失败";
    // The process library reports the failed start, then the start itself fails: still one failure.
    QTest::newRow("core cannot be started") << "unstartable" << false << ""
                                            << "[V2RayCore] XRay启动失败，请检查文件是否存在";
    QTest::newRow("core refuses its configuration") << "refuses" << false << ""
                                                    << "[V2RayCore] XRay进程在就绪前退出, 退出码: 1";
    QTest::newRow("core exits within the readiness window") << "exits" << false << ""
                                                            << "[V2RayCore] XRay进程在就绪前退出, 退出码: 4";
    QTest::newRow("core crashes while connected") << "crash" << true << "0"
                                                  << "[V2RayCore] XRay进程崩溃";
    QTest::newRow("reg fails while enabling") << "reg-on" << false << "0"
                                              << "[VpnConnectionService] 设置系统代理失败";
    // Switching off carries on past the failed registry write: WinHTTP and the variables are reset.
    QTest::newRow("reg fails while disabling") << "reg-off" << true << "1"
                                               << "[VpnConnectionService] 清除系统代理未完全成功";
    QTest::newRow("netsh hangs past its limit") << "netsh-hangs" << true << "0"
                                                << "[SystemProxyManager] 命令执行超时: netsh";
}

void TestVpnFaults::endsCleanly()
{
    QFETCH(QString, fault);
    QFETCH(bool, whileConnected);
    QFETCH(QString, proxyEnable);
    QFETCH(QString, logged);

    QTemporaryDir empty;
    QString link = VpnTest::link();
    if (fault == QLatin1String("missing")) {
        service()->proxyCore()->setResourcePath(empty.path());
    } else if (fault == QLatin1String("unstartable")) {
        QVERIFY(QDir(empty.path()).mkpath("x32"));
        QFile file(empty.path() + "/x32/xray.exe");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a program");
        file.close();
        service()->proxyCore()->setResourcePath(empty.path());
    }
    if (fault == QLatin1String("refuses"))
        link = VpnTest::link("chacha99");
    else if (fault == QLatin1String("exits"))
        StandinState::failCommand("xray.exe", 4, "run");
    else if (fault == QLatin1String("reg-on"))
        StandinState::failCommand("reg", 1, "ProxyEnable");

    QSignalSpy successes(service(), &VpnConnectionService::connectionSuccess);
    QSignalSpy failures(service(), &VpnConnectionService::connectionFailed);
    QSignalSpy disconnects(service(), &VpnConnectionService::disconnected);
    LogCapture log;

    QVERIFY(service()->connect(5, link));
    if (whileConnected) {
        QVERIFY2(successes.wait(30000), "the connection");
        QVERIFY(HeartbeatService::instance()->isRunning());
        if (fault == QLatin1String("reg-off")) {
            StandinState::failCommand("reg", 1, "ProxyEnable");
        } else if (fault == QLatin1String("netsh-hangs")) {
            // Long enough for any command on a busy machine, far short of the hang.
            SystemProxyManager::setCommandTimeoutMs(5000);
            StandinState::hangCommand("netsh", 30, "reset");
        }
        killCore();
    }

    QTRY_COMPARE_WITH_TIMEOUT(service()->state(), Services::Disconnected, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(StandinState::corePid(), qint64(0), 30000);
    QCOMPARE(successes.size(), whileConnected ? 1 : 0);
    QCOMPARE(firstInts(failures), QList<int>{Services::NetworkError});
    QCOMPARE(failures.at(0).at(1).toString(), QString("网络连接失败，请检查网络设置"));
    QCOMPARE(disconnects.size(), 0);
    QVERIFY2(log.contains(logged), qPrintable(logged));
    // No heartbeat goes on telling the service about a connection that is gone.
    QVERIFY(!HeartbeatService::instance()->isRunning());

    QCOMPARE(StandinState::registryValue("ProxyEnable"), proxyEnable);
    QCOMPARE(engineLeftovers(), QStringList());
    QCOMPARE(StandinState::environmentVariable("http_proxy"), QString());
    QCOMPARE(StandinState::environmentVariable("https_proxy"), QString());
    if (fault != QLatin1String("netsh-hangs"))
        QCOMPARE(StandinState::winHttpProxy(), QString());

    // Nothing of the failed connection is left over: the next one comes up, and the late reports of
    // the first one have not produced a second failure.
    service()->proxyCore()->setResourcePath(QCoreApplication::applicationDirPath() + "/resources/vpn");
    SystemProxyManager::setCommandTimeoutMs(CommandRunner::defaultTimeoutMs);
    QVERIFY(service()->connect(6, VpnTest::link()));
    QVERIFY2(successes.wait(30000), "the next connection");
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("1"));
    QCOMPARE(failures.size(), 1);
}

// Another program holds the mixed port or the DNS port (for streams or for datagrams) when the user
// connects: the attempt fails at once, says which port, points no proxy setting anywhere and leaves
// the program alone.
void TestVpnFaults::foreignProgramOnALocalPort_data()
{
    QTest::addColumn<bool>("dns");
    QTest::addColumn<QString>("protocol");
    QTest::newRow("mixed port") << false << "tcp";
    QTest::newRow("DNS port, streams") << true << "tcp";
    QTest::newRow("DNS port, datagrams") << true << "udp";
}

void TestVpnFaults::foreignProgramOnALocalPort()
{
    QFETCH(bool, dns);
    QFETCH(QString, protocol);
    const quint16 port = dns ? V2RayCore::dnsPort() : V2RayCore::mixedPort();
    QProcess foreign;
    foreign.start(QCoreApplication::applicationFilePath(), {holdPortFlag, QString::number(port), protocol});
    QVERIFY2(foreign.waitForReadyRead(30000), "the other program holding the port");
    QSignalSpy successes(service(), &VpnConnectionService::connectionSuccess);
    QSignalSpy failures(service(), &VpnConnectionService::connectionFailed);
    LogCapture log;

    QVERIFY(service()->connect(5, VpnTest::link()));
    QCOMPARE(firstInts(failures), QList<int>{Services::NetworkError});
    QCOMPARE(service()->state(), Services::Disconnected);
    const QString taken =
        QStringLiteral("%1: 127.0.0.1:%2")
            .arg(dns ? QStringLiteral("本地DNS端口已被占用") : QStringLiteral("本地代理端口已被占用"))
            .arg(port);
    QVERIFY2(log.contains("[V2RayCore] " + taken), qPrintable(log.joined()));
    QCOMPARE(StandinState::commandLog("xray.exe"), QList<QStringList>());
    QCOMPARE(proxyCommands(), QList<QStringList>());

    QTest::qWait(200); // a late "connected" would come by now
    QCOMPARE(successes.size(), 0);
    QCOMPARE(failures.size(), 1);
    QCOMPARE(foreign.state(), QProcess::Running);
    if (protocol == QLatin1String("tcp")) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(probe.waitForConnected(2000));
    }
    foreign.kill();
    foreign.waitForFinished();
}

// Steps that block after the core came up (a WinHTTP command that hangs until its limit, a slow
// tunnel) cost time, not the connection: the readiness limit measures the core alone.
void TestVpnFaults::slowSwitchOnAfterReadiness_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("netsh winhttp hangs while switching on") << 0;
    QTest::newRow("tunnel steps outlast the readiness limit") << 1;
}

void TestVpnFaults::slowSwitchOnAfterReadiness()
{
    QFETCH(int, mode);
    // Well above what the slowest build takes to get its core ready; the blocking step outlasts it.
    const int limitMs = 5000;
    service()->proxyCore()->setReadinessPolling(20, limitMs);
    service()->setConnectionMode(mode);
    if (mode == 0) {
        StandinState::hangCommand("netsh", 30, "winhttp set");
        SystemProxyManager::setCommandTimeoutMs(limitMs + 500);
        service()->setTunnelStartDelayMs(0);
    } else {
        service()->setTunnelStartDelayMs(limitMs + 500);
    }
    QSignalSpy successes(service(), &VpnConnectionService::connectionSuccess);
    QSignalSpy failures(service(), &VpnConnectionService::connectionFailed);
    LogCapture log;

    QVERIFY(service()->connect(5, VpnTest::link()));
    QVERIFY2(successes.size() == 1 || successes.wait(2 * limitMs + 30000), "the connection");
    QCOMPARE(service()->state(), Services::Connected);
    QCOMPARE(failures.size(), 0);
    if (mode == 0) {
        QVERIFY(log.contains("[SystemProxyManager] 设置WinHTTP代理失败"));
        QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("1"));
    } else {
        QCOMPARE(StandinState::routes().size(), 9);
    }
}

// A core that never shows itself ready: its listeners accept but nothing answers (it hangs once they
// are up), or its controller answers something that is not this run's answer. The probes give up one
// by one and the attempt ends at the readiness limit (which names itself), without a proxy setting ever
// pointing at it.
void TestVpnFaults::coreThatIsNotReadyEndsWithinTheLimit_data()
{
    QTest::addColumn<QString>("controller");
    QTest::newRow("never answers") << "";
    QTest::newRow("answers 401") << "unauthorized";
    QTest::newRow("answers without totals") << "without totals";
}

void TestVpnFaults::coreThatIsNotReadyEndsWithinTheLimit()
{
    QFETCH(QString, controller);
    const int limitMs = 1500;
    service()->proxyCore()->setReadinessPolling(20, limitMs);
    if (controller.isEmpty())
        StandinState::stallCore(30);
    else
        StandinState::misbehaveController(controller);
    QSignalSpy successes(service(), &VpnConnectionService::connectionSuccess);
    QSignalSpy failures(service(), &VpnConnectionService::connectionFailed);
    LogCapture log;

    QVERIFY(service()->connect(5, VpnTest::link()));
    QVERIFY2(failures.size() == 1 || failures.wait(limitMs + 30000), "the end of the attempt");
    QCOMPARE(firstInts(failures), QList<int>{Services::NetworkError});
    QCOMPARE(successes.size(), 0);
    QVERIFY2(log.contains(QStringLiteral("XRay本地代理端口未就绪 (%1毫秒)").arg(limitMs)),
             qPrintable(log.joined()));
    QCOMPARE(proxyCommands(), QList<QStringList>());
    QTRY_COMPARE_WITH_TIMEOUT(StandinState::corePid(), qint64(0), 30000);
    QCOMPARE(engineLeftovers(), QStringList());
}

// A core that hangs while connected (here: stopped) carries nothing, while the system proxy still
// points at it: its controller no longer answering ends the connection as a core that exits does.
// A core that answers slowly, as a busy one does (later than the next read is due, well within the
// time a read is given), stays connected.
void TestVpnFaults::coreThatStopsAnswering_data()
{
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<int>("answerDelayMs");
    QTest::newRow("stopped") << true << 0;
    QTest::newRow("answers after 300 ms") << false << 300;
}

void TestVpnFaults::coreThatStopsAnswering()
{
    QFETCH(bool, stopped);
    QFETCH(int, answerDelayMs);
    V2RayCore *core = service()->proxyCore();
    core->setTrafficInterval(200);
    if (answerDelayMs > 0)
        StandinState::misbehaveController({}, answerDelayMs);
    QSignalSpy successes(service(), &VpnConnectionService::connectionSuccess);
    QSignalSpy failures(service(), &VpnConnectionService::connectionFailed);
    QSignalSpy traffic(core, &V2RayCore::trafficUpdate);
    LogCapture log;
    QVERIFY(service()->connect(5, VpnTest::link()));
    QVERIFY2(successes.wait(30000), "the connection");
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("1"));

    if (!stopped) {
        // More answers than it takes failures to end the connection: none of them counted as one.
        QTRY_VERIFY2_WITH_TIMEOUT(traffic.size() > V2RayCore::unansweredPollLimit || !failures.isEmpty(),
                                  "the slow answers", 30000);
        QCOMPARE(service()->state(), Services::Connected);
        QCOMPARE(failures.size(), 0);
        return;
    }
    const qint64 pid = StandinState::corePid();
    QCOMPARE(::kill(static_cast<pid_t>(pid), SIGSTOP), 0);
    QVERIFY2(failures.wait(30000), "the end of the connection to the stopped core");
    QCOMPARE(firstInts(failures), QList<int>{Services::NetworkError});
    QCOMPARE(failures.at(0).at(1).toString(), QString("网络连接失败，请检查网络设置"));
    QCOMPARE(service()->state(), Services::Disconnected);
    QVERIFY2(log.contains("[V2RayCore] XRay进程无响应"), qPrintable(log.joined()));
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("0"));
    QCOMPARE(StandinState::environmentVariable("http_proxy"), QString());
    QTRY_COMPARE_WITH_TIMEOUT(StandinState::corePid(), qint64(0), 30000);
    QVERIFY(::kill(static_cast<pid_t>(pid), 0) != 0);
    QCOMPARE(engineLeftovers(), QStringList());
}

// Links whose transport or security the configuration does not write would run as plain TCP: the
// screen would say 已连接 while nothing gets through. They are refused before any program runs.
void TestVpnFaults::linkTheEngineCannotHonour_data()
{
    QTest::addColumn<QJsonObject>("changes");
    QTest::addColumn<QString>("logged");

    QTest::newRow("grpc") << QJsonObject{{"net", "grpc"}} << "不支持的传输协议 (net): grpc";
    QTest::newRow("h2") << QJsonObject{{"net", "h2"}} << "不支持的传输协议 (net): h2";
    QTest::newRow("quic") << QJsonObject{{"net", "quic"}} << "不支持的传输协议 (net): quic";
    QTest::newRow("kcp") << QJsonObject{{"net", "kcp"}} << "不支持的传输协议 (net): kcp";
    QTest::newRow("websocket in capitals") << QJsonObject{{"net", "WS"}} << "不支持的传输协议 (net): WS";
    QTest::newRow("http obfuscation")
        << QJsonObject{{"net", "tcp"}, {"type", "http"}} << "不支持的伪装类型 (type): http";
    QTest::newRow("reality") << QJsonObject{{"tls", "reality"}} << "不支持的传输层安全 (tls): reality";
    QTest::newRow("xtls") << QJsonObject{{"tls", "xtls"}} << "不支持的传输层安全 (tls): xtls";
    QTest::newRow("tls in capitals") << QJsonObject{{"tls", "TLS"}} << "不支持的传输层安全 (tls): TLS";
    // Not text at all: the link is refused while it is read.
    QTest::newRow("net a list") << QJsonObject{{"net", QJsonArray{"grpc"}}}
                                << "不支持的传输协议 (net): [\"grpc\"]";
    QTest::newRow("type an object") << QJsonObject{{"type", QJsonObject{{"http", 1}}}}
                                    << "不支持的伪装类型 (type): {\"http\":1}";
    QTest::newRow("tls an object") << QJsonObject{{"tls", QJsonObject{{"reality", 1}}}}
                                   << "不支持的传输层安全 (tls): {\"reality\":1}";
}

void TestVpnFaults::linkTheEngineCannotHonour()
{
    QFETCH(QJsonObject, changes);
    QFETCH(QString, logged);
    QSignalSpy successes(service(), &VpnConnectionService::connectionSuccess);
    QSignalSpy failures(service(), &VpnConnectionService::connectionFailed);
    LogCapture log;

    QVERIFY(service()->connect(5, VpnTest::link("auto", 1, changes)));
    QCOMPARE(firstInts(failures), QList<int>{Services::NetworkError});
    QCOMPARE(failures.at(0).at(1).toString(), QString("网络连接失败，请检查网络设置"));
    QCOMPARE(service()->state(), Services::Disconnected);
    QVERIFY2(log.contains("[V2RayCore] " + logged) ||
                 log.contains("[VpnConnectionService] 连接异常: " + logged),
             qPrintable(log.joined()));
    QCOMPARE(StandinState::commandLog("xray.exe"), QList<QStringList>());
    QCOMPARE(proxyCommands(), QList<QStringList>());
    QCOMPARE(engineLeftovers(), QStringList());
    QTest::qWait(100);
    QCOMPARE(successes.size(), 0);
}

int main(int argc, char *argv[])
{
    if (argc > 3 && qstrcmp(argv[1], holdPortFlag) == 0)
        return holdPort(argc, argv);
    QCoreApplication application(argc, argv);
    TestVpnFaults test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_vpnfaults.moc"
