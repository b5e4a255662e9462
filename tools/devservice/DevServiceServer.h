#pragma once

#include "DevReply.h"
#include "DevServiceState.h"

#include <QHttpServer>
#include <QJsonArray>
#include <QList>
#include <QMap>
#include <QObject>

class QHttpServerRequest;
class QHttpServerResponder;

namespace MirevoDev {

// The HTTP face of the service: the REST API under /api/v1/, the payment pages under /pay/ and the
// control endpoint under /_control/. Keeps the request log and the scripted replies; wraps successful
// answers in the signed envelope when the configuration asks for it.
class DevServiceServer : public QObject
{
    Q_OBJECT

public:
    explicit DevServiceServer(QObject *parent = nullptr);

    // Binds 127.0.0.1:port (0 picks a free port); returns the bound port, 0 on failure.
    quint16 listen(quint16 port);

private:
    struct Script
    {
        int status = 0; // 0: the service's own answer, only delayed
        QByteArray body;
        int delayMs = 0;
        int remaining = 1; // 0 or less: every request until the scripts are cleared
    };

    void dispatch(const QHttpServerRequest &request, QHttpServerResponder &&responder);
    DevReply api(const QHttpServerRequest &request, const QString &encodedPath, int *delayMs);
    DevReply control(const QString &method, const QString &path, const QHttpServerRequest &request);
    DevReply payPage(const QString &method, const QStringList &segments, const QHttpServerRequest &request);
    QByteArray envelope(const QByteArray &body) const;
    static void send(QHttpServerResponder &responder, const DevReply &reply);

    QHttpServer server;
    DevServiceState state;
    QJsonArray requestLog;
    QJsonArray heartbeatLog;              // bodies of every POST heartbeat received, whatever its answer
    QMap<QString, QList<Script>> scripts; // "METHOD path" → answers in order
    quint16 boundPort = 0;
};

} // namespace MirevoDev
