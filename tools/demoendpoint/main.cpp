// mirevo-demo-endpoint: the vmess endpoint the demo's servers lead to (see DemoEndpoint).
//
//   mirevo-demo-endpoint --dir DIR [--exit-with-stdin]
//
// Makes a certificate for the TLS inbounds (DIR/cert.pem, DIR/key.pem) unless an earlier run's can still
// serve, and hands it to the proxy-core stand-in to trust, picks a free loopback port per inbound, writes
// DIR/v2ray.json and DIR/endpoint.json (the lines the development service reads with --vmess-endpoint),
// and runs v2ray ($MIREVO_V2RAY or v2ray on PATH) until it is ended, or until its standard input reaches
// end of file with --exit-with-stdin. v2ray's output, its access log included, goes to standard output;
// once every inbound accepts connections a line "vmess endpoint on 127.0.0.1: tcp PORT, ws PORT, ..."
// follows. v2ray ends with it, also when it is killed.

#include "DemoEndpoint.h"
#include "Loopback.h"
#include "ProcessTies.h"
#include "SelfSignedCertificate.h"
#include "StandinStore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QSaveFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QThread>
#include <QUuid>

#include <cstdio>

namespace {

constexpr int ReadyLimitMs = 10000;

int fail(const QString &text)
{
    std::fprintf(stderr, "mirevo-demo-endpoint: %s\n", qPrintable(text));
    return 1;
}

bool write(const QString &path, const QJsonObject &json, QString *error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(json).toJson()) >= 0 && file.commit())
        return true;
    *error = QStringLiteral("%1: %2").arg(path, file.errorString());
    return false;
}

// An earlier run's certificate and key that can still serve the TLS inbounds for a day.
bool servable(const DemoEndpoint &endpoint)
{
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(endpoint.certificateFile());
    QFile keyFile(endpoint.keyFile());
    if (certificates.size() != 1 || !keyFile.open(QIODevice::ReadOnly))
        return false;
    const QSslCertificate &certificate = certificates.first();
    return !QSslKey(&keyFile, QSsl::Ec).isNull() &&
           certificate.subjectAlternativeNames()
               .values(QSsl::DnsEntry)
               .contains(DemoEndpoint::certificateName()) &&
           certificate.expiryDate() > QDateTime::currentDateTimeUtc().addDays(1);
}

bool makeCertificate(const DemoEndpoint &endpoint, QString *error)
{
    // Made only when there is none that serves: clients may trust the one there already.
    if (!servable(endpoint)) {
        *error = SelfSignedCertificate::make(endpoint.certificateFile(), endpoint.keyFile(),
                                             {DemoEndpoint::certificateName()}, 30);
        if (!error->isEmpty())
            return false;
    }
    // The client asks for a verified certificate; the core stand-in trusts the authority in its state folder.
    if (!Standin::StandinStore::trustCertificate(endpoint.certificateFile())) {
        *error = QStringLiteral("cannot copy the certificate to %1")
                     .arg(Standin::StandinStore::trustedCertificateFile());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("mirevo-demo-endpoint"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The demo's vmess endpoint on 127.0.0.1"));
    parser.addHelpOption();
    const QCommandLineOption dirOption(QStringLiteral("dir"), QStringLiteral("Folder for its files"),
                                       QStringLiteral("folder"));
    parser.addOption(dirOption);
    const QCommandLineOption stdinOption(QStringLiteral("exit-with-stdin"),
                                         QStringLiteral("Quit when standard input is closed"));
    parser.addOption(stdinOption);
    parser.process(app);
    if (!parser.isSet(dirOption))
        return fail(QStringLiteral("--dir is required"));

    const QString folder = QDir(parser.value(dirOption)).absolutePath();
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("cannot make %1").arg(folder));
    const QList<DemoEndpoint::Line> lines = DemoEndpoint::lines(Loopback::freePorts(4));
    if (lines.size() != 4)
        return fail(QStringLiteral("no free ports on 127.0.0.1"));
    const DemoEndpoint endpoint(folder, QUuid::createUuid().toString(QUuid::WithoutBraces), lines);

    QString error;
    const QString configFile = QDir(folder).filePath(QStringLiteral("v2ray.json"));
    if (!makeCertificate(endpoint, &error) || !write(configFile, endpoint.v2rayConfig(), &error) ||
        !write(QDir(folder).filePath(QStringLiteral("endpoint.json")), endpoint.serviceLines(), &error))
        return fail(error);

    const QString v2ray = ProcessTies::v2rayProgram();
    if (v2ray.isEmpty())
        return fail(QStringLiteral("v2ray is not installed (scripts/setup installs it)"));

    QProcess child;
    // Killed or not, this program never leaves its v2ray behind.
    ProcessTies::endWithThisProcess(child);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(v2ray, {QStringLiteral("-config"), configFile});
    if (!child.waitForStarted(5000))
        return fail(QStringLiteral("cannot start %1: %2").arg(v2ray, child.errorString()));

    const QDeadlineTimer deadline(ReadyLimitMs);
    QStringList ready;
    for (const DemoEndpoint::Line &line : lines) {
        while (!Loopback::accepts(line.port)) {
            if (child.waitForFinished(0) || deadline.hasExpired())
                return fail(QStringLiteral("v2ray did not listen on 127.0.0.1:%1").arg(line.port));
            QThread::msleep(10);
        }
        ready.append(QStringLiteral("%1 %2").arg(line.transport).arg(line.port));
    }
    std::printf("vmess endpoint on 127.0.0.1: %s\n", qPrintable(ready.join(QStringLiteral(", "))));
    std::fflush(stdout);

    QObject::connect(&child, &QProcess::finished, &app, [&app]() {
        std::fprintf(stderr, "mirevo-demo-endpoint: v2ray ended\n");
        app.exit(1);
    });
    if (parser.isSet(stdinOption))
        ProcessTies::quitWhenInputCloses(app);
    const int code = app.exec();
    QObject::disconnect(&child, nullptr, &app, nullptr);
    child.kill();
    child.waitForFinished(3000);
    return code;
}
