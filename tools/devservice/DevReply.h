#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

namespace MirevoDev {

// One answer of the service before it goes on the wire.
struct DevReply
{
    int status = 200;
    QByteArray body;
    QByteArray contentType = QByteArrayLiteral("application/json; charset=utf-8");
    // Replies that may travel in the signed envelope: the service's own JSON answers with a 2xx status.
    bool envelopeAllowed = false;

    static DevReply json(int status, const QJsonObject &object)
    {
        DevReply reply;
        reply.status = status;
        reply.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
        reply.envelopeAllowed = status >= 200 && status < 300;
        return reply;
    }

    // {"success": true, "message": ..., "data": ...}, the frame of nearly every answer.
    static DevReply success(const QString &message, const QJsonValue &data, int status = 200)
    {
        return json(status, {{QStringLiteral("success"), true},
                             {QStringLiteral("message"), message},
                             {QStringLiteral("data"), data}});
    }

    static DevReply failure(int status, const QString &message)
    {
        return json(status, {{QStringLiteral("success"), false}, {QStringLiteral("message"), message}});
    }
};

} // namespace MirevoDev
