#include "TestHttpServer.h"

#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QMetaEnum>
#include <QTimer>

#include <memory>

namespace {
// "GET", "POST", ... from the request's own enumeration.
QString methodName(QHttpServerRequest::Method method)
{
    const char *key = QMetaEnum::fromType<QHttpServerRequest::Method>().valueToKey(int(method));
    return key ? QString::fromLatin1(key).toUpper() : QStringLiteral("OTHER");
}
} // namespace

TestHttpServer::TestHttpServer(QObject *parent) : QObject(parent)
{
    server.setMissingHandler([this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
        Request record;
        record.method = methodName(request.method());
        record.path = request.url().path();
        record.query = request.query();
        const auto headers = request.headers();
        for (const auto &header : headers)
            record.headers.insert(header.first.toLower(), header.second);
        record.body = request.body();
        received.append(record);

        const Reply reply = takeReply(record.path);
        auto respond = [reply](QHttpServerResponder &target) {
            target.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(reply.status));
            target.writeHeader(QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json"));
            target.writeHeader(QByteArrayLiteral("Content-Length"), QByteArray::number(reply.body.size()));
            for (const auto &header : reply.headers)
                target.writeHeader(header.first, header.second);
            target.writeBody(reply.body);
        };
        if (reply.delayMs <= 0) {
            respond(responder);
        } else {
            auto held = std::make_shared<QHttpServerResponder>(std::move(responder));
            QTimer::singleShot(reply.delayMs, this, [held, respond]() { respond(*held); });
        }
        emit requestReceived();
    });
}

bool TestHttpServer::listen()
{
    serverPort = server.listen(QHostAddress::LocalHost, 0);
    return serverPort != 0;
}

QString TestHttpServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/api/v1/").arg(serverPort);
}

void TestHttpServer::enqueue(const QString &pathSuffix, const Reply &reply)
{
    scripted.append({pathSuffix, reply});
}

TestHttpServer::Reply TestHttpServer::takeReply(const QString &path)
{
    for (int i = 0; i < scripted.size(); ++i) {
        if (path.endsWith(scripted.at(i).first))
            return scripted.takeAt(i).second;
    }
    return fallback;
}
