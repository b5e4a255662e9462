#include "api/models/Server.h"

#include "api/models/JsonReader.h"

namespace Tavorin::Api::Models {

Server Server::fromJson(const QJsonObject &json)
{
    Server server;
    server.id = JsonReader::integer(json, QStringLiteral("id"), server.id);
    server.name = JsonReader::text(json, QStringLiteral("name"));
    server.appName = JsonReader::text(json, QStringLiteral("app_name"));
    server.countryCode = JsonReader::text(json, QStringLiteral("country_code"));
    server.city = JsonReader::text(json, QStringLiteral("city"));
    server.location = JsonReader::text(json, QStringLiteral("location"));
    server.hostname = JsonReader::text(json, QStringLiteral("hostname"));
    server.host = JsonReader::text(json, QStringLiteral("host"));
    server.ipAddress = JsonReader::text(json, QStringLiteral("ip_address"));
    server.protocol = JsonReader::text(json, QStringLiteral("protocol"));
    server.port = JsonReader::integer(json, QStringLiteral("port"), server.port);
    server.transport = JsonReader::text(json, QStringLiteral("transport"));
    server.tlsEnabled = JsonReader::boolean(json, QStringLiteral("tls_enabled"), server.tlsEnabled);
    server.sni = JsonReader::text(json, QStringLiteral("sni"));
    server.status = JsonReader::text(json, QStringLiteral("status"));
    server.isEnabled = JsonReader::boolean(json, QStringLiteral("is_enabled"), server.isEnabled);
    server.tier = JsonReader::text(json, QStringLiteral("tier"));
    server.tierText = JsonReader::text(json, QStringLiteral("tier_text"));
    server.requiresVip = JsonReader::boolean(json, QStringLiteral("requires_vip"), server.requiresVip);
    server.canConnect = JsonReader::boolean(json, QStringLiteral("can_connect"), server.canConnect);
    server.maxUsers = JsonReader::integer(json, QStringLiteral("max_users"), server.maxUsers);
    server.currentUsers = JsonReader::integer(json, QStringLiteral("current_users"), server.currentUsers);
    server.cpuUsage = JsonReader::real(json, QStringLiteral("cpu_usage"));
    server.latitude = JsonReader::real(json, QStringLiteral("latitude"));
    server.longitude = JsonReader::real(json, QStringLiteral("longitude"));
    server.vmessLink = JsonReader::text(json, QStringLiteral("vmess_link"));
    server.createdAt = JsonReader::text(json, QStringLiteral("created_at"));
    server.updatedAt = JsonReader::text(json, QStringLiteral("updated_at"));
    return server;
}

} // namespace Tavorin::Api::Models
