#pragma once

#include <QList>

// Ports on 127.0.0.1, as the local programs of the tooling and their tests pick and probe them.
class Loopback
{
public:
    // `count` distinct ports that were free a moment ago (fewer when the machine has none left).
    static QList<quint16> freePorts(int count);
    static quint16 freePort();
    // Whether something accepts connections on 127.0.0.1:port.
    static bool accepts(quint16 port, int timeoutMs = 200);
};
