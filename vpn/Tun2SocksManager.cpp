#include "vpn/Tun2SocksManager.h"

#include "vpn/CommandRunner.h"
#include "vpn/EngineRecords.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QNetworkInterface>
#include <QThread>

namespace Tavorin::Api::Vpn {

namespace {

const QString tag = QStringLiteral("[Tun2SocksManager]");
const QString adapterArgument = QStringLiteral("name=\"wintun\"");
const QString adapterName = QStringLiteral("\"wintun\"");
const QString adapterAddress = QStringLiteral("192.168.123.1");

QStringList netshIpv4(const QStringList &rest)
{
    return QStringList{QStringLiteral("interface"), QStringLiteral("ipv4")} + rest;
}

} // namespace

Tun2SocksManager::Tun2SocksManager(QObject *parent)
    : QObject(parent), process(new QProcess(this)),
      resourcePath(QCoreApplication::applicationDirPath() + QStringLiteral("/resources/vpn")),
      routes{QStringLiteral("1.0.0.0/8"),  QStringLiteral("2.0.0.0/7"),   QStringLiteral("4.0.0.0/6"),
             QStringLiteral("8.0.0.0/5"),  QStringLiteral("16.0.0.0/4"),  QStringLiteral("32.0.0.0/3"),
             QStringLiteral("64.0.0.0/2"), QStringLiteral("128.0.0.0/1"), QStringLiteral("198.18.0.0/15")}
{
    connect(process, &QProcess::started, this, &Tun2SocksManager::onTun2SocksStarted);
    connect(process, &QProcess::finished, this, &Tun2SocksManager::onTun2SocksFinished);
    connect(process, &QProcess::errorOccurred, this, &Tun2SocksManager::onTun2SocksError);
    connect(process, &QProcess::readyReadStandardOutput, this, &Tun2SocksManager::onTun2SocksStdout);
    connect(process, &QProcess::readyReadStandardError, this, &Tun2SocksManager::onTun2SocksStderr);
    qDebug().noquote() << tag << "初始化完成，资源路径:" << resourcePath;
}

Tun2SocksManager::~Tun2SocksManager()
{
    stop();
}

QStringList Tun2SocksManager::deleteRouteArguments(const QString &prefix)
{
    return netshIpv4({QStringLiteral("delete"), QStringLiteral("route"), prefix, adapterName});
}

QStringList Tun2SocksManager::dnsToDhcpArguments()
{
    return netshIpv4(
        {QStringLiteral("set"), QStringLiteral("dnsservers"), adapterArgument, QStringLiteral("dhcp")});
}

QStringList Tun2SocksManager::addressToDhcpArguments()
{
    return netshIpv4(
        {QStringLiteral("set"), QStringLiteral("address"), adapterArgument, QStringLiteral("source=dhcp")});
}

void Tun2SocksManager::recordAdapter(const QString &member, const QJsonValue &value)
{
    adapterRecord.insert(member, value);
    EngineRecords::write(EngineRecords::adapter, adapterRecord);
}

void Tun2SocksManager::forgetAdapter()
{
    adapterRecord = QJsonObject();
    EngineRecords::clearOwn(EngineRecords::adapter);
}

bool Tun2SocksManager::executeCommand(const QString &program, const QStringList &arguments)
{
    return CommandRunner::run(tag, program, arguments, commandTimeoutMs);
}

QString Tun2SocksManager::choosePhysicalInterface(const QList<InterfaceInfo> &interfaces)
{
    for (const InterfaceInfo &candidate : interfaces) {
        if (candidate.loopback || !candidate.up ||
            candidate.name.contains(QLatin1String("wintun"), Qt::CaseInsensitive))
            continue;
        qDebug().noquote() << tag << "检测到网络接口:" << candidate.name;
        return candidate.name;
    }
    qWarning().noquote() << tag << "未找到合适的网络接口，使用默认值";
    return QStringLiteral("以太网");
}

QString Tun2SocksManager::detectPhysicalInterface()
{
    QList<InterfaceInfo> interfaces;
    for (const QNetworkInterface &candidate : QNetworkInterface::allInterfaces()) {
#if defined(Q_OS_WIN)
        // Windows' system name is an internal id ("ethernet_32769"): the adapter is "wintun" by the
        // name it was given, and tun2socks resolves the outbound interface by that name too.
        const QString name = candidate.humanReadableName();
#else
        const QString name = candidate.name();
#endif
        interfaces.append({name, candidate.flags().testFlag(QNetworkInterface::IsLoopBack),
                           candidate.flags().testFlag(QNetworkInterface::IsUp)});
    }
    return choosePhysicalInterface(interfaces);
}

bool Tun2SocksManager::startTun2SocksProcess(const QString &proxyUrl)
{
    const QString program = resourcePath + QStringLiteral("/x32/tun2socks.exe");
    if (!QFile::exists(program)) {
        qWarning().noquote() << tag << QStringLiteral("tun2socks可执行文件不存在: %1").arg(program);
        return false;
    }
    QString proxy = proxyUrl;
    if (proxy.startsWith(QLatin1String("socks://")))
        proxy.replace(0, 5, QStringLiteral("socks5"));
    qDebug().noquote() << tag << "代理URL:" << proxy;
    const QString interfaceName = detectPhysicalInterface();
    qDebug().noquote() << tag << "网络接口:" << interfaceName;

    const QStringList arguments{QStringLiteral("-device"),    QStringLiteral("wintun"),
                                QStringLiteral("-proxy"),     proxy,
                                QStringLiteral("-interface"), interfaceName};
    qDebug().noquote() << tag << "启动tun2socks:" << program;
    qDebug().noquote() << tag << "参数:" << arguments.join(QLatin1Char(' '));
    stopRequested = false;
    const QString image = QStringLiteral("tun2socks.exe");
    EngineRecords::write(EngineRecords::tunnel, {{QStringLiteral("image"), image}});
    process->start(program, arguments, QIODevice::ReadWrite);
    if (process->waitForStarted(5000)) {
        qDebug().noquote() << tag << "tun2socks进程已启动, PID:" << process->processId();
        EngineRecords::write(EngineRecords::tunnel,
                             EngineRecords::processRecord(process->processId(), image));
        return true;
    }
    qWarning().noquote() << tag << "tun2socks启动超时";
    // A program that starts late would still create the adapter; it must not outlive the attempt.
    stopTun2SocksProcess();
    if (process->state() == QProcess::NotRunning)
        EngineRecords::clearOwn(EngineRecords::tunnel);
    return false;
}

void Tun2SocksManager::stopTun2SocksProcess()
{
    if (process->state() == QProcess::NotRunning)
        return;
    qDebug().noquote() << tag << "停止tun2socks进程";
    stopRequested = true;
#if defined(Q_OS_WIN)
    // terminate() only posts WM_CLOSE, which a console program never sees: the wait would always run
    // out. tun2socks keeps nothing that an ending needs to save.
    process->kill();
    process->waitForFinished(1000);
#else
    process->terminate();
    if (!process->waitForFinished(stopTimeoutMs)) {
        qWarning().noquote() << tag << "tun2socks进程未响应，强制终止";
        process->kill();
        process->waitForFinished(1000);
    }
#endif
    qDebug().noquote() << tag << "tun2socks进程已停止";
}

bool Tun2SocksManager::configureWintunAddress()
{
    qDebug().noquote() << tag << "配置wintun IP地址: 192.168.123.1/24";
    recordAdapter(QStringLiteral("address"), true);
    const bool ok =
        executeCommand(QStringLiteral("netsh"),
                       netshIpv4({QStringLiteral("set"), QStringLiteral("address"), adapterArgument,
                                  QStringLiteral("source=static"), QStringLiteral("addr=") + adapterAddress,
                                  QStringLiteral("mask=255.255.255.0")}));
    if (ok) {
        addressConfigured = true;
        qDebug().noquote() << tag << "wintun IP地址配置成功";
    } else {
        qWarning().noquote() << tag << "配置wintun IP地址失败";
    }
    return ok;
}

bool Tun2SocksManager::configureWintunDns()
{
    qDebug().noquote() << tag << "配置wintun DNS: 8.8.8.8";
    recordAdapter(QStringLiteral("dns"), true);
    const bool ok =
        executeCommand(QStringLiteral("netsh"),
                       netshIpv4({QStringLiteral("set"), QStringLiteral("dnsservers"), adapterArgument,
                                  QStringLiteral("static"), QStringLiteral("address=8.8.8.8"),
                                  QStringLiteral("register=none"), QStringLiteral("validate=no")}));
    if (ok) {
        dnsConfigured = true;
        qDebug().noquote() << tag << "wintun DNS配置成功";
    } else {
        qWarning().noquote() << tag << "配置wintun DNS失败";
    }
    return ok;
}

bool Tun2SocksManager::addRoutes()
{
    qDebug().noquote() << tag << "添加路由规则 (共" << routes.size() << "条)";
    int succeeded = 0;
    QJsonArray recorded;
    for (const QString &prefix : routes) {
        recorded.append(prefix);
        recordAdapter(QStringLiteral("routes"), recorded);
        if (executeCommand(QStringLiteral("netsh"),
                           netshIpv4({QStringLiteral("add"), QStringLiteral("route"), prefix, adapterName,
                                      adapterAddress, QStringLiteral("metric=1")}))) {
            routesAdded.append(prefix);
            ++succeeded;
            qDebug().noquote() << tag << "添加路由:" << prefix << "✓";
        } else {
            qWarning().noquote() << tag << "添加路由失败:" << prefix;
        }
    }
    qDebug().noquote() << tag
                       << "路由规则添加完成:" << QStringLiteral("%1/%2").arg(succeeded).arg(routes.size());
    return succeeded == routes.size();
}

void Tun2SocksManager::clearRoutes()
{
    qDebug().noquote() << tag << "清除路由规则";
    for (const QString &prefix : std::as_const(routesAdded))
        executeCommand(QStringLiteral("netsh"), deleteRouteArguments(prefix));
    routesAdded.clear();
    qDebug().noquote() << tag << "路由规则已清除";
}

void Tun2SocksManager::clearWintunConfig()
{
    qDebug().noquote() << tag << "清除wintun配置";
    if (dnsConfigured)
        executeCommand(QStringLiteral("netsh"), dnsToDhcpArguments());
    if (addressConfigured)
        executeCommand(QStringLiteral("netsh"), addressToDhcpArguments());
    dnsConfigured = false;
    addressConfigured = false;
    qDebug().noquote() << tag << "wintun配置已清除";
}

void Tun2SocksManager::undoConfiguration()
{
    if (!routesAdded.isEmpty())
        clearRoutes();
    if (dnsConfigured || addressConfigured)
        clearWintunConfig();
    forgetAdapter();
}

bool Tun2SocksManager::start(const QString &proxyUrl)
{
    if (running) {
        qWarning().noquote() << tag << "tun2socks已经在运行中";
        return false;
    }
    qDebug().noquote() << tag << "启动VPN隧道, 代理地址:" << proxyUrl;
    if (!startTun2SocksProcess(proxyUrl)) {
        qWarning().noquote() << tag << "启动tun2socks进程失败";
        emit error(QStringLiteral("启动tun2socks进程失败"));
        return false;
    }
    qDebug().noquote() << tag << "等待tun2socks启动...";
    QThread::msleep(static_cast<unsigned long>(qMax(0, adapterWaitMs)));

    // A failed step takes back the steps before it: no static address, DNS server or route may
    // stay behind on an adapter that is about to disappear.
    QString failure;
    if (!configureWintunAddress())
        failure = QStringLiteral("配置wintun IP地址失败");
    else if (!configureWintunDns())
        failure = QStringLiteral("配置wintun DNS失败");
    else if (!addRoutes()) {
        qWarning().noquote() << tag << "添加路由规则失败";
        failure = QStringLiteral("添加路由规则失败");
    }
    if (!failure.isEmpty()) {
        // Windows lets only an elevated program configure an adapter.
        qWarning().noquote() << tag << "配置网卡需要以管理员身份运行客户端";
        undoConfiguration();
        stopTun2SocksProcess();
        emit error(failure);
        return false;
    }
    running = true;
    qDebug().noquote() << tag << "VPN隧道启动成功";
    return true;
}

void Tun2SocksManager::stop()
{
    const bool configured = addressConfigured || dnsConfigured || !routesAdded.isEmpty();
    if (!running && !configured && process->state() == QProcess::NotRunning)
        return;
    qDebug().noquote() << tag << "停止VPN隧道";
    // Also after tun2socks died by itself: the routes and the adapter settings are still in place.
    clearRoutes();
    clearWintunConfig();
    forgetAdapter();
    stopTun2SocksProcess();
    running = false;
    qDebug().noquote() << tag << "VPN隧道已停止";
}

void Tun2SocksManager::onTun2SocksStarted()
{
    qDebug().noquote() << tag << "tun2socks进程已启动";
    emit started();
}

void Tun2SocksManager::onTun2SocksFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    const bool crashed = exitStatus == QProcess::CrashExit;
    qDebug().noquote() << tag << "tun2socks进程已退出, 退出码:" << exitCode
                       << QStringLiteral(", 状态:") +
                              (crashed ? QStringLiteral("崩溃") : QStringLiteral("正常"));
    const bool wasUp = running;
    running = false;
    EngineRecords::clearOwn(EngineRecords::tunnel);
    // Our own stop ends the program with a signal, which the process library calls a crash.
    if (!stopRequested) {
        if (crashed)
            emit error(QStringLiteral("tun2socks进程崩溃"));
        else if (wasUp)
            emit error(QStringLiteral("tun2socks进程意外退出"));
    }
    emit stopped();
}

void Tun2SocksManager::onTun2SocksError(QProcess::ProcessError processError)
{
    // A crash is reported by the end of the process; our own stop is no error at all.
    if (stopRequested || processError == QProcess::Crashed)
        return;
    const QString message = CommandRunner::processErrorText(QStringLiteral("tun2socks"), processError);
    qWarning().noquote() << tag << message;
    emit error(message);
}

void Tun2SocksManager::onTun2SocksStdout()
{
    const QString text = QString::fromUtf8(process->readAllStandardOutput()).trimmed();
    if (text.isEmpty())
        return;
    qDebug().noquote() << "[tun2socks输出]" << text;
    emit logOutput(QStringLiteral("[tun2socks] ") + text);
}

void Tun2SocksManager::onTun2SocksStderr()
{
    const QString text = QString::fromUtf8(process->readAllStandardError()).trimmed();
    if (text.isEmpty())
        return;
    qDebug().noquote() << "[tun2socks错误]" << text;
    emit logOutput(QStringLiteral("[tun2socks错误] ") + text);
}

} // namespace Tavorin::Api::Vpn
