#include "CoreProcess.h"

#include "ClientConfig.h"
#include "StandinRun.h"

#include <QRegularExpression>
#include <QTest>

CoreProcess::~CoreProcess()
{
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(1000);
        }
    }
}

QString CoreProcess::path()
{
    return StandinRun::coreDirectory() + QStringLiteral("/xray.exe");
}

QStringList CoreProcess::runArguments(const QJsonObject &document)
{
    return {QStringLiteral("run"), QStringLiteral("-c"), ClientConfig::write(document),
            QStringLiteral("--disable-color")};
}

bool CoreProcess::start(const QJsonObject &document)
{
    process.start(path(), runArguments(document));
    if (!process.waitForStarted(30000))
        return false;
    // Only catches a core that never comes up: it takes a second at most, the sanitizer build's included.
    (void)QTest::qWaitFor(
        [this]() {
            return output().contains(QStringLiteral("core started")) ||
                   process.state() == QProcess::NotRunning;
        },
        60000);
    return process.state() == QProcess::Running && output().contains(QStringLiteral("core started"));
}

QString CoreProcess::output()
{
    out += QString::fromUtf8(process.readAllStandardOutput());
    return out;
}

QString CoreProcess::errors()
{
    err += QString::fromUtf8(process.readAllStandardError());
    return err;
}

qint64 CoreProcess::v2rayPid()
{
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("through v2ray \\(pid (\\d+)\\)")).match(output());
    return match.hasMatch() ? match.captured(1).toLongLong() : 0;
}
