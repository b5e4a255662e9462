#pragma once

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

namespace Tavorin::Api::Models {

// The one way records read JSON: a member is taken only when its JSON type is the one expected;
// a null, a missing key or another type leaves the caller's default.
class JsonReader
{
public:
    static QString text(const QJsonObject &json, const QString &key, const QString &fallback = {});
    // Integral JSON numbers within int range only: 42.0 counts, 42.5 and "42" do not.
    static int integer(const QJsonObject &json, const QString &key, int fallback = 0);
    static qint64 integer64(const QJsonObject &json, const QString &key, qint64 fallback = 0);
    static double real(const QJsonObject &json, const QString &key, double fallback = 0.0);
    static bool boolean(const QJsonObject &json, const QString &key, bool fallback = false);
    static QJsonObject object(const QJsonObject &json, const QString &key);
    // The array's object elements; every other element is skipped.
    static QList<QJsonObject> objects(const QJsonObject &json, const QString &key);
    // ISO 8601 text; anything else (null, empty, malformed) is an invalid date.
    static QDateTime dateTime(const QJsonObject &json, const QString &key);
    // Numbers and numeric strings alike, for figures that some services send as text.
    static qint64 lenientInteger64(const QJsonObject &json, const QString &key, qint64 fallback = 0);

    // The one way a figure from the service (or one computed from it: minutes from hours, days from
    // seconds) becomes an int: toward zero, and held at the ends of int's range instead of wrapping.
    // Not a number gives 0.
    static int clampedInt(double value);
};

} // namespace Tavorin::Api::Models
