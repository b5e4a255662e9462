#include "vpn/EngineRecords.h"

#include "api/storage/LocalStorage.h"

#include <QCoreApplication>
#include <QJsonDocument>

namespace Tavorin::Api::Vpn {

namespace {
const QString owner = QStringLiteral("owner");
} // namespace

const QString EngineRecords::systemProxy = QStringLiteral("engine_system_proxy");
const QString EngineRecords::core = QStringLiteral("engine_core");
const QString EngineRecords::tunnel = QStringLiteral("engine_tunnel");
const QString EngineRecords::adapter = QStringLiteral("engine_adapter");

void EngineRecords::write(const QString &key, QJsonObject record)
{
    record.insert(owner, QCoreApplication::applicationPid());
    // The store writes through at once: the record must be on disk before the change it names.
    Storage::LocalStorage::instance()->setString(
        key, QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact)));
}

QJsonObject EngineRecords::read(const QString &key)
{
    return QJsonDocument::fromJson(Storage::LocalStorage::instance()->getString(key).toUtf8()).object();
}

void EngineRecords::clear(const QString &key)
{
    Storage::LocalStorage *storage = Storage::LocalStorage::instance();
    if (!storage->getString(key).isEmpty())
        storage->remove(key);
}

bool EngineRecords::fromEarlierRun(const QJsonObject &record)
{
    return !record.isEmpty() && record.value(owner).toInteger() != QCoreApplication::applicationPid();
}

} // namespace Tavorin::Api::Vpn
