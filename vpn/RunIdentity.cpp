#include "vpn/RunIdentity.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>

#if defined(Q_OS_WIN)
#include "api/win32/Win32System.h"
#elif defined(Q_OS_UNIX)
#include <cerrno>
#include <csignal>
#endif

namespace Tavorin::Api::Vpn {

namespace {

// Hex digits of the start's digest in a key: enough to tell runs of one id apart.
constexpr qsizetype digestLength = 12;

#if defined(Q_OS_LINUX)
// Read whole: procfs files report no size.
QByteArray procFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
#endif

} // namespace

QString RunIdentity::startOf(qint64 pid)
{
    if (pid <= 0)
        return {};
#if defined(Q_OS_WIN)
    // The creation time is wall-clock time: no two runs share it, across reboots too.
    const std::optional<std::uint64_t> created = Win32::processCreationTime(static_cast<std::uint32_t>(pid));
    return created ? QString::number(*created) : QString();
#elif defined(Q_OS_LINUX)
    const QByteArray stat = procFile(QStringLiteral("/proc/%1/stat").arg(pid));
    // The program name in parentheses may hold blanks and parentheses of its own: the fields that
    // follow are counted from the last ')'.
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return {};
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    // fields[0] is the state (the third field of the line), fields[19] the start time (the 22nd), in
    // clock ticks since boot: with the boot's own id it names one run on this machine.
    const QByteArray state = fields.value(0);
    if (fields.size() < 20 || state == "Z" || state == "X")
        return {};
    const QByteArray boot = procFile(QStringLiteral("/proc/sys/kernel/random/boot_id")).trimmed();
    return QString::fromLatin1(boot + '/' + fields.at(19));
#else
    // Nothing tells a run's start here: the id alone has to do.
    return processExists(pid) ? QStringLiteral("-") : QString();
#endif
}

bool RunIdentity::processExists(qint64 pid)
{
    if (pid <= 0)
        return false;
#if defined(Q_OS_WIN)
    // Also one this process may not open (an elevated earlier run), whose start it cannot read.
    return Win32::processExists(static_cast<std::uint32_t>(pid));
#elif defined(Q_OS_LINUX)
    return !startOf(pid).isEmpty();
#else
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#endif
}

QString RunIdentity::keyOf(qint64 pid, const QString &start)
{
    const QByteArray digest = QCryptographicHash::hash(start.toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("%1-%2").arg(pid).arg(QString::fromLatin1(digest.left(digestLength)));
}

QString RunIdentity::current()
{
    static const QString key = [] {
        const qint64 pid = QCoreApplication::applicationPid();
        return keyOf(pid, startOf(pid));
    }();
    return key;
}

QString RunIdentity::ofProcess(qint64 pid)
{
    const QString start = startOf(pid);
    return start.isEmpty() ? QString() : keyOf(pid, start);
}

qint64 RunIdentity::processId(const QString &key)
{
    const qsizetype dash = key.indexOf(QLatin1Char('-'));
    bool ok = false;
    const qint64 pid = dash > 0 ? key.left(dash).toLongLong(&ok) : 0;
    return ok && pid > 0 && key.size() - dash - 1 == digestLength ? pid : 0;
}

bool RunIdentity::isAlive(const QString &key)
{
    if (key == current())
        return true;
    const qint64 pid = processId(key);
    if (pid <= 0)
        return false;
    const QString start = startOf(pid);
#if defined(Q_OS_WIN)
    // A process this one may not open tells nothing of its start: while it runs it may be that run, so
    // what the run left is kept, as the POSIX branch takes a process it may not signal for alive.
    if (start.isEmpty())
        return processExists(pid);
#endif
    return !start.isEmpty() && keyOf(pid, start) == key;
}

} // namespace Tavorin::Api::Vpn
