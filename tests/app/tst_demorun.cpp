#include "DemoEndpointProcess.h"
#include "DevService.h"
#include "LocalPorts.h"
#include "StandinState.h"
#include "TestHttpServer.h"
#include "api/network/HttpClient.h"
#include "api/security/CryptoUtil.h"
#include "api/security/TokenManager.h"
#include "api/services/HeartbeatService.h"
#include "app/QmlApiAdapter.h"
#include "vpn/VpnConnectionService.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <unistd.h>

using Tavorin::Api::QmlApiAdapter;
using Tavorin::Api::Network::HttpClient;
using Tavorin::Api::Security::CryptoUtil;
using Tavorin::Api::Security::TokenManager;
using Tavorin::Api::Services::HeartbeatService;
using Tavorin::Api::Services::VpnConnectionService;

namespace {

// The transport a server's link asks for: "tcp", "ws", "tcp+tls" or "ws+tls".
QString transportOf(const QString &vmessLink)
{
    QString link = vmessLink;
    if (!link.startsWith(QLatin1String("vmess://")))
        link = CryptoUtil::decryptVmessLink(link, TokenManager::instance()->getVpnEncryptKey());
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromBase64(link.mid(8).toLatin1())).object();
    return json.value("net").toString() + (json.value("tls").toString().isEmpty() ? "" : "+tls");
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The checksum of a file's first `size` bytes; empty when it has fewer.
QByteArray checksum(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.read(size);
    return bytes.size() == size ? QCryptographicHash::hash(bytes, QCryptographicHash::Sha256) : QByteArray();
}

// A scripts/run that is ended as a person ends it (it passes the stop on to its client) when the test
// ends, also when a check failed halfway: no demo client outlives the test.
struct DemoScript
{
    QProcess run;
    ~DemoScript()
    {
        if (run.state() == QProcess::NotRunning)
            return;
        run.terminate();
        if (!run.waitForFinished(30000))
            run.kill();
    }
};

// scripts/run as a person starts it, but with a run folder and stand-in state of this test's own, and the
// development service's usual port replaced by `port`.
void startDemo(QProcess &run, const QString &folder, quint16 port,
               const std::function<void(QProcessEnvironment &)> &change = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MIREVO_BUILD_DIR"), QStringLiteral(MIREVO_BUILD_DIR));
    environment.insert(QStringLiteral("MIREVO_RUN_DIR"), folder + QStringLiteral("/run"));
    environment.insert(QStringLiteral("MIREVO_RUN_PORT"), QString::number(port));
    environment.insert(QStringLiteral("MIREVO_STANDIN_STATE"), folder + QStringLiteral("/standins"));
    // The demo client runs a QML engine: in the sanitizer build, Qt's own one-time allocations are not ours.
    const QString sanitizer = environment.value(QStringLiteral("ASAN_OPTIONS"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       sanitizer + (sanitizer.isEmpty() ? "" : ":") + QStringLiteral("detect_leaks=0"));
    if (change)
        change(environment);
    run.setProcessEnvironment(environment);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(QStringLiteral(MIREVO_SOURCE_DIR "/scripts/run"));
}

// Waits until the demo started in `folder` is up, that is once its client has asked the service for the
// configuration; false when it ended first. What it printed meanwhile is added to `console`.
bool waitUntilUp(QProcess &run, const QString &folder, QString &console)
{
    const QString serviceLog = folder + QStringLiteral("/run/logs/service.log");
    const bool settled = QTest::qWaitFor(
        [&]() {
            console += QString::fromUtf8(run.readAll());
            return run.state() != QProcess::Running || readFile(serviceLog).contains("GET /api/v1/configs");
        },
        90000);
    return settled && run.state() == QProcess::Running;
}

} // namespace

// What scripts/run starts, below the window: the development service with its state file, the demo's
// vmess endpoint its servers lead to, and the client's back end through `API` with the platform
// stand-ins. Every seeded line carries real traffic, and a restarted service still knows the sign-in.
class TestDemoRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void seededAccountsStayConnected_data();
    void seededAccountsStayConnected();
    void everyLineTunnelsAndTheSignInOutlivesARestart();
    void aSecondRunLeavesTheFirstAlone();
    void ctrlCWithoutADisplayEndsTheClientInOrder();

private:
    QTemporaryDir folder;
    DemoEndpointProcess endpoint;
    DevService dev;
    TestHttpServer page;
};

void TestDemoRun::initTestCase()
{
    StandinState::reset();
    LocalPorts::useFree();
    QVERIFY(folder.isValid());
    QVERIFY(endpoint.start(folder.filePath(QStringLiteral("endpoint"))));
    QVERIFY(dev.start({QStringLiteral("--state"), folder.filePath(QStringLiteral("service-state.json")),
                       QStringLiteral("--vmess-endpoint"), endpoint.linesFile()}));
    HttpClient::instance()->setBaseUrl(dev.baseUrl());
    // A heartbeat every 300 ms instead of every 30 s.
    HeartbeatService::instance()->setSecondLengthMs(10);
    QVERIFY(page.listen());
    page.setDefaultReply(TestHttpServer::Reply{200, QByteArray("a page served on this machine"), {}, 0});
}

// The accounts the README names, used as it says: the demo account connects as it signs in, the trial
// account once it has taken its free trial. Each is let through by the permission rule and is still
// connected after the service's answers to its heartbeats, which carry the account's VIP and trial time.
void TestDemoRun::seededAccountsStayConnected_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<bool>("takesTrial");
    QTest::addColumn<bool>("vip");

    QTest::newRow("demo account as it signs in") << DevService::demoEmail() << false << true;
    QTest::newRow("trial account after its free trial") << DevService::trialEmail() << true << false;
}

void TestDemoRun::seededAccountsStayConnected()
{
    QFETCH(QString, email);
    QFETCH(bool, takesTrial);
    QFETCH(bool, vip);

    QmlApiAdapter api;
    QSignalSpy signedIn(&api, &QmlApiAdapter::loginSuccess);
    QSignalSpy refused(&api, &QmlApiAdapter::loginError);
    QSignalSpy config(&api, &QmlApiAdapter::systemConfigLoaded);
    api.login(email, DevService::demoPassword());
    QVERIFY2(signedIn.wait(5000), refused.isEmpty() ? "" : qPrintable(refused.at(0).at(0).toString()));
    QVERIFY(config.count() > 0 || config.wait(5000));
    if (takesTrial) {
        QSignalSpy trial(&api, &QmlApiAdapter::trialActivated);
        api.activateFreeTrial();
        QVERIFY(trial.wait(5000));
    }
    QCOMPARE(api.getIsVip(), vip);

    QSignalSpy servers(&api, &QmlApiAdapter::serversLoaded);
    api.getServers();
    QVERIFY(servers.wait(5000));
    QVariantMap line;
    for (const QVariant &entry : servers.takeFirst().at(0).toList()) {
        const QVariantMap server = entry.toMap();
        const bool vipLine = server.value("requiresVip").toBool();
        // 3: the line wants VIP time.
        QCOMPARE(api.checkVpnPermission(server.value("id").toInt(), vipLine), vipLine && !vip ? 3 : 0);
        if (vipLine == vip)
            line = server;
    }
    QVERIFY(!line.isEmpty());

    QSignalSpy connected(&api, &QmlApiAdapter::vpnConnected);
    QSignalSpy failed(&api, &QmlApiAdapter::vpnConnectionFailed);
    QSignalSpy denied(&api, &QmlApiAdapter::vpnPermissionDenied);
    QSignalSpy disconnected(&api, &QmlApiAdapter::vpnDisconnected);
    QSignalSpy beats(HeartbeatService::instance(), &HeartbeatService::heartbeatSuccess);
    QVERIFY(api.connectVpn(line.value("id").toInt(), line.value("vmessLink").toString(), vip));
    QVERIFY2(connected.wait(30000),
             failed.isEmpty() ? "the connection" : qPrintable(failed.at(0).at(1).toString()));
    // The first answer comes at once, the next ones on the shortened period.
    QTRY_VERIFY2_WITH_TIMEOUT(beats.count() >= 3 || !disconnected.isEmpty(), "three heartbeats", 30000);
    QVERIFY2(denied.isEmpty(), denied.isEmpty() ? "" : qPrintable(denied.at(0).at(1).toString()));
    QCOMPARE(disconnected.count(), 0);
    QVERIFY(VpnConnectionService::instance()->isConnected());

    api.disconnectVpn();
    QVERIFY(disconnected.count() > 0 || disconnected.wait(5000));
    QSignalSpy signedOut(&api, &QmlApiAdapter::loginStateChanged);
    api.logout();
    QVERIFY(signedOut.wait(5000));
}

void TestDemoRun::everyLineTunnelsAndTheSignInOutlivesARestart()
{
    QmlApiAdapter api;
    QSignalSpy signedIn(&api, &QmlApiAdapter::loginSuccess);
    QSignalSpy config(&api, &QmlApiAdapter::systemConfigLoaded);
    api.login(DevService::demoEmail(), DevService::demoPassword());
    QVERIFY(signedIn.wait(5000));
    QVERIFY(config.count() > 0 || config.wait(5000)); // brings the link passphrase

    // VIP lines too: the demo account has VIP time from the start.
    QSignalSpy servers(&api, &QmlApiAdapter::serversLoaded);
    api.getServers();
    QVERIFY(servers.wait(5000));
    const QVariantList list = servers.takeFirst().at(0).toList();

    QNetworkAccessManager network;
    network.setProxy(
        QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), LocalPorts::mixed()));
    QSet<QString> tunnelled;
    QSet<bool> vipLines;
    for (const QVariant &entry : list) {
        const QVariantMap server = entry.toMap();
        const QString link = server.value("vmessLink").toString();
        const QString transport = transportOf(link);

        QSignalSpy connected(&api, &QmlApiAdapter::vpnConnected);
        QSignalSpy failed(&api, &QmlApiAdapter::vpnConnectionFailed);
        QVERIFY(api.connectVpn(server.value("id").toInt(), link, server.value("requiresVip").toBool()));
        QVERIFY2(connected.wait(30000), qPrintable(transport + ": " +
                                                   (failed.isEmpty() ? QStringLiteral("the connection")
                                                                     : failed.at(0).at(1).toString())));

        // The name resolves only at the endpoint: the page is reached through the tunnel or not at all.
        const QUrl target(QStringLiteral("http://local.mirevo.test:%1/%2").arg(page.port()).arg(transport));
        QNetworkReply *reply = network.get(QNetworkRequest(target));
        QSignalSpy finished(reply, &QNetworkReply::finished);
        QVERIFY2(finished.wait(30000), qPrintable(transport + ": the page through the tunnel"));
        QVERIFY2(reply->error() == QNetworkReply::NoError,
                 qPrintable(transport + ": " + reply->errorString()));
        QCOMPARE(reply->readAll(), QByteArray("a page served on this machine"));
        QCOMPARE(page.lastRequest().path, QStringLiteral("/") + transport);
        reply->deleteLater();

        QSignalSpy disconnected(&api, &QmlApiAdapter::vpnDisconnected);
        api.disconnectVpn();
        QVERIFY(disconnected.count() > 0 || disconnected.wait(5000));
        tunnelled.insert(transport);
        vipLines.insert(server.value("requiresVip").toBool());
    }
    QCOMPARE(tunnelled, QSet<QString>({"tcp", "ws", "tcp+tls", "ws+tls"}));
    QCOMPARE(vipLines, QSet<bool>({false, true}));
    // What a person watching the endpoint's log sees.
    QVERIFY(endpoint.output().contains(QStringLiteral("local.mirevo.test:%1").arg(page.port())));

    // The next run starts the service again: the client's saved sign-in still holds there.
    QVERIFY(dev.restart());
    QSignalSpy serversAgain(&api, &QmlApiAdapter::serversLoaded);
    QSignalSpy serversError(&api, &QmlApiAdapter::serversError);
    api.getServers();
    QVERIFY2(serversAgain.wait(5000),
             serversError.isEmpty() ? "" : qPrintable(serversError.at(0).at(0).toString()));
    QCOMPARE(serversAgain.at(0).at(0).toList().size(), list.size());
    QVERIFY(api.isLoggedIn());
    QCOMPARE(api.getUserEmail(), DevService::demoEmail());
    QSignalSpy user(&api, &QmlApiAdapter::userInfoChanged);
    api.refreshUserInfo();
    QVERIFY(user.wait(5000));
    QVERIFY(api.isLoggedIn());
}

// One demo per build folder: a second scripts/run while the first runs says so in one line and ends,
// and touches none of the first's files. The first, meanwhile, found the service's usual port taken and
// still built nothing: its client takes the service's address from the environment.
void TestDemoRun::aSecondRunLeavesTheFirstAlone()
{
    QTemporaryDir demoFolder;
    QVERIFY(demoFolder.isValid());
    QTcpServer otherProgram;
    QVERIFY(otherProgram.listen(QHostAddress::LocalHost));
    const QString cache = QStringLiteral(MIREVO_BUILD_DIR "/CMakeCache.txt");
    const QByteArray cacheBefore = checksum(cache, QFileInfo(cache).size());

    DemoScript firstRun;
    QProcess &first = firstRun.run;
    startDemo(first, demoFolder.path(), otherProgram.serverPort());
    QVERIFY(first.waitForStarted());
    const QString run = demoFolder.filePath(QStringLiteral("run"));
    QString console;
    QVERIFY2(waitUntilUp(first, demoFolder.path(), console), qPrintable(console));
    QVERIFY2(console.contains(QLatin1String("the client runs")), qPrintable(console));
    QVERIFY2(!console.contains(QLatin1String("Building")) && !console.contains(QLatin1String("Linking")),
             qPrintable(console));

    const QStringList files{QStringLiteral("logs/client.log"),   QStringLiteral("logs/service.log"),
                            QStringLiteral("logs/endpoint.log"), QStringLiteral("service-state.json"),
                            QStringLiteral("endpoint/cert.pem"), QStringLiteral("endpoint/key.pem"),
                            QStringLiteral("demo.lock")};
    QMap<QString, qint64> sizes;
    QMap<QString, QByteArray> sums;
    for (const QString &name : files) {
        sizes[name] = QFileInfo(run + '/' + name).size();
        sums[name] = checksum(run + '/' + name, sizes[name]);
        QVERIFY2(sizes[name] > 0, qPrintable(name));
    }

    // The second run is watched through the programs that installing and building start: each of them
    // leaves a mark, then does what the real one does.
    QTemporaryDir watch;
    for (const QString &program : {QStringLiteral("dpkg-query"), QStringLiteral("cmake")}) {
        const QString real = QStandardPaths::findExecutable(program);
        QVERIFY2(!real.isEmpty(), qPrintable(program));
        QFile shim(watch.filePath(program));
        QVERIFY(shim.open(QIODevice::WriteOnly));
        shim.write("#!/bin/sh\ntouch '" + watch.filePath(program + ".ran").toUtf8() + "'\nexec '" +
                   real.toUtf8() + "' \"$@\"\n");
        shim.close();
        QVERIFY(shim.setPermissions(shim.permissions() | QFile::ExeOwner));
    }
    DemoScript secondRun;
    QProcess &second = secondRun.run;
    startDemo(second, demoFolder.path(), otherProgram.serverPort(),
              [&watch](QProcessEnvironment &environment) {
                  environment.insert(QStringLiteral("PATH"), watch.path() + QLatin1Char(':') +
                                                                 environment.value(QStringLiteral("PATH")));
              });
    QVERIFY2(second.waitForFinished(60000), "the end of the second run");
    // At once: before it would install, build or start anything.
    QCOMPARE(QDir(watch.path()).entryList({QStringLiteral("*.ran")}, QDir::Files), QStringList());
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QVERIFY(second.exitCode() != 0);
    QCOMPARE(
        QString::fromUtf8(second.readAll()),
        QStringLiteral("run: a demo is already running from this build folder (pid %1); close it first\n")
            .arg(first.processId()));

    // The first's logs still begin with what they held (its programs go on writing after it); the rest
    // is as it was, byte for byte.
    for (const QString &name : files) {
        QVERIFY2(QFileInfo(run + '/' + name).size() >= sizes[name], qPrintable(name));
        QVERIFY2(checksum(run + '/' + name, sizes[name]) == sums[name], qPrintable(name));
        if (!name.startsWith(QLatin1String("logs/")))
            QVERIFY2(QFileInfo(run + '/' + name).size() == sizes[name], qPrintable(name));
    }
    QCOMPARE(checksum(cache, QFileInfo(cache).size()), cacheBefore);
    QCOMPARE(first.state(), QProcess::Running);

    // Ended as a person ends it, the first takes its client and its helpers with it.
    first.terminate();
    QVERIFY(first.waitForFinished(30000));
    console += QString::fromUtf8(first.readAll());
    QVERIFY2(console.contains(QLatin1String("demo ended (client exit status 0)")), qPrintable(console));
}

// Without a display the demo runs on a virtual one of its own. A Ctrl+C in the console reaches the
// console's whole process group: the display must outlive the client, so that the client still ends in
// order (under xvfb-run the X server died with it, and the client ended at once with status 1, its
// connection and proxy left behind); afterwards the display is gone too.
void TestDemoRun::ctrlCWithoutADisplayEndsTheClientInOrder()
{
    QTemporaryDir demoFolder;
    QVERIFY(demoFolder.isValid());
    QTcpServer otherProgram;
    QVERIFY(otherProgram.listen(QHostAddress::LocalHost));
    DemoScript demo;
    QProcess &run = demo.run;
    // A console's foreground group: the script and what it starts without a session of its own.
    run.setChildProcessModifier([]() { ::setpgid(0, 0); });
    startDemo(run, demoFolder.path(), otherProgram.serverPort(), [](QProcessEnvironment &environment) {
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    });
    QVERIFY(run.waitForStarted());
    QString console;
    QVERIFY2(waitUntilUp(run, demoFolder.path(), console), qPrintable(console));
    const QRegularExpressionMatch display =
        QRegularExpression(QStringLiteral("DISPLAY=:(\\d+)")).match(console);
    QVERIFY2(display.hasMatch(), qPrintable(console));
    const QString socket = QStringLiteral("/tmp/.X11-unix/X") + display.captured(1);
    QVERIFY(QFileInfo::exists(socket));

    QCOMPARE(::kill(-static_cast<pid_t>(run.processId()), SIGINT), 0);
    QVERIFY(run.waitForFinished(30000));
    console += QString::fromUtf8(run.readAll());
    QVERIFY2(console.contains(QLatin1String("demo ended (client exit status 0)")), qPrintable(console));
    const QByteArray client = readFile(demoFolder.filePath(QStringLiteral("run/logs/client.log")));
    QVERIFY2(client.contains("[TerminationSignals]") && !client.contains("X11 connection broke"),
             client.right(2000).constData());
    QVERIFY(!QFileInfo::exists(socket));
}

QTEST_MAIN(TestDemoRun)
#include "tst_demorun.moc"
