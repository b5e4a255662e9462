#pragma once

#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace Standin {

// What the core stand-in takes from the client's configuration document: its listeners, its vmess
// outbound, the routing rules it can honour, and the controller endpoint. `parse` refuses a document a
// real core would refuse, with the reason.
class CoreConfig
{
public:
    struct Listener
    {
        QString tag;
        QHostAddress address;
        quint16 port = 0;
    };

    struct Rule
    {
        QStringList ipCidr;
        QStringList domainSuffix;
        QStringList domain;
        QList<int> ports;
        QString outboundTag;
    };

    static bool parse(const QByteArray &text, CoreConfig *config, QString *error);

    // A v2ray 4.34 client configuration that does the vmess side: socks and http inbounds on the given
    // loopback ports, the vmess outbound, and the rules above as field rules. `trustedCaFile`, when not
    // empty, is one more certificate authority the TLS client accepts.
    QJsonObject toV2Ray(quint16 socksPort, quint16 httpPort, const QString &trustedCaFile) const;

    Listener mixed;
    QList<Listener> dnsListeners;
    QJsonObject vmess; // the "proxy" outbound as the client wrote it
    QString vmessTag;
    QString finalTag;
    QStringList directTags;
    QStringList blockTags;
    QList<Rule> rules;
    bool hasController = false;
    QHostAddress controllerAddress;
    quint16 controllerPort = 0;
    QString controllerSecret;
};

} // namespace Standin
