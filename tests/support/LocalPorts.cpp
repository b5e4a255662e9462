#include "LocalPorts.h"

#include "vpn/V2RayCore.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QUdpSocket>

namespace {

const char *const inheritedPorts = "MIREVO_TEST_LOCAL_PORTS";
constexpr int lowestPort = 20000;
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
    QFile range(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range"));
    int ephemeralStart = 32768;
    if (range.open(QIODevice::ReadOnly))
        ephemeralStart = qMax(lowestPort + 2, range.readAll().simplified().split(' ').value(0).toInt());
    const int pairs = (ephemeralStart - lowestPort) / 2;
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
        qFatal("no free pair of loopback ports below %d", ephemeralStart);
    qputenv(inheritedPorts, QByteArray::number(mixedPort) + ':' + QByteArray::number(dnsPort));
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
