#include "LocalPorts.h"
#include "LogCapture.h"
#include "StandinState.h"
#include "VpnTestSupport.h"
#include "vpn/SystemProxyManager.h"
#include "vpn/V2RayCore.h"
#include "vpn/VpnConnectionService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/types.h>

using Tavorin::Api::Services::VpnConnectionService;
using Tavorin::Api::Vpn::SystemProxyManager;
namespace Services = Tavorin::Api::Services;
using VpnTest::firstInts;

namespace {

VpnConnectionService *service()
{
    return VpnConnectionService::instance();
}

void killCore()
{
    const qint64 pid = StandinState::corePid();
    QVERIFY(pid > 0);
    QCOMPARE(::kill(static_cast<pid_t>(pid), SIGKILL), 0);
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
};

void TestVpnFaults::init()
{
    StandinState::reset();
    LocalPorts::useFree();
    service()->updateUserInfo(VpnTest::activeAccount());
    service()->proxyCore()->setResourcePath(QCoreApplication::applicationDirPath() + "/resources/vpn");
    service()->proxyCore()->setReadinessPolling(20, 3000);
    SystemProxyManager::setCommandTimeoutMs(10000);
}

void TestVpnFaults::cleanup()
{
    service()->disconnect();
    SystemProxyManager::setCommandTimeoutMs(10000);
}

void TestVpnFaults::endsCleanly_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("whileConnected");
    QTest::addColumn<QString>("proxyEnable");
    QTest::addColumn<QString>("logged");

    QTest::newRow("core missing") << "missing" << false << "0"
                                  << "[VpnConnectionService] VPN核心启动失败";
    // The process library reports the failed start, then the start itself fails: still one failure.
    QTest::newRow("core cannot be started") << "unstartable" << false << "0"
                                            << "[V2RayCore] XRay启动失败，请检查文件是否存在";
    QTest::newRow("core refuses its configuration") << "refuses" << false << "0"
                                                    << "[V2RayCore] XRay进程在就绪前退出, 退出码: 1";
    QTest::newRow("core exits within the readiness window") << "exits" << false << "0"
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
        QVERIFY(successes.wait(5000));
        if (fault == QLatin1String("reg-off")) {
            StandinState::failCommand("reg", 1, "ProxyEnable");
        } else if (fault == QLatin1String("netsh-hangs")) {
            SystemProxyManager::setCommandTimeoutMs(300);
            StandinState::hangCommand("netsh", 30, "reset");
        }
        killCore();
    }

    QTRY_COMPARE(service()->state(), Services::Disconnected);
    QTRY_COMPARE(StandinState::corePid(), qint64(0));
    QCOMPARE(successes.size(), whileConnected ? 1 : 0);
    QCOMPARE(firstInts(failures), QList<int>{Services::NetworkError});
    QCOMPARE(failures.at(0).at(1).toString(), QString("网络连接失败，请检查网络设置"));
    QCOMPARE(disconnects.size(), 0);
    QVERIFY2(log.contains(logged), qPrintable(logged));

    QCOMPARE(StandinState::registryValue("ProxyEnable"), proxyEnable);
    QCOMPARE(StandinState::environmentVariable("http_proxy"), QString());
    QCOMPARE(StandinState::environmentVariable("https_proxy"), QString());
    if (fault != QLatin1String("netsh-hangs"))
        QCOMPARE(StandinState::winHttpProxy(), QString());

    // Nothing of the failed connection is left over: the next one comes up, and the late reports of
    // the first one have not produced a second failure.
    service()->proxyCore()->setResourcePath(QCoreApplication::applicationDirPath() + "/resources/vpn");
    SystemProxyManager::setCommandTimeoutMs(10000);
    QVERIFY(service()->connect(6, VpnTest::link()));
    QVERIFY(successes.wait(5000));
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("1"));
    QCOMPARE(failures.size(), 1);
}

QTEST_GUILESS_MAIN(TestVpnFaults)
#include "tst_vpnfaults.moc"
