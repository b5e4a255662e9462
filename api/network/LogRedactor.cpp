#include "api/network/LogRedactor.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>

namespace Tavorin::Api::Network {

namespace {

const QString mask = QStringLiteral("***");

const QStringList &secretKeys()
{
    static const QStringList keys{QStringLiteral("token"),
                                  QStringLiteral("password"),
                                  QStringLiteral("password_confirmation"),
                                  QStringLiteral("api_secret_key"),
                                  QStringLiteral("vpn_encrypt_key"),
                                  QStringLiteral("vmess_link")};
    return keys;
}

QJsonValue redactValue(const QJsonValue &value);

QJsonObject redactObject(const QJsonObject &object)
{
    QJsonObject result;
    // A configuration item carries its secret as {"key": "vpn_encrypt_key", "value": "..."}.
    const bool secretItem = secretKeys().contains(object.value(QStringLiteral("key")).toString());
    for (auto it = object.begin(); it != object.end(); ++it) {
        const bool secret =
            secretKeys().contains(it.key()) || (secretItem && it.key() == QLatin1String("value"));
        if (secret && !it->isNull() && !it->isObject() && !it->isArray())
            result.insert(it.key(), mask);
        else
            result.insert(it.key(), redactValue(*it));
    }
    return result;
}

QJsonValue redactValue(const QJsonValue &value)
{
    if (value.isObject())
        return redactObject(value.toObject());
    if (value.isArray()) {
        QJsonArray array;
        const QJsonArray source = value.toArray();
        for (const QJsonValue &element : source)
            array.append(redactValue(element));
        return array;
    }
    return value;
}

} // namespace

QString LogRedactor::redact(const QByteArray &body)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error == QJsonParseError::NoError) {
        if (document.isObject())
            return QString::fromUtf8(
                QJsonDocument(redactObject(document.object())).toJson(QJsonDocument::Compact));
        if (document.isArray())
            return QString::fromUtf8(
                QJsonDocument(redactValue(document.array()).toArray()).toJson(QJsonDocument::Compact));
    }
    // Not JSON (or cut short): mask what looks like a secret member all the same.
    static const QRegularExpression member(QStringLiteral(R"RE(("(?:%1)"\s*:\s*)"(?:[^"\\]|\\.)*("?))RE")
                                               .arg(secretKeys().join(QLatin1Char('|'))));
    static const QRegularExpression itemValue(
        QStringLiteral(R"RE(("key"\s*:\s*"(?:%1)"\s*,\s*"value"\s*:\s*)"(?:[^"\\]|\\.)*("?))RE")
            .arg(secretKeys().join(QLatin1Char('|'))));
    QString text = QString::fromUtf8(body);
    text.replace(itemValue, QStringLiteral("\\1\"%1\\2").arg(mask));
    text.replace(member, QStringLiteral("\\1\"%1\\2").arg(mask));
    return text;
}

QString LogRedactor::excerpt(const QByteArray &body)
{
    return redact(body).left(excerptLength);
}

} // namespace Tavorin::Api::Network
