// Start-up figures of the real client, offscreen: the time from starting the process to the first
// frame of its window, and its resident memory 5 s after the main screen shows for a signed-in user.
//
//   mirevo_startup_bench <client executable> [rounds]
//
// The signed-in state is the one a returning user has: a token and a user in the settings file. The
// service itself is not needed for either figure (the client only logs that it cannot reach it).

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>

namespace {

struct Run
{
    qint64 firstFrameMs = -1;
    double rssMb = -1;
};

void writeSignedInSettings(const QString &dataHome, const QString &appName)
{
    QDir(dataHome).mkpath(appName);
    QSettings settings(dataHome + QLatin1Char('/') + appName + QStringLiteral("/tavorin_settings.ini"),
                       QSettings::IniFormat);
    const QJsonObject user{{"id", 1},        {"email", "demo@mirevo.dev"},
                           {"name", "demo"}, {"status", "active"},
                           {"is_vip", true}, {"vip_expires_at", "2099-01-01T00:00:00Z"}};
    settings.setValue("auth_token", "bench-token");
    settings.setValue("user_info", QString::fromUtf8(QJsonDocument(user).toJson(QJsonDocument::Compact)));
}

double residentMb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

// One start of the client; with measureMemory, it runs on until 5 s after the main screen showed.
Run runOnce(const QString &client, bool measureMemory)
{
    QTemporaryDir sandbox;
    const QString dataHome = sandbox.filePath(QStringLiteral("data"));
    writeSignedInSettings(dataHome, QFileInfo(client).fileName());

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", sandbox.path());
    environment.insert("XDG_DATA_HOME", dataHome);
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("QT_LOGGING_RULES", "qt.scenegraph.time.renderloop=true");

    Run run;
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer clock;
    QByteArray pending;
    bool mainScreenShown = false;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::readyRead, &loop, [&]() {
        pending += process.readAll();
        if (run.firstFrameMs < 0 && pending.contains("Frame rendered")) {
            run.firstFrameMs = clock.elapsed();
            if (!measureMemory)
                loop.quit();
        }
        if (measureMemory && !mainScreenShown && pending.contains("主界面加载完成")) {
            mainScreenShown = true;
            QTimer::singleShot(5000, &loop, [&]() {
                run.rssMb = residentMb(process.processId());
                loop.quit();
            });
        }
    });
    clock.start();
    process.start(client, {});
    limit.start(30000);
    loop.exec();
    process.kill();
    process.waitForFinished();
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 2) {
        QTextStream(stderr) << "usage: mirevo_startup_bench <client executable> [rounds]\n";
        return 2;
    }
    const QString client = arguments.at(1);
    const int rounds = arguments.size() > 2 ? arguments.at(2).toInt() : 5;

    QList<qint64> frames;
    for (int i = 0; i < rounds; ++i) {
        const Run run = runOnce(client, false);
        if (run.firstFrameMs < 0) {
            QTextStream(stderr) << "startup: the client showed no frame\n";
            return 1;
        }
        frames.append(run.firstFrameMs);
    }
    std::sort(frames.begin(), frames.end());
    const Run idle = runOnce(client, true);

    QTextStream out(stdout);
    out << "startup first_frame_ms=" << frames.at(frames.size() / 2) << Qt::endl;
    out << "idle rss_mb=" << qRound(idle.rssMb) << Qt::endl;
    return idle.rssMb < 0 ? 1 : 0;
}
