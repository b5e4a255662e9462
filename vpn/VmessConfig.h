#pragma once

#include <QString>

namespace Tavorin::Api::Vpn {

// One server as its vmess link describes it; the proxy core is configured and started from it.
struct VmessConfig
{
    QString address;
    int port = 443;
    QString id;
    int alterId = 0;
    QString security = QStringLiteral("auto");
    QString network = QStringLiteral("tcp");
    QString type = QStringLiteral("none");
    QString host;
    QString path;
    QString tls = QStringLiteral("none");
    QString sni;
    QString remarks;
    // 1: everything through the proxy; 0: mainland-China destinations go direct.
    int routingMode = 1;
};

} // namespace Tavorin::Api::Vpn
