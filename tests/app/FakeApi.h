#pragma once

#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <functional>

namespace Tavorin::Testing {

// Stands in for the QML facade `API` in QML tests and tools: the same signals, invokables and
// properties in the same meta-object order, so the screens cannot tell the two apart. Everything a
// test needs beyond that (setting the properties, the record of calls, canned results) is plain C++
// outside the meta-object and reaches QML through FakeApiControl.
class FakeApi : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isLoggedIn READ isLoggedIn NOTIFY loginStateChanged)
    Q_PROPERTY(QString userEmail READ userEmail NOTIFY userInfoChanged)
    Q_PROPERTY(QString userName READ userName NOTIFY userInfoChanged)
    Q_PROPERTY(bool isVip READ isVip NOTIFY userInfoChanged)
    Q_PROPERTY(QString vipExpiresAt READ vipExpiresAt NOTIFY userInfoChanged)
    Q_PROPERTY(int vipDays READ vipDays NOTIFY userInfoChanged)
    Q_PROPERTY(int freeMinutes READ freeMinutes NOTIFY userInfoChanged)
    Q_PROPERTY(bool canConnect READ canConnect NOTIFY userInfoChanged)
    Q_PROPERTY(bool trialUsed READ trialUsed NOTIFY userInfoChanged)

public:
    // One recorded invokable call: its name and its arguments as QML passed them (defaults filled in).
    struct Call
    {
        QString name;
        QVariantList args;
    };
    using CallObserver = std::function<void(const Call &)>;

    explicit FakeApi(QObject *parent = nullptr);

    bool isLoggedIn() const { return loggedIn; }
    QString userEmail() const { return email; }
    QString userName() const { return name; }
    bool isVip() const { return vip; }
    QString vipExpiresAt() const { return vipExpiry; }
    int vipDays() const { return daysOfVip; }
    int freeMinutes() const { return minutesFree; }
    bool canConnect() const { return connectAllowed; }
    bool trialUsed() const { return usedTrial; }

    // Test controls, deliberately not in the meta-object.
    void setLoggedIn(bool value) { loggedIn = value; }
    void setUserEmail(const QString &value) { email = value; }
    void setUserName(const QString &value) { name = value; }
    void setIsVip(bool value) { vip = value; }
    void setVipExpiresAt(const QString &value) { vipExpiry = value; }
    void setVipDays(int value) { daysOfVip = value; }
    void setFreeMinutes(int value) { minutesFree = value; }
    void setCanConnect(bool value) { connectAllowed = value; }
    void setTrialUsed(bool value) { usedTrial = value; }
    // The signed-out values the real facade starts with.
    void resetUser();

    const QList<Call> &calls() const { return callRecord; }
    void clearCalls() { callRecord.clear(); }
    // Runs after each call is recorded and before the invokable returns, so an observer can emit the
    // signals the real facade would emit during the call.
    void setCallObserver(CallObserver observer) { callObserver = std::move(observer); }

    int permissionResult = 0;    // what checkVpnPermission returns
    bool connectResult = true;   // what connectVpn returns for a non-empty link
    QString failureTextOverride; // when set, what getVpnFailureReasonText returns for every code

    static QString failureReasonText(int reasonCode);

    Q_INVOKABLE void login(const QString &email, const QString &password);
    Q_INVOKABLE void registerUser(const QString &email, const QString &password, const QString &name,
                                  const QString &refferCode = QString());
    Q_INVOKABLE void logout();
    Q_INVOKABLE void refreshUserInfo();
    Q_INVOKABLE void getServers(const QString &tier = QString());
    Q_INVOKABLE void getServerById(int serverId);
    Q_INVOKABLE void getAnnouncements();
    Q_INVOKABLE void getUserOrders();
    Q_INVOKABLE void getSystemConfig();
    Q_INVOKABLE void activateFreeTrial();
    Q_INVOKABLE void activateVipTrial();
    Q_INVOKABLE void getTrialStatus();
    Q_INVOKABLE void createPayment(int planId, const QString &paymentMethod);
    Q_INVOKABLE void getPaymentStatus(const QString &orderNumber);
    Q_INVOKABLE void startPollingPayment(const QString &orderNumber);
    Q_INVOKABLE void stopPollingPayment();
    Q_INVOKABLE void getSubscriptionPlans();
    Q_INVOKABLE void sendHeartbeat(bool isConnected);
    Q_INVOKABLE void getHeartbeatStats();
    Q_INVOKABLE void setRoutingMode(int mode);
    Q_INVOKABLE bool connectVpn(int serverId, const QString &vmessLink, bool requiresVip);
    Q_INVOKABLE void disconnectVpn();
    Q_INVOKABLE int checkVpnPermission(int serverId, bool requiresVip);
    Q_INVOKABLE QString getVpnFailureReasonText(int reasonCode);
    Q_INVOKABLE void updateVpnTraffic(qlonglong uploadBytes, qlonglong downloadBytes);
    Q_INVOKABLE void updateVpnLatency(int latencyMs);

signals:
    void loginSuccess();
    void loginError(const QString &message);
    void registrationError(const QString &message);
    void loginStateChanged(bool loggedIn);
    void userInfoChanged();
    void serversLoaded(const QVariantList &servers);
    void serversError(const QString &message);
    void serverDetailLoaded(const QVariantMap &server);
    void serverDetailError(const QString &message);
    void announcementsLoaded(const QVariantList &announcements);
    void announcementsError(const QString &message);
    void ordersLoaded(const QVariantList &orders);
    void ordersError(const QString &message);
    void systemConfigLoaded(const QVariantMap &config);
    void systemConfigError(const QString &message);
    void trialActivated(const QVariantMap &user);
    void trialActivationError(const QString &message);
    void trialStatusLoaded(const QVariantMap &status);
    void trialStatusError(const QString &message);
    void paymentCreated(const QVariantMap &paymentData);
    void paymentCreationError(const QString &message);
    void paymentStatusLoaded(const QVariantMap &statusData);
    void paymentStatusError(const QString &message);
    void paymentCompleted(const QString &orderNumber);
    void paymentFailed(const QString &orderNumber, const QString &message);
    void plansLoaded(const QVariantList &plans);
    void plansError(const QString &message);
    void heartbeatSent();
    void heartbeatError(const QString &message);
    void heartbeatStatsLoaded(const QVariantMap &stats);
    void heartbeatStatsError(const QString &message);
    void vpnConnected();
    void vpnConnectionFailed(int reasonCode, const QString &message);
    void vpnDisconnected();
    void vpnTrafficUpdate(qlonglong uploadBytes, qlonglong downloadBytes);
    void vpnForceDisconnected(const QString &message);
    void vpnPermissionDenied(int reasonCode, const QString &message);
    void vpnDurationChanged(int seconds);

private:
    void record(const QString &callName, const QVariantList &args = {});

    bool loggedIn = false;
    QString email;
    QString name;
    bool vip = false;
    QString vipExpiry;
    int daysOfVip = 0;
    int minutesFree = 120;
    bool connectAllowed = false;
    bool usedTrial = false;

    QList<Call> callRecord;
    CallObserver callObserver;
};

} // namespace Tavorin::Testing
