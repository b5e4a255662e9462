#include "vpn/SystemProxyManager.h"

#include "vpn/CommandRunner.h"
#include "vpn/CommandSequence.h"

#include <QDebug>
#include <QUrl>

#include <memory>

namespace Tavorin::Api::Vpn {

namespace {

const QString tag = QStringLiteral("[SystemProxyManager]");
int timeoutMs = CommandRunner::defaultTimeoutMs;

QStringList registryArguments(const QString &key, const QString &name, const QString &value,
                              const QString &type)
{
    return {QStringLiteral("add"), key,   QStringLiteral("/v"), name, QStringLiteral("/t"), type,
            QStringLiteral("/d"),  value, QStringLiteral("/f")};
}

const QStringList importArguments{QStringLiteral("winhttp"), QStringLiteral("import"),
                                  QStringLiteral("proxy"), QStringLiteral("source=ie")};

// Windows lets only an elevated program change the machine's WinHTTP proxy: a client started the
// usual way fails there, and the per-user settings still carry its traffic.
void noteAdministratorRights()
{
    qWarning().noquote() << tag << "WinHTTP代理需要以管理员身份运行客户端";
}

// How switching off went, step by step.
struct SwitchOff
{
    bool registryOff = true;
    bool allCleared = true;
};

// One step whose failure is logged with `warning` and counted against the whole.
CommandSequence::Step step(const QString &program, const QStringList &arguments, const char *warning,
                           const std::shared_ptr<SwitchOff> &outcome)
{
    CommandSequence::Step step{program, arguments, {}, {}, {}};
    step.finished = [warning, outcome](bool succeeded) {
        if (succeeded)
            return;
        qWarning().noquote() << tag << warning;
        outcome->allCleared = false;
    };
    return step;
}

CommandSequence environmentOff(const std::shared_ptr<SwitchOff> &outcome)
{
    CommandSequence::Step http = step(QStringLiteral("setx"), {QStringLiteral("http_proxy"), QString()},
                                      "清除http_proxy失败", outcome);
    http.starting = []() { qDebug().noquote() << tag << "清除环境变量代理"; };
    CommandSequence::Step https = step(QStringLiteral("setx"), {QStringLiteral("https_proxy"), QString()},
                                       "清除https_proxy失败", outcome);
    const auto judged = https.finished;
    https.finished = [judged](bool succeeded) {
        judged(succeeded);
        qDebug().noquote() << tag << "环境变量代理已清除";
    };
    return CommandSequence(tag, timeoutMs).then(http).then(https);
}

// Every step runs: a failed registry write must not leave WinHTTP and the variables pointing at a
// local port that is about to go away. Importing from the Internet Settings while they still say
// "enabled" would point WinHTTP back at the proxy that the reset just removed.
CommandSequence switchOff(const std::shared_ptr<SwitchOff> &outcome)
{
    CommandSequence::Step registry =
        step(QStringLiteral("reg"),
             registryArguments(SystemProxyManager::internetSettingsKey(), QStringLiteral("ProxyEnable"),
                               QStringLiteral("0"), QStringLiteral("REG_DWORD")),
             "清除ProxyEnable失败", outcome);
    const auto judged = registry.finished;
    registry.finished = [judged, outcome](bool succeeded) {
        outcome->registryOff = succeeded;
        judged(succeeded);
    };
    CommandSequence::Step fromRegistry{QStringLiteral("netsh"), importArguments, {}, {}, {}};
    fromRegistry.wanted = [outcome]() { return outcome->registryOff; };
    CommandSequence::Step winHttp =
        step(QStringLiteral("netsh"),
             {QStringLiteral("winhttp"), QStringLiteral("reset"), QStringLiteral("proxy")},
             "重置WinHTTP代理失败", outcome);
    const auto judgedReset = winHttp.finished;
    winHttp.finished = [judgedReset](bool succeeded) {
        judgedReset(succeeded);
        if (!succeeded)
            noteAdministratorRights();
    };
    return CommandSequence(tag, timeoutMs)
        .then(registry)
        .then(winHttp)
        .then(environmentOff(outcome))
        .then(fromRegistry);
}

// Switched off once the registry says so: that is what the system's own programs and browsers follow.
// What else failed is logged; trying it again at every start would not make it succeed.
bool concludeSwitchOff(const SwitchOff &outcome)
{
    if (outcome.allCleared)
        qDebug().noquote() << tag << "系统代理已清除";
    else
        qWarning().noquote() << tag << "系统代理未能完全清除";
    return outcome.registryOff;
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
    return executeCommand(QStringLiteral("reg"), registryArguments(key, name, value, type));
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
                        QStringLiteral("bypass-list=\"<local>\"")})) {
        qDebug().noquote() << tag << "WinHTTP代理设置成功";
    } else {
        qWarning().noquote() << tag << "设置WinHTTP代理失败";
        noteAdministratorRights();
    }

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
    const auto outcome = std::make_shared<SwitchOff>();
    environmentOff(outcome).runBlocking();
    return outcome->allCleared;
}

bool SystemProxyManager::importWinHttpProxyFromIe()
{
    return executeCommand(QStringLiteral("netsh"), importArguments);
}

bool SystemProxyManager::clearSystemProxy()
{
    qDebug().noquote() << tag << "清除系统代理";
    const auto outcome = std::make_shared<SwitchOff>();
    switchOff(outcome).runBlocking();
    return concludeSwitchOff(*outcome);
}

void SystemProxyManager::clearSystemProxyInBackground(QObject *context, const std::function<void(bool)> &done)
{
    qDebug().noquote() << tag << "清除系统代理";
    const auto outcome = std::make_shared<SwitchOff>();
    switchOff(outcome).runInBackground(context, [outcome, done]() { done(concludeSwitchOff(*outcome)); });
}

} // namespace Tavorin::Api::Vpn
