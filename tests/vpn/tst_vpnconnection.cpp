#include "LocalPorts.h"
#include "LogCapture.h"
#include "StandinState.h"
#include "VpnTestSupport.h"
#include "api/services/HeartbeatService.h"
#include "vpn/SystemProxyManager.h"
#include "vpn/Tun2SocksManager.h"
#include "vpn/V2RayCore.h"
#include "vpn/VpnConnectionService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sys/types.h>

using Tavorin::Api::Services::HeartbeatService;
using Tavorin::Api::Services::VpnConnectionService;
using Tavorin::Api::Vpn::V2RayCore;
namespace Services = Tavorin::Api::Services;
using VpnTest::firstInts;
using VpnTest::service;

namespace {

struct ServiceSpies
{
    ServiceSpies()
        : states(service(), &VpnConnectionService::connectionStateChanged),
          successes(service(), &VpnConnectionService::connectionSuccess),
          failures(service(), &VpnConnectionService::connectionFailed),
          disconnects(service(), &VpnConnectionService::disconnected),
          forced(service(), &VpnConnectionService::forceDisconnected),
          denials(service(), &VpnConnectionService::permissionDenied),
          heartbeats(HeartbeatService::instance(), &HeartbeatService::heartbeatFailed)
    {}
    QSignalSpy states;
    QSignalSpy successes;
    QSignalSpy failures;
    QSignalSpy disconnects;
    QSignalSpy forced;
    QSignalSpy denials;
    // No token is set here, so every heartbeat sent shows up as a failed one.
    QSignalSpy heartbeats;
};

const char *connectAndLeaveFlag = "--connect-and-leave";

// Run as a second process: connects, then leaves main with the connection still up.
int connectAndLeave(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    LocalPorts::useFree();
    service()->updateUserInfo(VpnTest::activeAccount());
    QEventLoop loop;
    QObject::connect(service(), &VpnConnectionService::connectionSuccess, &loop, &QEventLoop::quit);
    // Only catches a connection that never comes: the parent waits longer still.
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    if (!service()->connect(5, VpnTest::link()))
        return 2;
    loop.exec();
    return service()->isConnected() ? 0 : 3;
}

bool connectAndWait(int serverId, ServiceSpies &spies)
{
    const qsizetype before = spies.successes.size();
    if (!service()->connect(serverId, VpnTest::link()))
        return false;
    return spies.successes.size() > before || spies.successes.wait(30000);
}

} // namespace

class TestVpnConnection : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void connectThenDisconnect();
    void connectionEndsWithTheProgram();
    void connectElsewhereDisconnectsFirst();
    void listenerEndsTheAttemptAtOnce();
    void connectDuringTheTeardownStartsNothing();
    void refusalWhileConnectedEndsTheConnection();
    void forcedOffOncePerEpisode();
    void trialRunningOut();
    void speedOfTheLastReport();
    void durationCountsWhileConnected();
    void tunnelMode();
    void tunnelFailures_data();
    void tunnelFailures();
};

void TestVpnConnection::init()
{
    StandinState::reset();
    LocalPorts::useFree();
    service()->updateUserInfo(VpnTest::activeAccount());
    service()->setConnectionMode(0);
    service()->setTunnelStartDelayMs(0);
}

void TestVpnConnection::cleanup()
{
    service()->disconnect();
    QVERIFY(StandinState::endRunningPrograms());
}

void TestVpnConnection::connectThenDisconnect()
{
    ServiceSpies spies;
    QVERIFY(connectAndWait(5, spies));
    QCOMPARE(firstInts(spies.states), (QList<int>{Services::Connecting, Services::Connected}));
    QVERIFY(service()->isConnected());
    QCOMPARE(service()->connectionStateText(), QString("已连接"));
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("1"));
    QCOMPARE(StandinState::environmentVariable("http_proxy"),
             QString("socks://127.0.0.1:%1").arg(LocalPorts::mixed()));
    QVERIFY(StandinState::corePid() > 0);
    QVERIFY(spies.heartbeats.size() >= 1);
    const QString configPath = service()->proxyCore()->configFilePath();
    QVERIFY(QFile::exists(configPath));

    service()->disconnect();
    QCOMPARE(firstInts(spies.states), (QList<int>{Services::Connecting, Services::Connected,
                                                  Services::Disconnecting, Services::Disconnected}));
    QCOMPARE(spies.disconnects.size(), 1);
    QCOMPARE(spies.failures.size(), 0);
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("0"));
    QCOMPARE(StandinState::environmentVariable("http_proxy"), QString());
    QCOMPARE(StandinState::winHttpProxy(), QString());
    QVERIFY(!QFile::exists(configPath));
    QTRY_COMPARE(StandinState::corePid(), qint64(0));
    QCOMPARE(service()->currentServerId(), 0);

    // A "connected" that arrives after the end changes nothing and starts no heartbeat.
    const qsizetype heartbeats = spies.heartbeats.size();
    emit service()->proxyCore()->connected();
    QCOMPARE(service()->state(), Services::Disconnected);
    QCOMPARE(spies.successes.size(), 1);
    QCOMPARE(spies.heartbeats.size(), heartbeats);

    service()->disconnect();
    QCOMPARE(spies.disconnects.size(), 1);
    QCOMPARE(spies.states.size(), 4);
}

void TestVpnConnection::connectionEndsWithTheProgram()
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {connectAndLeaveFlag});
    QVERIFY2(child.waitForFinished(90000), "the end of the child that connected");
    QCOMPARE(child.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(StandinState::corePid(), qint64(0), 30000);
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("0"));
    QCOMPARE(StandinState::environmentVariable("http_proxy"), QString());
}

void TestVpnConnection::connectElsewhereDisconnectsFirst()
{
    ServiceSpies spies;
    QVERIFY(connectAndWait(5, spies));
    QVERIFY(service()->connect(7, VpnTest::link()));
    QCOMPARE(spies.disconnects.size(), 1);
    QCOMPARE(firstInts(spies.states).mid(2, 3),
             (QList<int>{Services::Disconnecting, Services::Disconnected, Services::Connecting}));
    QVERIFY2(spies.successes.wait(30000), "the connection elsewhere");
    QCOMPARE(service()->currentServerId(), 7);
    QCOMPARE(spies.failures.size(), 0);
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("1"));
}

// A listener that disconnects as soon as the attempt begins: nothing may start behind its back.
void TestVpnConnection::listenerEndsTheAttemptAtOnce()
{
    ServiceSpies spies;
    const QMetaObject::Connection hangUp = connect(service(), &VpnConnectionService::connectionStateChanged,
                                                   this, [](Services::VpnConnectionState state) {
                                                       if (state == Services::Connecting)
                                                           service()->disconnect();
                                                   });
    QVERIFY(service()->connect(5, VpnTest::link()));
    disconnect(hangUp);
    QCOMPARE(service()->state(), Services::Disconnected);
    QCOMPARE(spies.disconnects.size(), 1);
    QCOMPARE(spies.failures.size(), 0);
    QVERIFY(!service()->proxyCore()->isRunning());
    QCOMPARE(StandinState::commandLog("xray.exe"), QList<QStringList>());
    QCOMPARE(StandinState::commandLog("reg"), QList<QStringList>()); // nothing to take back either
}

// The teardown lets answers and timers run while it waits for its goodbye; a connect asked for
// meanwhile (a listener stands for it here) must neither start a core nor leave the proxy on.
void TestVpnConnection::connectDuringTheTeardownStartsNothing()
{
    ServiceSpies spies;
    QVERIFY(connectAndWait(5, spies));
    bool accepted = true;
    const QMetaObject::Connection reconnect =
        connect(service(), &VpnConnectionService::connectionStateChanged, this,
                [&accepted](Services::VpnConnectionState state) {
                    if (state == Services::Disconnecting)
                        accepted = service()->connect(7, VpnTest::link());
                });
    service()->disconnect();
    disconnect(reconnect);
    QVERIFY(!accepted);
    QCOMPARE(service()->state(), Services::Disconnected);
    QCOMPARE(spies.disconnects.size(), 1);
    QCOMPARE(spies.failures.size(), 0);
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("0"));
    QCOMPARE(StandinState::environmentVariable("http_proxy"), QString());
    QTRY_COMPARE(StandinState::corePid(), qint64(0));
}

void TestVpnConnection::refusalWhileConnectedEndsTheConnection()
{
    ServiceSpies spies;
    QVERIFY(connectAndWait(5, spies));
    service()->updateUserInfo(VpnTest::activeAccount("banned"));
    QVERIFY(!service()->connect(5, VpnTest::link()));
    QCOMPARE(spies.disconnects.size(), 1);
    QCOMPARE(firstInts(spies.failures), QList<int>{Services::AccountBanned});
    QCOMPARE(firstInts(spies.denials), QList<int>{Services::AccountBanned});
    QCOMPARE(service()->state(), Services::Disconnected);
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("0"));
}

void TestVpnConnection::forcedOffOncePerEpisode()
{
    ServiceSpies spies;
    QVERIFY(connectAndWait(5, spies));
    const QString message = QStringLiteral("您的账号在其他设备登录，已被强制下线");
    // A refused heartbeat, then the final heartbeat refused as well: one episode.
    emit HeartbeatService::instance()->forceDisconnectRequired(message);
    emit HeartbeatService::instance()->forceDisconnectRequired(message);
    QCOMPARE(spies.forced.size(), 1);
    QCOMPARE(spies.forced.at(0).at(0).toString(), message);
    QCOMPARE(spies.failures.size(), 1);
    QCOMPARE(spies.failures.at(0).at(0).toInt(), int(Services::ForcedOffline));
    QCOMPARE(spies.failures.at(0).at(1).toString(), message);
    QCOMPARE(spies.disconnects.size(), 1);
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("0"));
}

void TestVpnConnection::trialRunningOut()
{
    ServiceSpies spies;
    QVERIFY(service()->connect(5, VpnTest::link()));
    QCOMPARE(service()->state(), Services::Connecting);
    emit HeartbeatService::instance()->userStatusUpdated(false, 0);
    QCOMPARE(spies.disconnects.size(), 0);
    QVERIFY2(spies.successes.wait(30000), "the connection");

    emit HeartbeatService::instance()->userStatusUpdated(false, 0);
    QCOMPARE(spies.disconnects.size(), 1);
    QCOMPARE(firstInts(spies.denials), QList<int>{Services::TrialExhausted});
    QCOMPARE(spies.denials.at(0).at(1).toString(), QString("您的免费体验时长已用完，请升级VIP继续使用"));
    QCOMPARE(spies.failures.size(), 0);
}

void TestVpnConnection::speedOfTheLastReport()
{
    ServiceSpies spies;
    QVERIFY(connectAndWait(5, spies));
    service()->updateTrafficStats(1000, 5000);
    service()->updateTrafficStats(3048, 9096);
    QCOMPARE(service()->uploadSpeed(), QString("2.00 KB/s"));
    QCOMPARE(service()->downloadSpeed(), QString("4.00 KB/s"));
    service()->disconnect();
    QCOMPARE(service()->getUploadBytes(), qlonglong(0));
    QCOMPARE(service()->uploadSpeed(), QString("0 B/s"));
}

void TestVpnConnection::durationCountsWhileConnected()
{
    ServiceSpies spies;
    QSignalSpy ticks(service(), &VpnConnectionService::connectionDurationChanged);
    QElapsedTimer sinceConnect;
    sinceConnect.start();
    QVERIFY(connectAndWait(5, spies));
    QVERIFY2(ticks.wait(30000), "the first tick of the duration");
    // Counted from the connection: never more than has gone by since the connect began.
    const int seconds = ticks.last().at(0).toInt();
    QVERIFY2(seconds >= 0 && seconds <= sinceConnect.elapsed() / 1000 + 1,
             qPrintable(QStringLiteral("%1 s after %2 ms").arg(seconds).arg(sinceConnect.elapsed())));
    QCOMPARE(service()->connectionDuration(), seconds);
    QCOMPARE(service()->connectionDurationText(), VpnConnectionService::formatDuration(seconds));
    service()->disconnect();
    QCOMPARE(service()->connectionDuration(), 0);
    QCOMPARE(service()->connectionDurationText(), QString("00:00:00"));
}

void TestVpnConnection::tunnelMode()
{
    service()->setConnectionMode(1);
    ServiceSpies spies;
    QVERIFY(connectAndWait(5, spies));
    QCOMPARE(StandinState::routes().size(), 9);
    QCOMPARE(StandinState::adapterAddress(), QString("192.168.123.1"));
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString()); // the system proxy is not touched
    QVERIFY(StandinState::tun2socksPid() > 0);

    service()->disconnect();
    QCOMPARE(spies.disconnects.size(), 1);
    QCOMPARE(StandinState::routes(), QStringList());
    QCOMPARE(StandinState::adapterAddressSource(), QString("dhcp"));
    QTRY_COMPARE(StandinState::tun2socksPid(), qint64(0));
    QTRY_COMPARE(StandinState::corePid(), qint64(0));
    QCOMPARE(spies.failures.size(), 0);
}

void TestVpnConnection::tunnelFailures_data()
{
    QTest::addColumn<QString>("cause");
    QTest::newRow("dns step fails") << "dns";
    QTest::newRow("tun2socks crashes while connected") << "crash";
}

void TestVpnConnection::tunnelFailures()
{
    QFETCH(QString, cause);
    service()->setConnectionMode(1);
    ServiceSpies spies;
    if (cause == QLatin1String("dns")) {
        StandinState::failCommand("netsh", 1, "validate=no");
        QVERIFY(service()->connect(5, VpnTest::link()));
    } else {
        QVERIFY(connectAndWait(5, spies));
        QCOMPARE(::kill(static_cast<pid_t>(StandinState::tun2socksPid()), SIGKILL), 0);
    }
    QTRY_COMPARE_WITH_TIMEOUT(service()->state(), Services::Disconnected, 30000);
    QCOMPARE(firstInts(spies.failures), QList<int>{Services::NetworkError});
    QCOMPARE(spies.disconnects.size(), 0);
    // The core that the tunnel fed is stopped with it, and a new connection can start one again.
    QTRY_COMPARE_WITH_TIMEOUT(StandinState::corePid(), qint64(0), 30000);
    QVERIFY(!service()->proxyCore()->isRunning());
    if (cause == QLatin1String("dns")) {
        QVERIFY(StandinState::adapterAddressSource() != QLatin1String("static"));
        QVERIFY(connectAndWait(6, spies));
        QCOMPARE(firstInts(spies.failures), QList<int>{Services::NetworkError});
    } else {
        // The program is gone, its routes are not: the teardown still asks for every one to go.
        const QList<QStringList> netsh = StandinState::commandLog("netsh");
        int deletes = 0;
        for (const QStringList &command : netsh)
            deletes += command.value(3) == QLatin1String("delete") ? 1 : 0;
        QCOMPARE(deletes, 9);
    }
}

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], connectAndLeaveFlag) == 0)
        return connectAndLeave(argc, argv);
    QCoreApplication application(argc, argv);
    TestVpnConnection test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_vpnconnection.moc"
