#include "ChildLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <sys/types.h>

// Start-up of the real entry point, run as programs: the client itself, the same main without any
// QML module, and the same main with a window only at the fallback address.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void loadsTheWindowFromTheFirstAddress();
    void fallsBackToTheSecondAddress();
    void endsWithMinusOneWithoutAnEntryPoint();
    void signalsEndItThroughItsQuit_data();
    void signalsEndItThroughItsQuit();
    void runsWithoutAUsableSettingsFolder_data();
    void runsWithoutAUsableSettingsFolder();

private:
    static QString program(const QString &name)
    {
        return QCoreApplication::applicationDirPath() + '/' + name;
    }
    // Starts the client itself and gathers its output until its window is up. The limit only catches a
    // client that never comes up: the sanitizer build takes a few seconds, more on a busy machine.
    static bool startClient(QProcess &client, QByteArray &output)
    {
        client.setProcessChannelMode(QProcess::MergedChannels);
        output.clear();
        client.start(program("mirevo"));
        return client.waitForStarted() &&
               QTest::qWaitFor([&]() { return (output += client.readAll()).contains("应用程序启动成功！"); },
                               90000);
    }
};

namespace {
// Everything the ended process wrote, kept in `log` (shown if a check fails), as lines.
QStringList linesOf(QProcess &process, ChildLog &log)
{
    log.append(process.readAllStandardError() + process.readAllStandardOutput());
    return log.text().split('\n', Qt::SkipEmptyParts);
}

int indexOf(const QStringList &lines, const QString &fragment, int from = 0)
{
    for (int i = from; i < lines.size(); ++i) {
        if (lines.at(i).contains(fragment))
            return i;
    }
    return -1;
}
} // namespace

void TestStartup::loadsTheWindowFromTheFirstAddress()
{
    QProcess client;
    QByteArray output;
    ChildLog log(QStringLiteral("the client"));
    const bool up = startClient(client, output);
    client.kill();
    client.waitForFinished();
    log.append(output + client.readAll());
    QVERIFY(up);
    const QStringList lines = log.text().split('\n');

    const int paths = indexOf(lines, "导入路径:");
    QVERIFY(paths >= 0);
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString pathLine = lines.at(paths);
    const int own = pathLine.indexOf('"' + appDir + "/qml\"");
    const int modules = pathLine.indexOf("\"qrc:/qt/qml\"");
    const int root = pathLine.indexOf("\"qrc:/\"");
    // Later additions come first in the engine's list.
    QVERIFY2(root >= 0 && modules > root && own > modules, qPrintable(pathLine));

    QCOMPARE(lines.filter("尝试加载URL:"),
             QStringList{"尝试加载URL: qrc:/qt/qml/UntitledProject1Content/App.qml"});
    QCOMPARE(indexOf(lines, "第一种方式失败"), -1);
    QCOMPARE(indexOf(lines, "加载失败:"), -1);
    QVERIFY(indexOf(lines, "应用程序目录: " + appDir) >= 0);
}

void TestStartup::fallsBackToTheSecondAddress()
{
    QProcess client;
    ChildLog log(QStringLiteral("the client that fell back"));
    client.start(program("mirevo_startup_fallback"));
    const bool ended = client.waitForFinished(90000);
    const QStringList lines = linesOf(client, log);
    QVERIFY2(ended, "the end of the client that fell back");
    QCOMPARE(client.exitStatus(), QProcess::NormalExit);
    QCOMPARE(client.exitCode(), 0);

    const int first = indexOf(lines, "尝试加载URL: qrc:/qt/qml/UntitledProject1Content/App.qml");
    const int giveUp = indexOf(lines, "第一种方式失败，尝试直接路径...", first);
    const int second = indexOf(lines, "尝试加载URL: qrc:/UntitledProject1Content/App.qml", giveUp);
    const int started = indexOf(lines, "应用程序启动成功！", second);
    // The failure handler is queued: its lines come once the event loop runs.
    const int failed = indexOf(lines, "加载失败: qrc:/qt/qml/UntitledProject1Content/App.qml", started);
    const int retry = indexOf(lines, "尝试备用路径...", failed);
    QVERIFY2(first >= 0 && giveUp > first && second > giveUp && started > second && failed > started &&
                 retry > failed,
             qPrintable(lines.join('\n')));
}

void TestStartup::endsWithMinusOneWithoutAnEntryPoint()
{
    QProcess client;
    ChildLog log(QStringLiteral("the client without an entry point"));
    client.start(program("mirevo_startup_noentry"));
    const bool ended = client.waitForFinished(90000);
    const QStringList lines = linesOf(client, log);
    QVERIFY2(ended, "the end of the client without an entry point");
    QCOMPARE(client.exitStatus(), QProcess::NormalExit);
    QCOMPARE(client.exitCode(), 255); // -1 as the process's exit status
    // Start-up's last word; only the destructors of the facade speak after it.
    const int fallback = indexOf(lines, "尝试加载URL: qrc:/UntitledProject1Content/App.qml");
    const int gaveUp = indexOf(lines, "所有加载方式都失败了", fallback);
    QVERIFY2(fallback >= 0 && gaveUp > fallback, qPrintable(lines.join('\n')));
    QCOMPARE(indexOf(lines, "应用程序启动成功！"), -1);
    QCOMPARE(lines.mid(gaveUp + 1).filter(QRegularExpression("^[^\\[]")), QStringList());
    // No event loop ran, so the queued failure handler never spoke.
    QCOMPARE(indexOf(lines, "尝试备用路径..."), -1);
}

// A shutdown, Ctrl+C or a closed terminal ends the client as closing its window does: through the
// event loop's end, so that its teardown runs, and with exit code 0.
void TestStartup::signalsEndItThroughItsQuit_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestStartup::signalsEndItThroughItsQuit()
{
    QFETCH(int, signalNumber);
    QProcess client;
    QByteArray output;
    ChildLog log(QStringLiteral("the signalled client"));
    const bool up = startClient(client, output);
    log.append(output);
    QVERIFY2(up, "the client's window");
    QCOMPARE(::kill(static_cast<pid_t>(client.processId()), signalNumber), 0);
    const bool ended = client.waitForFinished(60000);
    log.append(client.readAll());
    QVERIFY2(ended, "the end of the signalled client");
    QCOMPARE(client.exitStatus(), QProcess::NormalExit);
    QCOMPARE(client.exitCode(), 0);
    QVERIFY(log.contains("[TerminationSignals] 收到终止信号"));
}

// The settings folder cannot be made: the client runs all the same, as it does with settings it cannot
// keep, and is still the only one: a second start with the same folder hands over to it.
void TestStartup::runsWithoutAUsableSettingsFolder_data()
{
    QTest::addColumn<QString>("dataHome");
    QTest::addColumn<QString>("blocker"); // a file where a folder should be
    const QString temp = QDir::tempPath();
    QTest::newRow("a file in place of a parent folder") << temp + "/blocked/share" << temp + "/blocked";
    QTest::newRow("a file in place of the client's folder") << temp + "/share" << temp + "/share/mirevo";
}

void TestStartup::runsWithoutAUsableSettingsFolder()
{
    QFETCH(QString, dataHome);
    QFETCH(QString, blocker);
    QVERIFY(QDir().mkpath(QFileInfo(blocker).absolutePath()));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", dataHome);

    QProcess first;
    first.setProcessEnvironment(environment);
    QByteArray output;
    ChildLog firstLog(QStringLiteral("the first client"));
    const bool up = startClient(first, output);
    firstLog.append(output + first.readAll());
    QVERIFY2(up && first.state() == QProcess::Running, "the first client's window");

    QProcess second;
    second.setProcessEnvironment(environment);
    second.setProcessChannelMode(QProcess::MergedChannels);
    ChildLog secondLog(QStringLiteral("the second start"));
    second.start(program("mirevo"));
    const bool ended = second.waitForFinished(90000);
    secondLog.append(second.readAll());
    QVERIFY2(ended, "the end of the second start");
    QCOMPARE(second.exitCode(), 0);
    QVERIFY2(QTest::qWaitFor(
                 [&]() {
                     first.waitForReadyRead(50);
                     firstLog.append(first.readAll());
                     return firstLog.contains("客户端再次启动, 显示窗口");
                 },
                 30000),
             "the first client hearing of the second start");
    QCOMPARE(first.state(), QProcess::Running);
    QCOMPARE(::kill(static_cast<pid_t>(first.processId()), SIGTERM), 0);
    QVERIFY2(first.waitForFinished(60000), "the end of the first client");
    QVERIFY(QFile::remove(blocker));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
