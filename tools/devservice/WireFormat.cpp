#include "WireFormat.h"

#include <QJsonDocument>

#include <cmath>

namespace MirevoDev::WireFormat {

QString iso(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODate);
}

QJsonValue isoOrNull(const QDateTime &time)
{
    if (!time.isValid())
        return QJsonValue::Null;
    return iso(time);
}

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QDateTime now()
{
    QDateTime current = QDateTime::currentDateTimeUtc();
    current.setTime(QTime(current.time().hour(), current.time().minute(), current.time().second()));
    return current;
}

QJsonValue storedTime(const QDateTime &time)
{
    if (!time.isValid())
        return QJsonValue::Null;
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QDateTime restoredTime(const QJsonValue &value)
{
    if (!value.isString())
        return {};
    return QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
}

bool parseBody(const QByteArray &body, QJsonObject *object)
{
    if (body.trimmed().isEmpty()) {
        *object = {};
        return true;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    *object = document.object();
    return true;
}

bool integralNumber(const QJsonValue &value, qint64 *out)
{
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    if (std::floor(number) != number || std::fabs(number) > 9007199254740992.0)
        return false;
    *out = static_cast<qint64>(number);
    return true;
}

bool queryInteger(const QUrlQuery &query, const QString &key, int fallback, int *out)
{
    if (!query.hasQueryItem(key)) {
        *out = fallback;
        return true;
    }
    bool ok = false;
    const int value = query.queryItemValue(key, QUrl::FullyDecoded).toInt(&ok);
    if (!ok)
        return false;
    *out = value;
    return true;
}

} // namespace MirevoDev::WireFormat
