#include "ServerCatalog.h"

#include "Configuration.h"
#include "VmessLinkBuilder.h"
#include "WireFormat.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QUuid>

namespace MirevoDev {

QStringList ServerCatalog::transports()
{
    return {QStringLiteral("tcp"), QStringLiteral("ws"), QStringLiteral("tcp+tls"), QStringLiteral("ws+tls")};
}

QString ServerCatalog::setEndpoint(const QJsonObject &lines)
{
    for (const QString &transport : transports()) {
        const QJsonObject vmess = lines.value(transport).toObject();
        if (vmess.value(QStringLiteral("address")).toString().isEmpty() ||
            vmess.value(QStringLiteral("id")).toString().isEmpty())
            return QStringLiteral("no %1 line with address and id").arg(transport);
    }
    endpoint = lines;
    reset();
    return {};
}

void ServerCatalog::reset()
{
    entries.clear();
    nextId = 1;
    seed(QStringLiteral("香港 01"), QStringLiteral("HK"), QStringLiteral("香港"), QStringLiteral("free"),
         QStringLiteral("tcp"), QStringLiteral("hk1.mirevo.dev"), false);
    seed(QStringLiteral("日本 东京"), QStringLiteral("JP"), QStringLiteral("东京"), QStringLiteral("free"),
         QStringLiteral("ws"), QStringLiteral("jp1.mirevo.dev"), true);
    seed(QStringLiteral("美国 洛杉矶"), QStringLiteral("US"), QStringLiteral("洛杉矶"), QStringLiteral("vip"),
         QStringLiteral("ws+tls"), QStringLiteral("us1.mirevo.dev"), true);
    seed(QStringLiteral("新加坡 VIP"), QStringLiteral("SG"), QStringLiteral("新加坡"), QStringLiteral("vip"),
         QStringLiteral("tcp+tls"), QStringLiteral("sg1.mirevo.dev"), false);
}

void ServerCatalog::seed(const QString &name, const QString &countryCode, const QString &city,
                         const QString &tier, const QString &transport, const QString &madeUpHost,
                         bool encrypted)
{
    const int id = nextId;
    QJsonObject vmess = endpoint.value(transport).toObject();
    QString ipAddress = vmess.value(QStringLiteral("address")).toString();
    if (vmess.isEmpty()) {
        const bool ws = transport.startsWith(QLatin1String("ws"));
        const bool tls = transport.endsWith(QLatin1String("tls"));
        vmess = {{QStringLiteral("address"), madeUpHost},
                 {QStringLiteral("port"), 443},
                 {QStringLiteral("id"), QUuid::createUuidV5(QUuid(), name).toString(QUuid::WithoutBraces)},
                 {QStringLiteral("aid"), 0},
                 {QStringLiteral("net"), ws ? QStringLiteral("ws") : QStringLiteral("tcp")},
                 {QStringLiteral("path"), ws ? QStringLiteral("/mirevo") : QString()},
                 {QStringLiteral("host"), ws ? madeUpHost : QString()},
                 {QStringLiteral("tls"), tls ? QStringLiteral("tls") : QString()},
                 {QStringLiteral("sni"), tls ? madeUpHost : QString()}};
        ipAddress = QStringLiteral("203.0.113.%1").arg(10 + id);
    }
    const QJsonObject server{{QStringLiteral("name"), name},
                             {QStringLiteral("country_code"), countryCode},
                             {QStringLiteral("city"), city},
                             {QStringLiteral("location"), city},
                             {QStringLiteral("tier"), tier},
                             {QStringLiteral("encrypted"), encrypted},
                             {QStringLiteral("ip_address"), ipAddress},
                             {QStringLiteral("vmess"), vmess}};
    append(server, {500, 40 + 17 * id, 10.5 + 7 * id, WireFormat::now().addDays(-90)});
}

QString ServerCatalog::add(const QJsonObject &server, int *id)
{
    const QJsonObject vmess = server.value(QStringLiteral("vmess")).toObject();
    if (vmess.value(QStringLiteral("address")).toString().isEmpty() ||
        vmess.value(QStringLiteral("id")).toString().isEmpty())
        return QStringLiteral("vmess needs at least address and id");
    *id = append(server, {100, 0, 0.0, WireFormat::now()});
    return {};
}

int ServerCatalog::append(const QJsonObject &server, const Load &load)
{
    const QJsonObject vmess = server.value(QStringLiteral("vmess")).toObject();
    const QString tier = server.value(QStringLiteral("tier")).toString(QStringLiteral("free"));
    const bool vip = server.value(QStringLiteral("requires_vip")).toBool(tier == QLatin1String("vip"));
    const QString name = server.value(QStringLiteral("name")).toString(QStringLiteral("测试节点"));
    const QString address = vmess.value(QStringLiteral("address")).toString();
    const QJsonValue portValue = vmess.value(QStringLiteral("port"));
    const int port = portValue.isString() ? portValue.toString().toInt() : portValue.toInt(443);
    const QString created = WireFormat::iso(load.createdAt);

    Entry entry;
    const int id = nextId++;
    entry.fields = QJsonObject{
        {QStringLiteral("id"), id},
        {QStringLiteral("name"), name},
        {QStringLiteral("app_name"), QStringLiteral("Mirevo加速器")},
        {QStringLiteral("country_code"),
         server.value(QStringLiteral("country_code")).toString(QStringLiteral("CN"))},
        {QStringLiteral("city"), server.value(QStringLiteral("city")).toString()},
        {QStringLiteral("location"), server.value(QStringLiteral("location")).toString()},
        {QStringLiteral("hostname"), address},
        {QStringLiteral("host"), vmess.value(QStringLiteral("host")).toString(address)},
        {QStringLiteral("ip_address"), server.value(QStringLiteral("ip_address")).toString(address)},
        {QStringLiteral("protocol"), QStringLiteral("vmess")},
        {QStringLiteral("port"), port},
        {QStringLiteral("transport"), vmess.value(QStringLiteral("net")).toString("tcp")},
        {QStringLiteral("tls_enabled"),
         vmess.value(QStringLiteral("tls")).toString() == QLatin1String("tls")},
        {QStringLiteral("sni"), vmess.value(QStringLiteral("sni")).toString()},
        {QStringLiteral("status"), QStringLiteral("online")},
        {QStringLiteral("is_enabled"), server.value(QStringLiteral("is_enabled")).toBool(true)},
        {QStringLiteral("tier"), tier},
        {QStringLiteral("tier_text"), vip ? QStringLiteral("VIP") : QStringLiteral("免费")},
        {QStringLiteral("requires_vip"), vip},
        {QStringLiteral("max_users"), load.maxUsers},
        {QStringLiteral("current_users"), load.currentUsers},
        {QStringLiteral("cpu_usage"), load.cpuUsage},
        {QStringLiteral("latitude"), 0.0},
        {QStringLiteral("longitude"), 0.0},
        {QStringLiteral("created_at"), created},
        {QStringLiteral("updated_at"), created}};
    entry.link = VmessLinkBuilder::linkJson(vmess, name);
    entry.encrypted = server.value(QStringLiteral("encrypted")).toBool(false);
    entries.append(entry);
    return id;
}

QJsonObject ServerCatalog::json(const Entry &entry, const Accounts::Account &account) const
{
    QJsonObject json = entry.fields;
    const bool vipOnly = json.value(QStringLiteral("requires_vip")).toBool();
    const bool enabled = json.value(QStringLiteral("is_enabled")).toBool(true);
    json.insert(QStringLiteral("can_connect"), enabled && (!vipOnly || Accounts::isVip(account)));
    const QString plain = VmessLinkBuilder::plainLink(entry.link);
    const QString key = configuration.text(QStringLiteral("vpn_encrypt_key"));
    QString link = plain;
    if (entry.encrypted && configuration.flag(QStringLiteral("vpn_encrypt_enabled")) && !key.isEmpty()) {
        const QString encrypted = VmessLinkBuilder::encryptLink(plain, key);
        if (!encrypted.isEmpty())
            link = encrypted;
    }
    json.insert(QStringLiteral("vmess_link"), link);
    return json;
}

DevReply ServerCatalog::list(const Accounts::Account &account, const QUrlQuery &query) const
{
    const QString tier = query.queryItemValue(QStringLiteral("tier"), QUrl::FullyDecoded);
    QJsonArray list;
    for (const Entry &entry : entries) {
        if (!tier.isEmpty() && entry.fields.value(QStringLiteral("tier")).toString() != tier)
            continue;
        list.append(json(entry, account));
    }
    return DevReply::success(QStringLiteral("获取成功"), list);
}

DevReply ServerCatalog::one(const Accounts::Account &account, const QString &id) const
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    if (digits.match(id).hasMatch()) {
        const int wanted = id.toInt();
        for (const Entry &entry : entries) {
            if (entry.fields.value(QStringLiteral("id")).toInt() == wanted)
                return DevReply::success(QStringLiteral("获取成功"), json(entry, account));
        }
    }
    return DevReply::failure(404, QStringLiteral("服务器不存在"));
}

} // namespace MirevoDev
