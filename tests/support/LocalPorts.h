#pragma once

#include <QtGlobal>

// The engine's local listeners (the mixed proxy and the DNS listener) on loopback ports that nothing
// else holds, so that no test depends on what else runs on the machine: a developer's own client on
// 10315, another test, an outgoing connection that the system gave a port of its own range. The ports
// are chosen once per process from below the system's range for outgoing connections, and reserved
// for it as long as it runs; a test program started by a test takes its parent's ports (they travel
// in the environment), so both sides meet on the same listener.
class LocalPorts
{
public:
    // Chooses the ports (or takes the parent's) and gives them to every core of this process.
    static void useFree();
    static quint16 mixed();
    static quint16 dns();
    // A further free port for a listener that another program opens (a core's controller), from a
    // range of its own.
    static quint16 spare();

private:
    static void choose();
};
