#include "vpn/EngineRecovery.h"

#include "vpn/CommandRunner.h"
#include "vpn/CommandSequence.h"
#include "vpn/EngineRecords.h"
#include "vpn/RunIdentity.h"
#include "vpn/SystemProxyManager.h"
#include "vpn/Tun2SocksManager.h"
#include "vpn/V2RayCore.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTimer>

namespace Tavorin::Api::Vpn {

namespace {

const QString tag = QStringLiteral("[EngineRecovery]");
const QString configFolderKey = QStringLiteral("configFolder");
constexpr int processPollMs = 100;

// Only a configuration folder of the client's own making is removed, whatever the record says: a
// link or a junction planted in its place leads elsewhere, and removing through it would remove
// what it leads to.
bool isConfigurationFolder(const QString &path)
{
    const QFileInfo folder(path);
    const QString root = V2RayCore::configurationRoot();
    return !path.isEmpty() && !root.isEmpty() && folder.isDir() && !folder.isSymLink() &&
           !folder.isJunction() && folder.fileName().startsWith(QLatin1String("tavorin-")) &&
           QDir(folder.absolutePath()) == QDir(root);
}

bool removeConfigurationFolder(const QString &path)
{
    if (!isConfigurationFolder(path) || !QDir(path).removeRecursively())
        return false;
    qDebug().noquote() << tag << "已删除上次运行的配置文件:" << path;
    return true;
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
    if (EngineRecords::fromEndedRun(proxy))
        steps.append([this, proxy]() { switchProxyOff(proxy); });
    if (EngineRecords::fromEndedRun(adapter))
        steps.append([this, adapter]() { undoAdapter(adapter); });
    if (EngineRecords::fromEndedRun(tunnel))
        steps.append([this, tunnel]() { endProcess(EngineRecords::tunnel, tunnel); });
    if (EngineRecords::fromEndedRun(core))
        steps.append([this, core]() { endProcess(EngineRecords::core, core); });
    // A run killed between making its configuration folder and noting it leaves a folder that no
    // record names; its name still tells whose it is.
    if (!steps.isEmpty() || !endedRunsFolders().isEmpty())
        steps.append([this]() { removeEndedRunsFolders(); });
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

QString EngineRecovery::registryData(const QByteArray &answer, const QString &name)
{
    // "    NAME    REG_SZ    DATA": the name may hold blanks, the data too, and may be empty.
    static const QRegularExpression row(QStringLiteral("^\\s+(.+?)\\s+(REG_[A-Z_]+)(?:\\s+(.*))?$"));
    const QStringList lines = QString::fromLocal8Bit(answer).split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QRegularExpressionMatch match = row.match(line);
        if (match.hasMatch() && match.captured(1).compare(name, Qt::CaseInsensitive) == 0)
            return match.captured(3).trimmed();
    }
    return {};
}

// The user may have pointed the system at a proxy of their own since that run ended: only settings
// that still name the recorded proxy are ours to switch off.
void EngineRecovery::switchProxyOff(const QJsonObject &record)
{
    const QString ours = SystemProxyManager::proxyServerValue(record.value(QStringLiteral("url")).toString());
    CommandRunner::executeAsync(
        QStringLiteral("reg"),
        {QStringLiteral("query"), SystemProxyManager::internetSettingsKey(), QStringLiteral("/v"),
         QStringLiteral("ProxyServer")},
        commandTimeoutMs, this, [this, record, ours](const CommandRunner::Result &result) {
            if (!result.finished) {
                qWarning().noquote() << tag << "无法读取系统代理设置, 下次启动时再试";
                next();
                return;
            }
            // A value that is not there (reg exits 1) is no proxy of ours either.
            const QString current = result.exitCode == 0
                                        ? registryData(result.standardOutput, QStringLiteral("ProxyServer"))
                                        : QString();
            if (ours.isEmpty() || current != ours) {
                qDebug().noquote() << tag << "系统代理已被更改, 保留当前设置:" << current;
                EngineRecords::clearTaken(EngineRecords::systemProxy, record);
                next();
                return;
            }
            qDebug().noquote() << tag << "关闭上次运行设置的系统代理";
            SystemProxyManager::clearSystemProxyInBackground(this, [this, record](bool cleared) {
                // What could not be switched off stays on record, to be tried again at the next start.
                if (cleared)
                    EngineRecords::clearTaken(EngineRecords::systemProxy, record);
                else
                    qWarning().noquote() << tag << "系统代理未能完全关闭, 下次启动时再试";
                next();
            });
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
    undo.runInBackground(this, [this, record]() {
        EngineRecords::clearTaken(EngineRecords::adapter, record);
        next();
    });
}

bool EngineRecovery::taskListShows(const QByteArray &answer, qint64 pid, const QString &image)
{
    // One row per process, every field quoted: "xray.exe","1234","Console","1","12,345 K". Other
    // lines (a header, "INFO: No tasks ...") are no rows; an image name only containing the one
    // looked for ("myxray.exe") is another program.
    const QString id = QString::number(pid);
    const QStringList lines = QString::fromLocal8Bit(answer).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString row = line.trimmed();
        if (row.size() < 2 || !row.startsWith(QLatin1Char('"')) || !row.endsWith(QLatin1Char('"')))
            continue;
        const QStringList fields = row.mid(1, row.size() - 2).split(QStringLiteral("\",\""));
        if (fields.size() >= 2 && fields.at(0).compare(image, Qt::CaseInsensitive) == 0 && fields.at(1) == id)
            return true;
    }
    return false;
}

// `answer` learns whether the task list shows `image` under `pid`, and whether the list could be
// read at all.
void EngineRecovery::listsImage(qint64 pid, const QString &image,
                                const std::function<void(bool found, bool known)> &answer)
{
    CommandRunner::executeAsync(
        QStringLiteral("tasklist"),
        {QStringLiteral("/FI"), QStringLiteral("PID eq %1").arg(pid), QStringLiteral("/FO"),
         QStringLiteral("CSV"), QStringLiteral("/NH")},
        commandTimeoutMs, this, [pid, image, answer](const CommandRunner::Result &result) {
            answer(result.succeeded() && taskListShows(result.standardOutput, pid, image),
                   result.succeeded());
        });
}

// The process is ended only while it is still the run that the record names: the task list shows the
// image it started as under its id, and the process under that id started when the record says. An
// id that another program took over since is left alone, also one that runs a program of the same
// name (any tool may ship an xray.exe).
void EngineRecovery::endProcess(const QString &key, const QJsonObject &record)
{
    const qint64 pid = record.value(QStringLiteral("pid")).toInteger();
    const QString image = record.value(QStringLiteral("image")).toString();
    const QString run = EngineRecords::processRunOf(record);
    if (pid <= 0 || image.isEmpty()) {
        forgetProcess(key, record);
        return;
    }
    if (run.isEmpty()) {
        // An older build's record: nothing tells its process from whatever got the id since.
        qWarning().noquote() << tag << "记录未写明进程的启动, 不结束它:" << image << "PID:" << pid;
        forgetProcess(key, record);
        return;
    }
    listsImage(pid, image, [this, key, record, pid, image, run](bool found, bool known) {
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
        // Looked at last, just before the kill, so that the id has the least time to change hands.
        if (RunIdentity::ofProcess(pid) != run) {
            qDebug().noquote() << tag << "进程号已属于另一个进程, 保留它:" << image << "PID:" << pid;
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

// The next connect needs the ports the process held: it counts as ended once the list no longer shows
// it. A list that cannot be read says nothing either way.
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
    removeConfigurationFolder(record.value(configFolderKey).toString());
    EngineRecords::clearTaken(key, record);
    next();
}

// The configuration folders of runs that have ended, but for those that a record still to be
// taken back names (its process could not be ended: the folder goes with it, next time).
QStringList EngineRecovery::endedRunsFolders()
{
    const QString root = V2RayCore::configurationRoot();
    if (root.isEmpty())
        return {};
    QStringList kept;
    for (const QString &key : EngineRecords::keys())
        kept.append(EngineRecords::read(key).value(configFolderKey).toString());
    QStringList ended;
    const QFileInfoList entries = QDir(root).entryInfoList({QStringLiteral("tavorin-*")},
                                                           QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QFileInfo &entry : entries) {
        const QString run = V2RayCore::runOfConfigurationFolder(entry.fileName());
        if (!run.isEmpty() && !RunIdentity::isAlive(run) && !kept.contains(entry.absoluteFilePath()))
            ended.append(entry.absoluteFilePath());
    }
    return ended;
}

void EngineRecovery::removeEndedRunsFolders()
{
    const QStringList folders = endedRunsFolders();
    for (const QString &folder : folders)
        removeConfigurationFolder(folder);
    next();
}

} // namespace Tavorin::Api::Vpn
