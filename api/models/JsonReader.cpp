#include "api/models/JsonReader.h"

#include <cmath>
#include <limits>

namespace Tavorin::Api::Models {

namespace {
bool integral(double value, double low, double high)
{
    return std::isfinite(value) && std::floor(value) == value && value >= low && value <= high;
}
} // namespace

QString JsonReader::text(const QJsonObject &json, const QString &key, const QString &fallback)
{
    const QJsonValue value = json.value(key);
    return value.isString() ? value.toString() : fallback;
}

int JsonReader::integer(const QJsonObject &json, const QString &key, int fallback)
{
    const QJsonValue value = json.value(key);
    if (!value.isDouble())
        return fallback;
    const double number = value.toDouble();
    if (!integral(number, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()))
        return fallback;
    return static_cast<int>(number);
}

qint64 JsonReader::integer64(const QJsonObject &json, const QString &key, qint64 fallback)
{
    const QJsonValue value = json.value(key);
    if (!value.isDouble())
        return fallback;
    const double number = value.toDouble();
    // 2^63 is not representable as qint64; stay strictly below it.
    if (!integral(number, -9223372036854775808.0, 9223372036854774784.0))
        return fallback;
    return value.toInteger(fallback);
}

double JsonReader::real(const QJsonObject &json, const QString &key, double fallback)
{
    const QJsonValue value = json.value(key);
    return value.isDouble() ? value.toDouble() : fallback;
}

bool JsonReader::boolean(const QJsonObject &json, const QString &key, bool fallback)
{
    const QJsonValue value = json.value(key);
    return value.isBool() ? value.toBool() : fallback;
}

QJsonObject JsonReader::object(const QJsonObject &json, const QString &key)
{
    return json.value(key).toObject();
}

QList<QJsonObject> JsonReader::objects(const QJsonObject &json, const QString &key)
{
    QList<QJsonObject> result;
    const QJsonValue value = json.value(key);
    if (!value.isArray())
        return result;
    const QJsonArray array = value.toArray();
    for (const QJsonValue &element : array) {
        if (element.isObject())
            result.append(element.toObject());
    }
    return result;
}

QDateTime JsonReader::dateTime(const QJsonObject &json, const QString &key)
{
    const QJsonValue value = json.value(key);
    if (!value.isString())
        return {};
    return QDateTime::fromString(value.toString(), Qt::ISODate);
}

qint64 JsonReader::lenientInteger64(const QJsonObject &json, const QString &key, qint64 fallback)
{
    const QJsonValue value = json.value(key);
    if (value.isDouble()) {
        // Whole part of a number within range; a figure beyond 64 bits is no figure at all.
        const double number = std::trunc(value.toDouble());
        if (!std::isfinite(number) || number < -9223372036854775808.0 || number >= 9223372036854775808.0)
            return fallback;
        return static_cast<qint64>(number);
    }
    if (value.isString()) {
        bool ok = false;
        const qint64 number = value.toString().trimmed().toLongLong(&ok);
        return ok ? number : fallback;
    }
    return fallback;
}

int JsonReader::clampedInt(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

} // namespace Tavorin::Api::Models
