#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

// The demo's vmess endpoint: Debian's v2ray with one vmess inbound per transport the client speaks
// ("tcp", "ws", "tcp+tls", "ws+tls"), all on 127.0.0.1, relaying what arrives to this machine's own
// network. Its v2ray also resolves localHost() to 127.0.0.1, so that a page served on this machine can be
// fetched through the tunnel by name (the client sends loopback addresses direct, past the tunnel).
class DemoEndpoint
{
public:
    struct Line
    {
        QString transport; // "tcp", "ws", "tcp+tls" or "ws+tls"
        quint16 port = 0;
    };

    static QString localHost() { return QStringLiteral("local.mirevo.test"); }
    // The name in the TLS inbounds' certificate (with 127.0.0.1), and the links' "sni".
    static QString certificateName() { return QStringLiteral("vmess.mirevo.test"); }
    static QList<Line> lines(const QList<quint16> &ports);

    DemoEndpoint(const QString &directory, const QString &clientId, const QList<Line> &lineList);

    // What the development service reads with --vmess-endpoint: for each transport the vmess description
    // (address, port, id, aid, net, path, host, tls, sni) of its inbound.
    QJsonObject serviceLines() const;
    // v2ray's configuration; the TLS inbounds use cert.pem and key.pem in the folder.
    QJsonObject v2rayConfig() const;

    QString certificateFile() const;
    QString keyFile() const;

private:
    QString folder;
    QString uuid;
    QList<Line> inbounds;
};
