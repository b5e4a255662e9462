#include "LogCapture.h"
#include "StandinState.h"
#include "vpn/CommandRunner.h"
#include "vpn/SystemProxyManager.h"

#include <QTest>

using Tavorin::Api::Vpn::CommandRunner;
using Tavorin::Api::Vpn::SystemProxyManager;

namespace {

const QString key = QStringLiteral("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings");
const QString url = QStringLiteral("socks://127.0.0.1:10315");

QStringList reg(const QString &name, const QString &type, const QString &data)
{
    return {"reg", "add", key, "/v", name, "/t", type, "/d", data, "/f"};
}

const QStringList enable = reg("ProxyEnable", "REG_DWORD", "1");
const QStringList server = reg("ProxyServer", "REG_SZ", "socks=127.0.0.1:10315");
const QStringList winHttpSet{
    "netsh", "winhttp", "set", "proxy", "proxy-server=\"socks=127.0.0.1:10315\"", "bypass-list=\"<local>\""};
const QStringList httpSet{"setx", "http_proxy", url};
const QStringList httpsSet{"setx", "https_proxy", url};
const QStringList import{"netsh", "winhttp", "import", "proxy", "source=ie"};
const QStringList disable = reg("ProxyEnable", "REG_DWORD", "0");
const QStringList winHttpReset{"netsh", "winhttp", "reset", "proxy"};
const QStringList httpClear{"setx", "http_proxy", ""};
const QStringList httpsClear{"setx", "https_proxy", ""};

} // namespace

Q_DECLARE_METATYPE(QList<QStringList>)

class TestSystemProxy : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void serverValue_data();
    void serverValue();
    void switchOnAndOff();
    void netshCommandLinesAsDocumented();
    void switchOnFailures_data();
    void switchOnFailures();
    void switchOffIsBestEffort_data();
    void switchOffIsBestEffort();
};

void TestSystemProxy::init()
{
    StandinState::reset();
    SystemProxyManager::setCommandTimeoutMs(CommandRunner::defaultTimeoutMs);
}

void TestSystemProxy::cleanup()
{
    SystemProxyManager::setCommandTimeoutMs(CommandRunner::defaultTimeoutMs);
}

void TestSystemProxy::serverValue_data()
{
    QTest::addColumn<QString>("proxyUrl");
    QTest::addColumn<QString>("value");

    QTest::newRow("socks5 becomes socks") << "socks5://127.0.0.1:1080"
                                          << "socks=127.0.0.1:1080";
    QTest::newRow("socks") << "socks://127.0.0.1:10315"
                           << "socks=127.0.0.1:10315";
    QTest::newRow("http") << "http://127.0.0.1:8080"
                          << "http=127.0.0.1:8080";
    QTest::newRow("no port") << "socks://127.0.0.1"
                             << "";
    QTest::newRow("not a url") << "代理 服务器"
                               << "";
    QTest::newRow("no scheme") << "127.0.0.1:1080"
                               << "";
}

void TestSystemProxy::serverValue()
{
    QFETCH(QString, proxyUrl);
    QFETCH(QString, value);
    QCOMPARE(SystemProxyManager::proxyServerValue(proxyUrl), value);
    if (value.isEmpty()) {
        QVERIFY(!SystemProxyManager::setSystemProxy(proxyUrl));
        QCOMPARE(StandinState::commandLog(), QList<QStringList>());
    }
}

void TestSystemProxy::switchOnAndOff()
{
    QVERIFY(SystemProxyManager::setSystemProxy(url));
    QCOMPARE(StandinState::commandLog(),
             (QList<QStringList>{enable, server, winHttpSet, httpSet, httpsSet, import}));
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("1"));
    QCOMPARE(StandinState::registryType("ProxyEnable"), QString("REG_DWORD"));
    QCOMPARE(StandinState::registryValue("ProxyServer"), QString("socks=127.0.0.1:10315"));
    QCOMPARE(StandinState::winHttpProxy(), QString("socks=127.0.0.1:10315"));
    QCOMPARE(StandinState::environmentVariable("http_proxy"), url);
    QCOMPARE(StandinState::environmentVariable("https_proxy"), url);

    LogCapture log;
    QVERIFY(SystemProxyManager::clearSystemProxy());
    QCOMPARE(StandinState::commandLog().mid(6),
             (QList<QStringList>{disable, winHttpReset, httpClear, httpsClear, import}));
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("0"));
    // Switching off leaves the last server value behind; only the switch says whether it is used.
    QCOMPARE(StandinState::registryValue("ProxyServer"), QString("socks=127.0.0.1:10315"));
    QCOMPARE(StandinState::winHttpProxy(), QString());
    QVERIFY(StandinState::hasEnvironmentVariable("http_proxy"));
    QCOMPARE(StandinState::environmentVariable("http_proxy"), QString());
    QCOMPARE(StandinState::environmentVariable("https_proxy"), QString());
    QVERIFY(log.contains("[SystemProxyManager] 系统代理已清除"));
}

// netsh parses its command line itself: on Windows it gets the line Microsoft documents, which is the
// arguments joined by blanks (here, where each arrives separately, exactly those arguments).
void TestSystemProxy::netshCommandLinesAsDocumented()
{
    QVERIFY(SystemProxyManager::setSystemProxy(url));
    QVERIFY(SystemProxyManager::clearSystemProxy());
    QStringList lines;
    const QList<QStringList> commands = StandinState::commandLog("netsh");
    for (const QStringList &command : commands)
        lines << CommandRunner::nativeArguments("netsh", command.mid(1));
    QCOMPARE(lines,
             (QStringList{"winhttp set proxy proxy-server=\"socks=127.0.0.1:10315\" bypass-list=\"<local>\"",
                          "winhttp import proxy source=ie", "winhttp reset proxy",
                          "winhttp import proxy source=ie"}));
    // Every other command's arguments are quoted for it by the process library.
    QCOMPARE(CommandRunner::nativeArguments("reg", enable.mid(1)), QString());
}

void TestSystemProxy::switchOnFailures_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QList<QStringList>>("commands");
    QTest::addColumn<QString>("warning");

    QTest::newRow("registry switch") << "reg"
                                     << "ProxyEnable" << false << QList<QStringList>{enable}
                                     << "[SystemProxyManager] 设置ProxyEnable失败";
    QTest::newRow("registry server") << "reg"
                                     << "ProxyServer" << false << QList<QStringList>{enable, server}
                                     << "[SystemProxyManager] 设置ProxyServer失败";
    QTest::newRow("winhttp, not fatal")
        << "netsh"
        << "set" << true << QList<QStringList>{enable, server, winHttpSet, httpSet, httpsSet, import}
        << "[SystemProxyManager] 设置WinHTTP代理失败";
    QTest::newRow("http_proxy, https_proxy not tried")
        << "setx"
        << "http_proxy" << true << QList<QStringList>{enable, server, winHttpSet, httpSet, import}
        << "[SystemProxyManager] 设置环境变量代理失败";
    QTest::newRow("https_proxy") << "setx"
                                 << "https_proxy" << true
                                 << QList<QStringList>{enable, server, winHttpSet, httpSet, httpsSet, import}
                                 << "[SystemProxyManager] 设置https_proxy失败";
}

void TestSystemProxy::switchOnFailures()
{
    QFETCH(QString, program);
    QFETCH(QString, argument);
    QFETCH(bool, result);
    QFETCH(QList<QStringList>, commands);
    QFETCH(QString, warning);

    StandinState::failCommand(program, 5, argument);
    LogCapture log;
    QCOMPARE(SystemProxyManager::setSystemProxy(url), result);
    QCOMPARE(StandinState::commandLog(), commands);
    QVERIFY2(log.contains(warning), qPrintable(log.joined()));
    QVERIFY(log.contains("[SystemProxyManager] 命令执行失败, 退出码: 5"));
}

void TestSystemProxy::switchOffIsBestEffort_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<bool>("hang");
    QTest::addColumn<QString>("proxyEnable");
    QTest::addColumn<QString>("warning");

    // Whichever step fails, WinHTTP ends up direct: by its reset, or by the import from Internet
    // Settings that are switched off. With the registry write failed the import must not run: it
    // would copy the still enabled proxy back. Only that failure makes the switch-off fail: the
    // registry is what the system follows, and the WinHTTP proxy needs rights a client started the
    // usual way does not have.
    QTest::newRow("registry") << "reg"
                              << "ProxyEnable" << false << "1"
                              << "[SystemProxyManager] 清除ProxyEnable失败";
    QTest::newRow("winhttp") << "netsh"
                             << "reset" << false << "0"
                             << "[SystemProxyManager] WinHTTP代理需要以管理员身份运行客户端";
    QTest::newRow("winhttp hangs") << "netsh"
                                   << "reset" << true << "0"
                                   << "[SystemProxyManager] 命令执行超时: netsh";
    QTest::newRow("http_proxy") << "setx"
                                << "http_proxy" << false << "0"
                                << "[SystemProxyManager] 清除http_proxy失败";
}

void TestSystemProxy::switchOffIsBestEffort()
{
    QFETCH(QString, program);
    QFETCH(QString, argument);
    QFETCH(bool, hang);
    QFETCH(QString, proxyEnable);
    QFETCH(QString, warning);

    QVERIFY(SystemProxyManager::setSystemProxy(url));
    if (hang) {
        // Long enough for any command on a busy machine, far short of the hang: the warning says the
        // limit, not the end of the hang, ended it.
        SystemProxyManager::setCommandTimeoutMs(5000);
        StandinState::hangCommand(program, 30, argument);
    } else {
        StandinState::failCommand(program, 1, argument);
    }
    LogCapture log;
    QCOMPARE(SystemProxyManager::clearSystemProxy(), proxyEnable == QLatin1String("0"));
    QVERIFY2(log.contains(warning), qPrintable(log.joined()));

    QCOMPARE(StandinState::registryValue("ProxyEnable"), proxyEnable);
    QCOMPARE(StandinState::winHttpProxy(), QString());
    if (program == QLatin1String("setx"))
        QCOMPARE(StandinState::environmentVariable("http_proxy"), url);
    else
        QCOMPARE(StandinState::environmentVariable("http_proxy"), QString());
    QCOMPARE(StandinState::environmentVariable("https_proxy"), QString());
    const bool imported = StandinState::commandLog().mid(6).contains(import);
    QCOMPARE(imported, proxyEnable == QLatin1String("0"));
}

QTEST_GUILESS_MAIN(TestSystemProxy)
#include "tst_systemproxy.moc"
