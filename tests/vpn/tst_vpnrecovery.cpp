#include "LocalPorts.h"
#include "StandinState.h"
#include "StandinStore.h"
#include "TestHttpServer.h"
#include "VmessTestServer.h"
#include "VpnTestSupport.h"
#include "api/network/HttpClient.h"
#include "api/storage/LocalStorage.h"
#include "app/ApiManager.h"
#include "vpn/EngineRecords.h"
#include "vpn/EngineRecovery.h"
#include "vpn/SystemProxyManager.h"
#include "vpn/Tun2SocksManager.h"
#include "vpn/V2RayCore.h"
#include "vpn/VpnConnectionService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

using Tavorin::Api::ApiManager;
using Tavorin::Api::Network::HttpClient;
using Tavorin::Api::Services::VpnConnectionService;
using Tavorin::Api::Vpn::EngineRecords;
using Tavorin::Api::Vpn::EngineRecovery;
namespace Services = Tavorin::Api::Services;
using VpnTest::service;

namespace {

const char *connectFlag = "--connect-and-stay";
const char *startFlag = "--fresh-start";

void say(const QString &line)
{
    QTextStream(stdout) << line << Qt::endl;
}

// Whether the start-up request for the service's configuration has been answered: leaving while it
// is still under way can bring the program down as it ends (the network stack outlives the
// application object), which is not what these cases are about.
bool settled = true;

// Ends the program once its input says "quit", through the normal quit path.
void quitOnRequest()
{
    auto *input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(input, &QSocketNotifier::activated, input, [input]() {
        char buffer[64];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0 || qstrncmp(buffer, "quit", 4) == 0) {
            input->setEnabled(false);
            if (settled)
                QCoreApplication::quit();
            else
                QObject::connect(ApiManager::instance(), &ApiManager::initialized,
                                 QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
        }
    });
}

void reportConnection()
{
    QObject::connect(service(), &VpnConnectionService::connectionSuccess, []() { say("connected"); });
    QObject::connect(service(), &VpnConnectionService::connectionFailed, []() { say("failed"); });
}

// Run as the client that is killed later: connects in the mode given and stays connected (or
// leaves on "quit").
int connectAndStay(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    LocalPorts::useFree();
    service()->setConnectionMode(QByteArray(argv[2]).toInt());
    service()->setTunnelStartDelayMs(0);
    service()->tunnelManager()->setAdapterWaitMs(500);
    service()->updateUserInfo(VpnTest::activeAccount());
    reportConnection();
    quitOnRequest();
    service()->connect(5, QString::fromLatin1(argv[3]));
    return application.exec();
}

// Run as a fresh start of the client: the start-up initialisation, then (unless the link is "-") a
// connect asked for at once. Reports how soon its event loop ran again and what became of the
// recovery and of the connect; leaves on "quit".
int freshStart(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    LocalPorts::useFree();
    HttpClient::instance()->setBaseUrl(QStringLiteral("http://127.0.0.1:1/api/v1/"));
    service()->updateUserInfo(VpnTest::activeAccount());
    reportConnection();
    QObject::connect(EngineRecovery::instance(), &EngineRecovery::finished, []() { say("recovered"); });
    quitOnRequest();

    QElapsedTimer clock;
    clock.start();
    settled = false;
    ApiManager::instance()->initialize([](bool) { settled = true; });
    say(EngineRecovery::instance()->isRunning() ? "recovering" : "nothing to recover");
    QTimer::singleShot(0, [clock]() { say(QStringLiteral("event loop after %1 ms").arg(clock.elapsed())); });
    const QString link = QString::fromLatin1(argv[2]);
    if (link != QLatin1String("-"))
        service()->connect(6, link);
    return application.exec();
}

// A child program of this test, with its output gathered.
class Child
{
public:
    Child(const QStringList &arguments)
    {
        process.start(QCoreApplication::applicationFilePath(), arguments);
        process.waitForStarted(5000);
    }
    ~Child()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    QString output()
    {
        out += QString::fromUtf8(process.readAllStandardOutput());
        return out;
    }
    QString log()
    {
        err += QString::fromUtf8(process.readAllStandardError());
        return err;
    }
    bool said(const QString &line, int limitMs = 15000)
    {
        if (QTest::qWaitFor([&]() { return output().split('\n').contains(line); }, limitMs))
            return true;
        qWarning().noquote() << "the child did not say" << line << "; it logged:\n" << log();
        return false;
    }
    bool quit()
    {
        process.write("quit\n");
        if (process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit)
            return true;
        qWarning().noquote() << "the child did not leave normally:" << process.state() << process.exitStatus()
                             << process.exitCode() << "; it logged:\n"
                             << log();
        return false;
    }

    QProcess process;

private:
    QString out;
    QString err;
};

// A function, not a constant: the keys are constants of another file, set up in an order of its own.
QStringList recordKeys()
{
    return {EngineRecords::systemProxy, EngineRecords::core, EngineRecords::tunnel, EngineRecords::adapter};
}

// The settings file as it is now on disk: the children write it.
QString settingsPath()
{
    return Tavorin::Api::Storage::LocalStorage::instance()->filePath();
}

QJsonObject record(const QString &key)
{
    QSettings file(settingsPath(), QSettings::IniFormat);
    return QJsonDocument::fromJson(file.value(key).toString().toUtf8()).object();
}

bool alive(qint64 pid)
{
    return !Standin::StandinStore::imageName(pid).isEmpty();
}

// The index of the first command of the log at or after `from` that starts with `command`; -1 if none.
qsizetype indexOf(const QList<QStringList> &log, const QStringList &command, qsizetype from = 0)
{
    for (qsizetype i = from; i < log.size(); ++i) {
        if (log.at(i).mid(0, command.size()) == command)
            return i;
    }
    return -1;
}

} // namespace

// The client dies while connected (SIGKILL, a power cut): its next start takes back what it had
// switched on and started, and only that, without holding up its event loop.
class TestVpnRecovery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void killedWhileConnected_data();
    void killedWhileConnected();
    void onlyWhatTheRecordsName_data();
    void onlyWhatTheRecordsName();
    void hangingCommandDoesNotHoldUpTheStart();

private:
    VmessTestServer vmess;
    TestHttpServer endpoint;
};

void TestVpnRecovery::initTestCase()
{
    LocalPorts::useFree();
    QVERIFY2(vmess.start(), qPrintable(vmess.errorString()));
    QVERIFY(endpoint.listen());
    endpoint.setDefaultReply(TestHttpServer::Reply{200, QByteArray("through the tunnel"), {}, 0});
}

void TestVpnRecovery::init()
{
    StandinState::reset();
    QSettings file(settingsPath(), QSettings::IniFormat);
    for (const QString &key : recordKeys())
        file.remove(key);
}

void TestVpnRecovery::cleanup()
{
    // Whatever a failed case left running goes with it.
    for (const qint64 pid : {StandinState::corePid(), StandinState::tun2socksPid()}) {
        if (pid > 0)
            ::kill(static_cast<pid_t>(pid), SIGKILL);
    }
}

void TestVpnRecovery::killedWhileConnected_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("system proxy") << 0;
    QTest::newRow("tunnel") << 1;
}

void TestVpnRecovery::killedWhileConnected()
{
    QFETCH(int, mode);
    qint64 orphanCore = 0;
    qint64 orphanTunnel = 0;
    QString orphanFolder;
    {
        Child client({connectFlag, QString::number(mode), vmess.vmessLink()});
        QVERIFY2(client.said("connected"), qPrintable(client.log()));
        orphanCore = StandinState::corePid();
        orphanTunnel = StandinState::tun2socksPid();
        QCOMPARE(record(EngineRecords::core).value("pid").toInteger(), orphanCore);
        orphanFolder = record(EngineRecords::core).value("configFolder").toString();
        QVERIFY(QDir(orphanFolder).exists());
        if (mode == 0) {
            QCOMPARE(record(EngineRecords::systemProxy).value("url").toString(),
                     QStringLiteral("socks://127.0.0.1:%1").arg(LocalPorts::mixed()));
        } else {
            QCOMPARE(record(EngineRecords::tunnel).value("pid").toInteger(), orphanTunnel);
            QCOMPARE(record(EngineRecords::adapter).value("routes").toArray().size(), 9);
        }
        QCOMPARE(::kill(static_cast<pid_t>(client.process.processId()), SIGKILL), 0);
        QVERIFY(client.process.waitForFinished(5000));
    }
    // What the killed client leaves: the proxy (or the tunnel's routes) pointing at its core, which
    // still holds the port.
    QVERIFY(alive(orphanCore));
    if (mode == 0) {
        QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("1"));
    } else {
        QVERIFY(alive(orphanTunnel));
        QCOMPARE(StandinState::routes().size(), 9);
    }
    const qsizetype killedAt = StandinState::commandLog().size();

    // The fresh start connects at once: the connect waits until the earlier run is taken back.
    Child fresh({startFlag, vmess.vmessLink()});
    QVERIFY2(fresh.said("connected"), qPrintable(fresh.log()));
    QVERIFY(fresh.output().contains("recovering"));
    QVERIFY(!alive(orphanCore));
    QVERIFY(!QDir(orphanFolder).exists());
    const QList<QStringList> log = StandinState::commandLog().mid(killedAt);
    const qsizetype coreEnded = indexOf(log, {"taskkill", "/F", "/PID", QString::number(orphanCore)});
    const qsizetype newCore = indexOf(log, {"xray.exe", "run"});
    QVERIFY2(coreEnded >= 0 && newCore > coreEnded, qPrintable(fresh.log()));
    if (mode == 0) {
        const qsizetype proxyOff =
            indexOf(log, {"reg", "add", Tavorin::Api::Vpn::SystemProxyManager::internetSettingsKey(), "/v",
                          "ProxyEnable", "/t", "REG_DWORD", "/d", "0"});
        QVERIFY(proxyOff >= 0 && newCore > proxyOff);
    } else {
        QVERIFY(!alive(orphanTunnel));
        QCOMPARE(StandinState::routes(), QStringList());
        QVERIFY(indexOf(log, {"netsh", "interface", "ipv4", "delete", "route", "128.0.0.0/1"}) >= 0);
        QVERIFY(indexOf(log, {"taskkill", "/F", "/PID", QString::number(orphanTunnel)}) >= 0);
        QCOMPARE(record(EngineRecords::adapter), QJsonObject());
        QCOMPARE(record(EngineRecords::tunnel), QJsonObject());
    }

    // The new connection carries HTTP through the tunnel.
    QNetworkAccessManager network;
    network.setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", LocalPorts::mixed()));
    QNetworkRequest request(
        QUrl(QStringLiteral("http://%1:%2/hello").arg(VmessTestServer::echoHost()).arg(endpoint.port())));
    request.setTransferTimeout(10000);
    QNetworkReply *reply = network.get(request);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    QVERIFY(finished.wait(15000));
    QCOMPARE(reply->error(), QNetworkReply::NoError);
    QCOMPARE(reply->readAll(), QByteArray("through the tunnel"));
    reply->deleteLater();

    // Its own records are there while it runs and gone after an ordinary end.
    QVERIFY(record(EngineRecords::core).value("pid").toInteger() > 0);
    QVERIFY(fresh.quit());
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("0"));
    for (const QString &key : recordKeys())
        QCOMPARE(record(key), QJsonObject());
    QCOMPARE(VpnTest::engineLeftovers(), QStringList());

    // So the start after that ordinary end finds nothing to take back: no command, no line about it.
    const qsizetype ended = StandinState::commandLog().size();
    Child next({startFlag, "-"});
    QVERIFY(next.said("nothing to recover"));
    QVERIFY(next.quit());
    QCOMPARE(StandinState::commandLog().mid(ended), QList<QStringList>());
    QVERIFY2(!next.log().contains("[EngineRecovery]"), qPrintable(next.log()));
}

// An id that no longer names the program the record started belongs to somebody else's process, and
// settings that no record names (a proxy the user set) are the user's: both are left alone.
void TestVpnRecovery::onlyWhatTheRecordsName_data()
{
    QTest::addColumn<bool>("stillRunning");
    QTest::newRow("a core id another program took over") << true;
    QTest::newRow("a core that ended since") << false;
}

void TestVpnRecovery::onlyWhatTheRecordsName()
{
    QFETCH(bool, stillRunning);
    QVERIFY(Tavorin::Api::Vpn::SystemProxyManager::setSystemProxy("http://10.1.2.3:8080"));
    QProcess other;
    other.start("sleep", {"30"});
    QVERIFY(other.waitForStarted());
    const qint64 pid = other.processId();
    if (!stillRunning) {
        other.kill();
        other.waitForFinished();
    }
    // Written by this process, so that the fresh start reads it as an earlier run's.
    QTemporaryDir leftover(QStandardPaths::writableLocation(QStandardPaths::TempLocation) +
                           "/tavorin-XXXXXX");
    EngineRecords::write(EngineRecords::core,
                         {{"pid", pid}, {"image", "xray.exe"}, {"configFolder", leftover.path()}});
    const qsizetype before = StandinState::commandLog().size();

    Child fresh({startFlag, "-"});
    QVERIFY(fresh.said("recovered"));
    QVERIFY(fresh.quit());
    // One look at the task list, nothing else.
    const QList<QStringList> log = StandinState::commandLog().mid(before);
    QCOMPARE(log, (QList<QStringList>{{"tasklist", "/FI", QStringLiteral("PID eq %1").arg(pid)}}));
    if (stillRunning)
        QCOMPARE(other.state(), QProcess::Running);
    QCOMPARE(StandinState::registryValue("ProxyServer"), QString("http=10.1.2.3:8080"));
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("1"));
    QCOMPARE(record(EngineRecords::core), QJsonObject());
    QVERIFY(!QDir(leftover.path()).exists());
    other.kill();
    other.waitForFinished();
}

// A switch-off command that hangs at start-up holds up neither the event loop nor, beyond its own
// limit, the connect the user asked for at once; what it could not switch off stays on record.
void TestVpnRecovery::hangingCommandDoesNotHoldUpTheStart()
{
    EngineRecords::write(EngineRecords::systemProxy, {{"url", "socks://127.0.0.1:10315"}});
    StandinState::hangCommand("reg", 2, "ProxyEnable");
    Child fresh({startFlag, vmess.vmessLink()});
    QVERIFY(fresh.said("recovering"));
    QVERIFY(QTest::qWaitFor([&]() { return fresh.output().contains("event loop after"); }, 5000));
    const QString line = fresh.output().split('\n').filter("event loop after").value(0);
    QVERIFY2(line.section(' ', 3, 3).toInt() < 1000, qPrintable(line));
    QVERIFY2(fresh.said("connected") && fresh.said("recovered"), qPrintable(fresh.log()));
    QVERIFY(fresh.output().indexOf("recovered") < fresh.output().indexOf("connected"));
    const QList<QStringList> log = StandinState::commandLog();
    const qsizetype proxyOff = indexOf(log, {"netsh", "winhttp", "reset"});
    QVERIFY(proxyOff >= 0 && indexOf(log, {"xray.exe", "run"}) > proxyOff);
    QVERIFY(fresh.quit());
}

int main(int argc, char *argv[])
{
    if (argc > 3 && qstrcmp(argv[1], connectFlag) == 0)
        return connectAndStay(argc, argv);
    if (argc > 2 && qstrcmp(argv[1], startFlag) == 0)
        return freshStart(argc, argv);
    QCoreApplication application(argc, argv);
    TestVpnRecovery test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_vpnrecovery.moc"
