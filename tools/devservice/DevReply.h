#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

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
};

} // namespace MirevoDev
