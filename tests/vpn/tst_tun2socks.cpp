#include "LogCapture.h"
#include "StandinState.h"
#include "vpn/CommandRunner.h"
#include "vpn/Tun2SocksManager.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/types.h>

using Tavorin::Api::Vpn::Tun2SocksManager;

namespace {

const QStringList prefixes{"1.0.0.0/8",  "2.0.0.0/7",  "4.0.0.0/6",   "8.0.0.0/5",    "16.0.0.0/4",
                           "32.0.0.0/3", "64.0.0.0/2", "128.0.0.0/1", "198.18.0.0/15"};

QStringList netsh(const QStringList &rest)
{
    return QStringList{"netsh", "interface", "ipv4"} + rest;
}

const QStringList setAddress =
    netsh({"set", "address", "name=\"wintun\"", "source=static", "addr=192.168.123.1", "mask=255.255.255.0"});
const QStringList setDns = netsh(
    {"set", "dnsservers", "name=\"wintun\"", "static", "address=8.8.8.8", "register=none", "validate=no"});
const QStringList dnsToDhcp = netsh({"set", "dnsservers", "name=\"wintun\"", "dhcp"});
const QStringList addressToDhcp = netsh({"set", "address", "name=\"wintun\"", "source=dhcp"});

QStringList addRoute(const QString &prefix)
{
    return netsh({"add", "route", prefix, "\"wintun\"", "192.168.123.1", "metric=1"});
}

QStringList deleteRoute(const QString &prefix)
{
    return netsh({"delete", "route", prefix, "\"wintun\""});
}

QList<QStringList> addAll()
{
    QList<QStringList> commands;
    for (const QString &prefix : prefixes)
        commands << addRoute(prefix);
    return commands;
}

QList<QStringList> teardown(const QStringList &routes)
{
    QList<QStringList> commands;
    for (const QString &prefix : routes)
        commands << deleteRoute(prefix);
    return commands << dnsToDhcp << addressToDhcp;
}

QStringList texts(const QSignalSpy &spy)
{
    QStringList list;
    for (const QList<QVariant> &arguments : spy)
        list << arguments.at(0).toString();
    return list;
}

// The product's wait for the adapter stays (2 s, far more than the stand-in takes to make it in any
// build, on a busy machine as well); only the stop gives up sooner.
void shorten(Tun2SocksManager &tunnel)
{
    tunnel.setStopTimeoutMs(2000);
}

} // namespace

Q_DECLARE_METATYPE(QList<QStringList>)
Q_DECLARE_METATYPE(QList<Tun2SocksManager::InterfaceInfo>)

class TestTun2Socks : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void upAndDown();
    void proxyArgument_data();
    void proxyArgument();
    void failedStartTakesBackItsSteps_data();
    void failedStartTakesBackItsSteps();
    void programEndsByItself_data();
    void programEndsByItself();
    void interfaceChoice_data();
    void interfaceChoice();
};

void TestTun2Socks::init()
{
    StandinState::reset();
}

void TestTun2Socks::cleanup()
{
    QVERIFY(StandinState::endRunningPrograms());
}

void TestTun2Socks::upAndDown()
{
    Tun2SocksManager tunnel(nullptr);
    shorten(tunnel);
    QSignalSpy errors(&tunnel, &Tun2SocksManager::error);
    LogCapture log;
    tunnel.stop(); // not running: no command, no line
    QVERIFY(!log.contains("[Tun2SocksManager] 停止VPN隧道"));

    QVERIFY(tunnel.start("socks://127.0.0.1:10315"));
    QVERIFY(tunnel.isRunning());
    QCOMPARE(StandinState::commandLog("netsh"), (QList<QStringList>{setAddress, setDns} + addAll()));
    QCOMPARE(StandinState::adapterAddress(), QString("192.168.123.1"));
    QCOMPARE(StandinState::adapterMask(), QString("255.255.255.0"));
    QCOMPARE(StandinState::adapterDns(), QString("8.8.8.8"));
    QCOMPARE(StandinState::routes(), prefixes);

    QVERIFY(!tunnel.start("socks://127.0.0.1:10315"));
    QVERIFY(log.contains("[Tun2SocksManager] tun2socks已经在运行中"));
    QCOMPARE(StandinState::commandLog("netsh").size(), 11);
    QCOMPARE(StandinState::commandLog("tun2socks.exe").size(), 1);

    tunnel.stop();
    QVERIFY(!tunnel.isRunning());
    QCOMPARE(StandinState::commandLog("netsh").mid(11), teardown(prefixes));
    // netsh parses its command line itself: on Windows it gets the lines Microsoft documents, the
    // arguments joined by blanks.
    QStringList lines;
    const QList<QStringList> commands = StandinState::commandLog("netsh");
    for (const QStringList &command : commands)
        lines << Tavorin::Api::Vpn::CommandRunner::nativeArguments("netsh", command.mid(1));
    QCOMPARE(lines.value(0), QString("interface ipv4 set address name=\"wintun\" source=static "
                                     "addr=192.168.123.1 mask=255.255.255.0"));
    QCOMPARE(lines.value(1), QString("interface ipv4 set dnsservers name=\"wintun\" static address=8.8.8.8 "
                                     "register=none validate=no"));
    QCOMPARE(lines.value(2), QString("interface ipv4 add route 1.0.0.0/8 \"wintun\" 192.168.123.1 metric=1"));
    QCOMPARE(lines.value(11), QString("interface ipv4 delete route 1.0.0.0/8 \"wintun\""));
    QCOMPARE(lines.value(20), QString("interface ipv4 set dnsservers name=\"wintun\" dhcp"));
    QCOMPARE(lines.value(21), QString("interface ipv4 set address name=\"wintun\" source=dhcp"));
    QCOMPARE(StandinState::routes(), QStringList());
    QCOMPARE(StandinState::adapterAddressSource(), QString("dhcp"));
    QCOMPARE(StandinState::adapterDnsSource(), QString("dhcp"));
    QCOMPARE(StandinState::tun2socksPid(), qint64(0));
    QCOMPARE(texts(errors), QStringList()); // our own stop is no crash
}

void TestTun2Socks::proxyArgument_data()
{
    QTest::addColumn<QString>("proxyUrl");
    QTest::addColumn<QString>("argument");

    QTest::newRow("socks becomes socks5") << "socks://127.0.0.1:10315"
                                          << "socks5://127.0.0.1:10315";
    QTest::newRow("socks5 unchanged") << "socks5://127.0.0.1:1080"
                                      << "socks5://127.0.0.1:1080";
}

void TestTun2Socks::proxyArgument()
{
    QFETCH(QString, proxyUrl);
    QFETCH(QString, argument);
    Tun2SocksManager tunnel(nullptr);
    shorten(tunnel);
    QVERIFY(tunnel.start(proxyUrl));
    const QStringList command = StandinState::commandLog("tun2socks.exe").value(0);
    QCOMPARE(command.mid(0, 5), (QStringList{"tun2socks.exe", "-device", "wintun", "-proxy", argument}));
    QCOMPARE(command.value(5), QString("-interface"));
    QVERIFY(!command.value(6).isEmpty());
    tunnel.stop();
}

void TestTun2Socks::failedStartTakesBackItsSteps_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<bool>("hang");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QList<QStringList>>("commands");

    QTest::newRow("program missing") << "" << false << "启动tun2socks进程失败" << QList<QStringList>{};
    QTest::newRow("address") << "source=static" << false << "配置wintun IP地址失败"
                             << QList<QStringList>{setAddress};
    QTest::newRow("address hangs") << "source=static" << true << "配置wintun IP地址失败"
                                   << QList<QStringList>{setAddress};
    QTest::newRow("dns") << "validate=no" << false << "配置wintun DNS失败"
                         << QList<QStringList>{setAddress, setDns, addressToDhcp};
    QStringList added = prefixes;
    added.removeAll("64.0.0.0/2");
    // All nine are tried; the eight that were added are taken back with the adapter settings.
    QTest::newRow("one route") << "64.0.0.0/2" << false << "添加路由规则失败"
                               << (QList<QStringList>{setAddress, setDns} + addAll() + teardown(added));
}

void TestTun2Socks::failedStartTakesBackItsSteps()
{
    QFETCH(QString, failing);
    QFETCH(bool, hang);
    QFETCH(QString, error);
    QFETCH(QList<QStringList>, commands);

    QTemporaryDir empty;
    Tun2SocksManager tunnel(nullptr);
    shorten(tunnel);
    // Long enough for any command on a busy machine, far short of the hang.
    tunnel.setCommandTimeoutMs(5000);
    // Without its program there is no adapter to wait for: a start that waited would take this long.
    const int adapterWaitMs = 60000;
    if (failing.isEmpty()) {
        tunnel.setResourcePath(empty.path());
        tunnel.setAdapterWaitMs(adapterWaitMs);
    } else if (hang) {
        StandinState::hangCommand("netsh", 30, failing);
    } else {
        StandinState::failCommand("netsh", 1, failing);
    }
    QSignalSpy errors(&tunnel, &Tun2SocksManager::error);
    QElapsedTimer clock;
    clock.start();

    QVERIFY(!tunnel.start("socks://127.0.0.1:10315"));
    QCOMPARE(texts(errors), QStringList{error});
    QVERIFY(!tunnel.isRunning());
    QCOMPARE(StandinState::commandLog("netsh"), commands);
    QVERIFY(StandinState::adapterAddressSource() != QLatin1String("static"));
    QVERIFY(StandinState::adapterDnsSource() != QLatin1String("static"));
    QCOMPARE(StandinState::routes(), QStringList());
    QCOMPARE(StandinState::tun2socksPid(), qint64(0));
    if (failing.isEmpty())
        QVERIFY2(clock.elapsed() < adapterWaitMs, "the start waited for an adapter that cannot come");

    // Nothing is left to take back.
    tunnel.stop();
    QCOMPARE(StandinState::commandLog("netsh"), commands);
}

void TestTun2Socks::programEndsByItself_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<QString>("error");

    QTest::newRow("crash") << int(SIGKILL) << "tun2socks进程崩溃";
    QTest::newRow("clean exit") << int(SIGTERM) << "tun2socks进程意外退出";
}

void TestTun2Socks::programEndsByItself()
{
    QFETCH(int, signalNumber);
    QFETCH(QString, error);

    Tun2SocksManager tunnel(nullptr);
    shorten(tunnel);
    QSignalSpy errors(&tunnel, &Tun2SocksManager::error);
    QSignalSpy stopped(&tunnel, &Tun2SocksManager::stopped);
    QVERIFY(tunnel.start("socks://127.0.0.1:10315"));
    QCOMPARE(::kill(static_cast<pid_t>(tunnel.processId()), signalNumber), 0);
    QVERIFY2(stopped.wait(30000), "the end of the killed tun2socks");
    QCOMPARE(texts(errors), QStringList{error});
    QVERIFY(!tunnel.isRunning());

    // The routes and the adapter settings were configured: stop takes them back all the same.
    tunnel.stop();
    QCOMPARE(StandinState::commandLog("netsh").mid(11), teardown(prefixes));
    QCOMPARE(texts(errors), QStringList{error});

    // The adapter went with its program, so a new tunnel configures a bare one from scratch.
    QVERIFY(tunnel.start("socks://127.0.0.1:10315"));
    QCOMPARE(StandinState::routes(), prefixes);
    QCOMPARE(StandinState::adapterAddress(), QString("192.168.123.1"));
    tunnel.stop();
}

void TestTun2Socks::interfaceChoice_data()
{
    using Info = Tun2SocksManager::InterfaceInfo;
    QTest::addColumn<QList<Info>>("interfaces");
    QTest::addColumn<QString>("chosen");

    QTest::newRow("only loopback and WINTUN")
        << QList<Info>{{"lo", true, true}, {"WINTUN0", false, true}} << "以太网";
    QTest::newRow("first up, not loopback") << QList<Info>{{"lo", true, true},
                                                           {"eth0", false, false},
                                                           {"wlan0", false, true},
                                                           {"eth1", false, true}}
                                            << "wlan0";
    QTest::newRow("none") << QList<Info>{} << "以太网";
}

void TestTun2Socks::interfaceChoice()
{
    using Info = Tun2SocksManager::InterfaceInfo;
    QFETCH(QList<Info>, interfaces);
    QFETCH(QString, chosen);
    QCOMPARE(Tun2SocksManager::choosePhysicalInterface(interfaces), chosen);
}

QTEST_GUILESS_MAIN(TestTun2Socks)
#include "tst_tun2socks.moc"
