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

DevReply controlOk(QJsonObject object = {})
{
    object.insert(QStringLiteral("ok"), true);
    DevReply reply = DevReply::json(200, object);
    reply.envelopeAllowed = false;
    return reply;
}

DevReply controlError(int status, const QString &error)
{
    DevReply reply =
        DevReply::json(status, {{QStringLiteral("ok"), false}, {QStringLiteral("error"), error}});
    reply.envelopeAllowed = false;
    return reply;
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

quint16 DevServiceServer::listen(quint16 port)
{
    boundPort = server.listen(QHostAddress::LocalHost, port);
    if (boundPort != 0)
        state.setPublicRoot(QStringLiteral("http://127.0.0.1:%1").arg(boundPort));
    return boundPort;
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
        reply = control(method, path.mid(controlRoot.size()), request);
    } else if (path.startsWith(QLatin1String("/pay/"))) {
        reply = payPage(method, decodedSegments(path.mid(5)), request);
    } else {
        reply = DevReply::json(404, {{QStringLiteral("success"), false},
                                     {QStringLiteral("message"), QStringLiteral("接口不存在")}});
    }
    qDebug().noquote() << "[DevService]" << method << path << "->" << reply.status;

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
        heartbeatLog.append(QJsonDocument::fromJson(request.body()).object());

    const QString key = method + QLatin1Char(' ') + encodedPath;
    auto scripted = scripts.find(key);
    if (scripted != scripts.end() && !scripted->isEmpty()) {
        const Script script = scripted->first();
        if (script.remaining > 0 && --scripted->first().remaining == 0)
            scripted->removeFirst();
        *delayMs = script.delayMs;
        if (script.status > 0) {
            DevReply reply;
            reply.status = script.status;
            reply.body = script.body;
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
    if (reply.envelopeAllowed && state.envelopeEnabled() && encodedPath != QLatin1String("configs"))
        reply.body = envelope(reply.body);
    return reply;
}

QByteArray DevServiceServer::envelope(const QByteArray &body) const
{
    const QString data = QString::fromLatin1(body.toBase64());
    const QByteArray signature =
        QCryptographicHash::hash((data + state.envelopeSecret()).toUtf8(), QCryptographicHash::Md5).toHex();
    const QJsonObject wrapped{{QStringLiteral("encrypted"), true},
                              {QStringLiteral("data"), data},
                              {QStringLiteral("signature"), QString::fromLatin1(signature)}};
    return QJsonDocument(wrapped).toJson(QJsonDocument::Compact);
}

DevReply DevServiceServer::payPage(const QString &method, const QStringList &segments,
                                   const QHttpServerRequest &request)
{
    if (segments.size() == 1 && method == QLatin1String("GET"))
        return state.paymentPage(segments.at(0));
    if (segments.size() == 2 && segments.at(1) == QLatin1String("qr.png") && method == QLatin1String("GET"))
        return state.paymentQr(segments.at(0));
    if (segments.size() == 2 && segments.at(1) == QLatin1String("confirm") && method == QLatin1String("POST"))
        return state.paymentAction(segments.at(0), request.body());
    return DevReply::json(
        404, {{QStringLiteral("success"), false}, {QStringLiteral("message"), QStringLiteral("页面不存在")}});
}

DevReply DevServiceServer::control(const QString &method, const QString &path,
                                   const QHttpServerRequest &request)
{
    QJsonObject body;
    if (!request.body().trimmed().isEmpty()) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(request.body(), &error);
        if (error.error != QJsonParseError::NoError || !document.isObject())
            return controlError(400, QStringLiteral("the body must be a JSON object"));
        body = document.object();
    }
    const bool get = method == QLatin1String("GET");
    const bool post = method == QLatin1String("POST");
    auto is = [&](const char *wanted) { return path == QLatin1String(wanted); };
    auto result = [](const QString &error, QJsonObject object = {}) {
        return error.isEmpty() ? controlOk(object) : controlError(400, error);
    };

    if (get && is("requests")) {
        const QUrlQuery query = request.query();
        const bool filtered = query.hasQueryItem(QStringLiteral("path"));
        const QString wanted = query.queryItemValue(QStringLiteral("path"), QUrl::FullyDecoded);
        QJsonArray list;
        for (const QJsonValue &entry : std::as_const(requestLog)) {
            if (!filtered || entry.toObject().value(QStringLiteral("path")).toString() == wanted)
                list.append(entry);
        }
        return controlOk({{QStringLiteral("requests"), list}});
    }
    if ((post && is("requests/clear")) || (method == QLatin1String("DELETE") && is("requests"))) {
        requestLog = QJsonArray();
        return controlOk();
    }
    if (post && is("script")) {
        const QString scriptMethod = body.value(QStringLiteral("method")).toString().toUpper();
        QString scriptPath = body.value(QStringLiteral("path")).toString();
        if (scriptPath.startsWith(apiRoot))
            scriptPath = scriptPath.mid(apiRoot.size());
        if (scriptMethod.isEmpty() || scriptPath.isEmpty())
            return controlError(400, QStringLiteral("a script needs a method and a path"));
        Script script;
        script.status = body.value(QStringLiteral("status")).toInt(0);
        if (body.contains(QStringLiteral("body_base64")))
            script.body =
                QByteArray::fromBase64(body.value(QStringLiteral("body_base64")).toString().toLatin1());
        else
            script.body = body.value(QStringLiteral("body")).toString().toUtf8();
        script.delayMs = body.value(QStringLiteral("delay_ms")).toInt(0);
        script.remaining = body.value(QStringLiteral("times")).toInt(1);
        if (script.status < 0 || script.status > 599 || (script.status == 0 && script.delayMs <= 0))
            return controlError(400, QStringLiteral("a script needs a status of 100..599 or a delay"));
        scripts[scriptMethod + QLatin1Char(' ') + scriptPath].append(script);
        return controlOk();
    }
    if (post && is("script/clear")) {
        scripts.clear();
        return controlOk();
    }
    if (post && is("tokens/revoke"))
        return result(state.revokeToken(body.value(QStringLiteral("token")).toString()));
    if (post && is("tokens/revoke-all")) {
        state.revokeAllTokens();
        return controlOk();
    }
    if (get && is("tokens"))
        return controlOk({{QStringLiteral("tokens"), state.tokens()}});
    if (post && is("payments/status"))
        return result(state.setPaymentStatus(body.value(QStringLiteral("order_id")).toString(),
                                             body.value(QStringLiteral("status")).toString()));
    if (get && is("payments"))
        return controlOk({{QStringLiteral("payments"), state.payments()}});
    if (post && is("config")) {
        if (!body.contains(QStringLiteral("value")))
            return controlError(400, QStringLiteral("a configuration item needs a value"));
        return result(state.setConfig(body.value(QStringLiteral("key")).toString(),
                                      body.value(QStringLiteral("value")),
                                      body.value(QStringLiteral("type")).toString()));
    }
    if (post && is("envelope")) {
        state.setEnvelope(body.value(QStringLiteral("enabled")).toBool(),
                          body.value(QStringLiteral("secret")).toString());
        return controlOk({{QStringLiteral("enabled"), state.envelopeEnabled()}});
    }
    if (post && is("heartbeat"))
        return result(state.setHeartbeat(body));
    if (get && is("heartbeats"))
        return controlOk({{QStringLiteral("heartbeats"), heartbeatLog}});
    if (post && is("servers")) {
        int id = 0;
        const QString error = state.addServer(body, &id);
        return result(error, {{QStringLiteral("id"), id}});
    }
    if (post && is("users")) {
        QJsonObject user;
        const QString error = state.updateUser(body, &user);
        return result(error, {{QStringLiteral("user"), user}});
    }
    if (post && is("announcements")) {
        int id = 0;
        const QString error = state.addAnnouncement(body, &id);
        return result(error, {{QStringLiteral("id"), id}});
    }
    if (post && is("orders")) {
        QJsonArray ids;
        const QString error = state.addOrders(body, &ids);
        return result(error, {{QStringLiteral("order_ids"), ids}});
    }
    if (post && is("reset")) {
        state.reset();
        state.setPublicRoot(QStringLiteral("http://127.0.0.1:%1").arg(boundPort));
        requestLog = QJsonArray();
        heartbeatLog = QJsonArray();
        scripts.clear();
        return controlOk();
    }
    return controlError(404, QStringLiteral("unknown control call %1 /_control/%2").arg(method, path));
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
