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
// Pairs from 11000 to 15999 (clear of the product's 10315 and 16450), spare ports from 16500 to
// 19999; the client picks its controller's port from 20000 up.
constexpr int lowestPort = 11000;
constexpr int pairsEnd = 16000;
constexpr int sparesBegin = 16500;
constexpr int sparesEnd = 20000;
quint16 mixedPort = 0;
quint16 dnsPort = 0;

} // namespace

// Ports the system hands out for outgoing connections may be taken by any socket at any moment:
// the ports come from below that range, a pair per process id, so tests running side by side do not
// meet there either.
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
    const int pairs = (pairsEnd - lowestPort) / 2;
    const int first = int(QCoreApplication::applicationPid() % pairs);
    for (int tried = 0; tried < pairs && mixedPort == 0; ++tried) {
        const auto mixed = quint16(lowestPort + 2 * ((first + tried) % pairs));
        const auto dns = quint16(mixed + 1);
        QTcpServer mixedListener;
        QTcpServer dnsListener;
        QUdpSocket dnsDatagrams;
        if (mixedListener.listen(QHostAddress::LocalHost, mixed) &&
            dnsListener.listen(QHostAddress::LocalHost, dns) &&
            dnsDatagrams.bind(QHostAddress::LocalHost, dns)) {
            mixedPort = mixed;
            dnsPort = dns;
        }
    }
    if (mixedPort == 0)
        qFatal("no free pair of loopback ports from %d to %d", lowestPort, pairsEnd - 1);
    qputenv(inheritedPorts, QByteArray::number(mixedPort) + ':' + QByteArray::number(dnsPort));
}

void LocalPorts::useFree()
{
    choose();
    Tavorin::Api::Vpn::V2RayCore::setLocalPorts(mixedPort, dnsPort);
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
