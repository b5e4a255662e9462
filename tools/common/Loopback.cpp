#include "Loopback.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>
#include <vector>

QList<quint16> Loopback::freePorts(int count)
{
    // Held together until all are chosen, so that no two come out the same.
    std::vector<std::unique_ptr<QTcpServer>> probes;
    QList<quint16> ports;
    for (int i = 0; i < count; ++i) {
        probes.push_back(std::make_unique<QTcpServer>());
        if (probes.back()->listen(QHostAddress::LocalHost, 0))
            ports.append(probes.back()->serverPort());
    }
    return ports;
}

quint16 Loopback::freePort()
{
    const QList<quint16> ports = freePorts(1);
    return ports.isEmpty() ? 0 : ports.first();
}

bool Loopback::accepts(quint16 port, int timeoutMs)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(timeoutMs);
}
