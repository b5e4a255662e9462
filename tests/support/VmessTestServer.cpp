#include "VmessTestServer.h"

#include "StandinState.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUuid>

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int ReadyLimitMs = 5000;
constexpr int LaunchAttempts = 3;

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

} // namespace

VmessTestServer::VmessTestServer(QObject *parent) : QObject(parent)
{
    const pid_t self = ::getpid();
    // A test that dies must not leave its server behind.
    process.setChildProcessModifier([self]() {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != self)
            ::_exit(1);
    });
    process.setProcessChannelMode(QProcess::MergedChannels);
}

VmessTestServer::~VmessTestServer()
{
    stop();
}

QString VmessTestServer::certificatePath() const
{
    return directory ? directory->filePath(QStringLiteral("cert.pem")) : QString();
}

bool VmessTestServer::start(const Options &options)
{
    stop();
    settings = options;
    if (settings.uuid.isEmpty())
        settings.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    directory = std::make_unique<QTemporaryDir>();
    if (!directory->isValid()) {
        error = QStringLiteral("no temporary folder: %1").arg(directory->errorString());
        return false;
    }
    if (settings.tls && !makeCertificate())
        return false;
    for (int attempt = 0; attempt < LaunchAttempts; ++attempt) {
        if (launch())
            return true;
    }
    return false;
}

void VmessTestServer::stop()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(3000);
    }
    serverPort = 0;
}

bool VmessTestServer::makeCertificate()
{
    QStringList names{QStringLiteral("DNS:vmess.mirevo.test"), QStringLiteral("IP:127.0.0.1")};
    if (!settings.sni.isEmpty() && QHostAddress(settings.sni).isNull())
        names.prepend(QStringLiteral("DNS:") + settings.sni);
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(
        QStringLiteral("openssl"),
        {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
         QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
         QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
         QStringLiteral("/CN=vmess.mirevo.test"), QStringLiteral("-addext"),
         QStringLiteral("subjectAltName=") + names.join(QLatin1Char(',')), QStringLiteral("-keyout"),
         directory->filePath(QStringLiteral("key.pem")), QStringLiteral("-out"), certificatePath()});
    if (!openssl.waitForFinished(10000) || openssl.exitStatus() != QProcess::NormalExit ||
        openssl.exitCode() != 0) {
        error = QStringLiteral("openssl req failed: %1").arg(QString::fromUtf8(openssl.readAll()));
        return false;
    }
    if (!StandinState::trustCertificate(certificatePath())) {
        error = QStringLiteral("cannot hand the certificate to the core stand-in");
        return false;
    }
    return true;
}

bool VmessTestServer::launch()
{
    serverPort = freePort();
    QJsonObject stream{{QStringLiteral("network"), settings.network}};
    if (settings.network == QLatin1String("ws")) {
        QJsonObject ws{
            {QStringLiteral("path"), settings.path.isEmpty() ? QStringLiteral("/") : settings.path}};
        stream.insert(QStringLiteral("wsSettings"), ws);
    }
    if (settings.tls) {
        stream.insert(QStringLiteral("security"), QStringLiteral("tls"));
        stream.insert(
            QStringLiteral("tlsSettings"),
            QJsonObject{{QStringLiteral("certificates"),
                         QJsonArray{QJsonObject{
                             {QStringLiteral("certificateFile"), certificatePath()},
                             {QStringLiteral("keyFile"), directory->filePath(QStringLiteral("key.pem"))}}}}});
    }
    const QJsonObject client{{QStringLiteral("id"), settings.uuid},
                             {QStringLiteral("alterId"), settings.alterId}};
    const QJsonObject config{
        {QStringLiteral("log"), QJsonObject{{QStringLiteral("loglevel"), QStringLiteral("warning")}}},
        {QStringLiteral("dns"),
         QJsonObject{{QStringLiteral("hosts"), QJsonObject{{echoHost(), QStringLiteral("127.0.0.1")}}}}},
        {QStringLiteral("inbounds"),
         QJsonArray{QJsonObject{
             {QStringLiteral("listen"), QStringLiteral("127.0.0.1")},
             {QStringLiteral("port"), serverPort},
             {QStringLiteral("protocol"), QStringLiteral("vmess")},
             {QStringLiteral("settings"), QJsonObject{{QStringLiteral("clients"), QJsonArray{client}}}},
             {QStringLiteral("streamSettings"), stream}}}},
        {QStringLiteral("outbounds"),
         QJsonArray{QJsonObject{{QStringLiteral("protocol"), QStringLiteral("freedom")},
                                {QStringLiteral("settings"), QJsonObject{{QStringLiteral("domainStrategy"),
                                                                          QStringLiteral("UseIPv4")}}}}}}};
    const QString configPath = directory->filePath(QStringLiteral("server.json"));
    QFile file(configPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error = file.errorString();
        return false;
    }
    file.write(QJsonDocument(config).toJson());
    file.close();

    const QString v2ray = QStandardPaths::findExecutable(QStringLiteral("v2ray"));
    if (v2ray.isEmpty()) {
        error = QStringLiteral("v2ray is not installed (scripts/setup installs it)");
        return false;
    }
    process.start(v2ray, {QStringLiteral("-config"), configPath});
    if (!process.waitForStarted(5000)) {
        error = process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(ReadyLimitMs);
    while (!deadline.hasExpired()) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, serverPort);
        if (probe.waitForConnected(200))
            return true;
        if (process.state() == QProcess::NotRunning)
            break;
        QTest::qWait(10);
    }
    error = QStringLiteral("v2ray did not listen on %1: %2")
                .arg(serverPort)
                .arg(QString::fromUtf8(process.readAll()));
    stop();
    return false;
}

QJsonObject VmessTestServer::linkObject() const
{
    QJsonObject link{{QStringLiteral("v"), QStringLiteral("2")},
                     {QStringLiteral("ps"), settings.remarks},
                     {QStringLiteral("add"), QStringLiteral("127.0.0.1")},
                     {QStringLiteral("port"), QString::number(serverPort)},
                     {QStringLiteral("id"), settings.uuid},
                     {QStringLiteral("aid"), QString::number(settings.alterId)},
                     {QStringLiteral("net"), settings.network},
                     {QStringLiteral("type"), QStringLiteral("none")},
                     {QStringLiteral("host"), settings.host},
                     {QStringLiteral("path"), settings.path},
                     {QStringLiteral("tls"), settings.tls ? QStringLiteral("tls") : QString()},
                     {QStringLiteral("sni"), settings.sni}};
    if (settings.security != QLatin1String("auto"))
        link.insert(QStringLiteral("scy"), settings.security);
    return link;
}

QString VmessTestServer::vmessLink() const
{
    return QStringLiteral("vmess://") +
           QString::fromLatin1(QJsonDocument(linkObject()).toJson(QJsonDocument::Compact).toBase64());
}
