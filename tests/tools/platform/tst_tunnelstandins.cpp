#include "StandinRun.h"
#include "StandinState.h"

#include <QProcess>
#include <QtTest>

#include <csignal>

namespace {

const QStringList Prefixes = {"1.0.0.0/8",  "2.0.0.0/7",  "4.0.0.0/6",   "8.0.0.0/5",    "16.0.0.0/4",
                              "32.0.0.0/3", "64.0.0.0/2", "128.0.0.0/1", "198.18.0.0/15"};

QStringList ipv4(const QStringList &rest)
{
    return QStringList{QStringLiteral("interface"), QStringLiteral("ipv4")} + rest;
}

QStringList setAddressStatic()
{
    return ipv4(
        {"set", "address", "name=\"wintun\"", "source=static", "addr=192.168.123.1", "mask=255.255.255.0"});
}

QStringList setDnsStatic()
{
    return ipv4({"set", "dnsservers", "name=\"wintun\"", "static", "address=8.8.8.8", "register=none",
                 "validate=no"});
}

QStringList addRoute(const QString &prefix)
{
    return ipv4({"add", "route", prefix, "\"wintun\"", "192.168.123.1", "metric=1"});
}

QStringList deleteRoute(const QString &prefix)
{
    return ipv4({"delete", "route", prefix, "\"wintun\""});
}

StandinRun netsh(const QStringList &arguments)
{
    return StandinRun::run(QStringLiteral("netsh"), arguments);
}

QString tun2socksPath()
{
    return StandinRun::coreDirectory() + QStringLiteral("/tun2socks.exe");
}

const QStringList TunnelArguments = {"-device",    "wintun", "-proxy", "socks5://127.0.0.1:10315",
                                     "-interface", "eth0"};

} // namespace

class TunnelStandinsTest : public QObject
{
    Q_OBJECT

private:
    // Starts tun2socks as the client does and waits for the adapter it makes.
    bool startTunnel(QProcess &process, const QStringList &arguments = TunnelArguments)
    {
        process.start(tun2socksPath(), arguments);
        if (!process.waitForStarted(30000))
            return false;
        return QTest::qWaitFor([]() { return StandinState::adapterExists(); }, 30000);
    }

private slots:
    void init() { StandinState::reset(); }
    void cleanup() { QVERIFY(StandinState::endRunningPrograms()); }

    void tunnelUpAndDownIsKept()
    {
        QProcess tunnel;
        QVERIFY(startTunnel(tunnel));
        QCOMPARE(StandinState::tun2socksPid(), tunnel.processId());
        QTRY_VERIFY(
            QString::fromUtf8(tunnel.peek(4096)).contains(QStringLiteral("socks5://127.0.0.1:10315")));

        QVERIFY(netsh(setAddressStatic()).succeeded());
        QVERIFY(netsh(setDnsStatic()).succeeded());
        for (const QString &prefix : Prefixes)
            QVERIFY2(netsh(addRoute(prefix)).succeeded(), qPrintable(prefix));
        QCOMPARE(StandinState::adapterAddress(), QStringLiteral("192.168.123.1"));
        QCOMPARE(StandinState::adapterMask(), QStringLiteral("255.255.255.0"));
        QCOMPARE(StandinState::adapterAddressSource(), QStringLiteral("static"));
        QCOMPARE(StandinState::adapterDns(), QStringLiteral("8.8.8.8"));
        QCOMPARE(StandinState::routes(), Prefixes);

        for (const QString &prefix : Prefixes)
            QVERIFY2(netsh(deleteRoute(prefix)).succeeded(), qPrintable(prefix));
        QVERIFY(netsh(ipv4({"set", "dnsservers", "name=\"wintun\"", "dhcp"})).succeeded());
        QVERIFY(netsh(ipv4({"set", "address", "name=\"wintun\"", "source=dhcp"})).succeeded());
        QCOMPARE(StandinState::routes(), QStringList());
        QCOMPARE(StandinState::adapterAddress(), QString());
        QCOMPARE(StandinState::adapterDns(), QString());
        QCOMPARE(StandinState::adapterAddressSource(), QStringLiteral("dhcp"));
        QCOMPARE(StandinState::adapterDnsSource(), QStringLiteral("dhcp"));

        tunnel.terminate();
        QVERIFY2(tunnel.waitForFinished(30000), "the end of tun2socks");
        QCOMPARE(tunnel.exitStatus(), QProcess::NormalExit);
        QVERIFY(!StandinState::adapterExists());
        QVERIFY(!QFile::exists(StandinState::folder() + QStringLiteral("/tun2socks.pid")));
        QCOMPARE(StandinState::commandLog(QStringLiteral("tun2socks.exe")),
                 (QList<QStringList>{QStringList{"tun2socks.exe"} + TunnelArguments}));
    }

    void aKilledTunnelTakesTheAdapterWithIt()
    {
        QProcess tunnel;
        QVERIFY(startTunnel(tunnel));
        QVERIFY(netsh(addRoute(Prefixes.first())).succeeded());
        ::kill(static_cast<pid_t>(tunnel.processId()), SIGKILL);
        QVERIFY2(tunnel.waitForFinished(30000), "the end of tun2socks");
        // The pid mark is left behind, but names a dead process.
        QVERIFY(QFile::exists(StandinState::folder() + QStringLiteral("/tun2socks.pid")));
        QVERIFY(!StandinState::adapterExists());
        const StandinRun late = netsh(deleteRoute(Prefixes.first()));
        QCOMPARE(late.exitCode, 1);
        QVERIFY(!late.err.isEmpty());
    }

    void adapterCommandsFailWithoutTheAdapter_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("address") << setAddressStatic();
        QTest::newRow("dns") << setDnsStatic();
        QTest::newRow("add route") << addRoute(QStringLiteral("1.0.0.0/8"));
        QTest::newRow("delete route") << deleteRoute(QStringLiteral("1.0.0.0/8"));
        QTest::newRow("dns to dhcp") << ipv4({"set", "dnsservers", "name=\"wintun\"", "dhcp"});
        QTest::newRow("address to dhcp") << ipv4({"set", "address", "name=\"wintun\"", "source=dhcp"});
    }

    void adapterCommandsFailWithoutTheAdapter()
    {
        QFETCH(QStringList, arguments);
        const StandinRun result = netsh(arguments);
        QCOMPARE(result.exitCode, 1);
        QVERIFY(!result.err.isEmpty());
        QCOMPARE(StandinState::adapterAddress(), QString());
        QCOMPARE(StandinState::routes(), QStringList());
    }

    void refusedAdapterCommands_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("unquoted adapter name") << ipv4(
            {"set", "address", "name=wintun", "source=static", "addr=192.168.123.1", "mask=255.255.255.0"});
        QTest::newRow("another adapter") << ipv4({"set", "address", "name=\"以太网\"", "source=static",
                                                  "addr=192.168.123.1", "mask=255.255.255.0"});
        QTest::newRow("mask that is no mask") << ipv4(
            {"set", "address", "name=\"wintun\"", "source=static", "addr=192.168.123.1", "mask=255.0.255.0"});
        QTest::newRow("address without mask")
            << ipv4({"set", "address", "name=\"wintun\"", "source=static", "addr=192.168.123.1"});
        QTest::newRow("address not IPv4") << ipv4(
            {"set", "address", "name=\"wintun\"", "source=static", "addr=192.168.123", "mask=255.255.255.0"});
        QTest::newRow("dns not an address") << ipv4({"set", "dnsservers", "name=\"wintun\"", "static",
                                                     "address=dns.google", "register=none", "validate=no"});
        QTest::newRow("dns with unknown option") << ipv4({"set", "dnsservers", "name=\"wintun\"", "static",
                                                          "address=8.8.8.8", "register=none", "check=no"});
        QTest::newRow("route with host bits")
            << ipv4({"add", "route", "1.2.0.0/8", "\"wintun\"", "192.168.123.1", "metric=1"});
        QTest::newRow("route without length")
            << ipv4({"add", "route", "1.0.0.0", "\"wintun\"", "192.168.123.1", "metric=1"});
        QTest::newRow("route to unquoted adapter")
            << ipv4({"add", "route", "1.0.0.0/8", "wintun", "192.168.123.1", "metric=1"});
        QTest::newRow("route with bad gateway")
            << ipv4({"add", "route", "1.0.0.0/8", "\"wintun\"", "192.168.123.256", "metric=1"});
        QTest::newRow("route with bad metric")
            << ipv4({"add", "route", "1.0.0.0/8", "\"wintun\"", "192.168.123.1", "metric=one"});
        QTest::newRow("route prefix in one argument with adapter")
            << ipv4({"add", "route", "1.0.0.0/8 \"wintun\"", "192.168.123.1", "metric=1"});
        QTest::newRow("ipv6 context")
            << QStringList{"interface", "ipv6", "add", "route", "::/0", "\"wintun\""};
    }

    void refusedAdapterCommands()
    {
        QFETCH(QStringList, arguments);
        QProcess tunnel;
        QVERIFY(startTunnel(tunnel));
        const StandinRun result = netsh(arguments);
        QCOMPARE(result.exitCode, 1);
        QVERIFY(!result.err.isEmpty());
        QCOMPARE(StandinState::adapterAddress(), QString());
        QCOMPARE(StandinState::adapterDns(), QString());
        QCOMPARE(StandinState::routes(), QStringList());
        tunnel.terminate();
        QVERIFY2(tunnel.waitForFinished(30000), "the end of tun2socks");
    }

    void routesAreNotAddedTwiceNorDeletedWhenAbsent()
    {
        QProcess tunnel;
        QVERIFY(startTunnel(tunnel));
        QVERIFY(netsh(addRoute(QStringLiteral("8.0.0.0/5"))).succeeded());
        QCOMPARE(netsh(addRoute(QStringLiteral("8.0.0.0/5"))).exitCode, 1);
        QCOMPARE(StandinState::routes(), QStringList{QStringLiteral("8.0.0.0/5")});
        QVERIFY(netsh(deleteRoute(QStringLiteral("8.0.0.0/5"))).succeeded());
        QCOMPARE(netsh(deleteRoute(QStringLiteral("8.0.0.0/5"))).exitCode, 1);
        tunnel.terminate();
        QVERIFY2(tunnel.waitForFinished(30000), "the end of tun2socks");
    }

    void tun2socksArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("as the client passes them") << TunnelArguments << true;
        QTest::newRow("Chinese interface name")
            << QStringList{"-device", "wintun", "-proxy", "socks5://127.0.0.1:10315", "-interface", "以太网"}
            << true;
        QTest::newRow("scheme not converted")
            << QStringList{"-device", "wintun", "-proxy", "socks://127.0.0.1:10315", "-interface", "eth0"}
            << false;
        QTest::newRow("proxy without port")
            << QStringList{"-device", "wintun", "-proxy", "socks5://127.0.0.1", "-interface", "eth0"}
            << false;
        QTest::newRow("other device")
            << QStringList{"-device", "tun0", "-proxy", "socks5://127.0.0.1:10315", "-interface", "eth0"}
            << false;
        QTest::newRow("no interface")
            << QStringList{"-device", "wintun", "-proxy", "socks5://127.0.0.1:10315"} << false;
        QTest::newRow("unknown flag")
            << QStringList{"-device", "wintun", "-proxy", "socks5://127.0.0.1:10315", "-iface", "eth0"}
            << false;
        QTest::newRow("flag without value")
            << QStringList{"-device", "wintun", "-proxy", "socks5://127.0.0.1:10315", "-interface"} << false;
        QTest::newRow("nothing") << QStringList{} << false;
    }

    void tun2socksArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, accepted);
        if (!accepted) {
            const StandinRun result = StandinRun::run(tun2socksPath(), arguments);
            QVERIFY(result.finished);
            QVERIFY(result.exitCode != 0);
            QVERIFY(!result.err.isEmpty());
            QVERIFY(!StandinState::adapterExists());
            return;
        }
        QProcess tunnel;
        // Heard started before the adapter is looked for: on a busy machine the program may have made
        // its adapter before this side learnt that it runs.
        QVERIFY(startTunnel(tunnel, arguments));
        QCOMPARE(tunnel.state(), QProcess::Running);
        tunnel.terminate();
        QVERIFY2(tunnel.waitForFinished(30000), "the end of tun2socks");
    }

    void anInjectedFailureKeepsTheAdapterAway()
    {
        StandinState::failCommand(QStringLiteral("tun2socks.exe"), 3);
        const StandinRun result = StandinRun::run(tun2socksPath(), TunnelArguments);
        QCOMPARE(result.exitCode, 3);
        QVERIFY(!StandinState::adapterExists());
    }
};

QTEST_GUILESS_MAIN(TunnelStandinsTest)
#include "tst_tunnelstandins.moc"
