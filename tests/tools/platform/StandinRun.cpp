#include "StandinRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>

StandinRun StandinRun::run(const QString &program, const QStringList &arguments, int limitMs)
{
    StandinRun result;
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    process.closeWriteChannel();
    result.finished = process.waitForFinished(limitMs);
    result.elapsedMs = clock.elapsed();
    if (!result.finished) {
        process.kill();
        process.waitForFinished(1000);
    }
    result.status = process.exitStatus();
    result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QString StandinRun::coreDirectory()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/resources/vpn/x32");
}
