#include "ControllerServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace Standin {

namespace {

QByteArray response(int status, const char *reason, const QJsonObject &body)
{
    const QByteArray json = QJsonDocument(body).toJson(QJsonDocument::Compact);
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
           "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(json.size()) +
           "\r\nConnection: close\r\n\r\n" + json;
}

// Requests bigger than this are not what the client sends.
constexpr qsizetype MaximumHead = 16 * 1024;

} // namespace

ControllerServer::ControllerServer(const QString &controllerSecret, Totals trafficTotals, QObject *parent)
    : QObject(parent), secret(controllerSecret), totals(std::move(trafficTotals))
{
    connect(&server, &QTcpServer::newConnection, this, &ControllerServer::accept);
}

bool ControllerServer::listen(const QHostAddress &address, quint16 port)
{
    return server.listen(address, port);
}

void ControllerServer::misbehave(const QString &reply, int delayMs)
{
    wrongReply = reply;
    replyDelayMs = delayMs;
}

void ControllerServer::accept()
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket]() {
            if (socket->property("answered").toBool()) {
                socket->readAll();
                return;
            }
            QByteArray head = socket->property("head").toByteArray() + socket->readAll();
            const qsizetype end = head.indexOf("\r\n\r\n");
            if (end < 0 && head.size() < MaximumHead) {
                socket->setProperty("head", head);
                return;
            }
            socket->setProperty("answered", true);
            const QByteArray reply =
                end < 0 ? response(431, "Request Header Fields Too Large", {}) : answer(head.left(end));
            QTimer::singleShot(replyDelayMs, socket, [socket, reply]() {
                socket->write(reply);
                socket->disconnectFromHost();
            });
        });
    }
}

QByteArray ControllerServer::answer(const QByteArray &head) const
{
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/1."))
        return response(400, "Bad Request", {{QStringLiteral("message"), QStringLiteral("Bad Request")}});

    QByteArray authorization;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == "authorization")
            authorization = line.mid(colon + 1).trimmed();
    }
    if (wrongReply == QLatin1String("unauthorized") ||
        (!secret.isEmpty() && authorization != "Bearer " + secret.toUtf8()))
        return response(401, "Unauthorized", {{QStringLiteral("message"), QStringLiteral("Unauthorized")}});

    const QString path = QUrl(QString::fromLatin1(requestLine.at(1))).path();
    if (path != QLatin1String("/connections"))
        return response(404, "Not Found",
                        {{QStringLiteral("message"), QStringLiteral("Resource not found")}});
    if (requestLine.at(0) != "GET")
        return response(405, "Method Not Allowed",
                        {{QStringLiteral("message"), QStringLiteral("Method Not Allowed")}});
    if (wrongReply == QLatin1String("without totals"))
        return response(200, "OK", {{QStringLiteral("connections"), QJsonArray()}});
    const auto [upload, download] = totals();
    return response(200, "OK",
                    {{QStringLiteral("uploadTotal"), upload},
                     {QStringLiteral("downloadTotal"), download},
                     {QStringLiteral("connections"), QJsonArray()}});
}

} // namespace Standin
