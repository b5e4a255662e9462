#include "VmessTestServer.h"

#include "Loopback.h"
#include "ProcessTies.h"
#include "SelfSignedCertificate.h"
#include "StandinState.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QUuid>

namespace {

constexpr int ReadyLimitMs = 30000;
constexpr int LaunchAttempts = 3;

} // namespace

VmessTestServer::VmessTestServer(QObject *parent) : QObject(parent)
{
    // A test that dies must not leave its server behind.
    ProcessTies::endWithThisProcess(process);
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
    QStringList names{QStringLiteral("vmess.mirevo.test")};
    if (!settings.sni.isEmpty() && QHostAddress(settings.sni).isNull())
        names.prepend(settings.sni);
    error = SelfSignedCertificate::make(certificatePath(), directory->filePath(QStringLiteral("key.pem")),
                                        names, 2);
    if (!error.isEmpty())
        return false;
    if (!StandinState::trustCertificate(certificatePath())) {
        error = QStringLiteral("cannot hand the certificate to the core stand-in");
        return false;
    }
    return true;
}

bool VmessTestServer::launch()
{
    serverPort = Loopback::freePort();
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

    const QString v2ray = ProcessTies::v2rayProgram();
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
        if (Loopback::accepts(serverPort))
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
