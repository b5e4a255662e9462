#pragma once

#include "DevReply.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrlQuery>

namespace MirevoDev {

// One request to the REST API as the handlers see it.
struct ApiCall
{
    QString method;
    QStringList segments; // the path below /api/v1/, split at "/" and percent-decoded per segment
    QUrlQuery query;
    QByteArray body;
    QString bearerToken; // empty without an "Authorization: Bearer ..." header
};

// Everything the service knows, in memory, and the answers of every endpoint. Reset to the seed at start
// and through the control endpoint.
class DevServiceState
{
public:
    DevServiceState();

    void reset();
    // http://127.0.0.1:PORT, the root of payment pages and pagination links.
    void setPublicRoot(const QString &root) { publicRoot = root; }

    DevReply handleApi(const ApiCall &call);

    // Whether successful replies travel in the signed envelope, and its secret: both are the
    // configuration items the clients read, so a client that fetched the configuration can check them.
    bool envelopeEnabled() const;
    QString envelopeSecret() const;

    // Payment pages and their QR picture, outside /api/v1.
    DevReply paymentPage(const QString &orderId) const;
    DevReply paymentQr(const QString &orderId) const;
    DevReply paymentAction(const QString &orderId, const QByteArray &formBody);

    // Control operations; each answers the JSON the control endpoint returns, or an error text.
    QString revokeToken(const QString &token);
    void revokeAllTokens();
    QJsonArray tokens() const;
    QString setPaymentStatus(const QString &orderId, const QString &status);
    QJsonArray payments() const;
    QString setConfig(const QString &key, const QJsonValue &value, const QString &type);
    void setEnvelope(bool enabled, const QString &secret);
    QString setHeartbeat(const QJsonObject &settings);
    QString addServer(const QJsonObject &server, int *id);
    QString updateUser(const QJsonObject &fields, QJsonObject *user);
    QString addAnnouncement(const QJsonObject &announcement, int *id);
    QString addOrders(const QJsonObject &request, QJsonArray *orderIds);

private:
    struct Account
    {
        int id = 0;
        QString email;
        QString password;
        QString name;
        QString status = QStringLiteral("active");
        QDateTime vipExpiresAt;
        bool trialUsed = false;
        QDateTime trialExpiresAt;
        int trialHoursTotal = 0;
        bool vipTrialUsed = false;
        QDateTime createdAt;
        qint64 totalUpload = 0;
        qint64 totalDownload = 0;
        int totalTime = 0;
        QString referralCode; // the code this account hands out
        int referredBy = 0;   // the account whose code it registered with
    };
    struct Session
    {
        QString token;
        int accountId = 0;
        QString deviceId;
        QString deviceName;
        bool revoked = false;
        QDateTime issuedAt;
    };
    struct Device
    {
        int accountId = 0;
        bool connected = false;
        qint64 lastUpload = 0;
        qint64 lastDownload = 0;
        QDateTime lastSeen;
    };
    struct ServerEntry
    {
        QJsonObject fields;
        QJsonObject link;
        bool encrypted = false;
    };
    struct Plan
    {
        int id = 0;
        QString name;
        QString description;
        int days = 0;
        double price = 0;
        QString currency = QStringLiteral("CNY");
        int sortOrder = 0;
        QDateTime createdAt;
    };
    struct Payment
    {
        int id = 0;
        QString orderId;
        int accountId = 0;
        int planId = 0;
        QString planName;
        int planDays = 0;
        double amount = 0;
        QString currency = QStringLiteral("CNY");
        QString method;
        QString provider;
        QString deviceId;
        QString status = QStringLiteral("pending");
        QString thirdPartyOrderId;
        QDateTime createdAt;
        QDateTime paidAt;
        QDateTime updatedAt;
    };
    struct Announcement
    {
        int id = 0;
        QString title;
        QString content;
        QString type;
        QString platform;
        QDateTime publishedAt;
        QDateTime createdAt;
    };
    struct DeviceOverride
    {
        QString deviceId; // empty: every device
        QString status = QStringLiteral("active");
        bool forceDisconnect = false;
        QString message;
    };

    // Endpoints.
    DevReply login(const QJsonObject &body);
    DevReply registerAccount(const QJsonObject &body);
    DevReply logout(Session &session);
    DevReply me(const Account &account) const;
    DevReply configs() const;
    DevReply trialStatus(const Account &account) const;
    DevReply activateFreeTrial(Account &account);
    DevReply activateVipTrial(Account &account);
    DevReply servers(const Account &account, const QUrlQuery &query) const;
    DevReply server(const Account &account, const QString &id) const;
    DevReply plans() const;
    DevReply createPayment(const Session &session, const QJsonObject &body);
    DevReply paymentStatus(const Account &account, const QString &orderId) const;
    DevReply heartbeat(const Session &session, const QJsonObject &body);
    DevReply heartbeatStats() const;
    DevReply announcements(const QUrlQuery &query) const;
    DevReply orders(const Account &account, const QUrlQuery &query) const;

    // Records as the clients read them.
    QJsonObject userJson(const Account &account) const;
    QJsonObject serverJson(const ServerEntry &entry, const Account &account) const;
    QJsonObject planJson(const Plan &plan) const;
    QJsonObject orderJson(const Payment &payment) const;
    QJsonObject paymentStatusJson(const Payment &payment) const;
    QJsonObject announcementJson(const Announcement &announcement) const;
    QJsonObject configItem(const QString &key) const { return configItems.value(key); }

    Session *sessionFor(const QString &token);
    Account *accountById(int id);
    Account *accountByEmail(const QString &email);
    Payment *paymentByOrderId(const QString &orderId);
    const Payment *paymentByOrderId(const QString &orderId) const;
    const Plan *planById(int id) const;
    QString issueToken(const Account &account, const QJsonObject &body);
    QString newOrderId();
    void applyPaymentStatus(Payment &payment, const QString &status);
    bool isVip(const Account &account) const;
    double trialHoursRemaining(const Account &account) const;
    QString configText(const QString &key) const;
    bool configBool(const QString &key) const;
    int configInt(const QString &key, int fallback) const;
    void putConfig(const QString &key, const QString &name, const QString &type, const QJsonValue &value);
    void seed();
    void seedServer(const QString &name, const QString &countryCode, const QString &city, const QString &tier,
                    const QString &host, bool encrypted);

    QString publicRoot;
    QList<Account> accounts;
    QList<Session> sessions;
    QMap<QString, Device> devices;
    QList<ServerEntry> serverEntries;
    QList<Plan> planList;
    QList<Payment> paymentList;
    QList<Announcement> announcementList;
    QMap<QString, QJsonObject> configItems;
    int heartbeatInterval = 30;
    QList<DeviceOverride> deviceOverrides;
    int nextAccountId = 1;
    int nextServerId = 1;
    int nextPaymentId = 1;
    int nextAnnouncementId = 1;
    int orderSequence = 0;
};

} // namespace MirevoDev
