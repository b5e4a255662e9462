#pragma once

#include "Accounts.h"
#include "DevReply.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrlQuery>

namespace MirevoDev {

class Configuration;

// The server list: free and VIP lines, each with its vmess link, sent plain or encrypted as the
// configuration says.
class ServerCatalog
{
public:
    // The transports the seeded lines show, one line each: "tcp", "ws", "tcp+tls" and "ws+tls".
    static QStringList transports();

    explicit ServerCatalog(const Configuration &settings) : configuration(settings) { reset(); }

    // Where the seeded lines lead: for each transport the vmess description of a real endpoint
    // (address, port, id, aid, net, path, host, tls, sni). Without one they name made-up hosts.
    // Answers an error text when a transport is missing; the endpoint then stays unused.
    QString setEndpoint(const QJsonObject &lines);
    // Back to the seeded lines.
    void reset();

    DevReply list(const Accounts::Account &account, const QUrlQuery &query) const;
    DevReply one(const Accounts::Account &account, const QString &id) const;

    // Control: adds a line (name, country_code, city, location, tier, requires_vip, is_enabled,
    // encrypted, vmess {address, port, id, aid, net, path, host, tls, sni}); answers an error text.
    QString add(const QJsonObject &server, int *id);

private:
    struct Entry
    {
        QJsonObject fields;
        QJsonObject link;
        bool encrypted = false;
    };
    struct Load
    {
        int maxUsers = 100;
        int currentUsers = 0;
        double cpuUsage = 0;
        QDateTime createdAt;
    };

    void seed(const QString &name, const QString &countryCode, const QString &city, const QString &tier,
              const QString &transport, const QString &madeUpHost, bool encrypted);
    int append(const QJsonObject &server, const Load &load);
    QJsonObject json(const Entry &entry, const Accounts::Account &account) const;

    const Configuration &configuration;
    QJsonObject endpoint;
    QList<Entry> entries;
    int nextId = 1;
};

} // namespace MirevoDev
