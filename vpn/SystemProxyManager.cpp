#include "vpn/SystemProxyManager.h"

#include "vpn/CommandRunner.h"

#include <QDebug>
#include <QUrl>

namespace Tavorin::Api::Vpn {

namespace {

const QString tag = QStringLiteral("[SystemProxyManager]");
int timeoutMs = CommandRunner::defaultTimeoutMs;

bool clearVariable(const QString &name)
{
    return SystemProxyManager::executeCommand(QStringLiteral("setx"), {name, QString()});
}

} // namespace

const QString &SystemProxyManager::internetSettingsKey()
{
    static const QString key =
        QStringLiteral("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings");
    return key;
}

void SystemProxyManager::setCommandTimeoutMs(int milliseconds)
{
    timeoutMs = milliseconds;
}

int SystemProxyManager::commandTimeoutMs()
{
    return timeoutMs;
}

bool SystemProxyManager::executeCommand(const QString &program, const QStringList &arguments)
{
    return CommandRunner::run(tag, program, arguments, timeoutMs);
}

bool SystemProxyManager::setRegistryValue(const QString &key, const QString &name, const QString &value,
                                          const QString &type)
{
    return executeCommand(QStringLiteral("reg"),
                          {QStringLiteral("add"), key, QStringLiteral("/v"), name, QStringLiteral("/t"), type,
                           QStringLiteral("/d"), value, QStringLiteral("/f")});
}

QString SystemProxyManager::proxyServerValue(const QString &proxyUrl)
{
    const QUrl url(proxyUrl, QUrl::TolerantMode);
    if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty() || url.port() <= 0)
        return {};
    QString scheme = url.scheme();
    if (scheme == QLatin1String("socks5"))
        scheme = QStringLiteral("socks");
    return QStringLiteral("%1=%2:%3").arg(scheme, url.host(), QString::number(url.port()));
}

bool SystemProxyManager::setSystemProxy(const QString &proxyUrl)
{
    qDebug().noquote() << tag << "设置系统代理:" << proxyUrl;
    const QString server = proxyServerValue(proxyUrl);
    if (server.isEmpty()) {
        qWarning().noquote() << tag << "无效的代理URL:" << proxyUrl;
        return false;
    }
    qDebug().noquote() << tag << "代理服务器字符串:" << server;

    if (!setRegistryValue(internetSettingsKey(), QStringLiteral("ProxyEnable"), QStringLiteral("1"),
                          QStringLiteral("REG_DWORD"))) {
        qWarning().noquote() << tag << "设置ProxyEnable失败";
        return false;
    }
    qDebug().noquote() << tag << "ProxyEnable设置成功";

    if (!setRegistryValue(internetSettingsKey(), QStringLiteral("ProxyServer"), server,
                          QStringLiteral("REG_SZ"))) {
        qWarning().noquote() << tag << "设置ProxyServer失败";
        return false;
    }
    qDebug().noquote() << tag << "ProxyServer设置成功";

    if (executeCommand(QStringLiteral("netsh"),
                       {QStringLiteral("winhttp"), QStringLiteral("set"), QStringLiteral("proxy"),
                        QStringLiteral("proxy-server=\"%1\"").arg(server),
                        QStringLiteral("bypass-list=\"<local>\"")}))
        qDebug().noquote() << tag << "WinHTTP代理设置成功";
    else
        qWarning().noquote() << tag << "设置WinHTTP代理失败";

    if (!setEnvironmentProxy(proxyUrl))
        qWarning().noquote() << tag << "设置环境变量代理失败";

    importWinHttpProxyFromIe();
    qDebug().noquote() << tag << "系统代理设置完成";
    return true;
}

bool SystemProxyManager::setEnvironmentProxy(const QString &proxyUrl)
{
    qDebug().noquote() << tag << "设置环境变量代理:" << proxyUrl;
    if (!executeCommand(QStringLiteral("setx"), {QStringLiteral("http_proxy"), proxyUrl})) {
        qWarning().noquote() << tag << "设置http_proxy失败";
        return false;
    }
    qDebug().noquote() << tag << "http_proxy设置成功";
    if (!executeCommand(QStringLiteral("setx"), {QStringLiteral("https_proxy"), proxyUrl})) {
        qWarning().noquote() << tag << "设置https_proxy失败";
        return false;
    }
    qDebug().noquote() << tag << "https_proxy设置成功";
    qDebug().noquote() << tag << "环境变量代理设置完成";
    return true;
}

bool SystemProxyManager::clearEnvironmentProxy()
{
    qDebug().noquote() << tag << "清除环境变量代理";
    bool allCleared = true;
    if (!clearVariable(QStringLiteral("http_proxy"))) {
        qWarning().noquote() << tag << "清除http_proxy失败";
        allCleared = false;
    }
    if (!clearVariable(QStringLiteral("https_proxy"))) {
        qWarning().noquote() << tag << "清除https_proxy失败";
        allCleared = false;
    }
    qDebug().noquote() << tag << "环境变量代理已清除";
    return allCleared;
}

bool SystemProxyManager::importWinHttpProxyFromIe()
{
    return executeCommand(QStringLiteral("netsh"), {QStringLiteral("winhttp"), QStringLiteral("import"),
                                                    QStringLiteral("proxy"), QStringLiteral("source=ie")});
}

bool SystemProxyManager::clearSystemProxy()
{
    qDebug().noquote() << tag << "清除系统代理";
    // Every step runs: a failed registry write must not leave WinHTTP and the variables pointing at a
    // local port that is about to go away.
    bool allCleared = true;
    if (!setRegistryValue(internetSettingsKey(), QStringLiteral("ProxyEnable"), QStringLiteral("0"),
                          QStringLiteral("REG_DWORD"))) {
        qWarning().noquote() << tag << "清除ProxyEnable失败";
        allCleared = false;
    }
    const bool registryCleared = allCleared;
    if (!executeCommand(QStringLiteral("netsh"),
                        {QStringLiteral("winhttp"), QStringLiteral("reset"), QStringLiteral("proxy")})) {
        qWarning().noquote() << tag << "重置WinHTTP代理失败";
        allCleared = false;
    }
    if (!clearEnvironmentProxy())
        allCleared = false;
    // Importing from the Internet Settings while they still say "enabled" would point WinHTTP back
    // at the proxy that the reset just removed.
    if (registryCleared)
        importWinHttpProxyFromIe();
    if (allCleared)
        qDebug().noquote() << tag << "系统代理已清除";
    else
        qWarning().noquote() << tag << "系统代理未能完全清除";
    return allCleared;
}

} // namespace Tavorin::Api::Vpn
