#include "DemoEndpointProcess.h"

#include "ProcessTies.h"

#include <QDebug>
#include <QDir>
#include <QRegularExpression>
#include <QTest>

DemoEndpointProcess::DemoEndpointProcess(QObject *parent) : QObject(parent)
{
    endpoint.setProcessChannelMode(QProcess::MergedChannels);
}

DemoEndpointProcess::~DemoEndpointProcess()
{
    ProcessTies::endByClosingInput(endpoint, 3000);
}

bool DemoEndpointProcess::start(const QString &folder)
{
    directory = folder;
    printed.clear();
    inbounds.clear();
    endpoint.start(QStringLiteral(MIREVO_DEMO_ENDPOINT_PATH),
                   {QStringLiteral("--dir"), folder, QStringLiteral("--exit-with-stdin")});
    const QRegularExpression line(QStringLiteral("^vmess endpoint on 127\\.0\\.0\\.1: (.*)$"),
                                  QRegularExpression::MultilineOption);
    QRegularExpressionMatch ready;
    const bool started = QTest::qWaitFor(
        [&]() {
            ready = line.match(output());
            return ready.hasMatch() || endpoint.state() == QProcess::NotRunning;
        },
        60000);
    if (!started || !ready.hasMatch()) {
        qWarning().noquote() << "[DemoEndpointProcess] no ready line:" << output();
        return false;
    }
    for (const QString &entry : ready.captured(1).split(QStringLiteral(", "))) {
        const QStringList parts = entry.split(QLatin1Char(' '));
        if (parts.size() == 2)
            inbounds.insert(parts.at(0), static_cast<quint16>(parts.at(1).toUInt()));
    }
    return !inbounds.isEmpty();
}

QString DemoEndpointProcess::linesFile() const
{
    return QDir(directory).filePath(QStringLiteral("endpoint.json"));
}

QString DemoEndpointProcess::output()
{
    printed += endpoint.readAll();
    return QString::fromUtf8(printed);
}
