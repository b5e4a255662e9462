#include "StandinRun.h"
#include "StandinState.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QtTest>

namespace {

const QString Key = QStringLiteral("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings");

QStringList regAdd(const QString &name, const QString &type, const QString &data)
{
    return {QStringLiteral("add"), Key,  QStringLiteral("/v"), name, QStringLiteral("/t"), type,
            QStringLiteral("/d"),  data, QStringLiteral("/f")};
}

// The command lines of switching the system proxy on and off, as the client runs them.
QList<QStringList> switchingOn()
{
    return {
        QStringList{QStringLiteral("reg")} +
            regAdd(QStringLiteral("ProxyEnable"), QStringLiteral("REG_DWORD"), QStringLiteral("1")),
        QStringList{QStringLiteral("reg")} + regAdd(QStringLiteral("ProxyServer"), QStringLiteral("REG_SZ"),
                                                    QStringLiteral("socks=127.0.0.1:10315")),
        {QStringLiteral("netsh"), QStringLiteral("winhttp"), QStringLiteral("set"), QStringLiteral("proxy"),
         QStringLiteral("proxy-server=\"socks=127.0.0.1:10315\""), QStringLiteral("bypass-list=\"<local>\"")},
        {QStringLiteral("setx"), QStringLiteral("http_proxy"), QStringLiteral("socks://127.0.0.1:10315")},
        {QStringLiteral("setx"), QStringLiteral("https_proxy"), QStringLiteral("socks://127.0.0.1:10315")},
        {QStringLiteral("netsh"), QStringLiteral("winhttp"), QStringLiteral("import"),
         QStringLiteral("proxy"), QStringLiteral("source=ie")}};
}

QList<QStringList> switchingOff()
{
    return {QStringList{QStringLiteral("reg")} +
                regAdd(QStringLiteral("ProxyEnable"), QStringLiteral("REG_DWORD"), QStringLiteral("0")),
            {QStringLiteral("netsh"), QStringLiteral("winhttp"), QStringLiteral("reset"),
             QStringLiteral("proxy")},
            {QStringLiteral("setx"), QStringLiteral("http_proxy"), QString()},
            {QStringLiteral("setx"), QStringLiteral("https_proxy"), QString()},
            {QStringLiteral("netsh"), QStringLiteral("winhttp"), QStringLiteral("import"),
             QStringLiteral("proxy"), QStringLiteral("source=ie")}};
}

StandinRun runLine(const QStringList &line)
{
    return StandinRun::run(line.first(), line.mid(1));
}

} // namespace

class CommandStandinsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { StandinState::reset(); }
    void cleanup() { QVERIFY(StandinState::endRunningPrograms()); }

    void switchingTheProxyOnAndOffIsKeptAndLogged()
    {
        QList<QStringList> expectedLog;
        for (const QStringList &line : switchingOn()) {
            const StandinRun result = runLine(line);
            QVERIFY2(result.succeeded(), qPrintable(line.join(' ') + QStringLiteral(": ") + result.err));
            expectedLog.append(line);
        }
        QCOMPARE(StandinState::registryValue(QStringLiteral("ProxyEnable")), QStringLiteral("1"));
        QCOMPARE(StandinState::registryType(QStringLiteral("ProxyEnable")), QStringLiteral("REG_DWORD"));
        QCOMPARE(StandinState::registryValue(QStringLiteral("ProxyServer")),
                 QStringLiteral("socks=127.0.0.1:10315"));
        QCOMPARE(StandinState::winHttpProxy(), QStringLiteral("socks=127.0.0.1:10315"));
        QCOMPARE(StandinState::environmentVariable(QStringLiteral("http_proxy")),
                 QStringLiteral("socks://127.0.0.1:10315"));
        QCOMPARE(StandinState::environmentVariable(QStringLiteral("https_proxy")),
                 QStringLiteral("socks://127.0.0.1:10315"));

        for (const QStringList &line : switchingOff()) {
            const StandinRun result = runLine(line);
            QVERIFY2(result.succeeded(), qPrintable(line.join(' ') + QStringLiteral(": ") + result.err));
            expectedLog.append(line);
        }
        QCOMPARE(StandinState::registryValue(QStringLiteral("ProxyEnable")), QStringLiteral("0"));
        // Switching off leaves the last server value behind, as the registry does.
        QCOMPARE(StandinState::registryValue(QStringLiteral("ProxyServer")),
                 QStringLiteral("socks=127.0.0.1:10315"));
        QCOMPARE(StandinState::winHttpProxy(), QString());
        QVERIFY(StandinState::hasEnvironmentVariable(QStringLiteral("http_proxy")));
        QCOMPARE(StandinState::environmentVariable(QStringLiteral("http_proxy")), QString());
        QCOMPARE(StandinState::environmentVariable(QStringLiteral("https_proxy")), QString());

        // The empty argument and the inner double quotes arrive, and are logged, exactly.
        QCOMPARE(StandinState::commandLog(), expectedLog);
        QCOMPARE(StandinState::commandLog(QStringLiteral("setx")).size(), 4);
    }

    void winHttpImportFollowsTheRegistry_data()
    {
        QTest::addColumn<QString>("enable");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("expected");
        QTest::newRow("enabled") << "1"
                                 << "socks=127.0.0.1:10315"
                                 << "socks=127.0.0.1:10315";
        QTest::newRow("enabled, hexadecimal") << "0x1"
                                              << "http=10.0.0.1:8080"
                                              << "http=10.0.0.1:8080";
        QTest::newRow("disabled") << "0"
                                  << "socks=127.0.0.1:10315"
                                  << "";
        QTest::newRow("never enabled") << ""
                                       << "socks=127.0.0.1:10315"
                                       << "";
        QTest::newRow("enabled without server") << "1"
                                                << ""
                                                << "";
    }

    void winHttpImportFollowsTheRegistry()
    {
        QFETCH(QString, enable);
        QFETCH(QString, server);
        QFETCH(QString, expected);
        // A proxy left over from before must be replaced or reset by the import, never kept.
        QVERIFY(
            StandinRun::run(QStringLiteral("netsh"), {"winhttp", "set", "proxy", "proxy-server=\"old:1\""})
                .succeeded());
        if (!enable.isEmpty())
            QVERIFY(StandinRun::run(QStringLiteral("reg"), regAdd("ProxyEnable", "REG_DWORD", enable))
                        .succeeded());
        if (!server.isEmpty())
            QVERIFY(
                StandinRun::run(QStringLiteral("reg"), regAdd("ProxyServer", "REG_SZ", server)).succeeded());

        const StandinRun result =
            StandinRun::run(QStringLiteral("netsh"), {"winhttp", "import", "proxy", "source=ie"});
        QVERIFY(result.succeeded());
        QCOMPARE(StandinState::winHttpProxy(), expected);
        QVERIFY(result.out.contains(expected.isEmpty() ? QStringLiteral("Direct access") : expected));
    }

    void registryData_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("data");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("stored");
        QTest::newRow("dword") << "REG_DWORD"
                               << "1" << true << "1";
        QTest::newRow("dword in hexadecimal") << "REG_DWORD"
                                              << "0x10" << true << "16";
        QTest::newRow("dword beyond 32 bits") << "REG_DWORD"
                                              << "4294967296" << false << "";
        QTest::newRow("dword of letters") << "REG_DWORD"
                                          << "on" << false << "";
        QTest::newRow("dword empty") << "REG_DWORD"
                                     << "" << false << "";
        QTest::newRow("text") << "REG_SZ"
                              << "socks=127.0.0.1:10315" << true << "socks=127.0.0.1:10315";
        QTest::newRow("text with blanks and Chinese") << "REG_SZ"
                                                      << "代理 服务器" << true << "代理 服务器";
        QTest::newRow("unknown type") << "REG_TEXT"
                                      << "x" << false << "";
    }

    void registryData()
    {
        QFETCH(QString, type);
        QFETCH(QString, data);
        QFETCH(bool, accepted);
        QFETCH(QString, stored);
        const StandinRun result =
            StandinRun::run(QStringLiteral("reg"), regAdd(QStringLiteral("ProxyOverride"), type, data));
        QCOMPARE(result.succeeded(), accepted);
        QCOMPARE(StandinState::registryValue(QStringLiteral("ProxyOverride")), stored);
        if (!accepted)
            QVERIFY(result.err.startsWith(QStringLiteral("ERROR:")));
    }

    // Command lines a real program refuses: a wrong argument in the client must fail here too.
    void refusedCommandLines_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("reg: no operation") << "reg" << QStringList{} << 1;
        QTest::newRow("reg: another key")
            << "reg" << QStringList{"add", "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet",
                                    "/v",  "ProxyEnable",
                                    "/t",  "REG_DWORD",
                                    "/d",  "1",
                                    "/f"}
            << 1;
        QTest::newRow("reg: key with a doubled backslash")
            << "reg"
            << QStringList{"add",
                           "HKCU\\\\Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Internet Settings",
                           "/v",
                           "ProxyEnable",
                           "/t",
                           "REG_DWORD",
                           "/d",
                           "1",
                           "/f"}
            << 1;
        QTest::newRow("reg: key split in two")
            << "reg"
            << QStringList{"add",         "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet",
                           "Settings",    "/v",
                           "ProxyEnable", "/t",
                           "REG_DWORD",   "/d",
                           "1",           "/f"}
            << 1;
        QTest::newRow("reg: no value name")
            << "reg" << QStringList{"add", Key, "/t", "REG_DWORD", "/d", "1", "/f"} << 1;
        QTest::newRow("reg: unknown option")
            << "reg" << QStringList{"add", Key, "/v", "ProxyEnable", "/x", "/f"} << 1;
        QTest::newRow("reg: option without its value")
            << "reg" << QStringList{"add", Key, "/v", "ProxyEnable", "/d"} << 1;
        QTest::newRow("netsh: unquoted proxy server")
            << "netsh"
            << QStringList{"winhttp", "set", "proxy", "proxy-server=socks=127.0.0.1:10315",
                           "bypass-list=\"<local>\""}
            << 1;
        QTest::newRow("netsh: unquoted bypass list")
            << "netsh"
            << QStringList{"winhttp", "set", "proxy", "proxy-server=\"socks=127.0.0.1:10315\"",
                           "bypass-list=<local>"}
            << 1;
        QTest::newRow("netsh: whole command in one argument")
            << "netsh" << QStringList{"winhttp set proxy proxy-server=\"socks=127.0.0.1:10315\""} << 1;
        QTest::newRow("netsh: import from elsewhere")
            << "netsh" << QStringList{"winhttp", "import", "proxy", "source=firefox"} << 1;
        QTest::newRow("netsh: reset with extra word")
            << "netsh" << QStringList{"winhttp", "reset", "proxy", "now"} << 1;
        QTest::newRow("netsh: unknown context") << "netsh" << QStringList{"firewall", "show"} << 1;
        QTest::newRow("setx: name only") << "setx" << QStringList{"http_proxy"} << 1;
        QTest::newRow("setx: three arguments")
            << "setx" << QStringList{"http_proxy", "socks://127.0.0.1:10315", "/M"} << 1;
        QTest::newRow("setx: no arguments") << "setx" << QStringList{} << 1;
        QTest::newRow("tasklist: no filter") << "tasklist" << QStringList{} << 1;
        QTest::newRow("tasklist: filter glued to option") << "tasklist" << QStringList{"/FI PID eq 1"} << 1;
        QTest::newRow("tasklist: other filter")
            << "tasklist" << QStringList{"/FI", "IMAGENAME eq xray.exe"} << 1;
        QTest::newRow("tasklist: unknown format")
            << "tasklist" << QStringList{"/FI", "PID eq 1", "/FO", "XML"} << 1;
        QTest::newRow("tasklist: format without name")
            << "tasklist" << QStringList{"/FI", "PID eq 1", "/FO"} << 1;
        QTest::newRow("taskkill: no pid") << "taskkill" << QStringList{"/F"} << 1;
        QTest::newRow("taskkill: pid not a number")
            << "taskkill" << QStringList{"/F", "/PID", "xray.exe"} << 1;
        QTest::newRow("taskkill: no such process")
            << "taskkill" << QStringList{"/F", "/PID", "999999999"} << 128;
    }

    void refusedCommandLines()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        const StandinRun result = StandinRun::run(program, arguments);
        QVERIFY(result.finished);
        QCOMPARE(result.exitCode, exitCode);
        QVERIFY2(!result.err.trimmed().isEmpty(), "a refusal says why on standard error");
        // Refused lines change nothing, but are logged like every other.
        QCOMPARE(StandinState::registryValue(QStringLiteral("ProxyEnable")), QString());
        QCOMPARE(StandinState::winHttpProxy(), QString());
        QCOMPARE(StandinState::environmentVariable(QStringLiteral("http_proxy")), QString());
        QCOMPARE(StandinState::commandLog(), (QList<QStringList>{QStringList{program} + arguments}));
    }

    void overwritingWithoutForceAsksAndGivesUp()
    {
        QVERIFY(StandinRun::run(QStringLiteral("reg"), regAdd("ProxyEnable", "REG_DWORD", "1")).succeeded());
        QStringList withoutForce = regAdd("ProxyEnable", "REG_DWORD", "0");
        withoutForce.removeLast();
        const StandinRun result = StandinRun::run(QStringLiteral("reg"), withoutForce);
        QCOMPARE(result.exitCode, 1);
        QVERIFY(result.out.contains(QStringLiteral("overwrite(Yes/No)?")));
        QCOMPARE(StandinState::registryValue(QStringLiteral("ProxyEnable")), QStringLiteral("1"));
    }

    void environmentNamesIgnoreLetterCase()
    {
        QVERIFY(
            StandinRun::run(QStringLiteral("setx"), {"http_proxy", "socks://127.0.0.1:10315"}).succeeded());
        QVERIFY(StandinRun::run(QStringLiteral("setx"), {"HTTP_PROXY", ""}).succeeded());
        QCOMPARE(StandinState::environmentVariable(QStringLiteral("http_proxy")), QString());
    }

    void injectedFaults_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("contains");
        QTest::addColumn<int>("times");
        QTest::addColumn<QList<QStringList>>("runs");
        QTest::addColumn<QList<int>>("exitCodes");
        const QStringList enable = QStringList{"reg"} + regAdd("ProxyEnable", "REG_DWORD", "1");
        const QStringList server =
            QStringList{"reg"} + regAdd("ProxyServer", "REG_SZ", "socks=127.0.0.1:10315");
        const QStringList setHttp{"setx", "http_proxy", "socks://127.0.0.1:10315"};
        const QStringList setHttps{"setx", "https_proxy", "socks://127.0.0.1:10315"};
        QTest::newRow("next run of reg") << "reg"
                                         << "" << 1 << QList<QStringList>{enable, enable} << QList<int>{5, 0};
        QTest::newRow("only the matching run")
            << "reg"
            << "ProxyServer" << 1 << QList<QStringList>{enable, server, server} << QList<int>{0, 5, 0};
        QTest::newRow("several runs")
            << "setx"
            << "" << 2 << QList<QStringList>{setHttp, setHttps, setHttp} << QList<int>{5, 5, 0};
        QTest::newRow("name with .exe")
            << "SETX.EXE"
            << "https" << 1 << QList<QStringList>{setHttp, setHttps} << QList<int>{0, 5};
        QTest::newRow("another program is not touched")
            << "netsh"
            << "" << 1 << QList<QStringList>{enable} << QList<int>{0};
    }

    void injectedFaults()
    {
        QFETCH(QString, program);
        QFETCH(QString, contains);
        QFETCH(int, times);
        QFETCH(QList<QStringList>, runs);
        QFETCH(QList<int>, exitCodes);
        StandinState::failCommand(program, 5, contains, times);
        for (int i = 0; i < runs.size(); ++i) {
            const StandinRun result = runLine(runs.at(i));
            QCOMPARE(result.exitCode, exitCodes.at(i));
            if (result.exitCode != 0)
                QVERIFY(!result.err.isEmpty());
        }
        QCOMPARE(StandinState::commandLog(), runs);
    }

    void aFailedRunChangesNothing()
    {
        StandinState::failCommand(QStringLiteral("reg"), 1, QStringLiteral("ProxyEnable"));
        const StandinRun result =
            StandinRun::run(QStringLiteral("reg"), regAdd("ProxyEnable", "REG_DWORD", "1"));
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(StandinState::registryValue(QStringLiteral("ProxyEnable")), QString());
    }

    void aHangingRunWaitsThenFails()
    {
        StandinState::hangCommand(QStringLiteral("netsh"), 1, QStringLiteral("reset"));
        const StandinRun result = StandinRun::run(QStringLiteral("netsh"), {"winhttp", "reset", "proxy"});
        QVERIFY(result.finished);
        QVERIFY2(result.elapsedMs >= 1000, qPrintable(QString::number(result.elapsedMs)));
        QVERIFY(result.exitCode != 0);
        // One hang only: the next run answers at once.
        QVERIFY(StandinRun::run(QStringLiteral("netsh"), {"winhttp", "reset", "proxy"}).succeeded());
    }

    // A caller's limit shorter than the hang runs out while the run still hangs. The run is logged as its
    // hang begins: the limit is measured from there, not from the start of a program that may take
    // longer than the limit to get that far on a busy machine.
    void aHangOutlivesAShorterLimit()
    {
        StandinState::hangCommand(QStringLiteral("netsh"), 30);
        QProcess netsh;
        netsh.start(QStringLiteral("netsh"), {"winhttp", "reset", "proxy"});
        netsh.closeWriteChannel();
        QTRY_VERIFY2_WITH_TIMEOUT(StandinState::commandLog().size() == 1, "the run to begin its hang", 30000);
        QVERIFY(!netsh.waitForFinished(300));
        QCOMPARE(netsh.state(), QProcess::Running);
        netsh.kill();
        QVERIFY2(netsh.waitForFinished(30000), "the end of the killed run");
        QCOMPARE(StandinState::commandLog().size(), 1);
    }

    void tasklistAndTaskkillSeeTheCore()
    {
        // A core stand-in held in place by a hang: a live process whose image is xray.exe.
        StandinState::hangCommand(QStringLiteral("xray.exe"), 60);
        QProcess core;
        core.start(StandinRun::coreDirectory() + QStringLiteral("/xray.exe"), {QStringLiteral("version")});
        QVERIFY(core.waitForStarted());
        QTRY_COMPARE(StandinState::commandLog(QStringLiteral("xray.exe")).size(), 1);
        const QString pid = QString::number(core.processId());

        const StandinRun listed = StandinRun::run(QStringLiteral("tasklist"), {"/FI", "PID eq " + pid});
        QVERIFY(listed.succeeded());
        QVERIFY(listed.out.contains(QRegularExpression(QStringLiteral("\nxray\\.exe +%1 ").arg(pid))));
        // The form the client reads: one quoted row, no header.
        const StandinRun rows =
            StandinRun::run(QStringLiteral("tasklist"), {"/FI", "PID eq " + pid, "/FO", "CSV", "/NH"});
        QVERIFY(rows.succeeded());
        QVERIFY2(rows.out.startsWith(QStringLiteral("\"xray.exe\",\"%1\",\"Console\",\"1\",\"").arg(pid)),
                 qPrintable(rows.out));
        QCOMPARE(rows.out.count('\n'), 1);

        const StandinRun killed = StandinRun::run(QStringLiteral("taskkill"), {"/F", "/PID", pid});
        QVERIFY2(killed.succeeded(), qPrintable(killed.err));
        QVERIFY(killed.out.startsWith(QStringLiteral("SUCCESS:")));
        QVERIFY2(core.waitForFinished(30000), "the end of the killed core");
        QCOMPARE(core.exitStatus(), QProcess::CrashExit);

        const StandinRun gone = StandinRun::run(QStringLiteral("tasklist"), {"/FI", "PID eq " + pid});
        QVERIFY(gone.succeeded());
        QCOMPARE(gone.out.trimmed(),
                 QStringLiteral("INFO: No tasks are running which match the specified criteria."));
    }

    void tasklistNamesOtherImagesAsTheyAre()
    {
        const QString pid = QString::number(QCoreApplication::applicationPid());
        const StandinRun listed = StandinRun::run(QStringLiteral("tasklist"), {"/FI", "PID eq " + pid});
        QVERIFY(listed.succeeded());
        QVERIFY(listed.out.contains(pid));
        QVERIFY(!listed.out.contains(QStringLiteral("xray.exe")));
    }

    void taskkillLeavesProgramsThatStandForNothing()
    {
        const QString pid = QString::number(QCoreApplication::applicationPid());
        const StandinRun result = StandinRun::run(QStringLiteral("taskkill"), {"/F", "/PID", pid});
        QCOMPARE(result.exitCode, 1);
        QVERIFY(result.err.contains(QStringLiteral("Access is denied")));
    }
};

QTEST_GUILESS_MAIN(CommandStandinsTest)
#include "tst_commandstandins.moc"
