#include "DevServiceServer.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QMetaEnum>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <memory>

namespace MirevoDev {

namespace {

const QString apiRoot = QStringLiteral("/api/v1/");
const QString controlRoot = QStringLiteral("/_control/");

// "GET", "POST", ... from the request's own enumeration.
QString methodName(QHttpServerRequest::Method method)
{
    const char *key = QMetaEnum::fromType<QHttpServerRequest::Method>().valueToKey(int(method));
    return key ? QString::fromLatin1(key).toUpper() : QStringLiteral("OTHER");
}

QStringList decodedSegments(const QString &encodedPath)
{
    QStringList segments = encodedPath.split(QLatin1Char('/'));
    for (QString &segment : segments)
        segment = QUrl::fromPercentEncoding(segment.toLatin1());
    return segments;
}

QString bearerToken(const QHttpServerRequest &request)
{
    const QByteArray header = request.value(QByteArrayLiteral("authorization")).trimmed();
    if (!header.startsWith("Bearer "))
        return {};
    return QString::fromUtf8(header.mid(7).trimmed());
}

} // namespace

DevServiceServer::DevServiceServer(QObject *parent) : QObject(parent)
{
    server.setMissingHandler([this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
        dispatch(request, std::move(responder));
    });
}

QString DevServiceServer::useVmessEndpoint(const QJsonObject &lines)
{
    return state.servers().setEndpoint(lines);
}

QString DevServiceServer::keepStateIn(const QString &path)
{
    stateFile = std::make_unique<StateFile>(path);
    return stateFile->load(state);
}

quint16 DevServiceServer::listen(quint16 port)
{
    const quint16 bound = server.listen(QHostAddress::LocalHost, port);
    if (bound != 0)
        state.setPublicRoot(QStringLiteral("http://127.0.0.1:%1").arg(bound));
    return bound;
}

void DevServiceServer::dispatch(const QHttpServerRequest &request, QHttpServerResponder &&responder)
{
    const QString method = methodName(request.method());
    const QString path = request.url().path(QUrl::FullyEncoded);
    DevReply reply;
    int delayMs = 0;
    if (path.startsWith(apiRoot)) {
        reply = api(request, path.mid(apiRoot.size()), &delayMs);
    } else if (path.startsWith(controlRoot) || path == QLatin1String("/_control")) {
        reply = control.handle(method, path.mid(controlRoot.size()), request);
    } else if (path.startsWith(QLatin1String("/pay/"))) {
        reply = payPage(method, decodedSegments(path.mid(5)), request);
    } else {
        reply = DevReply::failure(404, QStringLiteral("接口不存在"));
    }
    qDebug().noquote() << "[DevService]" << method << path << "->" << reply.status;
    if (stateFile) {
        // Said once per failure, not on every request while the disk stays full.
        const QString error = stateFile->save(state);
        if (!error.isEmpty() && error != lastSaveError)
            qWarning().noquote() << error;
        lastSaveError = error;
    }

    if (delayMs <= 0) {
        send(responder, reply);
        return;
    }
    // A client may give up before a held-back answer is due; its socket is gone by then.
    const QPointer<QTcpSocket> socket = responder.socket();
    auto held = std::make_shared<QHttpServerResponder>(std::move(responder));
    QTimer::singleShot(delayMs, this, [held, reply, socket]() {
        if (socket && socket->state() == QAbstractSocket::ConnectedState)
            send(*held, reply);
    });
}

DevReply DevServiceServer::api(const QHttpServerRequest &request, const QString &encodedPath, int *delayMs)
{
    const QString method = methodName(request.method());
    journal.record(method, encodedPath, request);
    if (const auto script = journal.takeScript(method, encodedPath)) {
        *delayMs = script->delayMs;
        if (script->status > 0) {
            DevReply reply;
            reply.status = script->status;
            reply.body = script->body;
            return reply;
        }
    }

    ApiCall call;
    call.method = method;
    call.segments = decodedSegments(encodedPath);
    call.query = request.query();
    call.body = request.body();
    call.bearerToken = bearerToken(request);
    DevReply reply = state.handleApi(call);
    // The configuration is how a client learns the secret, so it always travels plain.
    if (reply.envelopeAllowed && state.configuration().envelopeEnabled() &&
        encodedPath != QLatin1String("configs"))
        reply.body = envelope(reply.body);
    return reply;
}

QByteArray DevServiceServer::envelope(const QByteArray &body) const
{
    const QString data = QString::fromLatin1(body.toBase64());
    const QByteArray signature =
        QCryptographicHash::hash((data + state.configuration().envelopeSecret()).toUtf8(),
                                 QCryptographicHash::Md5)
            .toHex();
    const QJsonObject wrapped{{QStringLiteral("encrypted"), true},
                              {QStringLiteral("data"), data},
                              {QStringLiteral("signature"), QString::fromLatin1(signature)}};
    return QJsonDocument(wrapped).toJson(QJsonDocument::Compact);
}

DevReply DevServiceServer::payPage(const QString &method, const QStringList &segments,
                                   const QHttpServerRequest &request)
{
    if (segments.size() == 1 && method == QLatin1String("GET"))
        return state.payments().page(segments.at(0));
    if (segments.size() == 2 && segments.at(1) == QLatin1String("qr.png") && method == QLatin1String("GET"))
        return state.payments().qr(segments.at(0), state.publicRoot());
    if (segments.size() == 2 && segments.at(1) == QLatin1String("confirm") && method == QLatin1String("POST"))
        return state.payments().confirm(segments.at(0), request.body());
    return DevReply::failure(404, QStringLiteral("页面不存在"));
}

void DevServiceServer::send(QHttpServerResponder &responder, const DevReply &reply)
{
    responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(reply.status));
    responder.writeHeader(QByteArrayLiteral("Content-Type"), reply.contentType);
    responder.writeHeader(QByteArrayLiteral("Content-Length"), QByteArray::number(reply.body.size()));
    responder.writeHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-store"));
    responder.writeBody(reply.body);
}

} // namespace MirevoDev
