#pragma once

#include "api/models/Server.h"

#include <QJsonArray>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

namespace Tavorin::Api::Services {

using ServerListCallback =
    std::function<void(bool success, const QString &message, const QList<Models::Server> &servers)>;
using ServerCallback =
    std::function<void(bool success, const QString &message, const Models::Server &server)>;

// The service's server catalogue; keeps the last list received.
class ServerService : public QObject
{
    Q_OBJECT

public:
    static ServerService *instance();

    void getServersByTier(const QString &tier, const ServerListCallback &completion);
    void getAllServers(const ServerListCallback &completion);
    void getFreeServers(const ServerListCallback &completion);
    void getVipServers(const ServerListCallback &completion);
    void getServerById(int id, const ServerCallback &completion);
    void clearCache();

    QList<Models::Server> getCachedServers() const { return cachedServers; }
    static QList<Models::Server> parseServerList(const QJsonArray &array);

signals:
    void serversUpdated(const QList<Models::Server> &servers);
    void serverSelected(const Models::Server &server);

private:
    explicit ServerService(QObject *parent = nullptr);

    QList<Models::Server> cachedServers;
};

} // namespace Tavorin::Api::Services
