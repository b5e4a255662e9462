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

    // Starts the service and waits for its "listening on 127.0.0.1:PORT" line; `arguments` come after
    // --port (for example --state FILE).
    bool start(const QStringList &arguments = {});
    // Ends the service as a person ends it (its input closes) and starts it again with the same
    // arguments on the same port, as the next run of the demo does.
    bool restart();
    // What the service printed on standard output so far, the "listening on" line included.
    QString output();
    quint16 port() const { return servicePort; }
    // http://127.0.0.1:PORT/api/v1/ — what HttpClient::setBaseUrl takes.
    QString baseUrl() const;

    // The seeded accounts, both with demoPassword(): the demo account has VIP time; the trial account is
    // a new one, without VIP and with its free trial still to take.
    static QString demoEmail();
    static QString trialEmail();
    static QString demoPassword();

    // Every request the service received on /api/v1/..., oldest first, as objects with "method", "path"
    // (without the /api/v1/ root), "query" (object), "headers" (object, lower-case names) and "body" (text).
    QJsonArray requests(const QString &path = {}) const;
    QJsonObject lastRequest(const QString &path) const;
    void clearRequests();

    // The next `times` requests of `method` `path` (without the /api/v1/ root) get this answer instead.
    // `times` 0 or less: every such request until the service is reset. `status` 0 with a delay keeps the
    // service's own answer and only sends it `delayMs` later (the request takes effect at once).
    void scriptReply(const QString &method, const QString &path, int status, const QByteArray &body,
                     int delayMs = 0, int times = 1);
    void revokeToken(const QString &token);
    void revokeAllTokens();
    void setPaymentStatus(const QString &orderId, const QString &status);
    void setConfig(const QString &key, const QJsonValue &value);
    void setEnvelope(bool enabled, const QString &secret);
    void setHeartbeatInterval(int seconds);
    // Adds a server entry (name, country_code, tier, requires_vip, vmess { address, port, id, aid, net, ...
    // }, encrypted: bool); returns its id.
    int addServer(const QJsonObject &server);
    // The heartbeats received, oldest first (their request bodies as objects).
    QJsonArray heartbeats() const;
    // Those of them that said goodbye ("disconnected"). A tick sent just before a goodbye may reach the
    // service after it, so a goodbye need not be the last heartbeat received.
    QJsonArray goodbyes() const;
    // Back to the seeded state: accounts, tokens, payments, configuration, request log, scripts, heartbeats.
    void reset();
    // Changes an account (default the demo account): "vip_days" (N days from now, 0 none, negative past),
    // "vip_expires_at", "trial_hours", "trial_used", "vip_trial_used", "status", "name", "password",
    // "referral_code" (the code registrations may name; the demo account starts with MIREVO2026);
    // "create": true makes a missing account. Returns the user record as the API shows it.
    QJsonObject updateUser(const QJsonObject &fields);
    // What later heartbeats of "connected" devices answer in "device_status" (every device, or one).
    void setDeviceStatus(const QString &status, bool forceDisconnect, const QString &message,
                         const QString &deviceId = {});
    // Adds an announcement (title, content, type, platform: "all" by default); returns its id.
    int addAnnouncement(const QJsonObject &announcement);
    // Adds `count` orders of the demo account with that status, oldest first; returns their order ids.
    QStringList addOrders(int count, const QString &status = QStringLiteral("completed"));
    // Every payment: the status record plus "email", "device_id" and "payment_provider".
    QJsonArray payments() const;
    // Every token issued: "token", "email", "device_id", "device_name", "revoked", "issued_at".
    QJsonArray tokens() const;

    // Any call of the control endpoint ("tokens", "payments", "users", "orders", "announcements", "reset",
    // ...: the list heads the service's main source); `path` is relative to /_control/. Answers the reply
    // object; on failure it is empty or has "ok" false, and lastControlError() says why.
    QJsonObject control(const QString &method, const QString &path, const QJsonObject &body = {}) const;
    QString lastControlError() const { return controlError; }

private:
    bool launch(quint16 port);
    void stop();

    QProcess process;
    QStringList extraArguments;
    QByteArray printed;
    quint16 servicePort = 0;
    mutable QString controlError;
};
