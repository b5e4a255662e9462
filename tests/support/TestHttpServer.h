#pragma once

#include <QByteArray>
#include <QHttpServer>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QQueue>
#include <QString>
#include <QUrlQuery>

// A real HTTP server on 127.0.0.1 with an ephemeral port: a test scripts what it answers and
// reads back what it received.
class TestHttpServer : public QObject
{
    Q_OBJECT

public:
    struct Reply
    {
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        int delayMs = 0;
    };

    struct Request
    {
        QString method;
        QString path;
        QUrlQuery query;
        QMap<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };

    explicit TestHttpServer(QObject *parent = nullptr);

    bool listen();
    quint16 port() const { return serverPort; }
    // Root that an HttpClient base URL can point at: http://127.0.0.1:PORT/api/v1/
    QString baseUrl() const;

    // The next request whose path ends in `pathSuffix` gets `reply`; unscripted requests get `defaultReply`.
    void enqueue(const QString &pathSuffix, const Reply &reply);
    void setDefaultReply(const Reply &reply) { fallback = reply; }
    static Reply json(int status, const QByteArray &body) { return Reply{status, body, {}, 0}; }

    QList<Request> requests() const { return received; }
    Request lastRequest() const { return received.isEmpty() ? Request{} : received.last(); }
    void clearRequests() { received.clear(); }

signals:
    void requestReceived();

private:
    Reply takeReply(const QString &path);

    QHttpServer server;
    quint16 serverPort = 0;
    QList<QPair<QString, Reply>> scripted;
    Reply fallback{200, QByteArrayLiteral("{\"success\":true}"), {}, 0};
    QList<Request> received;
};
