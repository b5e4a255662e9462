#include "api/services/ServerService.h"

#include "api/models/JsonReader.h"
#include "api/network/ApiResponse.h"
#include "api/network/HttpClient.h"

#include <QDebug>
#include <QUrl>

namespace Tavorin::Api::Services {

using Network::ApiResponse;
using Network::HttpClient;

ServerService *ServerService::instance()
{
    static ServerService *service = new ServerService();
    return service;
}

ServerService::ServerService(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<Models::Server>();
    qRegisterMetaType<QList<Models::Server>>();
    qDebug().noquote() << "[ServerService] 初始化完成";
}

QList<Models::Server> ServerService::parseServerList(const QJsonArray &array)
{
    QList<Models::Server> servers;
    for (const QJsonValue &element : array) {
        if (!element.isObject())
            continue;
        const Models::Server server = Models::Server::fromJson(element.toObject());
        // Nothing connects to an id of 0 or less, and the screens take -1 for "no server chosen": such an
        // entry would show as chosen when none is, and a choice of it would give way to the default.
        if (server.id <= 0) {
            qWarning().noquote() << "[ServerService] 忽略无效的服务器ID:" << server.id;
            continue;
        }
        servers.append(server);
    }
    return servers;
}

void ServerService::getServersByTier(const QString &tier, const ServerListCallback &completion)
{
    qDebug().noquote() << "[ServerService] 获取服务器列表, tier:"
                       << (tier.isEmpty() ? QStringLiteral("all") : tier);
    QMap<QString, QString> query;
    if (!tier.isEmpty())
        query.insert(QStringLiteral("tier"), tier);
    HttpClient::instance()->get(
        QStringLiteral("servers"),
        [this, completion](const ApiResponse &response) {
            if (!response.isSuccess()) {
                const QString message = response.getErrorMessage();
                if (completion)
                    completion(false, message, {});
                qWarning().noquote() << "[ServerService] 获取服务器列表失败:" << message;
                return;
            }
            const QList<Models::Server> servers =
                parseServerList(response.json.value(QStringLiteral("data")).toArray());
            cachedServers = servers;
            if (completion)
                completion(true, QStringLiteral("获取成功"), servers);
            emit serversUpdated(servers);
            qDebug().noquote() << "[ServerService] 服务器列表获取成功, 数量:" << servers.size();
        },
        query);
}

void ServerService::getAllServers(const ServerListCallback &completion)
{
    getServersByTier(QString(), completion);
}

void ServerService::getFreeServers(const ServerListCallback &completion)
{
    getServersByTier(QStringLiteral("free"), completion);
}

void ServerService::getVipServers(const ServerListCallback &completion)
{
    getServersByTier(QStringLiteral("vip"), completion);
}

void ServerService::getServerById(int id, const ServerCallback &completion)
{
    qDebug().noquote() << "[ServerService] 获取服务器详情, ID:" << id;
    // The id goes into the path as exactly one segment.
    const QString segment = QString::fromLatin1(QUrl::toPercentEncoding(QString::number(id)));
    HttpClient::instance()->get(
        QStringLiteral("%1/%2").arg(QStringLiteral("servers"), segment),
        [completion](const ApiResponse &response) {
            if (!response.isSuccess()) {
                const QString message = response.getErrorMessage();
                if (completion)
                    completion(false, message, Models::Server());
                qWarning().noquote() << "[ServerService] 获取服务器详情失败:" << message;
                return;
            }
            const Models::Server server =
                Models::Server::fromJson(Models::JsonReader::object(response.json, QStringLiteral("data")));
            if (completion)
                completion(true, QStringLiteral("获取成功"), server);
            qDebug().noquote() << "[ServerService] 服务器详情获取成功:" << server.name;
        });
}

void ServerService::clearCache()
{
    cachedServers.clear();
    qDebug().noquote() << "[ServerService] 服务器缓存已清除";
}

} // namespace Tavorin::Api::Services
