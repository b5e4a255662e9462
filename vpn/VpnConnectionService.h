#pragma once

#include "vpn/ConnectionFailureReason.h"
#include "vpn/VpnConnectionState.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>

class QEventLoop;
class QTimer;

namespace Tavorin::Api::Models {
struct User;
}

namespace Tavorin::Api::Vpn {
class V2RayCore;
class Tun2SocksManager;
struct VmessConfig;
} // namespace Tavorin::Api::Vpn

namespace Tavorin::Api::Services {

// The one object that connects and disconnects: permission rule, link to running proxy core,
// system proxy (or TUN tunnel), heartbeat, duration and traffic figures, and the teardown of all
// of it on request or on any failure.
class VpnConnectionService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isConnected READ isConnected NOTIFY connectionStateChanged)
    Q_PROPERTY(bool isConnecting READ isConnecting NOTIFY connectionStateChanged)
    Q_PROPERTY(QString connectionStateText READ connectionStateText NOTIFY connectionStateChanged)
    Q_PROPERTY(int connectionDuration READ connectionDuration NOTIFY connectionDurationChanged)
    Q_PROPERTY(QString connectionDurationText READ connectionDurationText NOTIFY connectionDurationChanged)
    Q_PROPERTY(qlonglong uploadBytes READ getUploadBytes NOTIFY trafficStatsChanged)
    Q_PROPERTY(qlonglong downloadBytes READ getDownloadBytes NOTIFY trafficStatsChanged)
    Q_PROPERTY(QString uploadSpeed READ uploadSpeed NOTIFY trafficStatsChanged)
    Q_PROPERTY(QString downloadSpeed READ downloadSpeed NOTIFY trafficStatsChanged)
    Q_PROPERTY(int latency READ getLatency NOTIFY latencyChanged)

public:
    static VpnConnectionService *instance();
    ~VpnConnectionService() override;

    Q_INVOKABLE void setRoutingMode(int mode);
    Q_INVOKABLE bool connect(int serverId, const QString &vmessLink);
    Q_INVOKABLE void disconnect();
    Q_INVOKABLE Tavorin::Api::Services::ConnectionFailureReason checkConnectionPermission(int serverId,
                                                                                          bool requiresVip);
    Q_INVOKABLE QString getFailureReasonText(Tavorin::Api::Services::ConnectionFailureReason reason) const;
    Q_INVOKABLE void updateTrafficStats(qlonglong uploadBytes, qlonglong downloadBytes);
    Q_INVOKABLE void updateLatency(int latencyMs);

    void updateUserInfo(const Models::User &user);
    void onUserLoggedOut();
    // The client is leaving: from now on every connect is refused, so that nothing starts that the
    // teardown would leave behind. For good; a client that leaves does not come back.
    void refuseConnections();

    VpnConnectionState state() const { return connectionState; }
    bool isConnected() const { return connectionState == Connected; }
    bool isConnecting() const { return connectionState == Connecting; }
    QString connectionStateText() const { return stateText(connectionState); }
    int connectionDuration() const { return connectionSeconds; }
    QString connectionDurationText() const { return formatDuration(connectionSeconds); }
    qlonglong getUploadBytes() const { return uploadBytes; }
    qlonglong getDownloadBytes() const { return downloadBytes; }
    QString uploadSpeed() const;
    QString downloadSpeed() const;
    int getLatency() const { return latency; }
    int currentServerId() const { return serverId; }

    // The texts the screens show, shared with the QML facade.
    static QString failureReasonText(int reason);
    static QString stateText(int state);
    static QString formatSpeed(qint64 bytes, qint64 seconds);
    static QString formatDuration(int seconds);

    // The engine's parts, created on first use; tests and the benchmark reach their seams here.
    Vpn::V2RayCore *proxyCore();
    Vpn::Tun2SocksManager *tunnelManager();
    // Seams: 0 system proxy (the product's only mode), 1 TUN tunnel; the wait before the tunnel starts.
    void setConnectionMode(int mode) { connectionMode = mode; }
    void setTunnelStartDelayMs(int milliseconds) { tunnelStartDelayMs = milliseconds; }

signals:
    void connectionStateChanged(Tavorin::Api::Services::VpnConnectionState state);
    void connectionSuccess();
    void connectionFailed(Tavorin::Api::Services::ConnectionFailureReason reason, const QString &message);
    void disconnected();
    void connectionDurationChanged(int seconds);
    void trafficStatsChanged();
    void latencyChanged();
    void forceDisconnected(const QString &message);
    void permissionDenied(Tavorin::Api::Services::ConnectionFailureReason reason, const QString &message);

private slots:
    void onCoreConnected();
    void onCoreDisconnected();
    void onCoreError(const QString &message);
    void onTunnelError(const QString &message);
    void onEngineLogOutput(const QString &line);
    void onForceDisconnectRequired(const QString &message);
    void onUserStatusUpdated(bool vip, double hoursRemaining);
    void onDurationTimerTick();
    void onApplicationQuitting();

private:
    explicit VpnConnectionService(QObject *parent = nullptr);

    // Logs why, when a connect must not start an attempt now.
    bool refusesNewAttempt() const;
    void performConnect(int id, const QString &link);
    void startCore(const Vpn::VmessConfig &config);
    bool routeTrafficToCore();
    void handleConnectionFailure(ConnectionFailureReason reason);
    void setState(VpnConnectionState state);
    void stopEngine();
    void resetFigures();
    bool attemptAlive() const { return connectionState == Connecting || connectionState == Connected; }
    QString speedText(qint64 current, qint64 previous) const;
    // Lets the event loop run until no request of the service client is in flight, or `deadline`.
    static void waitForRequests(QDeadlineTimer deadline);
    // Runs `loop` until it is quit or the deadline passes; not at all once the application is going.
    // True when it was quit before the deadline.
    static bool runUntilQuit(QEventLoop &loop, QDeadlineTimer deadline);
    static void stopHeartbeatWithGoodbye();

    VpnConnectionState connectionState = Disconnected;
    int connectionMode = 0;
    int routingMode = 1;
    int serverId = 0;
    QString vmessLink;
    bool loggedIn = false;
    bool isVip = false;
    bool trialUsed = false;
    double trialHoursRemaining = 0;
    QString userStatus = QStringLiteral("active");
    QDateTime vipExpiresAt;
    QTimer *durationTimer;
    QDateTime connectedAt;
    int connectionSeconds = 0;
    qint64 uploadBytes = 0;
    qint64 downloadBytes = 0;
    qint64 previousUploadBytes = 0;
    qint64 previousDownloadBytes = 0;
    QDateTime lastStatsTime;
    QDateTime previousStatsTime;
    int latency = 0;
    Vpn::V2RayCore *core = nullptr;
    Vpn::Tun2SocksManager *tunnel = nullptr;

    // The mode of the attempt in progress, and whether it got as far as the engine (from then on
    // every end of it takes the system proxy or the tunnel back).
    int activeMode = 0;
    bool engineTouched = false;
    // Numbers the attempts, so that a start that waited for something belongs to the attempt still
    // in progress.
    quint64 attemptNumber = 0;
    // While the core or the tunnel is being started, its own error signals are only logged: the
    // start's result reports the failure, once.
    bool startingCore = false;
    bool startingTunnel = false;
    bool leaving = false;
    int tunnelStartDelayMs = 3000;
    // How long a disconnect, and leaving the client, may wait for the service to take the goodbye.
    static constexpr int finalHeartbeatWaitMs = 2000;
};

} // namespace Tavorin::Api::Services
