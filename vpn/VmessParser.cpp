#include "vpn/VmessParser.h"

#include "api/models/JsonReader.h"

#include <QByteArray>
#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>

namespace Tavorin::Api::Vpn {

using Models::JsonReader;

namespace {

const QString scheme = QStringLiteral("vmess://");

// Links carry their numbers as decimal text; anything else reads as 0 and fails validation later.
int decimalText(const QJsonObject &json, const QString &key)
{
    bool ok = false;
    const int value = JsonReader::text(json, key).toInt(&ok, 10);
    return ok ? value : 0;
}

} // namespace

VmessConfig VmessParser::parse(const QString &link)
{
    qDebug().noquote() << "[VmessParser] 开始解析VMess链接";
    if (!link.startsWith(scheme, Qt::CaseInsensitive) || link.length() <= scheme.length())
        throw QStringLiteral("无效的VMess链接格式");

    QString base64Part = link.mid(scheme.length());
    // Lenient decoding on purpose: links pasted from mail or chat carry line breaks and blanks.
    QByteArray decoded = QByteArray::fromBase64(base64Part.toUtf8());
    if (decoded.isEmpty()) {
        while (base64Part.length() % 4 != 0)
            base64Part.append(QLatin1Char('='));
        decoded = QByteArray::fromBase64(base64Part.toUtf8());
    }
    const QString json = QString::fromUtf8(decoded);
    if (json.isEmpty())
        throw QStringLiteral("Base64解码失败");

    qDebug().noquote() << "[VmessParser] JSON长度:" << json.length();
    const VmessConfig config = parseJson(json);
    qDebug().noquote() << "[VmessParser] 解析成功 - 服务器:"
                       << config.address + QLatin1Char(':') + QString::number(config.port);
    return config;
}

VmessConfig VmessParser::parseJson(const QString &json)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        throw QStringLiteral("无效的JSON格式");
    const QJsonObject object = document.object();

    VmessConfig config;
    if (!object.contains(QLatin1String("add")) || !object.contains(QLatin1String("port")) ||
        !object.contains(QLatin1String("id")))
        throw QStringLiteral("缺少必需字段（add/port/id）");

    config.address = JsonReader::text(object, QStringLiteral("add"));
    config.port = decimalText(object, QStringLiteral("port"));
    config.id = JsonReader::text(object, QStringLiteral("id"));
    config.alterId = decimalText(object, QStringLiteral("aid"));
    config.security = JsonReader::text(object, QStringLiteral("scy"), config.security);
    config.network = JsonReader::text(object, QStringLiteral("net"), config.network);
    config.type = JsonReader::text(object, QStringLiteral("type"), config.type);
    config.host = JsonReader::text(object, QStringLiteral("host"));
    config.path = JsonReader::text(object, QStringLiteral("path"));
    config.tls = JsonReader::text(object, QStringLiteral("tls"), config.tls);
    config.sni = JsonReader::text(object, QStringLiteral("sni"));
    config.remarks = JsonReader::text(object, QStringLiteral("ps"));

    if (config.address.isEmpty())
        throw QStringLiteral("服务器地址为空");
    if (config.port < 1 || config.port > 65535)
        throw QStringLiteral("端口号无效");
    if (config.id.isEmpty())
        throw QStringLiteral("UUID为空");
    return config;
}

} // namespace Tavorin::Api::Vpn
