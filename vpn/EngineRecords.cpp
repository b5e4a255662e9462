#include "vpn/EngineRecords.h"

#include "api/storage/LocalStorage.h"
#include "vpn/RunIdentity.h"

#include <QCoreApplication>
#include <QJsonDocument>

namespace Tavorin::Api::Vpn {

namespace {
// The owner's process id, kept for the records of earlier versions, which name nothing else.
const QString owner = QStringLiteral("owner");
const QString run = QStringLiteral("run");
const QString processRun = QStringLiteral("processRun");

// The run that wrote a record; empty for an earlier version's, which names only its process id.
QString runOf(const QJsonObject &record)
{
    return record.value(run).toString();
}

bool isOwn(const QJsonObject &record)
{
    return !record.isEmpty() && runOf(record) == RunIdentity::current();
}
} // namespace

const QString EngineRecords::systemProxy = QStringLiteral("engine_system_proxy");
const QString EngineRecords::core = QStringLiteral("engine_core");
const QString EngineRecords::tunnel = QStringLiteral("engine_tunnel");
const QString EngineRecords::adapter = QStringLiteral("engine_adapter");

QStringList EngineRecords::keys()
{
    return {systemProxy, adapter, tunnel, core};
}

void EngineRecords::write(const QString &key, QJsonObject record)
{
    record.insert(owner, QCoreApplication::applicationPid());
    record.insert(run, RunIdentity::current());
    // The store writes through at once: the record must be on disk before the change it names.
    Storage::LocalStorage::instance()->setString(
        key, QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact)));
}

QJsonObject EngineRecords::read(const QString &key)
{
    return QJsonDocument::fromJson(Storage::LocalStorage::instance()->getString(key).toUtf8()).object();
}

void EngineRecords::clearOwn(const QString &key)
{
    if (isOwn(read(key)))
        Storage::LocalStorage::instance()->remove(key);
}

void EngineRecords::clearTaken(const QString &key, const QJsonObject &record)
{
    const QJsonObject stored = read(key);
    if (!stored.isEmpty() && stored == record)
        Storage::LocalStorage::instance()->remove(key);
}

QJsonObject EngineRecords::processRecord(qint64 pid, const QString &image)
{
    QJsonObject record{{QStringLiteral("pid"), pid}, {QStringLiteral("image"), image}};
    // A process that has ended already has no run left to name; the record then ends nothing.
    const QString started = RunIdentity::ofProcess(pid);
    if (!started.isEmpty())
        record.insert(processRun, started);
    return record;
}

QString EngineRecords::processRunOf(const QJsonObject &record)
{
    return record.value(processRun).toString();
}

bool EngineRecords::fromEndedRun(const QJsonObject &record)
{
    if (record.isEmpty() || isOwn(record))
        return false;
    const QString writer = runOf(record);
    if (!writer.isEmpty())
        return !RunIdentity::isAlive(writer);
    // An earlier version's record names its process id only: that one is taken for the writer as
    // long as a process of that id lives, this one's excepted.
    const qint64 pid = record.value(owner).toInteger();
    return pid == QCoreApplication::applicationPid() || !RunIdentity::processExists(pid);
}

} // namespace Tavorin::Api::Vpn
