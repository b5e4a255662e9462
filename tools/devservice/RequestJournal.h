#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

class QHttpServerRequest;

namespace MirevoDev {

// What tests read back and script through the control endpoint: the log of every API request, the
// bodies of the heartbeats received, and the scripted answers that stand in for the service's own.
class RequestJournal
{
public:
    struct Script
    {
        int status = 0; // 0: the service's own answer, only delayed
        QByteArray body;
        int delayMs = 0;
        int remaining = 1; // 0 or less: every request until the scripts are cleared
    };

    // encodedPath: below /api/v1/, percent-encoding as sent.
    void record(const QString &method, const QString &encodedPath, const QHttpServerRequest &request);
    // Every request, or only those of one path.
    QJsonArray requests(const std::optional<QString> &path) const;
    QJsonArray heartbeats() const { return heartbeatBodies; }
    void clearRequests() { requestLog = QJsonArray(); }

    void addScript(const QString &method, const QString &encodedPath, const Script &script);
    // The script that answers this request, used up by one.
    std::optional<Script> takeScript(const QString &method, const QString &encodedPath);
    void clearScripts() { scripts.clear(); }

    // Log, heartbeats and scripts emptied.
    void clear();

private:
    QJsonArray requestLog;
    QJsonArray heartbeatBodies;
    QMap<QString, QList<Script>> scripts; // "METHOD path" → answers in order
};

} // namespace MirevoDev
