#include "vpn/VmessParser.h"

#include "api/models/JsonReader.h"

#include <QByteArray>
#include <QDebug>
#include <QJsonArray>
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

// "net", "type" and "tls" choose how the core talks to the server: a value that is not text (a list,
// an object, a number) cannot be read as the default without connecting in a way the server does not
// speak, so it is refused. Null counts as absent.
QString setting(const QJsonObject &json, const QString &key, const QString &fallback)
{
    const QJsonValue value = json.value(key);
    if (value.isUndefined() || value.isNull() || value.isString())
        return JsonReader::text(json, key, fallback);
    // Shown as JSON text: the value, as the only element of a list, without the list's brackets.
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    const QString shown = QString::fromUtf8(wrapped.mid(1, wrapped.size() - 2));
    throw VmessParser::unsupportedText(key, shown);
}

} // namespace

QString VmessParser::unsupportedText(const QString &key, const QString &value)
{
    if (key == QLatin1String("net"))
        return QStringLiteral("不支持的传输协议 (net): %1").arg(value);
    if (key == QLatin1String("type"))
        return QStringLiteral("不支持的伪装类型 (type): %1").arg(value);
    return QStringLiteral("不支持的传输层安全 (tls): %1").arg(value);
}

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
    config.network = setting(object, QStringLiteral("net"), config.network);
    config.type = setting(object, QStringLiteral("type"), config.type);
    config.host = JsonReader::text(object, QStringLiteral("host"));
    config.path = JsonReader::text(object, QStringLiteral("path"));
    config.tls = setting(object, QStringLiteral("tls"), config.tls);
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
