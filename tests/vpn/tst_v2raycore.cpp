#include "LocalPorts.h"
#include "LogCapture.h"
#include "StandinState.h"
#include "vpn/V2RayCore.h"
#include "vpn/VmessConfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>

using Tavorin::Api::Vpn::V2RayCore;
using Tavorin::Api::Vpn::VmessConfig;

namespace {

const char *fakeCoreFlag = "--fake-core";
const char *writeFlag = "--write-under";

// How the fake core's controller answers, request by request: "+" with the totals, "-" with a failure;
// the first entry goes to the readiness probe and the last one stands for every request after it. It
// reaches the core through the environment, which the core's process inherits; without it every request
// is answered.
const char *answersVariable = "MIREVO_FAKE_CORE_ANSWERS";

// This test program doubles as a proxy core that serves its mixed port and a controller that answers
// as MIREVO_FAKE_CORE_ANSWERS says, so that a test sees what failed reads do to the figures and to the
// run. Each answer carries totals that grow with the number of answers given.
int fakeCore(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(2);
    if (arguments == QStringList{"version"}) {
        std::printf("Xray 0.0.0 (test double)\n");
        return 0;
    }
    QFile file(arguments.value(2));
    if (arguments.value(0) != QLatin1String("run") || !file.open(QIODevice::ReadOnly))
        return 2;
    const QJsonObject document = QJsonDocument::fromJson(file.readAll()).object();
    const QJsonObject controller = document.value("experimental").toObject().value("clash_api").toObject();
    const auto mixedPort =
        quint16(document.value("inbounds").toArray().at(0).toObject().value("listen_port").toInt());
    const QStringList endpoint = controller.value("external_controller").toString().split(':');
    const QByteArray authorization = "Bearer " + controller.value("secret").toString().toUtf8();

    QTcpServer mixed;
    QTcpServer api;
    if (!mixed.listen(QHostAddress::LocalHost, mixedPort) ||
        !api.listen(QHostAddress(endpoint.value(0)), endpoint.value(1).toUShort()))
        return 3;
    QObject::connect(&mixed, &QTcpServer::newConnection, [&mixed]() {
        while (QTcpSocket *socket = mixed.nextPendingConnection())
            socket->close();
    });
    const QByteArray answers =
        qEnvironmentVariableIsSet(answersVariable) ? qgetenv(answersVariable) : QByteArray("+");
    int requests = 0;
    int answered = 0;
    QObject::connect(&api, &QTcpServer::newConnection, [&]() {
        while (QTcpSocket *socket = api.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [&, socket]() {
                const QByteArray head = socket->readAll();
                QByteArray reply;
                if (!head.contains(authorization)) {
                    reply = "HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
                } else if (answers.at(std::min<qsizetype>(requests++, answers.size() - 1)) == '+') {
                    ++answered;
                    const QByteArray body = QJsonDocument(QJsonObject{{"uploadTotal", answered * 1000},
                                                                      {"downloadTotal", answered * 5000},
                                                                      {"connections", QJsonValue::Null}})
                                                .toJson(QJsonDocument::Compact);
                    reply = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                            QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
                } else {
                    reply = "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\nConnection: "
                            "close\r\n\r\n";
                }
                socket->write(reply);
                socket->disconnectFromHost();
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    std::fprintf(stdout, "  \n");
    std::fflush(stdout);
    std::fprintf(stderr, "WARN ignored\n");
    std::fflush(stderr);
    return application.exec();
}

VmessConfig localServer();

// Run as a child: starts a core under `condition` ("full": files may not grow beyond 1 KiB; "no-tmp":
// TMPDIR names a folder that does not exist) and says how the start ended.
int startUnderCondition(int argc, char *argv[])
{
    if (qstrcmp(argv[2], "full") == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1024, 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    } else {
        qputenv("TMPDIR", QByteArray("/nonexistent-") + QByteArray::number(::getpid()));
    }
    QCoreApplication application(argc, argv);
    LocalPorts::useFree();
    V2RayCore core(nullptr);
    QString error;
    QObject::connect(&core, &V2RayCore::error, [&error](const QString &message) { error = message; });
    const bool started = core.start(localServer());
    QTextStream(stdout) << (started ? "started" : "refused: " + error) << Qt::endl;
    core.stop();
    return 0;
}

VmessConfig localServer()
{
    VmessConfig config;
    config.address = QStringLiteral("127.0.0.1");
    config.port = 1; // nothing is sent through the proxy here
    config.id = QStringLiteral("5b4a9f2e-1c3d-4e5f-8a9b-0c1d2e3f4a5b");
    return config;
}

// Puts this test program, as the fake core, where a core with `resources` as its resource path finds
// its program.
bool installFakeCore(const QTemporaryDir &resources)
{
    if (!QDir().mkpath(resources.path() + "/x32"))
        return false;
    QFile script(resources.path() + "/x32/xray.exe");
    if (!script.open(QIODevice::WriteOnly))
        return false;
    script.write("#!/bin/sh\nexec '" + QCoreApplication::applicationFilePath().toUtf8() + "' " +
                 fakeCoreFlag + " \"$@\"\n");
    script.close();
    return script.setPermissions(script.permissions() | QFile::ExeOwner);
}

bool portAccepts(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(1000);
}

// The permission bits of a path itself, not of what a link points to.
int modeOf(const QString &path)
{
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return -1;
    return int(status.st_mode & 07777);
}

QStringList texts(const QSignalSpy &spy)
{
    QStringList list;
    for (const QList<QVariant> &arguments : spy)
        list << arguments.at(0).toString();
    return list;
}

struct CoreSpies
{
    explicit CoreSpies(V2RayCore *core)
        : connected(core, &V2RayCore::connected), disconnected(core, &V2RayCore::disconnected),
          errors(core, &V2RayCore::error), traffic(core, &V2RayCore::trafficUpdate),
          logs(core, &V2RayCore::logOutput)
    {}
    QSignalSpy connected;
    QSignalSpy disconnected;
    QSignalSpy errors;
    QSignalSpy traffic;
    QSignalSpy logs;
};

} // namespace

class TestV2RayCore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void connectedOnceListeningAndStopIsQuiet();
    void secondStartRefused();
    void programThatCannotStart();
    void endsBeforeReady_data();
    void endsBeforeReady();
    void endsWhileConnected_data();
    void endsWhileConnected();
    void trafficFromController();
    void unansweredTrafficReads_data();
    void unansweredTrafficReads();
    void configurationIsPrivate_data();
    void configurationIsPrivate();
    void configurationThatCannotBeWritten_data();
    void configurationThatCannotBeWritten();
};

void TestV2RayCore::init()
{
    StandinState::reset();
    LocalPorts::useFree();
}

void TestV2RayCore::cleanup()
{
    qunsetenv(answersVariable);
    QVERIFY(StandinState::endRunningPrograms());
}

void TestV2RayCore::connectedOnceListeningAndStopIsQuiet()
{
    V2RayCore core(nullptr);
    CoreSpies spies(&core);
    core.stop(); // never started: nothing at all
    QCOMPARE(spies.disconnected.size(), 0);

    QVERIFY(core.start(localServer()));
    QVERIFY2(spies.connected.wait(30000), "the core getting ready");
    QVERIFY(core.isRunning());
    QVERIFY(portAccepts(V2RayCore::mixedPort()));
    QVERIFY(QFile::exists(core.configFilePath()));
    QCOMPARE(StandinState::commandLog("xray.exe").last(),
             (QStringList{"xray.exe", "run", "-c", core.configFilePath(), "--disable-color"}));

    core.stop();
    QCOMPARE(spies.connected.size(), 1);
    QCOMPARE(spies.disconnected.size(), 1);
    // The kill of our own stop is reported as a crash by the process library; it is no error.
    QCOMPARE(texts(spies.errors), QStringList());
    QVERIFY(!core.isRunning());
    QVERIFY(!QFile::exists(core.configFilePath()));
    QTRY_COMPARE(StandinState::corePid(), qint64(0));
}

void TestV2RayCore::secondStartRefused()
{
    V2RayCore core(nullptr);
    CoreSpies spies(&core);
    QVERIFY(core.start(localServer()));
    LogCapture log;
    QVERIFY(!core.start(localServer()));
    QVERIFY(log.contains("[V2RayCore] XRay已经在运行中"));
    QCOMPARE(spies.errors.size(), 0);
    core.stop();
}

void TestV2RayCore::programThatCannotStart()
{
    QTemporaryDir resources;
    QVERIFY(QDir().mkpath(resources.path() + "/x32"));
    QFile file(resources.path() + "/x32/xray.exe");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a program");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);

    V2RayCore core(nullptr);
    core.setResourcePath(resources.path());
    CoreSpies spies(&core);
    QVERIFY(!core.start(localServer()));
    QCOMPARE(texts(spies.errors), (QStringList{"XRay启动失败，请检查文件是否存在", "❌ XRay启动超时 (5秒)"}));
    QCOMPARE(spies.connected.size(), 0);
    QVERIFY(!core.isRunning());
}

// A core that ends, or never gets ready, before it serves: one error, one end, never "connected". The rows
// about an exit keep the product's readiness limit, far above what any build takes to see the exit, so
// that they wait for the exit; only the row about the limit shortens it.
void TestV2RayCore::endsBeforeReady_data()
{
    QTest::addColumn<QString>("security");
    QTest::addColumn<QString>("injection");
    QTest::addColumn<int>("limitMs");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("logLine");

    QTest::newRow("configuration refused")
        << "chacha99"
        << "" << V2RayCore::readinessLimitMs << "XRay进程在就绪前退出, 退出码: 1"
        << "[XRay错误] FATAL";
    QTest::newRow("exits at once") << "auto"
                                   << "fail" << V2RayCore::readinessLimitMs
                                   << "XRay进程在就绪前退出, 退出码: 7"
                                   << "";
    // It hangs far longer than the limit: the limit ends it, however slow the machine.
    QTest::newRow("never listens") << "auto"
                                   << "hang" << 300 << "XRay本地代理端口未就绪 (300毫秒)"
                                   << "";
}

void TestV2RayCore::endsBeforeReady()
{
    QFETCH(QString, security);
    QFETCH(QString, injection);
    QFETCH(int, limitMs);
    QFETCH(QString, error);
    QFETCH(QString, logLine);

    if (injection == QLatin1String("fail"))
        StandinState::failCommand("xray.exe", 7, "run");
    else if (injection == QLatin1String("hang"))
        StandinState::hangCommand("xray.exe", 30, "run");
    V2RayCore core(nullptr);
    core.setReadinessPolling(20, limitMs);
    CoreSpies spies(&core);
    VmessConfig config = localServer();
    config.security = security;

    QVERIFY(core.start(config));
    QVERIFY2(spies.disconnected.wait(limitMs + 30000), "the end of the core before it was ready");
    QCOMPARE(texts(spies.errors), QStringList{error});
    QCOMPARE(spies.connected.size(), 0);
    QCOMPARE(spies.disconnected.size(), 1);
    QVERIFY(!core.isRunning());
    if (!logLine.isEmpty())
        QVERIFY2(texts(spies.logs).join('\n').contains(logLine), qPrintable(texts(spies.logs).join('\n')));
}

void TestV2RayCore::endsWhileConnected_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<QStringList>("errors");

    QTest::newRow("killed") << int(SIGKILL) << QStringList{"XRay进程崩溃"};
    QTest::newRow("ends cleanly") << int(SIGTERM) << QStringList();
}

void TestV2RayCore::endsWhileConnected()
{
    QFETCH(int, signalNumber);
    QFETCH(QStringList, errors);

    V2RayCore core(nullptr);
    CoreSpies spies(&core);
    QVERIFY(core.start(localServer()));
    QVERIFY2(spies.connected.wait(30000), "the core getting ready");
    const QString configPath = core.configFilePath();

    QCOMPARE(::kill(static_cast<pid_t>(core.processId()), signalNumber), 0);
    QVERIFY2(spies.disconnected.wait(30000), "the end of the killed core");
    // One crash, one error, although both the process error and the end report it.
    QCOMPARE(texts(spies.errors), errors);
    QCOMPARE(spies.disconnected.size(), 1);
    QVERIFY(!core.isRunning());
    // stop() after the process ended by itself only takes away what is left of the run: its configuration.
    QVERIFY(QFile::exists(configPath));
    core.stop();
    QVERIFY(!QFile::exists(configPath));
    QCOMPARE(spies.disconnected.size(), 1);
}

void TestV2RayCore::trafficFromController()
{
    QTemporaryDir resources;
    QVERIFY(installFakeCore(resources));
    // Two answers after the readiness probe's, two failed reads (fewer than end the run), then answers.
    qputenv(answersVariable, "+++--+");

    V2RayCore core(nullptr);
    core.setResourcePath(resources.path());
    core.setTrafficInterval(40);
    CoreSpies spies(&core);
    LogCapture log;
    QVERIFY(core.start(localServer()));
    QVERIFY2(spies.connected.wait(30000), "the core getting ready");
    QTRY_VERIFY2_WITH_TIMEOUT(spies.traffic.size() >= 3, "the answer after the failed reads", 30000);
    QCOMPARE(spies.traffic.at(0), (QList<QVariant>{qlonglong(2000), qlonglong(10000)}));
    QCOMPARE(spies.traffic.at(1), (QList<QVariant>{qlonglong(3000), qlonglong(15000)}));
    // The failed reads in between reported nothing: the figures stayed where they were until the next
    // answer.
    QCOMPARE(spies.traffic.at(2), (QList<QVariant>{qlonglong(4000), qlonglong(20000)}));
    QCOMPARE(log.lines().filter("[V2RayCore] 读取流量统计失败").size(), 2);
    QCOMPARE(texts(spies.errors), QStringList());
    // Blank output is dropped, and so is standard error without ERROR or FATAL.
    QCOMPARE(texts(spies.logs), QStringList());
    core.stop();
}

// The controller answers from the core's own event loop: so many traffic reads in a row that get no
// answer are a hung core, and end the run; misses with answers between them are a busy core, and do not
// add up. The reads are counted by what the core reports of each: its figures, or a warning.
void TestV2RayCore::unansweredTrafficReads_data()
{
    QTest::addColumn<QString>("answers"); // the controller's, request by request; the first to readiness
    QTest::addColumn<bool>("ends");
    QTest::addColumn<int>("answered"); // traffic reads answered: before the end, or all the row has
    QTest::addColumn<int>("misses");   // and those that got no answer

    QTest::newRow("three misses in a row end the run") << "++---" << true << 1 << 3;
    QTest::newRow("two misses, an answer, two misses stay up") << "++--+--+" << false << 3 << 4;
    QTest::newRow("three misses in a row after an answer end it") << "++--+---" << true << 2 << 5;
}

void TestV2RayCore::unansweredTrafficReads()
{
    QFETCH(QString, answers);
    QFETCH(bool, ends);
    QFETCH(int, answered);
    QFETCH(int, misses);

    QTemporaryDir resources;
    QVERIFY(installFakeCore(resources));
    qputenv(answersVariable, answers.toLatin1());
    V2RayCore core(nullptr);
    core.setResourcePath(resources.path());
    core.setTrafficInterval(40);
    CoreSpies spies(&core);
    LogCapture log;
    const auto missed = [&log]() { return log.lines().filter("[V2RayCore] 读取流量统计失败").size(); };
    QVERIFY(core.start(localServer()));
    QVERIFY2(spies.connected.wait(30000), "the fake core getting ready");

    if (ends) {
        QVERIFY2(spies.disconnected.wait(30000), "the end of the run after the misses");
        QCOMPARE(texts(spies.errors), QStringList{"XRay进程无响应"});
        QVERIFY(!core.isRunning());
    } else {
        // Past the row's answers the controller goes on answering: the count of misses is final once
        // the last answer of the row has come, or the run has ended.
        QTRY_VERIFY2_WITH_TIMEOUT(spies.traffic.size() >= answered || !spies.disconnected.isEmpty(),
                                  "the last answer of the row", 30000);
        QCOMPARE(texts(spies.errors), QStringList());
        QCOMPARE(spies.disconnected.size(), 0);
        QVERIFY(core.isRunning());
        QVERIFY(::kill(static_cast<pid_t>(core.processId()), 0) == 0);
    }
    QCOMPARE(missed(), qsizetype(misses));
    if (ends)
        QCOMPARE(spies.traffic.size(), qsizetype(answered));
    core.stop();
}

// The configuration holds the server's UUID and the controller's secret: only this user may read it,
// nobody can plant a link or a file where it goes, and it is gone once the run is over.
void TestV2RayCore::configurationIsPrivate_data()
{
    QTest::addColumn<QString>("planted"); // what stands at the shared temporary name before the start
    QTest::newRow("nothing") << "";
    QTest::newRow("a link to another file") << "link";
    QTest::newRow("a folder of the same name") << "folder";
}

void TestV2RayCore::configurationIsPrivate()
{
    QFETCH(QString, planted);
    const QString temp = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    const QString shared = temp + "/tavorin_config.json";
    QFile::remove(shared);
    QDir(shared).removeRecursively();
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath("victim");
    QFile victimFile(victim);
    QVERIFY(victimFile.open(QIODevice::WriteOnly));
    victimFile.write("untouched");
    victimFile.close();
    if (planted == QLatin1String("link"))
        QVERIFY(QFile::link(victim, shared));
    else if (planted == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(shared));

    V2RayCore core(nullptr);
    CoreSpies spies(&core);
    QVERIFY(core.start(localServer()));
    QVERIFY2(spies.connected.wait(30000), "the core getting ready");
    const QFileInfo file(core.configFilePath());
    QCOMPARE(file.fileName(), QString("tavorin_config.json"));
    QVERIFY(file.absolutePath() != QDir(temp).absolutePath());
    QCOMPARE(modeOf(file.absoluteFilePath()), 0600);
    QCOMPARE(modeOf(file.absolutePath()), 0700);
    QVERIFY(!file.isSymLink());
    QVERIFY(victimFile.open(QIODevice::ReadOnly));
    QCOMPARE(victimFile.readAll(), QByteArray("untouched"));
    victimFile.close();

    core.stop();
    QVERIFY(!QFileInfo::exists(file.absoluteFilePath()));
    QVERIFY(!QFileInfo::exists(file.absolutePath()));
}

// A disk that fills up under the configuration (a limit on the size of files this process writes
// stands for it: the write stops short), or a temporary folder that does not exist: the start must
// fail, and leave no half configuration and no folder at the root of the file system.
void TestV2RayCore::configurationThatCannotBeWritten_data()
{
    QTest::addColumn<QString>("condition");
    QTest::newRow("the disk fills up") << "full";
    QTest::newRow("TMPDIR names no folder") << "no-tmp";
}

void TestV2RayCore::configurationThatCannotBeWritten()
{
    QFETCH(QString, condition);
    const QStringList atRootBefore = QDir("/").entryList({"tavorin-*"}, QDir::AllEntries | QDir::Hidden);
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {writeFlag, condition});
    QVERIFY2(child.waitForFinished(60000), "the end of the child that starts a core");
    const QString said = QString::fromUtf8(child.readAllStandardOutput());
    QVERIFY2(said.contains("refused: 无法创建配置文件:"), qPrintable(said + child.readAllStandardError()));
    QCOMPARE(QDir("/").entryList({"tavorin-*"}, QDir::AllEntries | QDir::Hidden), atRootBefore);
    QCOMPARE(QDir(QStandardPaths::writableLocation(QStandardPaths::TempLocation))
                 .entryList({"tavorin-*"}, QDir::AllEntries | QDir::Hidden),
             QStringList());
}

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], fakeCoreFlag) == 0)
        return fakeCore(argc, argv);
    if (argc > 2 && qstrcmp(argv[1], writeFlag) == 0)
        return startUnderCondition(argc, argv);
    QCoreApplication application(argc, argv);
    TestV2RayCore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_v2raycore.moc"
