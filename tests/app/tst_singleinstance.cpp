#include "DevService.h"
#include "LocalPorts.h"
#include "StandinState.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <sys/types.h>

namespace {

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

// A start of the client, with what it logged gathered.
class Client
{
public:
    Client(const DevService &dev, const QString &runtimeFolder)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("MIREVO_TEST_BASE_URL", dev.baseUrl());
        environment.insert("XDG_RUNTIME_DIR", runtimeFolder);
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(clientProgram(), {DevService::demoEmail(), DevService::demoPassword()});
        process.waitForStarted(5000);
    }
    ~Client()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    QString log()
    {
        text += QString::fromUtf8(process.readAll());
        return text;
    }
    int count(const QString &line) { return int(log().count(line)); }
    bool waitFor(const QString &line, int times = 1)
    {
        if (QTest::qWaitFor([&]() { return count(line) >= times; }, 20000))
            return true;
        qWarning().noquote() << "the client did not say" << line << "; it logged:\n" << log();
        return false;
    }

    QProcess process;

private:
    QString text;
};

} // namespace

// A second start of the client while one runs (a double click on the icon, an autostart entry) must
// not run a second engine beside the first: its start-up repair would take the first's connection
// for an ended run's. It brings the first window forward and leaves, having written nothing.
class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void secondStartHandsOverToTheFirst_data();
    void secondStartHandsOverToTheFirst();
    void startWhileTheFirstLeavesRunsOnceItHasGone();
    void startBesideAFrozenFirstLeaves();

private:
    DevService dev;
};

void TestSingleInstance::initTestCase()
{
    StandinState::reset();
    LocalPorts::useFree();
    QVERIFY(dev.start());
}

// The user's runtime folder may lie deep (a home on a long path): deeper than a socket's path may be.
void TestSingleInstance::secondStartHandsOverToTheFirst_data()
{
    QTest::addColumn<QString>("runtimeFolder");
    QTest::newRow("the test's runtime folder") << qEnvironmentVariable("XDG_RUNTIME_DIR");
    QTest::newRow("a runtime folder longer than a socket path")
        << qEnvironmentVariable("XDG_RUNTIME_DIR") + '/' + QString(110, 'r');
}

void TestSingleInstance::secondStartHandsOverToTheFirst()
{
    QFETCH(QString, runtimeFolder);
    QVERIFY(QDir().mkpath(runtimeFolder));
    QFile::setPermissions(runtimeFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    Client first(dev, runtimeFolder);
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

    Client second(dev, runtimeFolder);
    QVERIFY(second.process.waitForFinished(10000));
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
    QVERIFY2(!second.log().contains("[EngineRecovery]"), qPrintable(second.log()));

    // The first still leaves as a client does, and takes its connection with it.
    QCOMPARE(::kill(static_cast<pid_t>(first.process.processId()), SIGTERM), 0);
    QVERIFY(first.process.waitForFinished(15000));
    QCOMPARE(first.process.exitCode(), 0);
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("0"));
    QVERIFY(!dev.goodbyes().isEmpty());
}

// The user closes the client and starts it again at once, while the first still takes its connection
// down (its goodbye is answered late). The first must not show its window again and leave all the
// same: the new start waits for it to go, and is the client then.
void TestSingleInstance::startWhileTheFirstLeavesRunsOnceItHasGone()
{
    const QString runtimeFolder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    Client first(dev, runtimeFolder);
    QVERIFY(first.waitFor("instance-test: connected"));
    const int shown = first.count("instance-test: shown");
    dev.scriptReply("POST", "heartbeat", 0, {}, 1500, 0);
    QCOMPARE(::kill(static_cast<pid_t>(first.process.processId()), SIGTERM), 0);
    QVERIFY(first.waitFor("[TerminationSignals] 收到终止信号"));

    Client second(dev, runtimeFolder);
    QVERIFY(first.process.waitForFinished(15000));
    QCOMPARE(first.process.exitCode(), 0);
    QCOMPARE(first.count("instance-test: shown"), shown);
    dev.control(QStringLiteral("POST"), QStringLiteral("script/clear"));
    QVERIFY2(second.waitFor("instance-test: connected"), qPrintable(second.log()));
    QCOMPARE(second.process.state(), QProcess::Running);

    QCOMPARE(::kill(static_cast<pid_t>(second.process.processId()), SIGTERM), 0);
    QVERIFY(second.process.waitForFinished(15000));
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("0"));
}

// A first client that is frozen (stopped, or hung) takes the request and never answers: the new start
// must neither wait for the lock nor run beside it, whose engine it would take for an ended run's.
void TestSingleInstance::startBesideAFrozenFirstLeaves()
{
    const QString runtimeFolder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    Client first(dev, runtimeFolder);
    QVERIFY(first.waitFor("instance-test: connected"));
    const qint64 core = StandinState::corePid();
    const auto pid = static_cast<pid_t>(first.process.processId());
    QCOMPARE(::kill(pid, SIGSTOP), 0);

    Client second(dev, runtimeFolder);
    const bool left = second.process.waitForFinished(10000);
    ::kill(pid, SIGCONT);
    QVERIFY(left);
    QCOMPARE(second.process.exitCode(), 0);
    QVERIFY2(second.log().contains("[SingleInstance] 运行中的客户端没有应答"), qPrintable(second.log()));
    QVERIFY2(!second.log().contains("[EngineRecovery]"), qPrintable(second.log()));
    QCOMPARE(StandinState::corePid(), core);

    QCOMPARE(::kill(pid, SIGTERM), 0);
    QVERIFY(first.process.waitForFinished(15000));
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
