#include "vpn/EngineRecovery.h"

#include "vpn/CommandRunner.h"
#include "vpn/CommandSequence.h"
#include "vpn/EngineRecords.h"
#include "vpn/SystemProxyManager.h"
#include "vpn/Tun2SocksManager.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QStandardPaths>
#include <QTimer>

namespace Tavorin::Api::Vpn {

namespace {

const QString tag = QStringLiteral("[EngineRecovery]");
constexpr int processPollMs = 100;

// Only a configuration folder of the client's own making is removed, whatever the record says.
bool isConfigurationFolder(const QString &path)
{
    const QFileInfo folder(path);
    return !path.isEmpty() && folder.isDir() && !folder.isSymLink() &&
           folder.fileName().startsWith(QLatin1String("tavorin-")) &&
           QDir(folder.absolutePath()) ==
               QDir(QStandardPaths::writableLocation(QStandardPaths::TempLocation));
}

} // namespace

EngineRecovery *EngineRecovery::instance()
{
    static EngineRecovery *recovery = new EngineRecovery();
    return recovery;
}

EngineRecovery::EngineRecovery(QObject *parent)
    : QObject(parent), commandTimeoutMs(CommandRunner::defaultTimeoutMs)
{}

void EngineRecovery::start()
{
    if (started)
        return;
    started = true;
    const QJsonObject proxy = EngineRecords::read(EngineRecords::systemProxy);
    const QJsonObject adapter = EngineRecords::read(EngineRecords::adapter);
    const QJsonObject tunnel = EngineRecords::read(EngineRecords::tunnel);
    const QJsonObject core = EngineRecords::read(EngineRecords::core);
    // The adapter is configured through the tunnel program, so it is taken back while that still runs.
    if (EngineRecords::fromEarlierRun(proxy))
        steps.append([this]() { switchProxyOff(); });
    if (EngineRecords::fromEarlierRun(adapter))
        steps.append([this, adapter]() { undoAdapter(adapter); });
    if (EngineRecords::fromEarlierRun(tunnel))
        steps.append([this, tunnel]() { endProcess(EngineRecords::tunnel, tunnel); });
    if (EngineRecords::fromEarlierRun(core))
        steps.append([this, core]() { endProcess(EngineRecords::core, core); });
    if (steps.isEmpty())
        return;
    running = true;
    qWarning().noquote() << tag << "上次运行未能正常结束, 恢复它留下的设置";
    next();
}

void EngineRecovery::next()
{
    if (steps.isEmpty()) {
        running = false;
        qDebug().noquote() << tag << "恢复完成";
        emit finished();
        return;
    }
    const std::function<void()> step = steps.takeFirst();
    step();
}

void EngineRecovery::switchProxyOff()
{
    qDebug().noquote() << tag << "关闭上次运行设置的系统代理";
    SystemProxyManager::clearSystemProxyInBackground(this, [this](bool cleared) {
        // What could not be switched off stays on record, to be tried again at the next start.
        if (cleared)
            EngineRecords::clear(EngineRecords::systemProxy);
        else
            qWarning().noquote() << tag << "系统代理未能完全关闭, 下次启动时再试";
        next();
    });
}

void EngineRecovery::undoAdapter(const QJsonObject &record)
{
    qDebug().noquote() << tag << "清除上次运行的wintun配置";
    CommandSequence undo(tag, commandTimeoutMs);
    const QJsonArray routes = record.value(QStringLiteral("routes")).toArray();
    for (const QJsonValue &prefix : routes)
        undo.then(
            {QStringLiteral("netsh"), Tun2SocksManager::deleteRouteArguments(prefix.toString()), {}, {}, {}});
    if (record.value(QStringLiteral("dns")).toBool())
        undo.then({QStringLiteral("netsh"), Tun2SocksManager::dnsToDhcpArguments(), {}, {}, {}});
    if (record.value(QStringLiteral("address")).toBool())
        undo.then({QStringLiteral("netsh"), Tun2SocksManager::addressToDhcpArguments(), {}, {}, {}});
    // An adapter that is gone took its configuration with it: failures leave nothing to retry.
    undo.runInBackground(this, [this]() {
        EngineRecords::clear(EngineRecords::adapter);
        next();
    });
}

// `answer` learns whether the task list shows `image` under `pid`, and whether the list could be
// read at all.
void EngineRecovery::listsImage(qint64 pid, const QString &image,
                                const std::function<void(bool found, bool known)> &answer)
{
    CommandRunner::executeAsync(
        QStringLiteral("tasklist"), {QStringLiteral("/FI"), QStringLiteral("PID eq %1").arg(pid)},
        commandTimeoutMs, this, [image, answer](const CommandRunner::Result &result) {
            answer(result.succeeded() && QString::fromLocal8Bit(result.standardOutput).contains(image),
                   result.succeeded());
        });
}

// The process is ended only while the task list shows the image it started as under its id: an id
// that another program took over since is left alone.
void EngineRecovery::endProcess(const QString &key, const QJsonObject &record)
{
    const qint64 pid = record.value(QStringLiteral("pid")).toInteger();
    const QString image = record.value(QStringLiteral("image")).toString();
    if (pid <= 0 || image.isEmpty()) {
        forgetProcess(key, record);
        return;
    }
    listsImage(pid, image, [this, key, record, pid, image](bool found, bool known) {
        if (!known) {
            qWarning().noquote() << tag << "无法读取进程列表, 保留记录:" << image << pid;
            next();
            return;
        }
        if (!found) {
            qDebug().noquote() << tag << "上次运行的进程已不在:" << image << "PID:" << pid;
            forgetProcess(key, record);
            return;
        }
        qDebug().noquote() << tag << "结束上次运行遗留的进程:" << image << "PID:" << pid;
        CommandRunner::runAsync(tag, QStringLiteral("taskkill"),
                                {QStringLiteral("/F"), QStringLiteral("/PID"), QString::number(pid)},
                                commandTimeoutMs, this, [this, key, record](bool) {
                                    waitUntilGone(key, record, qMax(1, processEndLimitMs / processPollMs));
                                });
    });
}

// The next connect needs the ports the process held: it counts as ended once the list no longer shows it.
void EngineRecovery::waitUntilGone(const QString &key, const QJsonObject &record, int pollsLeft)
{
    const qint64 pid = record.value(QStringLiteral("pid")).toInteger();
    const QString image = record.value(QStringLiteral("image")).toString();
    listsImage(pid, image, [this, key, record, pollsLeft, pid, image](bool found, bool known) {
        if (known && !found) {
            forgetProcess(key, record);
        } else if (pollsLeft <= 1) {
            qWarning().noquote() << tag << "遗留进程未能结束, 保留记录:" << image << "PID:" << pid;
            next();
        } else {
            QTimer::singleShot(processPollMs, this, [this, key, record, pollsLeft]() {
                waitUntilGone(key, record, pollsLeft - 1);
            });
        }
    });
}

void EngineRecovery::forgetProcess(const QString &key, const QJsonObject &record)
{
    const QString folder = record.value(QStringLiteral("configFolder")).toString();
    if (isConfigurationFolder(folder) && QDir(folder).removeRecursively())
        qDebug().noquote() << tag << "已删除上次运行的配置文件:" << folder;
    EngineRecords::clear(key);
    next();
}

} // namespace Tavorin::Api::Vpn
