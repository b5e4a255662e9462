#include "StandinStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QThread>

#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace Standin {

namespace {

const char *const StateFile = "state.json";
const char *const CommandsFile = "commands.jsonl";
const char *const FaultsFile = "faults.json";

// Every read-modify-write of the folder holds this; the client runs its commands one at a time, but
// the core and tun2socks stand-ins live beside them.
class FolderLock
{
public:
    FolderLock()
    {
        const QByteArray path = QFile::encodeName(StandinStore::folder() + QStringLiteral("/.lock"));
        fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::flock(fd, LOCK_EX);
    }
    ~FolderLock()
    {
        if (fd >= 0) {
            ::flock(fd, LOCK_UN);
            ::close(fd);
        }
    }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

private:
    int fd = -1;
};

QString pathOf(const char *name)
{
    return StandinStore::folder() + QLatin1Char('/') + QLatin1String(name);
}

QJsonDocument readJson(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll());
}

void writeJson(const QString &path, const QJsonDocument &document)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(document.toJson(QJsonDocument::Indented));
    file.commit();
}

QString withoutExe(const QString &program)
{
    const QString name = QFileInfo(program).fileName().toLower();
    return name.endsWith(QLatin1String(".exe")) ? name.chopped(4) : name;
}

QByteArray readProcFile(qint64 pid, const char *entry)
{
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(entry)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

const QString StandinStore::listeningStage = QStringLiteral("listening");
const QString StandinStore::controllerStage = QStringLiteral("controller");

QString StandinStore::folder()
{
    QString path = qEnvironmentVariable("MIREVO_STANDIN_STATE");
    if (path.isEmpty())
        path = QDir::homePath() + QStringLiteral("/.mirevo-standins");
    QDir().mkpath(path);
    return path;
}

QString StandinStore::trustedCertificateFile()
{
    return folder() + QStringLiteral("/trusted-ca.pem");
}

bool StandinStore::trustCertificate(const QString &pemFile)
{
    const QString target = trustedCertificateFile();
    QFile::remove(target);
    return QFile::copy(pemFile, target);
}

void StandinStore::reset()
{
    QDir(folder()).removeRecursively();
    folder();
}

QJsonObject StandinStore::readState()
{
    FolderLock lock;
    return readJson(pathOf(StateFile)).object();
}

void StandinStore::updateState(const std::function<void(QJsonObject &)> &change)
{
    FolderLock lock;
    QJsonObject state = readJson(pathOf(StateFile)).object();
    change(state);
    writeJson(pathOf(StateFile), QJsonDocument(state));
}

void StandinStore::appendCommand(const QString &program, const QStringList &arguments)
{
    FolderLock lock;
    QFile file(pathOf(CommandsFile));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    QJsonArray entry{program};
    for (const QString &argument : arguments)
        entry.append(argument);
    file.write(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n');
}

QList<QStringList> StandinStore::commands()
{
    FolderLock lock;
    QList<QStringList> result;
    QFile file(pathOf(CommandsFile));
    if (!file.open(QIODevice::ReadOnly))
        return result;
    while (!file.atEnd()) {
        const QJsonArray entry = QJsonDocument::fromJson(file.readLine()).array();
        if (entry.isEmpty())
            continue;
        QStringList line;
        for (const QJsonValue &value : entry)
            line.append(value.toString());
        result.append(line);
    }
    return result;
}

void StandinStore::addFault(const Fault &fault)
{
    FolderLock lock;
    QJsonArray faults = readJson(pathOf(FaultsFile)).array();
    faults.append(QJsonObject{{QStringLiteral("program"), fault.program},
                              {QStringLiteral("argumentContains"), fault.argumentContains},
                              {QStringLiteral("exitCode"), fault.exitCode},
                              {QStringLiteral("hangSeconds"), fault.hangSeconds},
                              {QStringLiteral("remaining"), fault.remaining},
                              {QStringLiteral("stage"), fault.stage},
                              {QStringLiteral("skip"), fault.skip},
                              {QStringLiteral("delayMs"), fault.delayMs},
                              {QStringLiteral("reply"), fault.reply}});
    writeJson(pathOf(FaultsFile), QJsonDocument(faults));
}

std::optional<StandinStore::Fault> StandinStore::takeFault(const QString &program,
                                                           const QStringList &arguments, const QString &stage)
{
    FolderLock lock;
    QJsonArray faults = readJson(pathOf(FaultsFile)).array();
    const QString joined = arguments.join(QLatin1Char(' '));
    for (int i = 0; i < faults.size(); ++i) {
        QJsonObject entry = faults.at(i).toObject();
        Fault fault;
        fault.program = entry.value(QStringLiteral("program")).toString();
        fault.argumentContains = entry.value(QStringLiteral("argumentContains")).toString();
        fault.exitCode = entry.value(QStringLiteral("exitCode")).toInt(1);
        fault.hangSeconds = entry.value(QStringLiteral("hangSeconds")).toInt();
        fault.remaining = entry.value(QStringLiteral("remaining")).toInt();
        fault.stage = entry.value(QStringLiteral("stage")).toString();
        fault.skip = entry.value(QStringLiteral("skip")).toInt();
        fault.delayMs = entry.value(QStringLiteral("delayMs")).toInt();
        fault.reply = entry.value(QStringLiteral("reply")).toString();
        if (fault.remaining <= 0 || fault.stage != stage || !sameProgram(fault.program, program) ||
            !joined.contains(fault.argumentContains))
            continue;
        if (fault.skip > 0) {
            entry.insert(QStringLiteral("skip"), fault.skip - 1);
            faults.replace(i, entry);
            writeJson(pathOf(FaultsFile), QJsonDocument(faults));
            return std::nullopt;
        }
        entry.insert(QStringLiteral("remaining"), fault.remaining - 1);
        faults.replace(i, entry);
        writeJson(pathOf(FaultsFile), QJsonDocument(faults));
        return fault;
    }
    return std::nullopt;
}

std::optional<int> StandinStore::enterProgram(const QString &program, const QStringList &arguments)
{
    appendCommand(program, arguments);
    const std::optional<Fault> fault = takeFault(program, arguments);
    if (!fault)
        return std::nullopt;
    if (fault->hangSeconds > 0) {
        QThread::sleep(static_cast<unsigned long>(fault->hangSeconds));
        std::fprintf(stderr, "ERROR: no answer after %d seconds.\n", fault->hangSeconds);
        return fault->exitCode != 0 ? fault->exitCode : 1;
    }
    std::fprintf(stderr, "ERROR: the operation failed (exit code %d).\n", fault->exitCode);
    return fault->exitCode;
}

QString StandinStore::pidFile(const QString &name)
{
    return folder() + QLatin1Char('/') + name + QStringLiteral(".pid");
}

void StandinStore::writePid(const QString &name, qint64 pid)
{
    FolderLock lock;
    QSaveFile file(pidFile(name));
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(QByteArray::number(pid));
    file.commit();
}

void StandinStore::removePid(const QString &name, qint64 pid)
{
    FolderLock lock;
    QFile file(pidFile(name));
    if (file.open(QIODevice::ReadOnly) && file.readAll().trimmed().toLongLong() == pid) {
        file.close();
        file.remove();
    }
}

qint64 StandinStore::livePid(const QString &name, const QString &image)
{
    QFile file(pidFile(name));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const qint64 pid = file.readAll().trimmed().toLongLong();
    if (pid <= 0 || imageName(pid) != image)
        return 0;
    return pid;
}

QString StandinStore::imageName(qint64 pid)
{
    if (pid <= 0)
        return {};
    // "pid (comm) S ...": the state letter follows the last parenthesis.
    const QByteArray stat = readProcFile(pid, "stat");
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0 || close + 2 >= stat.size())
        return {};
    const char state = stat.at(close + 2);
    if (state == 'Z' || state == 'X')
        return {};
    QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
    if (exe.endsWith(QLatin1String(" (deleted)")))
        exe.chop(10);
    if (!exe.isEmpty())
        return QFileInfo(exe).fileName();
    const QByteArray cmdline = readProcFile(pid, "cmdline");
    if (!cmdline.isEmpty())
        return QFileInfo(QString::fromLocal8Bit(cmdline.left(cmdline.indexOf('\0')))).fileName();
    return QString::fromLocal8Bit(readProcFile(pid, "comm").trimmed());
}

bool StandinStore::sameProgram(const QString &a, const QString &b)
{
    return withoutExe(a) == withoutExe(b);
}

} // namespace Standin
