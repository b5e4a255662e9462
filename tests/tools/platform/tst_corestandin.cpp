#include "ClientConfig.h"
#include "CoreProcess.h"
#include "LocalPorts.h"
#include "StandinRun.h"
#include "StandinState.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

#include <csignal>

namespace {

QString corePath()
{
    return CoreProcess::path();
}

bool accepts(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(1000);
}

// Alive and not a zombie.
bool alive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close > 0 && close + 2 < text.size() && text.at(close + 2) != 'Z';
}

// The document with the controller on a free port, so that each run can bind it.
QJsonObject servableDocument(quint16 controllerPort)
{
    return ClientConfig::changed(ClientConfig::document(),
                                 QStringLiteral("experimental/clash_api/external_controller"),
                                 QStringLiteral("127.0.0.1:%1").arg(controllerPort));
}

// Starts the core with its v2ray held at its start until the test creates `gate`; the file `gate`
// + ".waiting" appears once v2ray waits there. True once this side has heard the core started (on a
// busy machine v2ray may wait at the gate before that).
bool startGated(CoreProcess &core, const QString &gate)
{
    QFile::remove(gate);
    QFile::remove(gate + QStringLiteral(".waiting"));
    qputenv("MIREVO_V2RAY", QByteArray(MIREVO_PLATFORM_TEST_DATA "/gated-v2ray"));
    qputenv("MIREVO_GATE", QFile::encodeName(gate));
    core.process.start(CoreProcess::path(), CoreProcess::runArguments(servableDocument(LocalPorts::spare())));
    qunsetenv("MIREVO_V2RAY");
    qunsetenv("MIREVO_GATE");
    return core.process.waitForStarted(30000);
}

int controllerStatus(quint16 port, const QByteArray &authorization, const QString &path, QJsonObject *body,
                     int limitMs = 5000)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path)));
    if (!authorization.isEmpty())
        request.setRawHeader("Authorization", authorization);
    QNetworkReply *reply = manager.get(request);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!finished.wait(limitMs)) {
        reply->abort();
        reply->deleteLater();
        return -1;
    }
    *body = QJsonDocument::fromJson(reply->readAll()).object();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    reply->deleteLater();
    return status;
}

} // namespace

class CoreStandinTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { StandinState::reset(); }
    void cleanup() { QVERIFY(StandinState::endRunningPrograms()); }

    void versionAnswersAndEnds()
    {
        const StandinRun result = StandinRun::run(corePath(), {QStringLiteral("version")});
        QVERIFY(result.succeeded());
        QVERIFY(result.out.startsWith(QStringLiteral("Xray ")));
        QCOMPARE(StandinState::commandLog(QStringLiteral("xray.exe")),
                 (QList<QStringList>{{"xray.exe", "version"}}));
    }

    void refusedCommandLines_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("nothing") << QStringList{};
        QTest::newRow("unknown command") << QStringList{"start", "-c", "x.json"};
        QTest::newRow("run without configuration") << QStringList{"run", "--disable-color"};
        QTest::newRow("configuration flag without file") << QStringList{"run", "-c"};
        QTest::newRow("unknown flag") << QStringList{"run", "-c", "x.json", "--no-color"};
        QTest::newRow("missing file")
            << QStringList{"run", "-c", "/nonexistent/tavorin_config.json", "--disable-color"};
    }

    void refusedCommandLines()
    {
        QFETCH(QStringList, arguments);
        const StandinRun result = StandinRun::run(corePath(), arguments);
        QVERIFY(result.finished);
        QVERIFY(result.exitCode != 0);
        QVERIFY(result.err.contains(QStringLiteral("FATAL")));
    }

    // Documents a real core cannot honour: each is refused with a FATAL line before anything listens.
    void refusedConfigurations_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<QString>("reason");
        const QJsonValue removed(QJsonValue::Undefined);
        QTest::newRow("no inbounds") << "inbounds" << removed << "inbounds";
        QTest::newRow("inbounds not a list") << "inbounds" << QJsonValue(QJsonObject{}) << "inbounds";
        QTest::newRow("mixed inbound missing") << "inbounds/0" << removed << "mixed";
        QTest::newRow("unknown inbound type") << "inbounds/0/type" << QJsonValue("mixd") << "mixd";
        QTest::newRow("port zero") << "inbounds/0/listen_port" << QJsonValue(0) << "listen_port";
        QTest::newRow("port too big") << "inbounds/0/listen_port" << QJsonValue(70000) << "listen_port";
        QTest::newRow("port as text") << "inbounds/0/listen_port" << QJsonValue("10315") << "listen_port";
        QTest::newRow("listen on a name") << "inbounds/0/listen" << QJsonValue("localhost") << "listen";
        QTest::newRow("same port twice") << "inbounds/1/listen_port" << QJsonValue(LocalPorts::mixed())
                                         << QString::number(LocalPorts::mixed());
        QTest::newRow("system proxy by the core")
            << "inbounds/0/set_system_proxy" << QJsonValue(true) << "set_system_proxy";
        QTest::newRow("no outbounds") << "outbounds" << removed << "outbounds";
        QTest::newRow("proxy not vmess") << "outbounds/0/type" << QJsonValue("vless") << "vless";
        QTest::newRow("proxy under another tag") << "outbounds/0/tag" << QJsonValue("vmess-out") << "proxy";
        QTest::newRow("empty server") << "outbounds/0/server" << QJsonValue("") << "server";
        QTest::newRow("server port zero") << "outbounds/0/server_port" << QJsonValue(0) << "server_port";
        QTest::newRow("server port too big")
            << "outbounds/0/server_port" << QJsonValue(65536) << "server_port";
        QTest::newRow("server port as text")
            << "outbounds/0/server_port" << QJsonValue("443") << "server_port";
        QTest::newRow("uuid malformed") << "outbounds/0/uuid" << QJsonValue("b831381d-6324-4d53") << "uuid";
        QTest::newRow("unknown security")
            << "outbounds/0/security" << QJsonValue("aes-256-cfb") << "security";
        QTest::newRow("negative alter id") << "outbounds/0/alter_id" << QJsonValue(-1) << "alter_id";
        QTest::newRow("alter id as text") << "outbounds/0/alter_id" << QJsonValue("0") << "alter_id";
        QTest::newRow("unknown transport")
            << "outbounds/0/transport" << QJsonValue(QJsonObject{{"type", "grpc"}}) << "grpc";
        QTest::newRow("transport in capitals")
            << "outbounds/0/transport" << QJsonValue(QJsonObject{{"type", "WS"}}) << "WS";
        QTest::newRow("ws path without slash")
            << "outbounds/0/transport" << QJsonValue(QJsonObject{{"type", "ws"}, {"path", "v"}}) << "path";
        QTest::newRow("tls flag as text")
            << "outbounds/0/tls" << QJsonValue(QJsonObject{{"enabled", "true"}, {"server_name", "a"}})
            << "enabled";
        QTest::newRow("misspelt member") << "outbounds/0/alterId" << QJsonValue(0) << "alterId";
        QTest::newRow("rule to a missing outbound")
            << "route/rules/2/outbound" << QJsonValue("proxy2") << "proxy2";
        QTest::newRow("rule field misspelt")
            << "route/rules/2/ipcidr" << QJsonValue(QJsonArray{"10.0.0.0/8"}) << "ipcidr";
        QTest::newRow("rule prefix malformed")
            << "route/rules/2/ip_cidr/0" << QJsonValue("10.0.0.0/33") << "10.0.0.0/33";
        QTest::newRow("final to a missing outbound") << "route/final" << QJsonValue("nowhere") << "nowhere";
        QTest::newRow("dns detour missing") << "dns/servers/1/detour" << QJsonValue("nowhere") << "nowhere";
        QTest::newRow("dns rule to a missing server")
            << "dns/rules/0/server" << QJsonValue("dns-nowhere") << "dns-nowhere";
        QTest::newRow("dns address unknown")
            << "dns/servers/0/address" << QJsonValue("dns.example") << "dns.example";
        QTest::newRow("controller on a name") << "experimental/clash_api/external_controller"
                                              << QJsonValue("localhost:9090") << "localhost:9090";
        QTest::newRow("controller without port") << "experimental/clash_api/external_controller"
                                                 << QJsonValue("127.0.0.1") << "external_controller";
        QTest::newRow("unknown log level") << "log/level" << QJsonValue("verbose") << "verbose";
    }

    void refusedConfigurations()
    {
        QFETCH(QString, path);
        QFETCH(QJsonValue, value);
        QFETCH(QString, reason);
        const StandinRun result = StandinRun::run(corePath(), CoreProcess::runArguments(ClientConfig::changed(
                                                                  ClientConfig::document(), path, value)));
        QVERIFY(result.finished);
        QVERIFY(result.exitCode != 0);
        QVERIFY2(result.err.contains(QStringLiteral("FATAL")) && result.err.contains(reason),
                 qPrintable(result.err));
        QVERIFY(!result.out.contains(QStringLiteral("v2ray")));
        QCOMPARE(StandinState::corePid(), 0);
    }

    void textThatIsNotADocumentIsRefused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("broken") << QByteArray("{\"inbounds\": [");
        QTest::newRow("list") << QByteArray("[]");
        QTest::newRow("empty") << QByteArray();
    }

    void textThatIsNotADocumentIsRefused()
    {
        QFETCH(QByteArray, text);
        const QString path = QDir::tempPath() + QStringLiteral("/broken.json");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();
        const StandinRun result = StandinRun::run(corePath(), {"run", "-c", path, "--disable-color"});
        QVERIFY(result.exitCode != 0);
        QVERIFY(result.err.contains(QStringLiteral("FATAL")));
    }

    void servesItsListenersUntilTerminated()
    {
        const quint16 controllerPort = LocalPorts::spare();
        CoreProcess core;
        QVERIFY2(core.start(servableDocument(controllerPort)), qPrintable(core.errors()));
        QVERIFY(accepts(LocalPorts::mixed()));
        QVERIFY(accepts(LocalPorts::dns()));
        QVERIFY(accepts(controllerPort));
        QUdpSocket dns;
        QVERIFY2(!dns.bind(QHostAddress::LocalHost, LocalPorts::dns()),
                 "the DNS listener holds its UDP port as well");
        QCOMPARE(StandinState::corePid(), core.process.processId());
        const qint64 v2ray = core.v2rayPid();
        QVERIFY(v2ray > 0);
        QVERIFY(alive(v2ray));

        // tasklist shows the core under its image name while it runs.
        const StandinRun listed = StandinRun::run(
            QStringLiteral("tasklist"), {"/FI", QStringLiteral("PID eq %1").arg(core.process.processId())});
        QVERIFY(listed.out.contains(QStringLiteral("xray.exe")));

        core.process.terminate();
        QVERIFY2(core.process.waitForFinished(30000), "the end of the core");
        QCOMPARE(core.process.exitStatus(), QProcess::NormalExit);
        QTRY_VERIFY(!alive(v2ray));
        QCOMPARE(StandinState::corePid(), 0);
        QVERIFY(!QFile::exists(StandinState::folder() + QStringLiteral("/xray.pid")));
        QVERIFY(!accepts(LocalPorts::mixed()));
    }

    // The client counts the core as up once the mixed port accepts: it must not accept before the
    // tunnel behind it can carry anything.
    void theMixedPortOpensOnlyOnceV2RayListens()
    {
        const QString gate = QDir::tempPath() + QStringLiteral("/v2ray-gate");
        CoreProcess core;
        QVERIFY(startGated(core, gate));
        QTRY_VERIFY2_WITH_TIMEOUT(QFile::exists(gate + QStringLiteral(".waiting")), "v2ray at its gate",
                                  30000);
        QVERIFY(!accepts(LocalPorts::mixed()));
        QCOMPARE(core.process.state(), QProcess::Running);

        QFile open(gate);
        QVERIFY(open.open(QIODevice::WriteOnly));
        QTRY_VERIFY2_WITH_TIMEOUT(core.output().contains(QStringLiteral("core started")), "the core started",
                                  30000);
        QVERIFY(accepts(LocalPorts::mixed()));
    }

    // A stop that arrives while the core still brings v2ray up ends it as cleanly as a later one.
    void anEarlyStopEndsCleanly()
    {
        const QString gate = QDir::tempPath() + QStringLiteral("/v2ray-gate");
        CoreProcess core;
        QVERIFY(startGated(core, gate));
        QTRY_VERIFY2_WITH_TIMEOUT(QFile::exists(gate + QStringLiteral(".waiting")), "v2ray at its gate",
                                  30000);
        QCOMPARE(::kill(static_cast<pid_t>(core.process.processId()), SIGTERM), 0);
        QFile open(gate);
        QVERIFY(open.open(QIODevice::WriteOnly));

        QVERIFY2(core.process.waitForFinished(30000), "the end of the core");
        QCOMPARE(core.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(core.process.exitCode(), 0);
        QVERIFY(!accepts(LocalPorts::mixed()));
    }

    // The v2ray configuration holds the server's UUID: nothing of it stays on disk, however the core ends.
    void leavesNoTemporaryFileBehind_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::newRow("terminated") << "terminated";
        QTest::newRow("killed") << "killed";
        QTest::newRow("v2ray dies") << "v2ray dies";
    }

    void leavesNoTemporaryFileBehind()
    {
        QFETCH(QString, ending);
        const QDir temp(QDir::tempPath());
        for (const QString &left : temp.entryList({QStringLiteral("xray-standin-*")}, QDir::Files))
            QVERIFY(QFile::remove(temp.filePath(left)));
        CoreProcess core;
        QVERIFY2(core.start(servableDocument(LocalPorts::spare())), qPrintable(core.errors()));
        const qint64 v2ray = core.v2rayPid();
        if (ending == QLatin1String("terminated"))
            core.process.terminate();
        else if (ending == QLatin1String("killed"))
            core.process.kill();
        else
            ::kill(static_cast<pid_t>(v2ray), SIGKILL);
        QVERIFY2(core.process.waitForFinished(30000), "the end of the core");
        QTRY_VERIFY(!alive(v2ray));
        QCOMPARE(temp.entryList({QStringLiteral("xray-standin-*")}, QDir::Files), QStringList());
    }

    // A port of v2ray's that another program took between its choice and v2ray's start ends that
    // v2ray at once: the core starts it again on fresh ports instead of failing the connection.
    void v2rayThatCannotListenIsStartedAgain()
    {
        const QString mark = QDir::tempPath() + QStringLiteral("/v2ray-failed-once");
        QFile::remove(mark);
        qputenv("MIREVO_V2RAY", QByteArray(MIREVO_PLATFORM_TEST_DATA "/v2ray-failing-once"));
        qputenv("MIREVO_FAILED_ONCE", QFile::encodeName(mark));
        CoreProcess core;
        const bool started = core.start(servableDocument(LocalPorts::spare()));
        qunsetenv("MIREVO_V2RAY");
        qunsetenv("MIREVO_FAILED_ONCE");
        QVERIFY2(started, qPrintable(core.errors()));
        QVERIFY(QFile::exists(mark));
        QVERIFY(accepts(LocalPorts::mixed()));
    }

    void aKilledCoreTakesV2RayWithIt()
    {
        CoreProcess core;
        QVERIFY2(core.start(servableDocument(LocalPorts::spare())), qPrintable(core.errors()));
        const qint64 v2ray = core.v2rayPid();
        QVERIFY(alive(v2ray));
        core.process.kill();
        QVERIFY2(core.process.waitForFinished(30000), "the end of the core");
        QTRY_VERIFY(!alive(v2ray));
        // The mark is still there, but names a dead process.
        QCOMPARE(StandinState::corePid(), 0);
    }

    void endsWhenV2RayDies()
    {
        CoreProcess core;
        QVERIFY2(core.start(servableDocument(LocalPorts::spare())), qPrintable(core.errors()));
        ::kill(static_cast<pid_t>(core.v2rayPid()), SIGKILL);
        QVERIFY2(core.process.waitForFinished(30000), "the end of the core");
        QCOMPARE(core.process.exitStatus(), QProcess::NormalExit);
        QVERIFY(core.process.exitCode() != 0);
        QVERIFY(core.errors().contains(QStringLiteral("FATAL")));
        QCOMPARE(StandinState::corePid(), 0);
    }

    void controllerWantsTheSecret_data()
    {
        QTest::addColumn<QByteArray>("authorization");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        QTest::newRow("right secret") << QByteArray("Bearer s3cr3t") << "/connections" << 200;
        QTest::newRow("no header") << QByteArray() << "/connections" << 401;
        QTest::newRow("wrong secret") << QByteArray("Bearer s3cr3") << "/connections" << 401;
        QTest::newRow("secret without scheme") << QByteArray("s3cr3t") << "/connections" << 401;
        QTest::newRow("other resource") << QByteArray("Bearer s3cr3t") << "/traffic" << 404;
    }

    void controllerWantsTheSecret()
    {
        QFETCH(QByteArray, authorization);
        QFETCH(QString, path);
        QFETCH(int, status);
        const quint16 controllerPort = LocalPorts::spare();
        CoreProcess core;
        QVERIFY2(core.start(servableDocument(controllerPort)), qPrintable(core.errors()));
        QJsonObject body;
        QCOMPARE(controllerStatus(controllerPort, authorization, path, &body), status);
        if (status == 200) {
            QCOMPARE(body.value(QStringLiteral("uploadTotal")).toInteger(-1), 0);
            QCOMPARE(body.value(QStringLiteral("downloadTotal")).toInteger(-1), 0);
            QVERIFY(body.value(QStringLiteral("connections")).isArray());
        }
    }

    void noControllerWithoutItsMember()
    {
        const quint16 controllerPort = LocalPorts::spare();
        CoreProcess core;
        QJsonObject document =
            ClientConfig::changed(servableDocument(controllerPort), QStringLiteral("experimental"),
                                  QJsonValue(QJsonValue::Undefined));
        QVERIFY2(core.start(document), qPrintable(core.errors()));
        QVERIFY(accepts(LocalPorts::mixed()));
        QVERIFY(!accepts(controllerPort));
    }

    void aTakenPortIsRefused()
    {
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::LocalHost, LocalPorts::mixed()));
        const StandinRun result =
            StandinRun::run(corePath(), CoreProcess::runArguments(servableDocument(LocalPorts::spare())));
        QVERIFY(result.exitCode != 0);
        QVERIFY2(result.err.contains(QStringLiteral("FATAL")) &&
                     result.err.contains(QString::number(LocalPorts::mixed())),
                 qPrintable(result.err));
    }

    // The injected hang of a core whose listeners are up: it accepts, and answers nobody.
    void aStalledCoreAcceptsButNeverAnswers()
    {
        // Far longer than the test: a hang that ended while the test still probed would close the
        // connections, and a refused probe would read like a controller that answered nothing.
        StandinState::stallCore(60);
        const quint16 controllerPort = LocalPorts::spare();
        CoreProcess core;
        core.process.start(corePath(), CoreProcess::runArguments(servableDocument(controllerPort)));
        QJsonObject body;
        // Not even while it comes up: a controller that answered then would make the core look ready.
        // Its listeners are up once it marks its pid; the mixed port accepting alone says nothing, as
        // any program on the machine may listen there meanwhile.
        QElapsedTimer clock;
        clock.start();
        while (StandinState::corePid() != core.process.processId()) {
            QVERIFY2(clock.elapsed() < 60000, "the stalled core's listeners");
            QVERIFY(controllerStatus(controllerPort, "Bearer s3cr3t", QStringLiteral("/connections"), &body,
                                     50) <= 0);
        }
        QVERIFY(accepts(LocalPorts::mixed()));
        QVERIFY(accepts(controllerPort));
        QCOMPARE(
            controllerStatus(controllerPort, "Bearer s3cr3t", QStringLiteral("/connections"), &body, 500),
            -1);
        QCOMPARE(core.process.state(), QProcess::Running);
        core.process.kill();
        QVERIFY2(core.process.waitForFinished(30000), "the end of the core");
        QVERIFY(!core.output().contains(QStringLiteral("core started")));
    }

    void missingV2RayIsFatal()
    {
        qputenv("MIREVO_V2RAY", "/nonexistent/v2ray");
        const StandinRun result =
            StandinRun::run(corePath(), CoreProcess::runArguments(servableDocument(LocalPorts::spare())));
        qunsetenv("MIREVO_V2RAY");
        QVERIFY(result.exitCode != 0);
        QVERIFY(result.err.contains(QStringLiteral("FATAL")));
        QVERIFY(!accepts(LocalPorts::mixed()));
    }

    void injectedFailureOfTheRun()
    {
        StandinState::failCommand(QStringLiteral("xray.exe"), 23, QStringLiteral("run"));
        QVERIFY(StandinRun::run(corePath(), {QStringLiteral("version")}).succeeded());
        const StandinRun result =
            StandinRun::run(corePath(), CoreProcess::runArguments(servableDocument(LocalPorts::spare())));
        QCOMPARE(result.exitCode, 23);
        QVERIFY(!accepts(LocalPorts::mixed()));
    }
};

QTEST_GUILESS_MAIN(CoreStandinTest)
#include "tst_corestandin.moc"
