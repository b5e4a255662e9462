#include "StandinState.h"

#include "StandinStore.h"

#include <QDebug>
#include <QFile>
#include <QJsonObject>
#include <QTest>

#if defined(Q_OS_WIN)
#include <windows.h>
#else
#include <csignal>
#include <sys/types.h>
#endif

using Standin::StandinStore;

namespace {

QJsonObject section(const char *name)
{
    return StandinStore::readState().value(QLatin1String(name)).toObject();
}

} // namespace

QString StandinState::folder()
{
    return StandinStore::folder();
}

void StandinState::reset()
{
    StandinStore::reset();
}

namespace {

void killProcess(qint64 pid)
{
#if defined(Q_OS_WIN)
    if (HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid))) {
        ::TerminateProcess(process, 1);
        ::CloseHandle(process);
    }
#else
    ::kill(static_cast<pid_t>(pid), SIGKILL);
#endif
}

} // namespace

bool StandinState::endRunningPrograms()
{
    for (const qint64 pid : {corePid(), tun2socksPid()}) {
        if (pid > 0)
            killProcess(pid);
    }
    // A killed process is gone within milliseconds; the limit only catches one that never goes.
    if (QTest::qWaitFor([]() { return corePid() == 0 && tun2socksPid() == 0; }, 30000))
        return true;
    qWarning().noquote() << "a stand-in outlived its kill: core" << corePid() << "tun2socks"
                         << tun2socksPid();
    return false;
}

QString StandinState::registryValue(const QString &name)
{
    const QJsonObject registry = section("registry");
    for (auto it = registry.begin(); it != registry.end(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value().toObject().value(QStringLiteral("data")).toString();
    }
    return {};
}

QString StandinState::registryType(const QString &name)
{
    const QJsonObject registry = section("registry");
    for (auto it = registry.begin(); it != registry.end(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value().toObject().value(QStringLiteral("type")).toString();
    }
    return {};
}

QString StandinState::winHttpProxy()
{
    return section("winhttp").value(QStringLiteral("proxy")).toString();
}

QString StandinState::winHttpBypassList()
{
    return section("winhttp").value(QStringLiteral("bypass")).toString();
}

QString StandinState::environmentVariable(const QString &name)
{
    const QJsonObject environment = section("environment");
    for (auto it = environment.begin(); it != environment.end(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value().toString();
    }
    return {};
}

bool StandinState::hasEnvironmentVariable(const QString &name)
{
    const QJsonObject environment = section("environment");
    for (auto it = environment.begin(); it != environment.end(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString StandinState::adapterAddress()
{
    return section("adapter").value(QStringLiteral("address")).toString();
}

QString StandinState::adapterMask()
{
    return section("adapter").value(QStringLiteral("mask")).toString();
}

QString StandinState::adapterDns()
{
    return section("adapter").value(QStringLiteral("dns")).toString();
}

QString StandinState::adapterAddressSource()
{
    return section("adapter").value(QStringLiteral("addressSource")).toString();
}

QString StandinState::adapterDnsSource()
{
    return section("adapter").value(QStringLiteral("dnsSource")).toString();
}

QStringList StandinState::routes()
{
    QStringList prefixes;
    const QJsonArray routes = section("adapter").value(QStringLiteral("routes")).toArray();
    for (const QJsonValue &route : routes)
        prefixes.append(route.toObject().value(QStringLiteral("prefix")).toString());
    return prefixes;
}

bool StandinState::adapterExists()
{
    return tun2socksPid() > 0;
}

qint64 StandinState::corePid()
{
    return StandinStore::livePid(QStringLiteral("xray"), QStringLiteral("xray.exe"));
}

qint64 StandinState::tun2socksPid()
{
    return StandinStore::livePid(QStringLiteral("tun2socks"), QStringLiteral("tun2socks.exe"));
}

QList<QStringList> StandinState::commandLog()
{
    return StandinStore::commands();
}

QList<QStringList> StandinState::commandLog(const QString &program)
{
    QList<QStringList> matching;
    const QList<QStringList> all = StandinStore::commands();
    for (const QStringList &line : all) {
        if (StandinStore::sameProgram(line.value(0), program))
            matching.append(line);
    }
    return matching;
}

namespace {
StandinStore::Fault commandFault(const QString &program, const QString &argumentContains, int times)
{
    StandinStore::Fault fault;
    fault.program = program;
    fault.argumentContains = argumentContains;
    fault.remaining = times;
    return fault;
}
} // namespace

void StandinState::failCommand(const QString &program, int exitCode, const QString &argumentContains,
                               int times, int skip)
{
    StandinStore::Fault fault = commandFault(program, argumentContains, times);
    fault.exitCode = exitCode;
    fault.skip = skip;
    StandinStore::addFault(fault);
}

void StandinState::hangCommand(const QString &program, int seconds, const QString &argumentContains,
                               int times)
{
    StandinStore::Fault fault = commandFault(program, argumentContains, times);
    fault.hangSeconds = seconds;
    StandinStore::addFault(fault);
}

void StandinState::stallCore(int seconds)
{
    StandinStore::Fault fault;
    fault.program = QStringLiteral("xray.exe");
    fault.argumentContains = QStringLiteral("run");
    fault.hangSeconds = seconds;
    fault.stage = StandinStore::listeningStage;
    StandinStore::addFault(fault);
}

void StandinState::misbehaveController(const QString &reply, int delayMs)
{
    StandinStore::Fault fault;
    fault.program = QStringLiteral("xray.exe");
    fault.argumentContains = QStringLiteral("run");
    fault.stage = StandinStore::controllerStage;
    fault.reply = reply;
    fault.delayMs = delayMs;
    StandinStore::addFault(fault);
}

bool StandinState::trustCertificate(const QString &pemFile)
{
    return StandinStore::trustCertificate(pemFile);
}
