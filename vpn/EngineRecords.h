#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace Tavorin::Api::Vpn {

// What the engine switches on and starts, written to the settings file before it does so and taken
// out once it is taken back: a run that ends without its teardown (killed, a power cut) leaves these
// records, and a later start takes back exactly what they name (EngineRecovery). Each record names
// the run that wrote it (RunIdentity), so that a run still alive keeps what is its own.
class EngineRecords
{
public:
    // The system proxy pointed at the core: {"url"}.
    static const QString systemProxy;
    // The core's process (processRecord) and the folder of its configuration: {..., "configFolder"}.
    static const QString core;
    // The tunnel program's process (processRecord).
    static const QString tunnel;
    // What was set on the tunnel's adapter: {"address", "dns", "routes"}.
    static const QString adapter;
    // All four.
    static QStringList keys();

    // Stores `record` under `key`, marked as this run's own.
    static void write(const QString &key, QJsonObject record);
    // The record under `key`; empty when there is none.
    static QJsonObject read(const QString &key);
    // Takes out the record under `key` when this run wrote it; another run's stays where it is.
    static void clearOwn(const QString &key);
    // Takes out the record under `key` when it is still `record`, the one that was taken back.
    static void clearTaken(const QString &key, const QJsonObject &record);

    // What names a process the engine started: its id, its image and its run (RunIdentity). The id
    // and the image alone also fit a later process that the system gave the id to and that runs a
    // program of the same name; the run's start does not. {"pid", "image", "processRun"}.
    static QJsonObject processRecord(qint64 pid, const QString &image);
    // The run a process record names; empty for an older build's record, which names no start.
    static QString processRunOf(const QJsonObject &record);

    // Left by a run that has ended: what it names is nobody's any more.
    static bool fromEndedRun(const QJsonObject &record);
};

} // namespace Tavorin::Api::Vpn
