// Start-up figures of the real client, offscreen: the time from starting the process to the first
// frame of its window, and its resident memory 5 s after the main screen shows for a signed-in user,
// read against the floor: the same 5 s after the first frame of a bare Qt Quick window of the client's
// kind (bench/floor).
//
//   mirevo_startup_bench <client executable> <floor executable> [rounds]
//
// The signed-in state is the one a returning user has: a token and a user in the settings file. The
// service itself is not needed for either figure (the client only logs that it cannot reach it).

#include "Median.h"

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

namespace {

struct Memory
{
    double residentMb = -1;
    double anonymousMb = -1;
};

struct Run
{
    qint64 firstFrameMs = -1;
    Memory memory;
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

Memory memoryOf(qint64 pid)
{
    Memory memory;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return memory;
    const auto megabytes = [](const QByteArray &line, int keyLength) {
        return line.mid(keyLength).trimmed().split(' ').value(0).toDouble() / 1024.0;
    };
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmRSS:"))
            memory.residentMb = megabytes(line, 6);
        else if (line.startsWith("RssAnon:"))
            memory.anonymousMb = megabytes(line, 8);
    }
    return memory;
}

// One start of `program`; with measureMemory, it runs on until 5 s after the line `idleFrom` appeared in
// its output (the client's main screen, the floor's first frame).
Run runOnce(const QString &program, bool measureMemory, const QByteArray &idleFrom)
{
    QTemporaryDir sandbox;
    const QString dataHome = sandbox.filePath(QStringLiteral("data"));
    writeSignedInSettings(dataHome, QFileInfo(program).fileName());

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
    bool idleSeen = false;
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
        if (measureMemory && !idleSeen && pending.contains(idleFrom)) {
            idleSeen = true;
            QTimer::singleShot(5000, &loop, [&]() {
                run.memory = memoryOf(process.processId());
                loop.quit();
            });
        }
    });
    clock.start();
    process.start(program, {});
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
    if (arguments.size() < 3) {
        QTextStream(stderr)
            << "usage: mirevo_startup_bench <client executable> <floor executable> [rounds]\n";
        return 2;
    }
    const QString client = arguments.at(1);
    const QString floor = arguments.at(2);
    const int rounds = qMax(1, arguments.size() > 3 ? arguments.at(3).toInt() : 5);

    QList<double> frames;
    for (int i = 0; i < rounds; ++i) {
        const Run run = runOnce(client, false, {});
        if (run.firstFrameMs < 0) {
            QTextStream(stderr) << "startup: the client showed no frame\n";
            return 1;
        }
        frames.append(run.firstFrameMs);
    }

    // Client and floor in turns, so that both meet the same machine.
    QList<double> clientResident, clientAnonymous, floorResident, floorAnonymous;
    for (int i = 0; i < 3; ++i) {
        const Memory idle = runOnce(client, true, "主界面加载完成").memory;
        const Memory bare = runOnce(floor, true, "Frame rendered").memory;
        if (idle.residentMb < 0 || bare.residentMb < 0) {
            QTextStream(stderr) << "idle: " << (idle.residentMb < 0 ? "the client" : "the floor")
                                << " never became idle\n";
            return 1;
        }
        clientResident << idle.residentMb;
        clientAnonymous << idle.anonymousMb;
        floorResident << bare.residentMb;
        floorAnonymous << bare.anonymousMb;
    }

    QTextStream out(stdout);
    out.setRealNumberNotation(QTextStream::FixedNotation);
    out.setRealNumberPrecision(1);
    out << "startup first_frame_ms=" << qRound(median(frames)) << Qt::endl;
    out << "idle rss_mb=" << median(clientResident) << " floor_mb=" << median(floorResident);
    out.setRealNumberPrecision(2);
    out << " ratio=" << median(clientResident) / median(floorResident) << Qt::endl;
    out.setRealNumberPrecision(1);
    out << "idle anon_mb=" << median(clientAnonymous) << " floor_anon_mb=" << median(floorAnonymous)
        << Qt::endl;
    return 0;
}
