#pragma once

#include <QString>

namespace Tavorin::Api::Vpn {

// Names one run of a process: its id together with the moment the system started it. An id alone
// names whatever process the system hands it to next (after a reboot, or once the id is reused), so
// a record or a folder that names a run stays the mark of that run only.
class RunIdentity
{
public:
    // This process's run: "<pid>-<digest of its start>".
    static QString current();
    // The run of process `pid` as it is now, in the same form; empty when no such process lives.
    static QString ofProcess(qint64 pid);
    // Whether the run `key` names is still alive: its process exists and started when the key says.
    // The current run counts as alive.
    static bool isAlive(const QString &key);
    // The process id a key names; 0 when the text is no key.
    static qint64 processId(const QString &key);
    // Whether a process with this id exists at all (a run without a recorded start: older records).
    static bool processExists(qint64 pid);

private:
    // What the system says of the start of process `pid`; empty when no such process lives, and on
    // Windows when it lives but may not be opened.
    static QString startOf(qint64 pid);
    static QString keyOf(qint64 pid, const QString &start);
};

} // namespace Tavorin::Api::Vpn
