#include "RequestJournal.h"

#include <QHttpServerRequest>
#include <QJsonDocument>

namespace MirevoDev {

void RequestJournal::record(const QString &method, const QString &encodedPath,
                            const QHttpServerRequest &request)
{
    QJsonObject query;
    const auto items = request.query().queryItems(QUrl::FullyDecoded);
    for (const auto &item : items)
        query.insert(item.first, item.second);
    QJsonObject headers;
    const auto pairs = request.headers();
    for (const auto &pair : pairs)
        headers.insert(QString::fromLatin1(pair.first).toLower(), QString::fromUtf8(pair.second));
    requestLog.append(QJsonObject{{QStringLiteral("method"), method},
                                  {QStringLiteral("path"), encodedPath},
                                  {QStringLiteral("query"), query},
                                  {QStringLiteral("headers"), headers},
                                  {QStringLiteral("body"), QString::fromUtf8(request.body())}});
    if (method == QLatin1String("POST") && encodedPath == QLatin1String("heartbeat"))
        heartbeatBodies.append(QJsonDocument::fromJson(request.body()).object());
}

QJsonArray RequestJournal::requests(const std::optional<QString> &path) const
{
    if (!path)
        return requestLog;
    QJsonArray list;
    for (const QJsonValue &entry : requestLog) {
        if (entry.toObject().value(QStringLiteral("path")).toString() == *path)
            list.append(entry);
    }
    return list;
}

void RequestJournal::addScript(const QString &method, const QString &encodedPath, const Script &script)
{
    scripts[method + QLatin1Char(' ') + encodedPath].append(script);
}

std::optional<RequestJournal::Script> RequestJournal::takeScript(const QString &method,
                                                                 const QString &encodedPath)
{
    auto scripted = scripts.find(method + QLatin1Char(' ') + encodedPath);
    if (scripted == scripts.end() || scripted->isEmpty())
        return std::nullopt;
    const Script script = scripted->first();
    if (script.remaining > 0 && --scripted->first().remaining == 0)
        scripted->removeFirst();
    return script;
}

void RequestJournal::clear()
{
    requestLog = QJsonArray();
    heartbeatBodies = QJsonArray();
    scripts.clear();
}

} // namespace MirevoDev
