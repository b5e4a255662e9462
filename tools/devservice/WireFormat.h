#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUrlQuery>

namespace MirevoDev {

// How values look on the wire and in the state file, and how request bodies and queries are read.
namespace WireFormat {

// Whole seconds in UTC with "Z" (2026-01-31T08:00:00Z); a date that is not set is null.
QString iso(const QDateTime &time);
QJsonValue isoOrNull(const QDateTime &time);
// A text that is not set (empty) is null.
QJsonValue textOrNull(const QString &text);
// The current time to the second, as every date on the wire.
QDateTime now();

// The state file keeps dates to the millisecond; null and absent read as "not set".
QJsonValue storedTime(const QDateTime &time);
QDateTime restoredTime(const QJsonValue &value);

// An empty body reads as an empty object; anything but a JSON object fails.
bool parseBody(const QByteArray &body, QJsonObject *object);
// A JSON number with an integral value, the only form the service takes for ids and counts.
bool integralNumber(const QJsonValue &value, qint64 *out);
// A query value that must be a decimal integer; absent gives the fallback.
bool queryInteger(const QUrlQuery &query, const QString &key, int fallback, int *out);

} // namespace WireFormat
} // namespace MirevoDev
