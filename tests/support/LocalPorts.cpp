#include "LocalPorts.h"

#include "vpn/V2RayCore.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QUdpSocket>

namespace {

const char *const inheritedPorts = "MIREVO_TEST_LOCAL_PORTS";
quint16 mixedPort = 0;
quint16 dnsPort = 0;

} // namespace

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
    // Both held at once, so they differ; the DNS listener needs its port free for UDP as well.
    QTcpServer mixed;
    QTcpServer dns;
    QUdpSocket dnsDatagrams;
    while (mixedPort == 0) {
        if (!mixed.listen(QHostAddress::LocalHost, 0) || !dns.listen(QHostAddress::LocalHost, 0))
            qFatal("no free loopback port");
        if (dnsDatagrams.bind(QHostAddress::LocalHost, dns.serverPort())) {
            mixedPort = mixed.serverPort();
            dnsPort = dns.serverPort();
        }
        mixed.close();
        dns.close();
        dnsDatagrams.close();
    }
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
