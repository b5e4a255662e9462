#include "DemoEndpoint.h"

#include <QDir>
#include <QJsonArray>

namespace {
const QString wsPath = QStringLiteral("/mirevo");
}

QList<DemoEndpoint::Line> DemoEndpoint::lines(const QList<quint16> &ports)
{
    const QStringList transports{QStringLiteral("tcp"), QStringLiteral("ws"), QStringLiteral("tcp+tls"),
                                 QStringLiteral("ws+tls")};
    QList<Line> list;
    for (int i = 0; i < transports.size() && i < ports.size(); ++i)
        list.append({transports.at(i), ports.at(i)});
    return list;
}

DemoEndpoint::DemoEndpoint(const QString &directory, const QString &clientId, const QList<Line> &lineList)
    : folder(directory), uuid(clientId), inbounds(lineList)
{}

QString DemoEndpoint::certificateFile() const
{
    return QDir(folder).filePath(QStringLiteral("cert.pem"));
}

QString DemoEndpoint::keyFile() const
{
    return QDir(folder).filePath(QStringLiteral("key.pem"));
}

QJsonObject DemoEndpoint::serviceLines() const
{
    QJsonObject lines;
    for (const Line &line : inbounds) {
        const bool ws = line.transport.startsWith(QLatin1String("ws"));
        const bool tls = line.transport.endsWith(QLatin1String("tls"));
        lines.insert(line.transport,
                     QJsonObject{{QStringLiteral("address"), QStringLiteral("127.0.0.1")},
                                 {QStringLiteral("port"), line.port},
                                 {QStringLiteral("id"), uuid},
                                 {QStringLiteral("aid"), 0},
                                 {QStringLiteral("net"), ws ? QStringLiteral("ws") : QStringLiteral("tcp")},
                                 {QStringLiteral("path"), ws ? wsPath : QString()},
                                 {QStringLiteral("host"), QString()},
                                 {QStringLiteral("tls"), tls ? QStringLiteral("tls") : QString()},
                                 {QStringLiteral("sni"), tls ? certificateName() : QString()}});
    }
    return lines;
}

QJsonObject DemoEndpoint::v2rayConfig() const
{
    const QJsonArray clients{QJsonObject{{QStringLiteral("id"), uuid}, {QStringLiteral("alterId"), 0}}};
    QJsonArray inboundList;
    for (const Line &line : inbounds) {
        const bool ws = line.transport.startsWith(QLatin1String("ws"));
        QJsonObject stream{{QStringLiteral("network"), ws ? QStringLiteral("ws") : QStringLiteral("tcp")}};
        if (ws)
            stream.insert(QStringLiteral("wsSettings"), QJsonObject{{QStringLiteral("path"), wsPath}});
        if (line.transport.endsWith(QLatin1String("tls"))) {
            stream.insert(QStringLiteral("security"), QStringLiteral("tls"));
            stream.insert(
                QStringLiteral("tlsSettings"),
                QJsonObject{{QStringLiteral("certificates"),
                             QJsonArray{QJsonObject{{QStringLiteral("certificateFile"), certificateFile()},
                                                    {QStringLiteral("keyFile"), keyFile()}}}}});
        }
        inboundList.append(
            QJsonObject{{QStringLiteral("tag"), line.transport},
                        {QStringLiteral("listen"), QStringLiteral("127.0.0.1")},
                        {QStringLiteral("port"), line.port},
                        {QStringLiteral("protocol"), QStringLiteral("vmess")},
                        {QStringLiteral("settings"), QJsonObject{{QStringLiteral("clients"), clients}}},
                        {QStringLiteral("streamSettings"), stream}});
    }
    // The access log (on standard output) names every destination that went through the tunnel.
    return {
        {QStringLiteral("log"), QJsonObject{{QStringLiteral("loglevel"), QStringLiteral("warning")}}},
        {QStringLiteral("dns"),
         QJsonObject{{QStringLiteral("hosts"), QJsonObject{{localHost(), QStringLiteral("127.0.0.1")}}}}},
        {QStringLiteral("inbounds"), inboundList},
        // IPv4 only: the hosts entry must win over the system's resolver, and an IPv6 dial that a
        // machine cannot complete would stall a request that IPv4 serves at once.
        {QStringLiteral("outbounds"),
         QJsonArray{QJsonObject{{QStringLiteral("protocol"), QStringLiteral("freedom")},
                                {QStringLiteral("settings"), QJsonObject{{QStringLiteral("domainStrategy"),
                                                                          QStringLiteral("UseIPv4")}}}}}}};
}
