#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QProcess>
#include <QString>

// Runs the real development service (mirevo-dev-service --port 0) as a child process for one test and
// drives it through its control endpoint ("/_control/..."), never through the client's API.
// Control calls are synchronous (a local event loop with a time limit), so a test reads as a script.
class DevService : public QObject
{
    Q_OBJECT

public:
    explicit DevService(QObject *parent = nullptr);
    ~DevService() override;

    // Starts the service and waits for its "listening on 127.0.0.1:PORT" line.
    bool start();
    quint16 port() const { return servicePort; }
    // http://127.0.0.1:PORT/api/v1/ — what HttpClient::setBaseUrl takes.
    QString baseUrl() const;

    static QString demoEmail();
    static QString demoPassword();

    // Every request the service received on /api/v1/..., oldest first, as objects with "method", "path"
    // (without the /api/v1/ root), "query" (object), "headers" (object, lower-case names) and "body" (text).
    QJsonArray requests(const QString &path = {}) const;
    QJsonObject lastRequest(const QString &path) const;
    void clearRequests();

    // The next `times` requests of `method` `path` (without the /api/v1/ root) get this answer instead.
    void scriptReply(const QString &method, const QString &path, int status, const QByteArray &body,
                     int delayMs = 0, int times = 1);
    void revokeToken(const QString &token);
    void revokeAllTokens();
    void setPaymentStatus(const QString &orderId, const QString &status);
    void setConfig(const QString &key, const QJsonValue &value);
    void setEnvelope(bool enabled, const QString &secret);
    void setHeartbeatInterval(int seconds);
    // Adds a server entry (name, country_code, tier, requires_vip, vmess { address, port, id, aid, net, ... },
    // encrypted: bool); returns its id.
    int addServer(const QJsonObject &server);
    // The heartbeats received, oldest first (their request bodies as objects).
    QJsonArray heartbeats() const;
    QJsonObject control(const QString &method, const QString &path, const QJsonObject &body = {}) const;

private:
    QProcess process;
    quint16 servicePort = 0;
};
