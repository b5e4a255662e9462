#include "ControllerServer.h"
#include "CoreConfig.h"
#include "Loopback.h"
#include "MixedRelay.h"
#include "ProcessTies.h"
#include "StandinStore.h"
#include "TerminationWatcher.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUdpSocket>

#include <cstdio>
#include <memory>

using namespace Standin;

namespace {

const char *const Version = "Xray 1.8.4 (Mirevo stand-in, vmess through V2Ray 4.34) linux/amd64";
constexpr int V2RayReadyLimitMs = 10000;
constexpr int V2RayLaunchAttempts = 3;

void info(const QString &text)
{
    std::fprintf(stdout, "INFO %s\n", qPrintable(text));
    std::fflush(stdout);
}

int fatal(const QString &text)
{
    std::fprintf(stderr, "FATAL %s\n", qPrintable(text));
    std::fflush(stderr);
    return 1;
}

QString portTaken(const QHostAddress &address, quint16 port)
{
    QTcpServer probe;
    if (probe.listen(address, port))
        return {};
    return QStringLiteral("listen tcp %1:%2: %3").arg(address.toString()).arg(port).arg(probe.errorString());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    if (const std::optional<int> injected = StandinStore::enterProgram(QStringLiteral("xray.exe"), arguments))
        return *injected;

    if (arguments == QStringList{QStringLiteral("version")}) {
        std::printf("%s\nA unified platform for anti-censorship.\n", Version);
        return 0;
    }
    if (arguments.value(0) != QLatin1String("run")) {
        std::fprintf(stderr, "Usage: xray.exe version | xray.exe run -c FILE [--disable-color]\n");
        return fatal(QStringLiteral("unknown command: %1").arg(arguments.join(QLatin1Char(' '))));
    }
    // Before any port is opened: a stop that comes at any moment of the run ends it cleanly.
    TerminationWatcher watcher;
    int terminatedBy = 0;
    QObject::connect(&watcher, &TerminationWatcher::terminationRequested, &application,
                     [&terminatedBy](int number) {
                         if (terminatedBy == 0)
                             info(QStringLiteral("signal %1 received, closing").arg(number));
                         terminatedBy = number;
                         QCoreApplication::quit();
                     });

    QString configPath;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &flag = arguments.at(i);
        if ((flag == QLatin1String("-c") || flag == QLatin1String("--config")) && i + 1 < arguments.size() &&
            configPath.isEmpty())
            configPath = arguments.at(++i);
        else if (flag != QLatin1String("--disable-color"))
            return fatal(QStringLiteral("unknown flag: %1").arg(flag));
    }
    if (configPath.isEmpty())
        return fatal(QStringLiteral("missing configuration: run -c FILE"));

    QFile file(configPath);
    if (!file.open(QIODevice::ReadOnly))
        return fatal(QStringLiteral("read config at %1: %2").arg(configPath, file.errorString()));
    CoreConfig config;
    QString reason;
    if (!CoreConfig::parse(file.readAll(), &config, &reason))
        return fatal(QStringLiteral("decode config at %1: %2").arg(configPath, reason));

    // Refuse at once when a port is taken, before v2ray is started for nothing.
    QList<QPair<QHostAddress, quint16>> ports{{config.mixed.address, config.mixed.port}};
    for (const CoreConfig::Listener &listener : std::as_const(config.dnsListeners))
        ports.append({listener.address, listener.port});
    if (config.hasController)
        ports.append({config.controllerAddress, config.controllerPort});
    for (const auto &[address, port] : std::as_const(ports)) {
        const QString taken = portTaken(address, port);
        if (!taken.isEmpty())
            return fatal(QStringLiteral("start service: %1").arg(taken));
    }

    // The listeners whose ports the client chose for us are taken at once, so that nothing else takes
    // them while v2ray comes up. The DNS listener is bound so that its port is held as a real core
    // holds it; it answers nothing.
    for (const CoreConfig::Listener &listener : std::as_const(config.dnsListeners)) {
        auto *tcp = new QTcpServer(&application);
        auto *udp = new QUdpSocket(&application);
        if (!tcp->listen(listener.address, listener.port) ||
            !udp->bind(listener.address, listener.port, QAbstractSocket::DontShareAddress))
            return fatal(QStringLiteral("start inbound/direct[%1]: listen %2:%3: address already in use")
                             .arg(listener.tag, listener.address.toString())
                             .arg(listener.port));
        QObject::connect(udp, &QUdpSocket::readyRead, udp, [udp]() {
            while (udp->hasPendingDatagrams())
                udp->receiveDatagram();
        });
        QObject::connect(tcp, &QTcpServer::newConnection, tcp, [tcp]() {
            while (QTcpSocket *socket = tcp->nextPendingConnection())
                socket->deleteLater();
        });
        info(QStringLiteral("inbound/direct[%1]: tcp and udp server started at %2:%3")
                 .arg(listener.tag, listener.address.toString())
                 .arg(listener.port));
    }
    std::unique_ptr<MixedRelay> relay;
    ControllerServer controller(config.controllerSecret, [&relay]() {
        return relay ? qMakePair(relay->uploadTotal(), relay->downloadTotal())
                     : qMakePair(qint64(0), qint64(0));
    });
    if (const std::optional<StandinStore::Fault> wrong =
            StandinStore::takeFault(QStringLiteral("xray.exe"), arguments, StandinStore::controllerStage))
        controller.misbehave(wrong->reply, wrong->delayMs);
    if (config.hasController) {
        if (!controller.listen(config.controllerAddress, config.controllerPort))
            return fatal(QStringLiteral("start clash-api: listen tcp %1:%2: %3")
                             .arg(config.controllerAddress.toString())
                             .arg(config.controllerPort)
                             .arg(controller.errorString()));
        info(QStringLiteral("clash-api: restful api listening at %1:%2")
                 .arg(config.controllerAddress.toString())
                 .arg(config.controllerPort));
    }

    // A core that hangs once its listeners are up: the system accepts connections on them, nothing
    // answers. It hangs before its event loop could serve a single request, controller's included.
    if (const std::optional<StandinStore::Fault> stall =
            StandinStore::takeFault(QStringLiteral("xray.exe"), arguments, StandinStore::listeningStage)) {
        QTcpServer mixed;
        mixed.listen(config.mixed.address, config.mixed.port);
        StandinStore::writePid(QStringLiteral("xray"), QCoreApplication::applicationPid());
        QThread::sleep(static_cast<unsigned long>(stall->hangSeconds));
        return fatal(QStringLiteral("stalled for %1 seconds").arg(stall->hangSeconds));
    }

    const QString v2ray = ProcessTies::v2rayProgram();
    if (v2ray.isEmpty())
        return fatal(QStringLiteral("v2ray not found on PATH (Debian package v2ray)"));
    const QString trustedCa = StandinStore::trustedCertificateFile();
    QProcess child;
    // A SIGKILLed core cannot clean up: the kernel ends v2ray with it.
    ProcessTies::endWithThisProcess(child);
    child.setProcessChannelMode(QProcess::MergedChannels);
    quint16 socksPort = 0;
    quint16 httpPort = 0;
    // v2ray's own ports are free when chosen, yet another program may take one before v2ray binds it:
    // v2ray then ends at once, and a fresh pair is tried.
    for (int attempt = 1;; ++attempt) {
        const QList<quint16> v2rayPorts = Loopback::freePorts(2);
        socksPort = v2rayPorts.value(0);
        httpPort = v2rayPorts.value(1);
        // v2ray reads its configuration (the server's UUID among it) from its input: no file holds it,
        // so none is left behind, also when the core is killed.
        const QByteArray v2rayConfig =
            QJsonDocument(
                config.toV2Ray(socksPort, httpPort, QFile::exists(trustedCa) ? trustedCa : QString()))
                .toJson();
        child.start(v2ray, {QStringLiteral("-config"), QStringLiteral("stdin:")});
        if (!child.waitForStarted(5000))
            return fatal(QStringLiteral("start v2ray: %1").arg(child.errorString()));
        child.write(v2rayConfig);
        child.closeWriteChannel();

        const QDeadlineTimer deadline(V2RayReadyLimitMs);
        bool up = true;
        // Up once it says so (its inbounds may accept before its outbound can carry anything) and
        // both inbounds accept.
        QByteArray said;
        while (!((said += child.readAll()).contains(" started") && Loopback::accepts(socksPort) &&
                 Loopback::accepts(httpPort))) {
            QCoreApplication::processEvents();
            if (terminatedBy != 0) {
                child.kill();
                child.waitForFinished(1000);
                return 0;
            }
            const bool ended = child.state() == QProcess::NotRunning || child.waitForFinished(0);
            if (ended || deadline.hasExpired()) {
                const QString output = QString::fromUtf8(said + child.readAll()).trimmed();
                child.kill();
                child.waitForFinished(1000);
                if (ended && attempt < V2RayLaunchAttempts) {
                    up = false;
                    break;
                }
                return fatal(QStringLiteral("start outbound/vmess[%1]: v2ray did not come up: %2")
                                 .arg(config.vmessTag, output));
            }
            QThread::msleep(2);
        }
        if (up)
            break;
    }

    relay = std::make_unique<MixedRelay>(socksPort, httpPort);
    if (!relay->listen(config.mixed.address, config.mixed.port))
        return fatal(QStringLiteral("start inbound/mixed[%1]: listen tcp %2:%3: %4")
                         .arg(config.mixed.tag, config.mixed.address.toString())
                         .arg(config.mixed.port)
                         .arg(relay->errorString()));
    info(QStringLiteral("inbound/mixed[%1]: tcp server started at %2:%3")
             .arg(config.mixed.tag, config.mixed.address.toString())
             .arg(config.mixed.port));

    const QString server = config.vmess.value(QStringLiteral("server")).toString();
    info(QStringLiteral("outbound/vmess[%1]: %2:%3 through v2ray (pid %4)")
             .arg(config.vmessTag, server)
             .arg(config.vmess.value(QStringLiteral("server_port")).toInt())
             .arg(child.processId()));
    StandinStore::writePid(QStringLiteral("xray"), QCoreApplication::applicationPid());
    info(QStringLiteral("core started"));

    QObject::connect(&child, &QProcess::readyRead, &child, [&child]() {
        const QList<QByteArray> lines = child.readAll().trimmed().split('\n');
        for (const QByteArray &line : lines)
            std::fprintf(stdout, "v2ray: %s\n", line.constData());
        std::fflush(stdout);
    });
    int exitCode = 0;
    QObject::connect(&child, &QProcess::finished, &application, [&exitCode](int code) {
        fatal(QStringLiteral("v2ray exited with code %1").arg(code));
        exitCode = 1;
        QCoreApplication::quit();
    });
    if (terminatedBy == 0)
        application.exec();

    QObject::disconnect(&child, nullptr, nullptr, nullptr);
    child.kill();
    child.waitForFinished(2000);
    StandinStore::removePid(QStringLiteral("xray"), QCoreApplication::applicationPid());
    return exitCode;
}
