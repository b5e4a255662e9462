#pragma once

#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

class DevService;

// What an end-to-end QML test may do beside the screens, published as `Dev`: drive the development
// service through its control endpoint and read back what the platform stand-ins were told.
class DevControl : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString demoEmail READ demoEmail CONSTANT)
    Q_PROPERTY(QString demoPassword READ demoPassword CONSTANT)

public:
    explicit DevControl(DevService *service, QObject *parent = nullptr);

    QString demoEmail() const;
    QString demoPassword() const;

    // The request log of one path below /api/v1/ (method, path, query, headers, body), oldest first.
    Q_INVOKABLE QVariantList requests(const QString &path) const;
    Q_INVOKABLE void clearRequests();
    Q_INVOKABLE void scriptReply(const QString &method, const QString &path, int status, const QString &body,
                                 int delayMs = 0, int times = 1);
    Q_INVOKABLE void setPaymentStatus(const QString &orderId, const QString &status);
    Q_INVOKABLE void revokeAllTokens();
    // Sets fields of an account through the control endpoint (see the service's users control).
    Q_INVOKABLE QVariantMap setUser(const QVariantMap &fields);
    Q_INVOKABLE int addServer(const QVariantMap &server);
    // Any control call: POST or GET /_control/<path>.
    Q_INVOKABLE QVariantMap control(const QString &method, const QString &path, const QVariantMap &body = {});
    Q_INVOKABLE void reset();

    // The stand-ins' state folder: the Internet Settings value, a user environment variable.
    Q_INVOKABLE QString registryValue(const QString &name) const;
    Q_INVOKABLE QString environmentVariable(const QString &name) const;

private:
    DevService *service;
};
