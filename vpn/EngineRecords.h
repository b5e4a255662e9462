#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace Tavorin::Api::Vpn {

// What the engine switches on and starts, written to the settings file before it does so and taken
// out once it is taken back: a run that ends without its teardown (killed, a power cut) leaves these
// records, and the next start takes back exactly what they name (EngineRecovery).
class EngineRecords
{
public:
    // The system proxy pointed at the core: {"url"}.
    static const QString systemProxy;
    // The core's process and the folder of its configuration: {"pid", "image", "configFolder"}.
    static const QString core;
    // The tunnel program's process: {"pid", "image"}.
    static const QString tunnel;
    // What was set on the tunnel's adapter: {"address", "dns", "routes"}.
    static const QString adapter;

    // Stores `record` under `key`, marked as this process's own.
    static void write(const QString &key, QJsonObject record);
    // The record under `key`; empty when there is none.
    static QJsonObject read(const QString &key);
    static void clear(const QString &key);
    // Left by another run of the client, not by this process.
    static bool fromEarlierRun(const QJsonObject &record);
};

} // namespace Tavorin::Api::Vpn
