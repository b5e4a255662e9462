#include "ChildLog.h"
#include "DevService.h"
#include "LocalPorts.h"
#include "StandinState.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTest>
#include <QTextStream>

#include <csignal>
#include <grp.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

// A cut-off for a client that hangs, far beyond what the slowest build needs to sign in and connect.
constexpr int clientLimitMs = 60000;
const char *strangerFlag = "--stranger";
// The user another account on the machine runs as.
constexpr uid_t strangerUid = 65534;

QString clientProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/mirevo_instance_client");
}

// The client's settings folder: the same for every start of the same client by the same user.
QString settingsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/mirevo_instance_client");
}

QString lockFile()
{
    return settingsFolder() + QStringLiteral("/tavorin_instance.lock");
}

// Puts `content` where the client keeps its lock, over whatever is there.
bool writeLockFile(const QByteArray &content)
{
    QFile lock(lockFile());
    return QDir().mkpath(settingsFolder()) && lock.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           lock.write(content) == content.size();
}

// Every file of the settings folder with a digest of what it holds.
QMap<QString, QByteArray> settingsFiles()
{
    QMap<QString, QByteArray> files;
    const QFileInfoList entries = QDir(settingsFolder()).entryInfoList(QDir::Files | QDir::Hidden);
    for (const QFileInfo &entry : entries) {
        QFile file(entry.absoluteFilePath());
        if (file.open(QIODevice::ReadOnly))
            files.insert(entry.fileName(),
                         QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256));
    }
    return files;
}

// The value of a "Name: value kB" line of /proc/PID/status.
qint64 statusFigure(qint64 pid, const QByteArray &name)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

qsizetype openDescriptors(qint64 pid)
{
    return QDir(QStringLiteral("/proc/%1/fd").arg(pid))
        .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
        .size();
}

// A start of the client, with what it logged gathered (and shown when a check of the test fails).
class Client
{
public:
    enum class Memory { AsBuilt, Measured };

    Client(const DevService &dev, const QString &runtimeFolder,
           const QString &name = QStringLiteral("the client"), Memory memory = Memory::AsBuilt)
        : childLog(name)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("MIREVO_TEST_BASE_URL", dev.baseUrl());
        environment.insert("XDG_RUNTIME_DIR", runtimeFolder);
        // AddressSanitizer keeps freed memory back (up to 256 MB) to catch late uses: a client whose
        // memory a test measures keeps only a little, so that what it holds is what it uses.
        if (memory == Memory::Measured && environment.contains("ASAN_OPTIONS"))
            environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":quarantine_size_mb=4");
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(clientProgram(), {DevService::demoEmail(), DevService::demoPassword()});
        process.waitForStarted(clientLimitMs);
    }
    ~Client()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(clientLimitMs);
        }
        log();
    }
    QString log()
    {
        childLog.append(process.readAll());
        return childLog.text();
    }
    int count(const QString &line) { return int(log().count(line)); }
    // Waits for the client to say `line` (`times` times in all); false once it has ended without.
    bool waitFor(const QString &line, int times = 1)
    {
        return QTest::qWaitFor(
                   [&]() {
                       process.waitForReadyRead(50);
                       return count(line) >= times || process.state() == QProcess::NotRunning;
                   },
                   clientLimitMs) &&
               count(line) >= times;
    }
    bool leave(int signalNumber = SIGTERM)
    {
        return ::kill(static_cast<pid_t>(process.processId()), signalNumber) == 0 &&
               process.waitForFinished(clientLimitMs);
    }
    // The name the client listens under, as it logged it ("@name" for an abstract one).
    QString channel()
    {
        static const QRegularExpression line(QStringLiteral("\\[SingleInstance\\] 监听: (\\S+)"));
        return line.match(log()).captured(1);
    }

    QProcess process;

private:
    ChildLog childLog;
};

// The user's runtime folder, and one deeper than a socket's path may be (a home on a long path).
void runtimeFolderRows()
{
    QTest::addColumn<QString>("runtimeFolder");
    QTest::newRow("the test's runtime folder") << qEnvironmentVariable("XDG_RUNTIME_DIR");
    QTest::newRow("a runtime folder longer than a socket path")
        << qEnvironmentVariable("XDG_RUNTIME_DIR") + '/' + QString(110, 'r');
}

bool makeRuntimeFolder(const QString &folder)
{
    return QDir().mkpath(folder) &&
           QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Run as another user of the machine, against the client's hand-over channel `name`:
//  flood: 100 MB without a line end, over as many connections as it takes;
//  hold: 1000 connections, held until standard input closes;
//  listen: listens under `name` first and says whenever anybody calls.
int stranger(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    out << "uid " << ::getuid() << Qt::endl;
    const QString mode = QString::fromLocal8Bit(argv[2]);
    QString name = QString::fromLocal8Bit(argv[3]);
    const bool abstract = name.startsWith('@');
    if (abstract)
        name.remove(0, 1);
    const auto connectOne = [&](QLocalSocket &socket) {
        if (abstract)
            socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
        socket.connectToServer(name);
        return socket.waitForConnected(500);
    };
    if (mode == QLatin1String("flood")) {
        const QByteArray chunk(64 * 1024, 'x');
        qint64 sent = 0;
        int connections = 0;
        while (sent < 100 * 1024 * 1024) {
            QLocalSocket socket;
            if (!connectOne(socket)) {
                out << "refused after " << connections << " connections, " << sent << " bytes" << Qt::endl;
                return 0;
            }
            ++connections;
            while (socket.state() == QLocalSocket::ConnectedState && sent < 100 * 1024 * 1024) {
                if (socket.write(chunk) < 0 || !socket.waitForBytesWritten(2000))
                    break;
                sent += chunk.size();
            }
        }
        out << "sent " << sent << " bytes over " << connections << " connections" << Qt::endl;
        return 0;
    }
    if (mode == QLatin1String("hold")) {
        std::vector<std::unique_ptr<QLocalSocket>> held;
        int connected = 0;
        for (int i = 0; i < 1000; ++i) {
            held.push_back(std::make_unique<QLocalSocket>());
            connected += connectOne(*held.back()) ? 1 : 0;
        }
        out << "holding " << connected << Qt::endl;
        char byte = 0;
        while (::read(STDIN_FILENO, &byte, 1) > 0) {
        }
        return 0;
    }
    QLocalServer server;
    if (abstract)
        server.setSocketOptions(QLocalServer::AbstractNamespaceOption);
    if (!server.listen(name)) {
        out << "cannot listen: " << server.errorString() << Qt::endl;
        return 2;
    }
    QObject::connect(&server, &QLocalServer::newConnection, &server, [&]() {
        while (QLocalSocket *socket = server.nextPendingConnection()) {
            out << "called" << Qt::endl;
            socket->write("ok\n");
            socket->flush();
        }
    });
    out << "listening" << Qt::endl;
    return application.exec();
}

// Starts this program as the other user; false (with the reason) when the system does not let it.
bool startAsStranger(QProcess &process, const QStringList &arguments, QString *why)
{
    if (::geteuid() != 0) {
        *why = QStringLiteral("only root can run a program as another user");
        return false;
    }
    process.setChildProcessModifier([]() {
        if (::setgroups(0, nullptr) != 0 || ::setgid(strangerUid) != 0 || ::setuid(strangerUid) != 0)
            ::_exit(97);
    });
    process.start(QCoreApplication::applicationFilePath(), QStringList{strangerFlag} + arguments);
    if (!process.waitForReadyRead(clientLimitMs) ||
        !process.readLine().startsWith(QByteArray("uid ") + QByteArray::number(strangerUid))) {
        *why = QStringLiteral("the program cannot run as uid %1 here (exit %2)")
                   .arg(strangerUid)
                   .arg(process.exitCode());
        return false;
    }
    return true;
}

} // namespace

// A second start of the client while one runs (a double click on the icon, an autostart entry) must
// not run a second engine beside the first: its start-up repair would take the first's connection
// for an ended run's. It brings the first window forward and leaves, having written nothing.
class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void secondStartHandsOverToTheFirst_data();
    void secondStartHandsOverToTheFirst();
    void startDuringASlowGoodbyeRunsOnceTheFirstHasGone_data();
    void startDuringASlowGoodbyeRunsOnceTheFirstHasGone();
    void startBesideAFrozenFirstLeaves();
    void lockNobodyHoldsIsTakenBack_data();
    void lockNobodyHoldsIsTakenBack();
    void garbledLockOfALiveClientStaysItsOwn_data();
    void garbledLockOfALiveClientStaysItsOwn();
    void anotherUserGetsNothingOfTheChannel_data();
    void anotherUserGetsNothingOfTheChannel();

private:
    DevService dev;
};

void TestSingleInstance::initTestCase()
{
    LocalPorts::useFree();
    QVERIFY(dev.start());
}

void TestSingleInstance::init()
{
    StandinState::reset();
}

void TestSingleInstance::cleanup()
{
    // A client killed without its teardown leaves its core and its proxy settings behind, and a lock
    // file: none of it may decide the next case.
    if (const qint64 core = StandinState::corePid(); core > 0)
        ::kill(static_cast<pid_t>(core), SIGKILL);
    StandinState::reset();
    QFile::remove(lockFile());
    dev.control(QStringLiteral("POST"), QStringLiteral("script/clear"));
}

void TestSingleInstance::secondStartHandsOverToTheFirst_data()
{
    runtimeFolderRows();
}

void TestSingleInstance::secondStartHandsOverToTheFirst()
{
    QFETCH(QString, runtimeFolder);
    QVERIFY(makeRuntimeFolder(runtimeFolder));
    Client first(dev, runtimeFolder, QStringLiteral("the first client"));
    QVERIFY(first.waitFor("instance-test: connected"));
    QVERIFY(first.waitFor("instance-test: hidden"));
    const qint64 core = StandinState::corePid();
    QVERIFY(core > 0);
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("1"));
    const QMap<QString, QByteArray> settings = settingsFiles();
    QVERIFY(settings.contains("tavorin_settings.ini"));
    const qsizetype commands = StandinState::commandLog().size();
    const qsizetype requests = dev.requests().size();
    const int shown = first.count("instance-test: shown");

    Client second(dev, runtimeFolder, QStringLiteral("the second start"));
    QVERIFY(second.process.waitForFinished(clientLimitMs));
    QCOMPARE(second.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.process.exitCode(), 0);

    // The first window shows again; its connection and everything it keeps are as they were.
    QVERIFY(first.waitFor("instance-test: shown", shown + 1));
    QCOMPARE(first.process.state(), QProcess::Running);
    QCOMPARE(StandinState::corePid(), core);
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("1"));
    QCOMPARE(settingsFiles(), settings);
    // The second start ran no command and asked the service nothing (the first's heartbeats aside).
    QCOMPARE(StandinState::commandLog().size(), commands);
    const QJsonArray since = dev.requests();
    for (qsizetype i = requests; i < since.size(); ++i)
        QVERIFY2(since.at(i).toObject().value("path").toString().endsWith("heartbeat"),
                 qPrintable(since.at(i).toObject().value("path").toString()));
    QVERIFY(!second.log().contains("[EngineRecovery]"));

    // The first still leaves as a client does, and takes its connection with it.
    QVERIFY(first.leave());
    QCOMPARE(first.process.exitCode(), 0);
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("0"));
    QVERIFY(!dev.goodbyes().isEmpty());
}

void TestSingleInstance::startDuringASlowGoodbyeRunsOnceTheFirstHasGone_data()
{
    QTest::addColumn<bool>("closeWindow"); // otherwise SIGTERM
    QTest::newRow("window closed") << true;
    QTest::newRow("SIGTERM") << false;
}

// The user closes the client and starts it again at once, while the first still takes its connection
// down (the service answers its goodbye late, as on a slow network). The first must not show its
// window again and leave all the same: the new start waits for it to go, and is the client then.
void TestSingleInstance::startDuringASlowGoodbyeRunsOnceTheFirstHasGone()
{
    QFETCH(bool, closeWindow);
    const QString runtimeFolder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    Client first(dev, runtimeFolder, QStringLiteral("the first client"));
    QVERIFY(first.waitFor("instance-test: connected"));
    const qsizetype goodbyes = dev.goodbyes().size();
    dev.scriptReply("POST", "heartbeat", 0, {}, 3000, 0);
    if (closeWindow)
        first.process.write("close\n");
    else
        QCOMPARE(::kill(static_cast<pid_t>(first.process.processId()), SIGTERM), 0);
    QVERIFY(first.waitFor("[ClientExit] 客户端退出"));

    Client second(dev, runtimeFolder, QStringLiteral("the second start"));
    QVERIFY(first.process.waitForFinished(clientLimitMs));
    QCOMPARE(first.process.exitCode(), 0);
    QVERIFY(!first.log().contains("客户端再次启动, 显示窗口"));
    QVERIFY(dev.goodbyes().size() > goodbyes);
    dev.control(QStringLiteral("POST"), QStringLiteral("script/clear"));
    QVERIFY(second.waitFor("instance-test: connected"));
    QCOMPARE(second.process.state(), QProcess::Running);

    QVERIFY(second.leave());
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("0"));
}

// A first client that is frozen (stopped, or hung) takes the request and never answers: the new start
// must neither wait for the lock nor run beside it, whose engine it would take for an ended run's.
void TestSingleInstance::startBesideAFrozenFirstLeaves()
{
    const QString runtimeFolder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    Client first(dev, runtimeFolder, QStringLiteral("the first client"));
    QVERIFY(first.waitFor("instance-test: connected"));
    const qint64 core = StandinState::corePid();
    const auto pid = static_cast<pid_t>(first.process.processId());
    QCOMPARE(::kill(pid, SIGSTOP), 0);

    Client second(dev, runtimeFolder, QStringLiteral("the second start"));
    const bool left = second.process.waitForFinished(clientLimitMs);
    ::kill(pid, SIGCONT);
    QVERIFY(left);
    QCOMPARE(second.process.exitCode(), 0);
    QVERIFY(second.log().contains("[SingleInstance] 运行中的客户端没有应答"));
    QVERIFY(!second.log().contains("[EngineRecovery]"));
    QCOMPARE(StandinState::corePid(), core);

    QVERIFY(first.leave());
}

// A lock file that no client here holds: cut short by a power cut, garbage, another computer's (a
// settings folder copied over), or a run of this machine that has ended. No client answers for it,
// so the start takes it back and runs, saying which file it took.
void TestSingleInstance::lockNobodyHoldsIsTakenBack_data()
{
    QProcess ended;
    ended.start(QStringLiteral("true"));
    ended.waitForStarted();
    const qint64 endedPid = ended.processId();
    ended.waitForFinished();
    const QByteArray thisMachine = QSysInfo::machineHostName().toUtf8() + '\n' + QSysInfo::machineUniqueId() +
                                   '\n' + QSysInfo::bootUniqueId() + '\n';
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("garbage") << QByteArray("\x7f\x01 no pid here\n\xff\xfe");
    QTest::newRow("another machine's")
        << QByteArray("4242\nmirevo_instance_client\nanother-pc\n0123456789abcdef0123456789abcdef\n"
                      "00000000-1111-2222-3333-444444444444\n");
    QTest::newRow("an ended run of this machine")
        << QByteArray::number(endedPid) + "\nmirevo_instance_client\n" + thisMachine;
}

void TestSingleInstance::lockNobodyHoldsIsTakenBack()
{
    QFETCH(QByteArray, content);
    QVERIFY(writeLockFile(content));

    Client client(dev, qEnvironmentVariable("XDG_RUNTIME_DIR"));
    QVERIFY(client.waitFor("应用程序启动成功！"));
    QVERIFY(client.log().contains("[SingleInstance] 收回无人持有的锁文件: " + lockFile()));
    QVERIFY(!client.log().contains("运行中的客户端没有应答"));
    QVERIFY(client.waitFor("instance-test: connected"));
    QVERIFY(client.leave());
    QCOMPARE(client.process.exitCode(), 0);
}

void TestSingleInstance::garbledLockOfALiveClientStaysItsOwn_data()
{
    QTest::addColumn<bool>("frozen");
    QTest::newRow("the client answers") << false;
    QTest::newRow("the client is frozen") << true;
}

// A lock file that cannot be read is no proof that nobody runs: a client that answers gets the
// hand-over, and one that is frozen still makes the new start leave. Neither loses its lock.
void TestSingleInstance::garbledLockOfALiveClientStaysItsOwn()
{
    QFETCH(bool, frozen);
    const QString runtimeFolder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    Client first(dev, runtimeFolder, QStringLiteral("the first client"));
    QVERIFY(first.waitFor("instance-test: connected"));
    QVERIFY(writeLockFile("garbage"));
    const auto pid = static_cast<pid_t>(first.process.processId());
    const int shown = first.count("instance-test: shown");
    if (frozen)
        QCOMPARE(::kill(pid, SIGSTOP), 0);

    Client second(dev, runtimeFolder, QStringLiteral("the second start"));
    const bool left = second.process.waitForFinished(clientLimitMs);
    ::kill(pid, SIGCONT);
    QVERIFY(left);
    QCOMPARE(second.process.exitCode(), 0);
    QVERIFY(!second.log().contains("收回无人持有的锁文件"));
    QVERIFY(QFile::exists(lockFile()));
    if (!frozen)
        QVERIFY(first.waitFor("instance-test: shown", shown + 1));
    QCOMPARE(first.process.state(), QProcess::Running);
    QVERIFY(first.leave());
}

void TestSingleInstance::anotherUserGetsNothingOfTheChannel_data()
{
    runtimeFolderRows();
}

// Another user of the machine either cannot reach the hand-over channel or is dropped at once: the
// client neither grows nor holds on to descriptors for them, and a name they listen under first
// takes no hand-over away from the user.
void TestSingleInstance::anotherUserGetsNothingOfTheChannel()
{
    QFETCH(QString, runtimeFolder);
    QVERIFY(makeRuntimeFolder(runtimeFolder));
    // The name every earlier version listened under: an abstract one, which anybody may take.
    const QString oldName =
        QStringLiteral("@mirevo-") +
        QString::fromLatin1(
            QCryptographicHash::hash(settingsFolder().toUtf8(), QCryptographicHash::Sha256).toHex().left(24));
    const bool squat = !runtimeFolder.endsWith(QLatin1String("rrrr"));
    QProcess squatter;
    QString why;
    if (!startAsStranger(squatter, {"listen", oldName}, &why)) {
        // QSKIP with its message alone trips clang's pedantic check of its variadic arguments.
        QTest::qSkip(qPrintable(why), __FILE__, __LINE__);
        return;
    }
    QVERIFY(squatter.waitForReadyRead(clientLimitMs));
    const QByteArray listening = squatter.readLine();
    // Where the client itself falls back to that name, the squatter holds it first: its own case.
    if (squat)
        QVERIFY2(listening.startsWith("listening"), listening.constData());
    else
        squatter.kill();

    Client first(dev, runtimeFolder, QStringLiteral("the first client"), Client::Memory::Measured);
    QVERIFY(first.waitFor("instance-test: connected"));
    QVERIFY(first.waitFor("instance-test: hidden"));
    const QString channel = first.channel();
    QVERIFY(!channel.isEmpty());
    const auto pid = first.process.processId();

    const qint64 rssBefore = statusFigure(pid, "VmRSS");
    QProcess flood;
    QVERIFY(startAsStranger(flood, {"flood", channel}, &why));
    QVERIFY2(flood.waitForFinished(clientLimitMs * 2), "waiting for 100 MB to be sent");
    const QByteArray flooded = flood.readAll();
    const qint64 rssAfter = statusFigure(pid, "VmRSS");
    QVERIFY2(rssAfter - rssBefore < 16 * 1024, qPrintable(QStringLiteral("%1 kB before, %2 kB after: %3")
                                                              .arg(rssBefore)
                                                              .arg(rssAfter)
                                                              .arg(QString::fromUtf8(flooded))));

    const qsizetype descriptorsBefore = openDescriptors(pid);
    QProcess hold;
    QVERIFY(startAsStranger(hold, {"hold", channel}, &why));
    QVERIFY2(hold.waitForReadyRead(clientLimitMs), "waiting for 1000 connections to be made");
    const QByteArray holding = hold.readAll();
    // Whatever was let in is gone after the request limit, the rest never was; a few descriptors of
    // the client's own may come and go meanwhile (a heartbeat, a traffic read).
    QTRY_VERIFY2_WITH_TIMEOUT(openDescriptors(pid) <= descriptorsBefore + 2,
                              qPrintable(QStringLiteral("%1 descriptors before, %2 now: %3")
                                             .arg(descriptorsBefore)
                                             .arg(openDescriptors(pid))
                                             .arg(QString::fromUtf8(holding))),
                              clientLimitMs);
    hold.closeWriteChannel();
    QVERIFY(hold.waitForFinished(clientLimitMs));

    // The user's own second start still reaches the first client, whoever listens elsewhere.
    const int shown = first.count("instance-test: shown");
    Client second(dev, runtimeFolder, QStringLiteral("the second start"));
    QVERIFY(second.process.waitForFinished(clientLimitMs));
    QCOMPARE(second.process.exitCode(), 0);
    QVERIFY(first.waitFor("instance-test: shown", shown + 1));
    if (squat) {
        squatter.waitForReadyRead(100);
        QVERIFY2(!squatter.readAll().contains("called"), "the user's start called the other user's listener");
        squatter.kill();
        squatter.waitForFinished(clientLimitMs);
    }
    QVERIFY(first.leave());
}

int main(int argc, char *argv[])
{
    if (argc > 3 && qstrcmp(argv[1], strangerFlag) == 0)
        return stranger(argc, argv);
    QCoreApplication application(argc, argv);
    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleinstance.moc"
