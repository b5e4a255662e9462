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
#include "vpn/RunIdentity.h"
#include "vpn/SystemProxyManager.h"
#include "vpn/Tun2SocksManager.h"
#include "vpn/V2RayCore.h"
#include "vpn/VpnConnectionService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
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
#include <memory>
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
    service()->updateUserInfo(VpnTest::activeAccount());
    reportConnection();
    quitOnRequest();
    service()->connect(5, QString::fromLatin1(argv[3]));
    return application.exec();
}

// Run as a fresh start of the client: the start-up initialisation, then (unless the link is "-") a
// connect asked for at once, or (link "cancelled") a connect taken back at once. A further argument
// shortens the limit of each of the recovery's commands (milliseconds). Reports how many stand-in commands
// had run when its event loop first ran, and what became of the recovery and of the connect; leaves on
// "quit".
int freshStart(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    LocalPorts::useFree();
    if (argc > 3)
        EngineRecovery::instance()->setCommandTimeoutMs(QByteArray(argv[3]).toInt());
    // Long enough for a killed process to disappear, far short of the product's limit.
    EngineRecovery::instance()->setProcessEndLimitMs(1000);
    HttpClient::instance()->setBaseUrl(QStringLiteral("http://127.0.0.1:1/api/v1/"));
    service()->updateUserInfo(VpnTest::activeAccount());
    reportConnection();
    QObject::connect(EngineRecovery::instance(), &EngineRecovery::finished, []() { say("recovered"); });
    quitOnRequest();

    settled = false;
    ApiManager::instance()->initialize([](bool) { settled = true; });
    say(EngineRecovery::instance()->isRunning() ? "recovering" : "nothing to recover");
    QTimer::singleShot(0, []() {
        say(QStringLiteral("event loop after %1 commands").arg(StandinState::commandLog().size()));
    });
    const QString link = QString::fromLatin1(argv[2]);
    if (link == QLatin1String("cancelled")) {
        service()->connect(6, VpnTest::link());
        service()->disconnect();
    } else if (link != QLatin1String("-")) {
        service()->connect(6, link);
    }
    return application.exec();
}

// A child program of this test, with its output gathered.
class Child
{
public:
    Child(const QStringList &arguments)
    {
        process.start(QCoreApplication::applicationFilePath(), arguments);
        process.waitForStarted(30000);
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
    // The limit only catches a child that never says it: a connect takes a second or two.
    bool said(const QString &line, int limitMs = 60000)
    {
        if (QTest::qWaitFor([&]() { return output().split('\n').contains(line); }, limitMs))
            return true;
        qWarning().noquote() << "the child did not say" << line << "; it logged:\n" << log();
        return false;
    }
    bool quit()
    {
        process.write("quit\n");
        if (process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit)
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

// Writes `record` under `key` as a run that has ended wrote it. Its process id is this test's own,
// which stands for an id that the system has given to another process since: the run it names is
// over all the same.
void plantEndedRun(const QString &key, QJsonObject record)
{
    record.insert("owner", QCoreApplication::applicationPid());
    record.insert("run", QStringLiteral("%1-000000000000").arg(QCoreApplication::applicationPid()));
    QSettings file(settingsPath(), QSettings::IniFormat);
    file.setValue(key, QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact)));
    file.sync();
}

// Another program, running as `image` (a copy of sleep under that name), for as long as it is kept.
class Program
{
public:
    explicit Program(const QString &image)
    {
        const QString path = folder.filePath(image);
        QFile::copy(QStandardPaths::findExecutable("sleep"), path);
        process.start(path, {"60"});
        process.waitForStarted(5000);
    }
    ~Program()
    {
        process.kill();
        process.waitForFinished(5000);
    }
    qint64 pid() const { return process.processId(); }
    bool running() const { return process.state() == QProcess::Running; }

private:
    QTemporaryDir folder;
    QProcess process;
};

QString temporaryFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::TempLocation);
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
    void aLiveRunKeepsWhatIsItsOwn();
    void onlyWhatTheRecordsName_data();
    void onlyWhatTheRecordsName();
    void idOfALaterRunIsKept_data();
    void idOfALaterRunIsKept();
    void proxySetSinceIsKept_data();
    void proxySetSinceIsKept();
    void foldersOfEndedRunsWithoutRecord();
    void linkedFolderIsNotFollowed();
    void taskListRows_data();
    void taskListRows();
    void unsettledCoreRecordStays_data();
    void unsettledCoreRecordStays();
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
    for (const QString &key : EngineRecords::keys())
        file.remove(key);
}

void TestVpnRecovery::cleanup()
{
    // Whatever a failed case left running goes with it.
    QVERIFY(StandinState::endRunningPrograms());
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
    request.setTransferTimeout(30000);
    QNetworkReply *reply = network.get(request);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    QVERIFY2(finished.wait(60000), "the answer through the tunnel");
    QCOMPARE(reply->error(), QNetworkReply::NoError);
    QCOMPARE(reply->readAll(), QByteArray("through the tunnel"));
    reply->deleteLater();

    // Its own records are there while it runs and gone after an ordinary end.
    QVERIFY(record(EngineRecords::core).value("pid").toInteger() > 0);
    QVERIFY(fresh.quit());
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("0"));
    for (const QString &key : EngineRecords::keys())
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

// A second process that runs the engine with the same settings (a second client, a test driver, the
// benchmark) while the first is connected: its start finds nothing of an ended run, and the first's
// core, proxy, folder and records stay as they are.
void TestVpnRecovery::aLiveRunKeepsWhatIsItsOwn()
{
    Child first({connectFlag, "0", vmess.vmessLink()});
    QVERIFY2(first.said("connected"), qPrintable(first.log()));
    const qint64 core = StandinState::corePid();
    const QString folder = record(EngineRecords::core).value("configFolder").toString();
    QVERIFY(QDir(folder).exists());
    QMap<QString, QJsonObject> records;
    for (const QString &key : EngineRecords::keys())
        records.insert(key, record(key));
    const qsizetype before = StandinState::commandLog().size();

    Child second({startFlag, "-"});
    QVERIFY(second.said("nothing to recover"));
    QVERIFY(second.quit());
    QCOMPARE(StandinState::commandLog().mid(before), QList<QStringList>());
    QVERIFY2(!second.log().contains("[EngineRecovery]"), qPrintable(second.log()));
    QVERIFY(alive(core));
    QVERIFY(QDir(folder).exists());
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("1"));
    for (const QString &key : EngineRecords::keys())
        QCOMPARE(record(key), records.value(key));
    QVERIFY(first.quit());
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("0"));
}

// An id that no longer names the program the record started belongs to somebody else's process, and
// settings that no record names (a proxy the user set) are the user's: both are left alone.
void TestVpnRecovery::onlyWhatTheRecordsName_data()
{
    QTest::addColumn<QString>("image");
    QTest::addColumn<bool>("stillRunning");
    QTest::newRow("a core id another program took over") << "sleep" << true;
    QTest::newRow("a core that ended since") << "sleep" << false;
    // The task list's row names a program whose name only contains the core's.
    QTest::newRow("a look-alike program under the id") << "myxray.exe" << true;
}

void TestVpnRecovery::onlyWhatTheRecordsName()
{
    QFETCH(QString, image);
    QFETCH(bool, stillRunning);
    QVERIFY(Tavorin::Api::Vpn::SystemProxyManager::setSystemProxy("http://10.1.2.3:8080"));
    auto other = std::make_unique<Program>(image);
    QVERIFY(other->running());
    const qint64 pid = other->pid();
    // As the crashed run wrote it: with the start of the process under the id, so that only the
    // task list's row tells it apart.
    QJsonObject crashed = EngineRecords::processRecord(pid, "xray.exe");
    if (!stillRunning)
        other.reset();
    QTemporaryDir leftover(temporaryFolder() + "/tavorin-XXXXXX");
    crashed.insert("configFolder", leftover.path());
    plantEndedRun(EngineRecords::core, crashed);
    const qsizetype before = StandinState::commandLog().size();

    Child fresh({startFlag, "-"});
    QVERIFY(fresh.said("recovered"));
    QVERIFY(fresh.quit());
    // One look at the task list, nothing else.
    const QList<QStringList> log = StandinState::commandLog().mid(before);
    QCOMPARE(log, (QList<QStringList>{
                      {"tasklist", "/FI", QStringLiteral("PID eq %1").arg(pid), "/FO", "CSV", "/NH"}}));
    if (stillRunning)
        QVERIFY(other->running());
    QCOMPARE(StandinState::registryValue("ProxyServer"), QString("http=10.1.2.3:8080"));
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("1"));
    QCOMPARE(record(EngineRecords::core), QJsonObject());
    QVERIFY(!QDir(leftover.path()).exists());
}

// An id the system gave to a later run of a program by the same name (another tool that ships an
// xray.exe, a tun2socks of somebody else's) passes the task list's look: only the start the record
// names tells that run from the one the crashed client started. A record of an older build names no
// start, so nothing says whose its id is now.
void TestVpnRecovery::idOfALaterRunIsKept_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("image");
    QTest::addColumn<bool>("namesAStart");
    QTest::newRow("core, another run's start") << EngineRecords::core << "xray.exe" << true;
    QTest::newRow("tunnel, another run's start") << EngineRecords::tunnel << "tun2socks.exe" << true;
    QTest::newRow("core, an older build's record") << EngineRecords::core << "xray.exe" << false;
    QTest::newRow("tunnel, an older build's record") << EngineRecords::tunnel << "tun2socks.exe" << false;
}

void TestVpnRecovery::idOfALaterRunIsKept()
{
    QFETCH(QString, key);
    QFETCH(QString, image);
    QFETCH(bool, namesAStart);
    Program later(image);
    QVERIFY(later.running());
    const qint64 pid = later.pid();
    QJsonObject crashed{{"pid", pid}, {"image", image}};
    // The id with the digest of a start that is not this process's.
    if (namesAStart)
        crashed.insert("processRun", QStringLiteral("%1-000000000000").arg(pid));
    plantEndedRun(key, crashed);
    const qsizetype before = StandinState::commandLog().size();

    Child fresh({startFlag, "-"});
    QVERIFY(fresh.said("recovered"));
    QVERIFY(fresh.quit());
    QCOMPARE(indexOf(StandinState::commandLog(), {"taskkill"}, before), -1);
    QVERIFY(later.running());
    QCOMPARE(record(key), QJsonObject());
    if (!namesAStart)
        QVERIFY2(fresh.log().contains(
                     QStringLiteral("记录未写明进程的启动, 不结束它: %1 PID: %2").arg(image).arg(pid)),
                 qPrintable(fresh.log()));
}

// The proxy an ended run switched on is switched off only while the settings still name it: a proxy
// the user set since is theirs. Either way the record has served its purpose.
void TestVpnRecovery::proxySetSinceIsKept_data()
{
    QTest::addColumn<QString>("current"); // what the user's settings name now, empty: nothing
    QTest::addColumn<bool>("switchedOff");
    QTest::addColumn<QString>("failing"); // the command that fails while switching off
    QTest::newRow("still the recorded proxy") << "socks://127.0.0.1:10315" << true << "";
    QTest::newRow("a proxy the user set since") << "http://10.1.2.3:8080" << false << "";
    QTest::newRow("no proxy set") << "" << false << "";
    // What could not be switched off stays on record, to be tried again at the next start.
    QTest::newRow("the registry write fails") << "socks://127.0.0.1:10315" << true << "reg";
    // The WinHTTP proxy needs administrator rights: trying again at every start would not help.
    QTest::newRow("only the WinHTTP reset fails") << "socks://127.0.0.1:10315" << true << "netsh";
}

void TestVpnRecovery::proxySetSinceIsKept()
{
    QFETCH(QString, current);
    QFETCH(bool, switchedOff);
    QFETCH(QString, failing);
    const bool registryFails = failing == QLatin1String("reg");
    if (!current.isEmpty())
        QVERIFY(Tavorin::Api::Vpn::SystemProxyManager::setSystemProxy(current));
    plantEndedRun(EngineRecords::systemProxy, {{"url", "socks://127.0.0.1:10315"}});
    if (registryFails)
        StandinState::failCommand("reg", 1, "ProxyEnable");
    else if (!failing.isEmpty())
        StandinState::failCommand("netsh", 1, "reset");
    const qsizetype before = StandinState::commandLog().size();

    Child fresh({startFlag, "-"});
    QVERIFY(fresh.said("recovered"));
    QVERIFY(fresh.quit());
    const QList<QStringList> log = StandinState::commandLog().mid(before);
    QVERIFY(!log.isEmpty());
    QCOMPARE(log.first().mid(0, 2), (QStringList{"reg", "query"}));
    if (registryFails) {
        QCOMPARE(record(EngineRecords::systemProxy).value("url").toString(),
                 QString("socks://127.0.0.1:10315"));
        QVERIFY(indexOf(log, {"netsh", "winhttp", "reset"}) >= 0);
        return;
    }
    QCOMPARE(record(EngineRecords::systemProxy), QJsonObject());
    if (switchedOff) {
        QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("0"));
        QCOMPARE(StandinState::winHttpProxy(), QString());
        QCOMPARE(StandinState::environmentVariable("http_proxy"), QString());
        return;
    }
    QCOMPARE(log.size(), 1);
    if (!current.isEmpty()) {
        QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("1"));
        QCOMPARE(StandinState::registryValue("ProxyServer"), QString("http=10.1.2.3:8080"));
        QCOMPARE(StandinState::environmentVariable("http_proxy"), current);
    }
}

// A run killed between making its configuration folder and noting it leaves a folder that no record
// names (with the server's UUID in it): the next start removes it, and only it.
void TestVpnRecovery::foldersOfEndedRunsWithoutRecord()
{
    const QString ended = QStringLiteral("%1/tavorin-%2-000000000000-AbC123")
                              .arg(temporaryFolder())
                              .arg(QCoreApplication::applicationPid());
    QVERIFY(QDir().mkpath(ended));
    QFile configuration(ended + "/tavorin_config.json");
    QVERIFY(configuration.open(QIODevice::WriteOnly));
    configuration.write("{\"uuid\": \"5b4a9f2e\"}");
    configuration.close();
    // This test process is a live run: what its name names is its own.
    const QString live = QStringLiteral("%1/tavorin-%2-XyZ789")
                             .arg(temporaryFolder(), Tavorin::Api::Vpn::RunIdentity::current());
    QVERIFY(QDir().mkpath(live));
    // Not of the engine's naming: nothing says whose it is.
    const QString foreign = temporaryFolder() + "/tavorin-notes";
    QVERIFY(QDir().mkpath(foreign));

    Child fresh({startFlag, "-"});
    QVERIFY(fresh.said("recovered"));
    QVERIFY(fresh.quit());
    QVERIFY(!QDir(ended).exists());
    QVERIFY(QDir(live).exists());
    QVERIFY(QDir(foreign).exists());
    QVERIFY(QDir(live).removeRecursively());
    QVERIFY(QDir(foreign).removeRecursively());

    // With nothing of an ended run left, a start does nothing at all.
    Child next({startFlag, "-"});
    QVERIFY(next.said("nothing to recover"));
    QVERIFY(next.quit());
}

// A link (on Windows a junction as well) planted where a configuration folder was leads elsewhere:
// removing through it would remove what it leads to. Neither the record nor the name makes it ours.
void TestVpnRecovery::linkedFolderIsNotFollowed()
{
    QTemporaryDir elsewhere;
    QFile victim(elsewhere.filePath("keep.txt"));
    QVERIFY(victim.open(QIODevice::WriteOnly));
    victim.write("the user's");
    victim.close();
    const QString link = QStringLiteral("%1/tavorin-%2-000000000000-LnK123")
                             .arg(temporaryFolder())
                             .arg(QCoreApplication::applicationPid());
    QVERIFY(QFile::link(elsewhere.path(), link));
    plantEndedRun(EngineRecords::core, {{"pid", 0}, {"image", "xray.exe"}, {"configFolder", link}});

    Child fresh({startFlag, "-"});
    QVERIFY(fresh.said("recovered"));
    QVERIFY(fresh.quit());
    QVERIFY(QFile::exists(elsewhere.filePath("keep.txt")));
    QCOMPARE(record(EngineRecords::core), QJsonObject());
    QVERIFY(QFile::remove(link));
}

// What the task list answers, row by row: only the row of the recorded id, with exactly the recorded
// image, is the process that run started.
void TestVpnRecovery::taskListRows_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("shows");
    QTest::newRow("its row") << QByteArray("\"xray.exe\",\"4242\",\"Console\",\"1\",\"12,345 K\"\r\n")
                             << true;
    QTest::newRow("letter case") << QByteArray("\"XRAY.EXE\",\"4242\",\"Console\",\"1\",\"12,345 K\"\r\n")
                                 << true;
    QTest::newRow("a look-alike image")
        << QByteArray("\"myxray.exe\",\"4242\",\"Console\",\"1\",\"1 K\"\r\n") << false;
    QTest::newRow("another id") << QByteArray("\"xray.exe\",\"42420\",\"Console\",\"1\",\"1 K\"\r\n")
                                << false;
    QTest::newRow("the header only")
        << QByteArray("\"Image Name\",\"PID\",\"Session Name\",\"Session#\",\"Mem Usage\"\r\n") << false;
    QTest::newRow("the table form") << QByteArray("\nImage Name                     PID Session Name\n"
                                                  "========================= ========\n"
                                                  "xray.exe                      4242 Console\n")
                                    << false;
    QTest::newRow("no tasks") << QByteArray(
                                     "INFO: No tasks are running which match the specified criteria.\r\n")
                              << false;
}

void TestVpnRecovery::taskListRows()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, shows);
    QCOMPARE(EngineRecovery::taskListShows(answer, 4242, "xray.exe"), shows);
}

// A core record that the repair could not settle stays, to be tried again at the next start: a task
// list that cannot be read after the kill says nothing about the process, and a connect taken back
// while the repair still waits for a command ends only what is its own.
void TestVpnRecovery::unsettledCoreRecordStays_data()
{
    QTest::addColumn<QString>("link"); // what the fresh start connects to: "-" nothing
    QTest::addColumn<bool>("killed");  // whether the repair got as far as ending the process
    QTest::newRow("task list unreadable after the kill") << "-" << true;
    QTest::newRow("connect taken back while the task list hangs") << "cancelled" << false;
}

void TestVpnRecovery::unsettledCoreRecordStays()
{
    QFETCH(QString, link);
    QFETCH(bool, killed);
    Program core("xray.exe");
    QVERIFY(core.running());
    const qint64 pid = core.pid();
    plantEndedRun(EngineRecords::core, EngineRecords::processRecord(pid, "xray.exe"));
    QStringList arguments{startFlag, link};
    if (killed) {
        StandinState::failCommand("tasklist", 1, {}, 100, 1);
    } else {
        StandinState::hangCommand("tasklist", 2);
        arguments << "1000";
    }

    Child fresh(arguments);
    QVERIFY(fresh.said("recovered"));
    QVERIFY(fresh.quit());
    QCOMPARE(indexOf(StandinState::commandLog(), {"taskkill", "/F", "/PID", QString::number(pid)}) >= 0,
             killed);
    QCOMPARE(core.running(), !killed);
    QCOMPARE(record(EngineRecords::core).value("pid").toInteger(), pid);
}

// A switch-off command that hangs at start-up holds up neither the event loop nor, beyond its own
// limit, the connect the user asked for at once; what it could not switch off stays on record.
void TestVpnRecovery::hangingCommandDoesNotHoldUpTheStart()
{
    QVERIFY(Tavorin::Api::Vpn::SystemProxyManager::setSystemProxy("socks://127.0.0.1:10315"));
    plantEndedRun(EngineRecords::systemProxy, {{"url", "socks://127.0.0.1:10315"}});
    StandinState::hangCommand("reg", 2, "ProxyEnable");
    const qsizetype before = StandinState::commandLog().size();
    Child fresh({startFlag, vmess.vmessLink()});
    QVERIFY(fresh.said("recovering"));
    QVERIFY2(QTest::qWaitFor([&]() { return fresh.output().contains("event loop after"); }, 60000),
             "the first turn of the child's event loop");
    // Its event loop ran before the switch-off got past the hanging command: nothing after it had run.
    const QString line = fresh.output().split('\n').filter("event loop after").value(0);
    const QList<QStringList> beforeTheLoop =
        StandinState::commandLog().mid(before, line.section(' ', 3, 3).toInt() - before);
    QVERIFY2(indexOf(beforeTheLoop, {"netsh"}) < 0, qPrintable(line));
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
