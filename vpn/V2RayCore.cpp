#include "vpn/V2RayCore.h"

#include "api/models/JsonReader.h"
#include "vpn/CommandRunner.h"
#include "vpn/EngineRecords.h"
#include "vpn/RunIdentity.h"
#include "vpn/VmessParser.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>
#include <QUdpSocket>

#if defined(Q_OS_WIN)
#include "api/win32/Win32System.h"
#endif

namespace Tavorin::Api::Vpn {

namespace {

const QString tag = QStringLiteral("[V2RayCore]");
const QString localHost = QStringLiteral("127.0.0.1");
quint16 localMixedPort = V2RayCore::defaultMixedPort;
quint16 localDnsPort = V2RayCore::defaultDnsPort;

// Resolver of everything that is not the server's own name; reached through the proxy, so it is
// written as an address to need no lookup of its own (Cloudflare's public DNS-over-HTTPS service).
const QString remoteDnsUrl = QStringLiteral("https://1.1.1.1/dns-query");

// Smart mode sends these mainland-China services direct: Baidu (search), Tencent QQ (messaging),
// Taobao, Tmall and JD (shopping), NetEase, Sina Weibo and Sohu (portals), Bilibili, Youku and
// iQiyi (video), Alibaba Cloud (cloud).
const QStringList directDomainSuffixes = {
    QStringLiteral("cn"),        QStringLiteral("com.cn"),       QStringLiteral("baidu.com"),
    QStringLiteral("qq.com"),    QStringLiteral("taobao.com"),   QStringLiteral("tmall.com"),
    QStringLiteral("jd.com"),    QStringLiteral("163.com"),      QStringLiteral("weibo.com"),
    QStringLiteral("sohu.com"),  QStringLiteral("bilibili.com"), QStringLiteral("youku.com"),
    QStringLiteral("iqiyi.com"), QStringLiteral("aliyun.com"),
};

const QStringList directAddressBlocks = {
    QStringLiteral("1.0.1.0/24"),   QStringLiteral("1.0.2.0/23"),         QStringLiteral("1.0.8.0/21"),
    QStringLiteral("1.0.32.0/19"),  QStringLiteral("1.1.0.0/24"),         QStringLiteral("1.1.2.0/23"),
    QStringLiteral("1.1.4.0/22"),   QStringLiteral("1.1.8.0/21"),         QStringLiteral("223.5.5.5/32"),
    QStringLiteral("223.6.6.6/32"), QStringLiteral("114.114.114.114/32"),
};

QJsonArray toArray(const QStringList &values)
{
    QJsonArray array;
    for (const QString &value : values)
        array.append(value);
    return array;
}

QJsonObject dnsSection(const VmessConfig &config)
{
    QJsonObject remote{{"tag", "dns-remote"}, {"address", remoteDnsUrl}, {"address_resolver", "dns-direct"}};
    QJsonObject direct{{"tag", "dns-direct"},
                       {"address", "223.5.5.5"},
                       {"address_resolver", "dns-local"},
                       {"detour", "direct"}};
    QJsonObject local{{"tag", "dns-local"}, {"address", "223.5.5.5"}, {"detour", "direct"}};
    QJsonObject block{{"tag", "dns-block"}, {"address", "rcode://success"}};
    QJsonObject serverRule{{"domain", config.address}, {"server", "dns-direct"}};
    return QJsonObject{{"servers", QJsonArray{remote, direct, local, block}},
                       {"rules", QJsonArray{serverRule}},
                       {"final", "dns-remote"},
                       {"independent_cache", true}};
}

QJsonArray inboundsSection()
{
    QJsonObject mixed{{"type", "mixed"},
                      {"tag", "mixed-in"},
                      {"listen", localHost},
                      {"listen_port", V2RayCore::mixedPort()},
                      {"sniff", true},
                      {"sniff_override_destination", true},
                      {"set_system_proxy", false}};
    QJsonObject dns{
        {"type", "direct"}, {"tag", "dns-in"}, {"listen", localHost}, {"listen_port", V2RayCore::dnsPort()}};
    return QJsonArray{mixed, dns};
}

QJsonArray outboundsSection(const VmessConfig &config)
{
    QJsonObject proxy{{"type", "vmess"},           {"tag", "proxy"},
                      {"server", config.address},  {"server_port", config.port},
                      {"uuid", config.id},         {"security", config.security},
                      {"alter_id", config.alterId}};
    if (config.network == QLatin1String("ws")) {
        QJsonObject transport{{"type", "ws"},
                              {"path", config.path.isEmpty() ? QStringLiteral("/") : config.path}};
        if (!config.host.isEmpty())
            transport.insert("headers", QJsonObject{{"Host", config.host}});
        proxy.insert("transport", transport);
    }
    if (config.tls == QLatin1String("tls")) {
        proxy.insert("tls", QJsonObject{{"enabled", true},
                                        {"server_name", config.sni.isEmpty() ? config.address : config.sni},
                                        {"insecure", false}});
    }
    return QJsonArray{proxy, QJsonObject{{"type", "dns"}, {"tag", "dns-out"}},
                      QJsonObject{{"type", "direct"}, {"tag", "direct"}},
                      QJsonObject{{"type", "block"}, {"tag", "block"}}};
}

QJsonObject routeSection(const VmessConfig &config)
{
    QJsonArray rules{
        QJsonObject{{"inbound", "dns-in"}, {"outbound", "dns-out"}},
        QJsonObject{{"port", 53}, {"outbound", "dns-out"}},
        QJsonObject{{"ip_cidr", toArray({QStringLiteral("10.0.0.0/8"), QStringLiteral("172.16.0.0/12"),
                                         QStringLiteral("192.168.0.0/16"), QStringLiteral("127.0.0.0/8")})},
                    {"outbound", "direct"}},
    };
    if (config.routingMode == 0) {
        rules.append(QJsonObject{{"domain_suffix", toArray(directDomainSuffixes)}, {"outbound", "direct"}});
        rules.append(QJsonObject{{"ip_cidr", toArray(directAddressBlocks)}, {"outbound", "direct"}});
    }
    return QJsonObject{{"rules", rules}, {"final", "proxy"}, {"auto_detect_interface", true}};
}

// The controller's port is chosen here and bound by the core a moment later: it comes from below the
// range the system hands out to outgoing connections (from 32768 on Linux, 49152 on Windows), where
// no connection of any program can take it in between. Each process starts its search at a place of
// its own, so that two clients choosing at the same moment do not choose alike.
quint16 freeLocalPort()
{
    constexpr quint64 first = 20000;
    constexpr quint64 span = 32768 - first;
    const quint64 start = (quint64(QCoreApplication::applicationPid()) * 2654435761u) % span;
    for (quint64 step = 0; step < 256; ++step) {
        const auto port = quint16(first + (start + step) % span);
        QTcpServer probe;
        if (port != V2RayCore::mixedPort() && port != V2RayCore::dnsPort() &&
            probe.listen(QHostAddress::LocalHost, port))
            return port;
    }
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// Another program listens there (or the system refuses the port): the core could not serve it.
bool portTaken(quint16 port)
{
    QTcpServer probe;
    return !probe.listen(QHostAddress::LocalHost, port);
}

// The DNS listener takes its port for datagrams as well as for streams: a program that holds either
// would answer the queries meant for the core.
bool dnsPortTaken(quint16 port)
{
    QUdpSocket datagrams;
    return portTaken(port) ||
           !datagrams.bind(QHostAddress::LocalHost, port, QAbstractSocket::DontShareAddress);
}

const QString folderPrefix = QStringLiteral("tavorin-");

// The totals a controller answer carries; false when it is not the controller's answer.
bool readTotals(QNetworkReply *reply, qint64 *upload, qint64 *download)
{
    if (reply->error() != QNetworkReply::NoError)
        return false;
    const QJsonObject totals = QJsonDocument::fromJson(reply->readAll()).object();
    *upload = Models::JsonReader::integer64(totals, QStringLiteral("uploadTotal"), -1);
    *download = Models::JsonReader::integer64(totals, QStringLiteral("downloadTotal"), -1);
    return *upload >= 0 && *download >= 0;
}

QString randomSecret()
{
    QByteArray bytes(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    return QString::fromLatin1(bytes.toHex());
}

// Before the secret goes in. On Windows a new file gets the folder's owner-only entry only through
// inheritance, which not every volume applies (nor wine), so it gets a DACL of its own, which the
// rename into place keeps. Elsewhere a temporary file is created 0600.
bool makePrivate(const QTemporaryFile &file)
{
#if defined(Q_OS_WIN)
    return Win32::makeOwnerOnly(QDir::toNativeSeparators(file.fileName()).toStdWString());
#else
    Q_UNUSED(file);
    return true;
#endif
}

} // namespace

V2RayCore::V2RayCore(QObject *parent)
    : QObject(parent), process(new QProcess(this)), trafficTimer(new QTimer(this)),
      readinessTimer(new QTimer(this)), readinessDeadline(new QTimer(this)), probeTimer(new QTimer(this)),
      controllerClient(new QNetworkAccessManager(this)),
      resourcePath(QCoreApplication::applicationDirPath() + QStringLiteral("/resources/vpn"))
{
    connect(process, &QProcess::started, this, &V2RayCore::onXRayStarted);
    connect(process, &QProcess::finished, this, &V2RayCore::onXRayFinished);
    connect(process, &QProcess::errorOccurred, this, &V2RayCore::onXRayError);
    connect(process, &QProcess::readyReadStandardOutput, this, &V2RayCore::onXRayStdout);
    connect(process, &QProcess::readyReadStandardError, this, &V2RayCore::onXRayStderr);
    trafficTimer->setInterval(trafficIntervalMs);
    connect(trafficTimer, &QTimer::timeout, this, &V2RayCore::updateTrafficStats);
    readinessTimer->setSingleShot(true);
    connect(readinessTimer, &QTimer::timeout, this, &V2RayCore::pollReadiness);
    readinessDeadline->setSingleShot(true);
    readinessDeadline->setInterval(readinessLimitMs);
    connect(readinessDeadline, &QTimer::timeout, this, &V2RayCore::onReadinessLimitReached);
    probeTimer->setSingleShot(true);
    probeTimer->setInterval(probeTimeoutMs);
    connect(probeTimer, &QTimer::timeout, this, &V2RayCore::retryReadiness);
    // The controller and the mixed listener are on this machine: no proxy setting may stand between.
    controllerClient->setProxy(QNetworkProxy::NoProxy);
    qDebug().noquote() << tag << "初始化完成，资源路径:" << resourcePath;
}

V2RayCore::~V2RayCore()
{
    stop();
}

quint16 V2RayCore::mixedPort()
{
    return localMixedPort;
}

quint16 V2RayCore::dnsPort()
{
    return localDnsPort;
}

void V2RayCore::setLocalPorts(quint16 mixed, quint16 dns)
{
    localMixedPort = mixed;
    localDnsPort = dns;
}

void V2RayCore::setReadinessPolling(int intervalMs, int limitMs)
{
    pollIntervalMs = intervalMs;
    readinessDeadline->setInterval(limitMs);
}

void V2RayCore::setTrafficInterval(int milliseconds)
{
    trafficTimer->setInterval(milliseconds);
}

qint64 V2RayCore::processId() const
{
    return process->processId();
}

QString V2RayCore::executablePath() const
{
    return resourcePath + QStringLiteral("/x32/xray.exe");
}

QString V2RayCore::controllerAddress() const
{
    return localHost + QLatin1Char(':') + QString::number(controllerPort);
}

void V2RayCore::prepareController()
{
    controllerPort = freeLocalPort();
    controllerToken = randomSecret();
}

QString V2RayCore::generateConfig(const VmessConfig &config)
{
    if (config.routingMode != 0)
        qDebug().noquote() << tag << "使用全局模式 - 全部走代理";
    else
        qDebug().noquote() << tag << "使用智能模式 - 国内直连";
    if (controllerPort == 0)
        prepareController();

    // The controller gives the client the core's real traffic totals; its secret is new for every
    // connection so that no other local program can read or steer the core.
    const QJsonObject experimental{{"clash_api", QJsonObject{{"external_controller", controllerAddress()},
                                                             {"secret", controllerToken}}}};
    const QJsonObject document{{"log", QJsonObject{{"level", "warning"}}},
                               {"dns", dnsSection(config)},
                               {"inbounds", inboundsSection()},
                               {"outbounds", outboundsSection(config)},
                               {"route", routeSection(config)},
                               {"experimental", experimental}};
    return QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented));
}

bool V2RayCore::start(const VmessConfig &config)
{
    if (running) {
        qWarning().noquote() << tag << "XRay已经在运行中";
        return false;
    }
    qDebug().noquote() << tag << "启动XRay连接";
    qDebug().noquote() << tag
                       << "服务器:" << config.address + QLatin1Char(':') + QString::number(config.port);
    qDebug().noquote() << tag << "协议:" << config.network + QStringLiteral(", TLS:") << config.tls;

    // A link the configuration cannot carry would run as plain TCP, connected in name only.
    const QString unsupported = unsupportedSetting(config);
    if (!unsupported.isEmpty())
        return refuseStart(unsupported);
    // Whoever listens on our ports would be taken for the core: the user's traffic must not go there.
    if (portTaken(mixedPort()))
        return refuseStart(QStringLiteral("本地代理端口已被占用: %1:%2").arg(localHost).arg(mixedPort()));
    if (dnsPortTaken(dnsPort()))
        return refuseStart(QStringLiteral("本地DNS端口已被占用: %1:%2").arg(localHost).arg(dnsPort()));

    prepareController();
    const QString document = generateConfig(config);
    if (document.isEmpty()) {
        emit error(QStringLiteral("生成配置文件失败"));
        return false;
    }
    if (!writeConfiguration(document))
        return false;
    qDebug().noquote() << tag << "配置文件已保存:" << configPath;

    const QString executable = executablePath();
    qDebug().noquote() << tag << "========== XRay启动诊断 ==========";
    qDebug().noquote() << tag << "XRay路径:" << executable;
    qDebug().noquote() << tag << "配置文件:" << configPath;
    qDebug().noquote() << tag << "资源路径:" << resourcePath;
    qDebug().noquote() << tag << "当前目录:" << QDir::currentPath();
    qDebug().noquote() << tag << "程序目录:" << QCoreApplication::applicationDirPath();

    const QFileInfo info(executable);
    if (!info.exists()) {
        const QString message = QStringLiteral("❌ XRay可执行文件不存在: %1").arg(executable);
        qCritical().noquote() << tag << message;
        qDebug().noquote() << tag << "请检查文件是否存在或是否被杀毒软件删除";
        emit error(message);
        return false;
    }
    qDebug().noquote() << tag << "XRay文件大小:" << info.size() << "字节";
    qDebug().noquote() << tag << "XRay可执行:" << info.isExecutable();
    qDebug().noquote() << tag << "XRay可读:" << info.isReadable();
    qDebug().noquote() << tag << "测试XRay是否可以运行...";

    const CommandRunner::Result probe = CommandRunner::execute(executable, {QStringLiteral("version")}, 3000);
    if (probe.finished) {
        qDebug().noquote() << tag << "✅ XRay版本信息:" << QString::fromUtf8(probe.standardOutput).left(100);
    } else {
        qWarning().noquote() << tag << "⚠️ XRay测试运行失败";
        qWarning().noquote() << tag << "错误:" << probe.errorText;
    }

    const QStringList arguments{QStringLiteral("run"), QStringLiteral("-c"), configPath,
                                QStringLiteral("--disable-color")};
    qDebug().noquote() << tag
                       << "启动命令:" << executable + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
    qDebug().noquote() << tag << "正在启动XRay进程...";

    ready = false;
    stopRequested = false;
    crashReported = false;
    uploadTotal = 0;
    downloadTotal = 0;
    process->start(executable, arguments, QIODevice::ReadWrite);
    if (process->waitForStarted(5000)) {
        qDebug().noquote() << tag << "✅ XRay进程已启动";
        qDebug().noquote() << tag << "==========================================";
        qDebug().noquote() << tag << "XRay进程已启动, PID:" << process->processId();
        // Noted as soon as the process has an id; the write costs nothing while the core comes up.
        recordRun();
        return true;
    }

    const QString message = QStringLiteral("❌ XRay启动超时 (5秒)");
    qCritical().noquote() << tag << message;
    qDebug().noquote() << tag << "进程错误:" << process->errorString();
    qDebug().noquote() << tag << "进程状态:"
                       << QMetaEnum::fromType<QProcess::ProcessState>().valueToKey(process->state());
    qDebug().noquote() << tag << "退出码:" << process->exitCode();
    for (const char *line : {"可能的原因:", "1. 杀毒软件拦截", "2. 防火墙阻止", "3. UPX压缩兼容性问题",
                             "4. 缺少运行库", "5. 配置文件格式错误"})
        qDebug().noquote() << tag << QString::fromUtf8(line);
    emit error(message);
    return false;
}

bool V2RayCore::refuseStart(const QString &message)
{
    qWarning().noquote() << tag << message;
    emit error(message);
    return false;
}

QString V2RayCore::unsupportedSetting(const VmessConfig &config)
{
    if (config.network != QLatin1String("tcp") && config.network != QLatin1String("ws") &&
        !config.network.isEmpty())
        return VmessParser::unsupportedText(QStringLiteral("net"), config.network);
    if (config.type != QLatin1String("none") && !config.type.isEmpty())
        return VmessParser::unsupportedText(QStringLiteral("type"), config.type);
    if (config.tls != QLatin1String("tls") && config.tls != QLatin1String("none") && !config.tls.isEmpty())
        return VmessParser::unsupportedText(QStringLiteral("tls"), config.tls);
    return {};
}

QString V2RayCore::configurationRoot()
{
    // With TMPDIR naming a folder that does not exist Qt gives an empty text, and a folder made
    // under it would land at the root of the file system.
    const QString root = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    const QFileInfo folder(root);
    return !root.isEmpty() && folder.isAbsolute() && folder.isDir() ? QDir::cleanPath(root) : QString();
}

QString V2RayCore::runOfConfigurationFolder(const QString &name)
{
    // "tavorin-<run>-XXXXXX": the run's key, then the random part that keeps the name unguessable.
    if (!name.startsWith(folderPrefix))
        return {};
    const qsizetype last = name.lastIndexOf(QLatin1Char('-'));
    const QString run = name.mid(folderPrefix.size(), last - folderPrefix.size());
    return last > folderPrefix.size() && RunIdentity::processId(run) > 0 ? run : QString();
}

bool V2RayCore::writeConfiguration(const QString &document)
{
    removeConfiguration();
    // A folder of our own, made afresh with an unguessable name and mode 0700: nobody else can read
    // the UUID and the secret in it, nor plant a file or a link where the configuration goes. Its
    // name carries this run's key, so that a run killed before it could note the folder anywhere
    // still leaves it recognisably its own (EngineRecovery).
    const QString root = configurationRoot();
    std::unique_ptr<QTemporaryDir> folder;
    if (!root.isEmpty())
        folder = std::make_unique<QTemporaryDir>(root + QLatin1Char('/') + folderPrefix +
                                                 RunIdentity::current() + QStringLiteral("-XXXXXX"));
    bool made = folder && folder->isValid();
#if defined(Q_OS_WIN)
    // NTFS ignores the mode Qt gives the folder (its permissions only toggle the read-only attribute,
    // and a new folder takes the ACL of the one above): the folder gets an owner-only DACL of its own.
    if (made && !Win32::makeOwnerOnly(QDir::toNativeSeparators(folder->path()).toStdWString()))
        made = false;
#endif
    configPath = made ? folder->filePath(QStringLiteral("tavorin_config.json"))
                      : QStringLiteral("%1/tavorin_config.json").arg(root);
    // Written under a temporary name (created 0600, never through a link) and renamed into place, so
    // the core never reads half a file.
    bool written = false;
    if (made) {
        const QByteArray bytes = document.toUtf8();
        QTemporaryFile staging(configPath + QStringLiteral(".XXXXXX"));
        // A short write (a full disk) would leave the core half a configuration.
        written = staging.open() && makePrivate(staging) && staging.write(bytes) == bytes.size() &&
                  staging.flush() && staging.rename(configPath);
        staging.setAutoRemove(!written);
    }
    if (!written) {
        const QString message = QStringLiteral("无法创建配置文件: %1").arg(configPath);
        qWarning().noquote() << tag << message;
        emit error(message);
        return false;
    }
    configFolder = std::move(folder);
    return true;
}

void V2RayCore::recordRun()
{
    QJsonObject record = EngineRecords::processRecord(process->processId(), QStringLiteral("xray.exe"));
    record.insert(QStringLiteral("configFolder"), configFolder ? configFolder->path() : QString());
    EngineRecords::write(EngineRecords::core, record);
}

void V2RayCore::takeBackRun()
{
    removeConfiguration();
    if (process->state() == QProcess::NotRunning)
        EngineRecords::clearOwn(EngineRecords::core);
    else
        recordRun();
}

void V2RayCore::removeConfiguration()
{
    if (!configFolder)
        return;
    configFolder.reset();
    qDebug().noquote() << tag << "已删除配置文件:" << configPath;
}

void V2RayCore::onXRayStarted()
{
    qDebug().noquote() << tag << "XRay进程已启动";
    running = true;
    sinceStarted.start();
    // The limit counts from the process's start only: nothing the owner does later eats into it.
    readinessDeadline->start();
    readinessTimer->start(0);
}

QNetworkReply *V2RayCore::readController(void (V2RayCore::*onFinished)(QNetworkReply *))
{
    QNetworkRequest request(QUrl(QStringLiteral("http://%1/connections").arg(controllerAddress())));
    request.setRawHeader("Authorization", "Bearer " + controllerToken.toLatin1());
    QNetworkReply *reply = controllerClient->get(request);
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, onFinished]() { (this->*onFinished)(reply); });
    return reply;
}

// The core is ours and up once its controller answers with this run's secret and its mixed listener
// accepts: a program that merely listens on the mixed port knows neither the port nor the secret.
void V2RayCore::pollReadiness()
{
    if (!running || ready || process->state() != QProcess::Running)
        return;
    probeTimer->start();
    controllerProbe = readController(&V2RayCore::onControllerProbeFinished);
}

void V2RayCore::onControllerProbeFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply != controllerProbe)
        return;
    controllerProbe = nullptr;
    qint64 upload = 0;
    qint64 download = 0;
    if (!readTotals(reply, &upload, &download)) {
        retryReadiness();
        return;
    }
    readinessProbe = new QTcpSocket(this);
    readinessProbe->setProxy(QNetworkProxy::NoProxy);
    connect(readinessProbe, &QTcpSocket::connected, this, &V2RayCore::onReadinessProbeConnected);
    connect(readinessProbe, &QTcpSocket::errorOccurred, this, &V2RayCore::retryReadiness);
    readinessProbe->connectToHost(QHostAddress::LocalHost, mixedPort());
}

void V2RayCore::onReadinessProbeConnected()
{
    cancelReadiness();
    if (running && process->state() == QProcess::Running)
        becomeReady();
}

// A probe failed or took too long: drop it and try again shortly, until the limit says otherwise.
void V2RayCore::retryReadiness()
{
    cancelProbes();
    if (readinessDeadline->isActive() && running && !ready)
        readinessTimer->start(pollIntervalMs);
}

void V2RayCore::onReadinessLimitReached()
{
    if (!running || ready)
        return;
    const QString message =
        QStringLiteral("XRay本地代理端口未就绪 (%1毫秒)").arg(readinessDeadline->interval());
    qWarning().noquote() << tag << message;
    cancelReadiness();
    emit error(message);
    // A core that never serves its port is of no use; the owner may have stopped it already.
    stop();
}

void V2RayCore::cancelReadiness()
{
    readinessDeadline->stop();
    cancelProbes();
}

void V2RayCore::cancelProbes()
{
    readinessTimer->stop();
    probeTimer->stop();
    if (controllerProbe) {
        QNetworkReply *reply = controllerProbe;
        controllerProbe = nullptr;
        reply->abort();
    }
    if (readinessProbe) {
        readinessProbe->disconnect(this);
        readinessProbe->abort();
        readinessProbe->deleteLater();
        readinessProbe = nullptr;
    }
}

void V2RayCore::becomeReady()
{
    ready = true;
    qDebug().noquote() << tag << "本地代理端口已就绪, 用时:" << sinceStarted.elapsed() << "毫秒";
    qDebug().noquote() << tag << "启动流量监控";
    uploadTotal = 0;
    downloadTotal = 0;
    unansweredPolls = 0;
    trafficTimer->start();
    emit connected();
}

void V2RayCore::onXRayFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    const bool crashed = exitStatus == QProcess::CrashExit;
    qDebug().noquote() << tag << "XRay进程已退出, 退出码:" << exitCode
                       << QStringLiteral(", 状态:") +
                              (crashed ? QStringLiteral("崩溃") : QStringLiteral("正常"));
    const bool wasReady = ready;
    running = false;
    ready = false;
    cancelReadiness();
    qDebug().noquote() << tag << "停止流量监控";
    trafficTimer->stop();
    cancelTrafficRead();
    // Our own stop() kills the process, which the process library reports as a crash: not an error.
    if (!stopRequested) {
        if (crashed && !crashReported) {
            crashReported = true;
            emit error(QStringLiteral("XRay进程崩溃"));
        } else if (!crashed && !wasReady) {
            const QString message = QStringLiteral("XRay进程在就绪前退出, 退出码: %1").arg(exitCode);
            qWarning().noquote() << tag << message;
            emit error(message);
        }
    }
    emit disconnected();
}

void V2RayCore::onXRayError(QProcess::ProcessError processError)
{
    if (stopRequested)
        return;
    if (processError == QProcess::Crashed) {
        if (crashReported)
            return;
        crashReported = true;
    }
    const QString message = CommandRunner::processErrorText(QStringLiteral("XRay"), processError);
    qWarning().noquote() << tag << message;
    emit error(message);
}

void V2RayCore::onXRayStdout()
{
    const QString text = QString::fromUtf8(process->readAllStandardOutput()).trimmed();
    if (text.isEmpty())
        return;
    qDebug().noquote() << "[XRay输出]" << text;
    emit logOutput(QStringLiteral("[XRay] ") + text);
}

void V2RayCore::onXRayStderr()
{
    const QString text = QString::fromUtf8(process->readAllStandardError()).trimmed();
    if (!text.contains(QLatin1String("ERROR")) && !text.contains(QLatin1String("FATAL")))
        return;
    qDebug().noquote() << "[XRay错误]" << text;
    emit logOutput(QStringLiteral("[XRay错误] ") + text);
}

void V2RayCore::updateTrafficStats()
{
    // One read at a time: a slow controller must not pile up requests.
    if (!running || trafficReply)
        return;
    trafficReply = readController(&V2RayCore::onTrafficReply);
    // Given up well before the next tick.
    QTimer::singleShot(probeTimeoutMs, trafficReply, &QNetworkReply::abort);
}

void V2RayCore::onTrafficReply(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply != trafficReply)
        return;
    trafficReply = nullptr;
    if (!running)
        return;
    qint64 upload = 0;
    qint64 download = 0;
    if (!readTotals(reply, &upload, &download)) {
        onUnansweredPoll(reply->error() != QNetworkReply::NoError ? reply->errorString()
                                                                  : QStringLiteral("流量统计格式无效"));
        return;
    }
    unansweredPolls = 0;
    uploadTotal = upload;
    downloadTotal = download;
    emit trafficUpdate(uploadTotal, downloadTotal);
}

// The controller answers from the core's own event loop: when it stops answering, the core has
// hung (or was stopped) and carries nothing either, while the system proxy still points at it.
void V2RayCore::onUnansweredPoll(const QString &why)
{
    ++unansweredPolls;
    qWarning().noquote() << tag << "读取流量统计失败:" << why
                         << QStringLiteral("(%1/%2)").arg(unansweredPolls).arg(unansweredPollLimit);
    if (unansweredPolls < unansweredPollLimit)
        return;
    const QString message = QStringLiteral("XRay进程无响应");
    qWarning().noquote() << tag << message;
    emit error(message);
    // The owner has most likely stopped it already; a core that answers nobody must not stay.
    stop();
}

void V2RayCore::cancelTrafficRead()
{
    if (!trafficReply)
        return;
    QNetworkReply *reply = trafficReply;
    trafficReply = nullptr;
    reply->abort();
}

void V2RayCore::stop()
{
    // A run whose process already ended leaves only its configuration to take away.
    if (!running && process->state() == QProcess::NotRunning) {
        takeBackRun();
        return;
    }
    qDebug().noquote() << tag << "停止XRay连接";
    qDebug().noquote() << tag << "停止流量监控";
    trafficTimer->stop();
    cancelReadiness();
    cancelTrafficRead();
    stopRequested = true;

    if (process->state() != QProcess::NotRunning) {
        const qint64 pid = process->processId();
        qDebug().noquote() << tag << "正在终止XRay进程, PID:" << pid;
        process->kill();
        if (!process->waitForFinished(stopTimeoutMs)) {
            qWarning().noquote() << tag << "XRay进程未响应，尝试系统级强制终止";
            CommandRunner::run(tag, QStringLiteral("taskkill"),
                               {QStringLiteral("/F"), QStringLiteral("/PID"), QString::number(pid)});
            process->waitForFinished(500);
        }
        qDebug().noquote() << tag << "XRay进程已终止";
    }

    takeBackRun();
    running = false;
    ready = false;
    uploadTotal = 0;
    downloadTotal = 0;
    qDebug().noquote() << tag << "XRay已停止";
}

} // namespace Tavorin::Api::Vpn
