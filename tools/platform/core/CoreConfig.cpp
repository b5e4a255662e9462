#include "CoreConfig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QUrl>
#include <QUuid>

#include <cmath>

namespace Standin {

namespace {

// Thrown inside parse() only, caught there.
struct Refusal
{
    QString reason;
};

[[noreturn]] void refuse(const QString &reason)
{
    throw Refusal{reason};
}

QJsonObject objectAt(const QJsonValue &value, const QString &where)
{
    if (!value.isObject())
        refuse(QStringLiteral("%1: an object is expected").arg(where));
    return value.toObject();
}

QJsonArray arrayAt(const QJsonObject &json, const QString &key, const QString &where, bool required)
{
    const QJsonValue value = json.value(key);
    if (value.isUndefined() && !required)
        return {};
    if (!value.isArray())
        refuse(QStringLiteral("%1.%2: an array is expected").arg(where, key));
    return value.toArray();
}

QString textAt(const QJsonObject &json, const QString &key, const QString &where, bool required)
{
    const QJsonValue value = json.value(key);
    if (value.isUndefined() && !required)
        return {};
    if (!value.isString())
        refuse(QStringLiteral("%1.%2: a string is expected").arg(where, key));
    return value.toString();
}

bool flagAt(const QJsonObject &json, const QString &key, const QString &where)
{
    const QJsonValue value = json.value(key);
    if (value.isUndefined())
        return false;
    if (!value.isBool())
        refuse(QStringLiteral("%1.%2: a boolean is expected").arg(where, key));
    return value.toBool();
}

qint64 integerAt(const QJsonObject &json, const QString &key, const QString &where, qint64 low, qint64 high)
{
    const QJsonValue value = json.value(key);
    const double number = value.toDouble();
    if (!value.isDouble() || std::floor(number) != number)
        refuse(QStringLiteral("%1.%2: an integer is expected").arg(where, key));
    if (number < double(low) || number > double(high))
        refuse(QStringLiteral("%1.%2: %3 is out of range").arg(where, key).arg(qint64(number)));
    return qint64(number);
}

QStringList textsAt(const QJsonObject &json, const QString &key, const QString &where)
{
    QStringList texts;
    const QJsonValue value = json.value(key);
    if (value.isString())
        return {value.toString()};
    for (const QJsonValue &entry : arrayAt(json, key, where, true)) {
        if (!entry.isString())
            refuse(QStringLiteral("%1.%2: strings are expected").arg(where, key));
        texts.append(entry.toString());
    }
    return texts;
}

void onlyKeys(const QJsonObject &json, const QStringList &known, const QString &where)
{
    for (auto it = json.begin(); it != json.end(); ++it) {
        if (!known.contains(it.key()))
            refuse(QStringLiteral("%1: unknown field \"%2\"").arg(where, it.key()));
    }
}

QHostAddress listenAddress(const QJsonObject &json, const QString &where)
{
    const QString text = textAt(json, QStringLiteral("listen"), where, true);
    QHostAddress address;
    if (!address.setAddress(text))
        refuse(QStringLiteral("%1.listen: \"%2\" is not an IP address").arg(where, text));
    return address;
}

const QStringList KnownSecurities = {QStringLiteral("auto"),
                                     QStringLiteral("none"),
                                     QStringLiteral("zero"),
                                     QStringLiteral("aes-128-gcm"),
                                     QStringLiteral("chacha20-poly1305"),
                                     QStringLiteral("aes-128-ctr")};

void checkVmess(const QJsonObject &outbound, const QString &where)
{
    onlyKeys(outbound,
             {"type", "tag", "server", "server_port", "uuid", "security", "alter_id", "transport", "tls",
              "global_padding", "authenticated_length", "packet_encoding", "network"},
             where);
    if (textAt(outbound, QStringLiteral("server"), where, true).isEmpty())
        refuse(QStringLiteral("%1.server: missing server address").arg(where));
    integerAt(outbound, QStringLiteral("server_port"), where, 1, 65535);
    const QString uuid = textAt(outbound, QStringLiteral("uuid"), where, true);
    if (QUuid::fromString(uuid).isNull())
        refuse(QStringLiteral("%1.uuid: \"%2\" is not a UUID").arg(where, uuid));
    const QString security = textAt(outbound, QStringLiteral("security"), where, false);
    if (!security.isEmpty() && !KnownSecurities.contains(security))
        refuse(QStringLiteral("%1.security: unknown security type: %2").arg(where, security));
    if (outbound.contains(QStringLiteral("alter_id")))
        integerAt(outbound, QStringLiteral("alter_id"), where, 0, 65535);

    if (outbound.contains(QStringLiteral("transport"))) {
        const QString at = where + QStringLiteral(".transport");
        const QJsonObject transport = objectAt(outbound.value(QStringLiteral("transport")), at);
        const QString type = textAt(transport, QStringLiteral("type"), at, true);
        if (type != QLatin1String("ws"))
            refuse(QStringLiteral("%1: unknown transport type: %2").arg(at, type));
        onlyKeys(transport, {"type", "path", "headers", "max_early_data", "early_data_header_name"}, at);
        const QString path = textAt(transport, QStringLiteral("path"), at, false);
        if (!path.isEmpty() && !path.startsWith(QLatin1Char('/')))
            refuse(QStringLiteral("%1.path: \"%2\" does not start with /").arg(at, path));
        if (transport.contains(QStringLiteral("headers"))) {
            const QJsonObject headers =
                objectAt(transport.value(QStringLiteral("headers")), at + QStringLiteral(".headers"));
            for (auto it = headers.begin(); it != headers.end(); ++it) {
                if (!it.value().isString())
                    refuse(QStringLiteral("%1.headers.%2: a string is expected").arg(at, it.key()));
            }
        }
    }
    if (outbound.contains(QStringLiteral("tls"))) {
        const QString at = where + QStringLiteral(".tls");
        const QJsonObject tls = objectAt(outbound.value(QStringLiteral("tls")), at);
        onlyKeys(tls, {"enabled", "server_name", "insecure", "alpn", "disable_sni"}, at);
        flagAt(tls, QStringLiteral("enabled"), at);
        flagAt(tls, QStringLiteral("insecure"), at);
        textAt(tls, QStringLiteral("server_name"), at, false);
    }
}

void checkDns(const QJsonObject &dns, const QSet<QString> &outboundTags)
{
    const QString where = QStringLiteral("dns");
    onlyKeys(dns, {"servers", "rules", "final", "independent_cache", "strategy", "disable_cache"}, where);
    QSet<QString> serverTags;
    const QJsonArray servers = arrayAt(dns, QStringLiteral("servers"), where, false);
    for (int i = 0; i < servers.size(); ++i) {
        const QString at = QStringLiteral("dns.servers[%1]").arg(i);
        const QJsonObject server = objectAt(servers.at(i), at);
        onlyKeys(server, {"tag", "address", "address_resolver", "detour", "strategy"}, at);
        const QString address = textAt(server, QStringLiteral("address"), at, true);
        const QUrl url(address);
        const QStringList schemes{"https", "tls", "udp", "tcp", "quic", "h3", "rcode"};
        if (address != QLatin1String("local") && QHostAddress(address).isNull() &&
            !(url.isValid() && schemes.contains(url.scheme()) && !url.host().isEmpty()))
            refuse(QStringLiteral("%1.address: unknown DNS server address: %2").arg(at, address));
        const QString detour = textAt(server, QStringLiteral("detour"), at, false);
        if (!detour.isEmpty() && !outboundTags.contains(detour))
            refuse(QStringLiteral("%1.detour: outbound not found: %2").arg(at, detour));
        serverTags.insert(textAt(server, QStringLiteral("tag"), at, false));
    }
    for (int i = 0; i < servers.size(); ++i) {
        const QString resolver =
            servers.at(i).toObject().value(QStringLiteral("address_resolver")).toString();
        if (!resolver.isEmpty() && !serverTags.contains(resolver))
            refuse(QStringLiteral("dns.servers[%1].address_resolver: DNS server not found: %2")
                       .arg(i)
                       .arg(resolver));
    }
    const QJsonArray rules = arrayAt(dns, QStringLiteral("rules"), where, false);
    for (int i = 0; i < rules.size(); ++i) {
        const QString at = QStringLiteral("dns.rules[%1]").arg(i);
        const QJsonObject rule = objectAt(rules.at(i), at);
        onlyKeys(rule, {"domain", "domain_suffix", "domain_keyword", "outbound", "server"}, at);
        const QString server = textAt(rule, QStringLiteral("server"), at, true);
        if (!serverTags.contains(server))
            refuse(QStringLiteral("%1.server: DNS server not found: %2").arg(at, server));
    }
    const QString final = textAt(dns, QStringLiteral("final"), where, false);
    if (!final.isEmpty() && !serverTags.contains(final))
        refuse(QStringLiteral("dns.final: DNS server not found: %1").arg(final));
}

CoreConfig::Rule readRule(const QJsonObject &rule, const QString &at, const QSet<QString> &inboundTags,
                          const QSet<QString> &outboundTags)
{
    onlyKeys(rule, {"inbound", "port", "ip_cidr", "domain", "domain_suffix", "outbound"}, at);
    CoreConfig::Rule result;
    result.outboundTag = textAt(rule, QStringLiteral("outbound"), at, true);
    if (!outboundTags.contains(result.outboundTag))
        refuse(QStringLiteral("%1.outbound: outbound not found: %2").arg(at, result.outboundTag));
    if (rule.contains(QStringLiteral("inbound"))) {
        for (const QString &tag : textsAt(rule, QStringLiteral("inbound"), at)) {
            if (!inboundTags.contains(tag))
                refuse(QStringLiteral("%1.inbound: inbound not found: %2").arg(at, tag));
        }
    }
    if (rule.contains(QStringLiteral("port"))) {
        const QJsonValue port = rule.value(QStringLiteral("port"));
        const QJsonArray ports = port.isArray() ? port.toArray() : QJsonArray{port};
        for (int i = 0; i < ports.size(); ++i)
            result.ports.append(int(integerAt(QJsonObject{{QStringLiteral("port"), ports.at(i)}},
                                              QStringLiteral("port"), at, 1, 65535)));
    }
    if (rule.contains(QStringLiteral("ip_cidr"))) {
        result.ipCidr = textsAt(rule, QStringLiteral("ip_cidr"), at);
        for (const QString &cidr : std::as_const(result.ipCidr)) {
            const auto subnet = QHostAddress::parseSubnet(cidr);
            if (subnet.first.isNull() || !cidr.contains(QLatin1Char('/')))
                refuse(QStringLiteral("%1.ip_cidr: \"%2\" is not a network prefix").arg(at, cidr));
        }
    }
    if (rule.contains(QStringLiteral("domain")))
        result.domain = textsAt(rule, QStringLiteral("domain"), at);
    if (rule.contains(QStringLiteral("domain_suffix")))
        result.domainSuffix = textsAt(rule, QStringLiteral("domain_suffix"), at);
    if (rule.size() == 1)
        refuse(QStringLiteral("%1: a rule without any condition").arg(at));
    return result;
}

} // namespace

bool CoreConfig::parse(const QByteArray &text, CoreConfig *config, QString *error)
{
    try {
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
        if (parseError.error != QJsonParseError::NoError)
            refuse(QStringLiteral("decode config: %1 at offset %2")
                       .arg(parseError.errorString())
                       .arg(parseError.offset));
        if (!document.isObject())
            refuse(QStringLiteral("decode config: the top level is not an object"));
        const QJsonObject root = document.object();
        onlyKeys(root, {"log", "dns", "inbounds", "outbounds", "route", "experimental"},
                 QStringLiteral("config"));

        CoreConfig result;
        if (root.contains(QStringLiteral("log"))) {
            const QJsonObject log = objectAt(root.value(QStringLiteral("log")), QStringLiteral("log"));
            onlyKeys(log, {"level", "disabled", "timestamp", "output"}, QStringLiteral("log"));
            const QString level = textAt(log, QStringLiteral("level"), QStringLiteral("log"), false);
            const QStringList levels{"",        "trace", "debug", "info", "warn",
                                     "warning", "error", "fatal", "panic"};
            if (!levels.contains(level))
                refuse(QStringLiteral("log.level: unknown log level: %1").arg(level));
        }

        QSet<QString> inboundTags;
        QSet<quint16> usedPorts;
        bool haveMixed = false;
        const QJsonArray inbounds = arrayAt(root, QStringLiteral("inbounds"), QStringLiteral("config"), true);
        for (int i = 0; i < inbounds.size(); ++i) {
            const QString at = QStringLiteral("inbounds[%1]").arg(i);
            const QJsonObject inbound = objectAt(inbounds.at(i), at);
            const QString type = textAt(inbound, QStringLiteral("type"), at, true);
            Listener listener;
            listener.tag = textAt(inbound, QStringLiteral("tag"), at, false);
            listener.address = listenAddress(inbound, at);
            listener.port = quint16(integerAt(inbound, QStringLiteral("listen_port"), at, 1, 65535));
            if (usedPorts.contains(listener.port))
                refuse(QStringLiteral("%1.listen_port: port %2 is used twice").arg(at).arg(listener.port));
            usedPorts.insert(listener.port);
            if (!listener.tag.isEmpty() && inboundTags.contains(listener.tag))
                refuse(QStringLiteral("%1.tag: duplicate inbound tag: %2").arg(at, listener.tag));
            inboundTags.insert(listener.tag);
            if (type == QLatin1String("mixed")) {
                onlyKeys(inbound,
                         {"type", "tag", "listen", "listen_port", "sniff", "sniff_override_destination",
                          "set_system_proxy", "users"},
                         at);
                flagAt(inbound, QStringLiteral("sniff"), at);
                flagAt(inbound, QStringLiteral("sniff_override_destination"), at);
                if (flagAt(inbound, QStringLiteral("set_system_proxy"), at))
                    refuse(QStringLiteral("%1.set_system_proxy: this core does not switch the system proxy")
                               .arg(at));
                if (haveMixed)
                    refuse(QStringLiteral("%1: a second mixed inbound").arg(at));
                haveMixed = true;
                result.mixed = listener;
            } else if (type == QLatin1String("direct")) {
                onlyKeys(
                    inbound,
                    {"type", "tag", "listen", "listen_port", "network", "override_address", "override_port"},
                    at);
                result.dnsListeners.append(listener);
            } else {
                refuse(QStringLiteral("%1: unknown inbound type: %2").arg(at, type));
            }
        }
        if (!haveMixed)
            refuse(QStringLiteral("inbounds: no mixed inbound to serve the local proxy"));

        QSet<QString> outboundTags;
        const QJsonArray outbounds =
            arrayAt(root, QStringLiteral("outbounds"), QStringLiteral("config"), true);
        for (int i = 0; i < outbounds.size(); ++i) {
            const QString at = QStringLiteral("outbounds[%1]").arg(i);
            const QJsonObject outbound = objectAt(outbounds.at(i), at);
            const QString type = textAt(outbound, QStringLiteral("type"), at, true);
            const QString tag = textAt(outbound, QStringLiteral("tag"), at, false);
            if (outboundTags.contains(tag))
                refuse(QStringLiteral("%1.tag: duplicate outbound tag: %2").arg(at, tag));
            outboundTags.insert(tag);
            if (result.finalTag.isEmpty())
                result.finalTag = tag;
            if (type == QLatin1String("vmess")) {
                checkVmess(outbound, at);
                if (!result.vmessTag.isEmpty())
                    refuse(QStringLiteral("%1: this core serves one vmess outbound only").arg(at));
                result.vmess = outbound;
                result.vmessTag = tag;
            } else if (type == QLatin1String("direct")) {
                onlyKeys(outbound, {"type", "tag"}, at);
                result.directTags.append(tag);
            } else if (type == QLatin1String("block")) {
                onlyKeys(outbound, {"type", "tag"}, at);
                result.blockTags.append(tag);
            } else if (type == QLatin1String("dns")) {
                onlyKeys(outbound, {"type", "tag"}, at);
            } else {
                refuse(QStringLiteral("%1: unknown outbound type: %2").arg(at, type));
            }
        }
        if (result.vmessTag != QLatin1String("proxy"))
            refuse(QStringLiteral("outbounds: no vmess outbound tagged \"proxy\""));

        if (root.contains(QStringLiteral("dns")))
            checkDns(objectAt(root.value(QStringLiteral("dns")), QStringLiteral("dns")), outboundTags);

        if (root.contains(QStringLiteral("route"))) {
            const QJsonObject route = objectAt(root.value(QStringLiteral("route")), QStringLiteral("route"));
            onlyKeys(route, {"rules", "final", "auto_detect_interface", "default_interface"},
                     QStringLiteral("route"));
            flagAt(route, QStringLiteral("auto_detect_interface"), QStringLiteral("route"));
            const QJsonArray rules = arrayAt(route, QStringLiteral("rules"), QStringLiteral("route"), false);
            for (int i = 0; i < rules.size(); ++i) {
                const QString at = QStringLiteral("route.rules[%1]").arg(i);
                result.rules.append(readRule(objectAt(rules.at(i), at), at, inboundTags, outboundTags));
            }
            const QString final = textAt(route, QStringLiteral("final"), QStringLiteral("route"), false);
            if (!final.isEmpty()) {
                if (!outboundTags.contains(final))
                    refuse(QStringLiteral("route.final: outbound not found: %1").arg(final));
                result.finalTag = final;
            }
        }

        if (root.contains(QStringLiteral("experimental"))) {
            const QString where = QStringLiteral("experimental");
            const QJsonObject experimental = objectAt(root.value(where), where);
            onlyKeys(experimental, {"clash_api", "cache_file"}, where);
            if (experimental.contains(QStringLiteral("clash_api"))) {
                const QString at = QStringLiteral("experimental.clash_api");
                const QJsonObject api = objectAt(experimental.value(QStringLiteral("clash_api")), at);
                onlyKeys(api, {"external_controller", "secret", "default_mode"}, at);
                const QString controller = textAt(api, QStringLiteral("external_controller"), at, true);
                const qsizetype colon = controller.lastIndexOf(QLatin1Char(':'));
                bool portOk = false;
                const int port = controller.mid(colon + 1).toInt(&portOk);
                QHostAddress address;
                if (colon <= 0 || !portOk || port < 1 || port > 65535 ||
                    !address.setAddress(controller.left(colon)))
                    refuse(QStringLiteral("%1.external_controller: \"%2\" is not HOST:PORT")
                               .arg(at, controller));
                result.hasController = true;
                result.controllerAddress = address;
                result.controllerPort = quint16(port);
                result.controllerSecret = textAt(api, QStringLiteral("secret"), at, false);
            }
        }
        *config = result;
        return true;
    } catch (const Refusal &refusal) {
        *error = refusal.reason;
        return false;
    }
}

QJsonObject CoreConfig::toV2Ray(quint16 socksPort, quint16 httpPort, const QString &trustedCaFile) const
{
    QJsonObject stream{{QStringLiteral("network"), QStringLiteral("tcp")},
                       {QStringLiteral("security"), QStringLiteral("none")}};
    const QJsonObject transport = vmess.value(QStringLiteral("transport")).toObject();
    if (transport.value(QStringLiteral("type")).toString() == QLatin1String("ws")) {
        QJsonObject ws{
            {QStringLiteral("path"), transport.value(QStringLiteral("path")).toString(QStringLiteral("/"))}};
        if (transport.contains(QStringLiteral("headers")))
            ws.insert(QStringLiteral("headers"), transport.value(QStringLiteral("headers")));
        stream.insert(QStringLiteral("network"), QStringLiteral("ws"));
        stream.insert(QStringLiteral("wsSettings"), ws);
    }
    const QJsonObject tls = vmess.value(QStringLiteral("tls")).toObject();
    if (tls.value(QStringLiteral("enabled")).toBool()) {
        QJsonObject settings{
            {QStringLiteral("serverName"), tls.value(QStringLiteral("server_name")).toString()},
            {QStringLiteral("allowInsecure"), tls.value(QStringLiteral("insecure")).toBool()}};
        if (!trustedCaFile.isEmpty())
            settings.insert(QStringLiteral("certificates"),
                            QJsonArray{QJsonObject{{QStringLiteral("usage"), QStringLiteral("verify")},
                                                   {QStringLiteral("certificateFile"), trustedCaFile}}});
        stream.insert(QStringLiteral("security"), QStringLiteral("tls"));
        stream.insert(QStringLiteral("tlsSettings"), settings);
    }
    const QJsonObject user{{QStringLiteral("id"), vmess.value(QStringLiteral("uuid")).toString()},
                           {QStringLiteral("alterId"), vmess.value(QStringLiteral("alter_id")).toInt()},
                           {QStringLiteral("security"),
                            vmess.value(QStringLiteral("security")).toString(QStringLiteral("auto"))}};
    const QJsonObject server{{QStringLiteral("address"), vmess.value(QStringLiteral("server")).toString()},
                             {QStringLiteral("port"), vmess.value(QStringLiteral("server_port")).toInt()},
                             {QStringLiteral("users"), QJsonArray{user}}};
    const QJsonObject proxy{
        {QStringLiteral("tag"), vmessTag},
        {QStringLiteral("protocol"), QStringLiteral("vmess")},
        {QStringLiteral("settings"), QJsonObject{{QStringLiteral("vnext"), QJsonArray{server}}}},
        {QStringLiteral("streamSettings"), stream}};

    // v2ray sends what no rule matches to its first outbound: the configuration's final one goes first.
    QJsonArray outbounds;
    const auto freedom = [](const QString &tag) {
        return QJsonObject{{QStringLiteral("tag"), tag},
                           {QStringLiteral("protocol"), QStringLiteral("freedom")}};
    };
    const auto blackhole = [](const QString &tag) {
        return QJsonObject{{QStringLiteral("tag"), tag},
                           {QStringLiteral("protocol"), QStringLiteral("blackhole")}};
    };
    QStringList order{finalTag};
    order << vmessTag << directTags << blockTags;
    QSet<QString> done;
    for (const QString &tag : std::as_const(order)) {
        if (done.contains(tag))
            continue;
        done.insert(tag);
        if (tag == vmessTag)
            outbounds.append(proxy);
        else if (directTags.contains(tag))
            outbounds.append(freedom(tag));
        else if (blockTags.contains(tag))
            outbounds.append(blackhole(tag));
    }

    // Rules towards the DNS outbound have no counterpart here: the stand-in answers no DNS.
    QJsonArray fieldRules;
    for (const Rule &rule : rules) {
        if (!done.contains(rule.outboundTag) || (rule.ipCidr.isEmpty() && rule.domain.isEmpty() &&
                                                 rule.domainSuffix.isEmpty() && rule.ports.isEmpty()))
            continue;
        const auto field = [&](const QString &key, const QJsonValue &value) {
            fieldRules.append(QJsonObject{{QStringLiteral("type"), QStringLiteral("field")},
                                          {key, value},
                                          {QStringLiteral("outboundTag"), rule.outboundTag}});
        };
        if (!rule.ipCidr.isEmpty())
            field(QStringLiteral("ip"), QJsonArray::fromStringList(rule.ipCidr));
        QStringList domains;
        for (const QString &suffix : rule.domainSuffix)
            domains.append(QStringLiteral("domain:") + suffix);
        for (const QString &name : rule.domain)
            domains.append(QStringLiteral("full:") + name);
        if (!domains.isEmpty())
            field(QStringLiteral("domain"), QJsonArray::fromStringList(domains));
        QStringList ports;
        for (int port : rule.ports)
            ports.append(QString::number(port));
        if (!ports.isEmpty())
            field(QStringLiteral("port"), ports.join(QLatin1Char(',')));
    }

    const auto inbound = [](const QString &tag, const QString &protocol, quint16 port,
                            const QJsonObject &settings) {
        return QJsonObject{{QStringLiteral("tag"), tag},
                           {QStringLiteral("protocol"), protocol},
                           {QStringLiteral("listen"), QStringLiteral("127.0.0.1")},
                           {QStringLiteral("port"), port},
                           {QStringLiteral("settings"), settings}};
    };
    return QJsonObject{
        {QStringLiteral("log"), QJsonObject{{QStringLiteral("loglevel"), QStringLiteral("warning")}}},
        {QStringLiteral("inbounds"),
         QJsonArray{inbound(QStringLiteral("socks-in"), QStringLiteral("socks"), socksPort,
                            QJsonObject{{QStringLiteral("auth"), QStringLiteral("noauth")},
                                        {QStringLiteral("udp"), false}}),
                    inbound(QStringLiteral("http-in"), QStringLiteral("http"), httpPort, QJsonObject{})}},
        {QStringLiteral("outbounds"), outbounds},
        {QStringLiteral("routing"), QJsonObject{{QStringLiteral("domainStrategy"), QStringLiteral("AsIs")},
                                                {QStringLiteral("rules"), fieldRules}}}};
}

} // namespace Standin
