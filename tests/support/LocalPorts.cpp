#include "LocalPorts.h"

#include "vpn/V2RayCore.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QHostAddress>
#include <QList>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QUdpSocket>

namespace {

const char *const inheritedPorts = "MIREVO_TEST_LOCAL_PORTS";
// Groups of three from 11000 to 15998 (clear of the product's 10315 and 16450), spare ports from
// 16500 to 19999; the client picks its controller's port from 20000 up.
constexpr int lowestPort = 11000;
constexpr int groupsEnd = 16000;
constexpr int sparesBegin = 16500;
constexpr int sparesEnd = 20000;
quint16 mixedPort = 0;
quint16 dnsPort = 0;

} // namespace

// Ports the system hands out for outgoing connections may be taken by any socket at any moment, so
// the ports come from below that range. Each process takes a group of three: the mixed port, the DNS
// port, and a third that it holds open as long as it runs, so that no test running beside it takes
// the same two before its core has bound them.
void LocalPorts::choose()
{
    if (mixedPort != 0)
        return;
    const QList<QByteArray> inherited = qgetenv(inheritedPorts).split(':');
    if (inherited.size() == 2 && inherited.at(0).toUShort() != 0 && inherited.at(1).toUShort() != 0) {
        mixedPort = inherited.at(0).toUShort();
        dnsPort = inherited.at(1).toUShort();
        return;
    }
    const int groups = (groupsEnd - lowestPort) / 3;
    const int first = int(QCoreApplication::applicationPid() % groups);
    // Held as long as the application object lives.
    auto *held = new QTcpServer(QCoreApplication::instance());
    for (int tried = 0; tried < groups && mixedPort == 0; ++tried) {
        const auto mixed = quint16(lowestPort + 3 * ((first + tried) % groups));
        const auto dns = quint16(mixed + 1);
        QTcpServer mixedListener;
        QTcpServer dnsListener;
        QUdpSocket dnsDatagrams;
        if (held->listen(QHostAddress::LocalHost, quint16(mixed + 2)) &&
            mixedListener.listen(QHostAddress::LocalHost, mixed) &&
            dnsListener.listen(QHostAddress::LocalHost, dns) &&
            dnsDatagrams.bind(QHostAddress::LocalHost, dns)) {
            mixedPort = mixed;
            dnsPort = dns;
        } else {
            held->close();
        }
    }
    if (mixedPort == 0)
        qFatal("no free group of loopback ports from %d to %d", lowestPort, groupsEnd - 1);
    qputenv(inheritedPorts, QByteArray::number(mixedPort) + ':' + QByteArray::number(dnsPort));
}

quint16 LocalPorts::spare()
{
    for (int attempt = 0; attempt < 64; ++attempt) {
        const auto port = quint16(QRandomGenerator::global()->bounded(sparesBegin, sparesEnd));
        QTcpServer probe;
        if (probe.listen(QHostAddress::LocalHost, port))
            return port;
    }
    qFatal("no free spare loopback port");
}

void LocalPorts::useFree()
{
    choose();
    Tavorin::Api::Vpn::V2RayCore::setLocalPorts(mixedPort, dnsPort);
}

quint16 LocalPorts::mixed()
{
    choose();
    return mixedPort;
}

quint16 LocalPorts::dns()
{
    choose();
    return dnsPort;
}
