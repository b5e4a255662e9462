#pragma once

#include "api/models/Server.h"
#include "api/services/ServiceCallbacks.h"

#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

namespace Tavorin::Api {

// The only object the QML screens reach the back end through, published to the engine as `API`.
// Every operation returns at once; its answer arrives later as one result or one error signal.
class QmlApiAdapter : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isLoggedIn READ isLoggedIn NOTIFY loginStateChanged)
    Q_PROPERTY(QString userEmail READ getUserEmail NOTIFY userInfoChanged)
    Q_PROPERTY(QString userName READ getUserName NOTIFY userInfoChanged)
    Q_PROPERTY(bool isVip READ getIsVip NOTIFY userInfoChanged)
    Q_PROPERTY(QString vipExpiresAt READ getVipExpiresAt NOTIFY userInfoChanged)
    Q_PROPERTY(int vipDays READ getVipDays NOTIFY userInfoChanged)
    Q_PROPERTY(int freeMinutes READ getFreeMinutes NOTIFY userInfoChanged)
    Q_PROPERTY(bool canConnect READ canConnect NOTIFY userInfoChanged)
    Q_PROPERTY(bool trialUsed READ getTrialUsed NOTIFY userInfoChanged)

public:
    explicit QmlApiAdapter(QObject *parent = nullptr);
    ~QmlApiAdapter() override;

    bool isLoggedIn() const;
    QString getUserEmail() const { return userEmail; }
    QString getUserName() const { return userName; }
    bool getIsVip() const { return isVip; }
    QString getVipExpiresAt() const { return vipExpiresAt; }
    int getVipDays() const { return vipDays; }
    int getFreeMinutes() const { return freeMinutes; }
    bool canConnect() const;
    bool getTrialUsed() const { return trialUsed; }

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

    void updateUserInfo();

    // Seam for tests: the pause between a forced disconnection and the automatic sign-out.
    void setForcedLogoutDelayMs(int milliseconds) { forcedLogoutDelayMs = milliseconds; }

    static QString displayName(const Models::Server &server);
    static QString getCountryFlag(const QString &countryCode);
    static QVariantMap serverToMap(const Models::Server &server, bool withListFields);

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
    void setupConnections();
    void setSignedOutState();
    void handleSignedIn(bool success, const QString &message, const QString &what,
                        void (QmlApiAdapter::*refused)(const QString &));
    void onForceDisconnected(const QString &message);
    Services::UserCallback trialCompletion(const QString &kind, bool vipTrial);

    QString userEmail;
    QString userName;
    bool isVip = false;
    QString vipExpiresAt;
    int vipDays = 0;
    int freeMinutes = 120;
    bool trialUsed = false;
    // The sign-out waiting for the service (its number, counted from 1), 0 when none: each sign-out ends
    // only its own wait, never that of one started after it.
    quint64 pendingSignOut = 0;
    quint64 signOutsStarted = 0;
    int forcedLogoutDelayMs = 1000;
};

} // namespace Tavorin::Api
