#pragma once

#include "api/models/HeartbeatResponse.h"
#include "api/models/HeartbeatStats.h"

#include <QObject>
#include <QString>

#include <functional>

class QTimer;

namespace Tavorin::Api::Network {
struct ApiResponse;
}

namespace Tavorin::Api::Services {

using HeartbeatCallback = std::function<void(bool success, const Models::HeartbeatResponse &response)>;
using HeartbeatStatsCallback = std::function<void(bool success, const Models::HeartbeatStats &stats)>;

// Tells the service, while a connection is up, that this device is connected and what it has
// transferred; carries back the service's demand to disconnect and the account's current state.
class HeartbeatService : public QObject
{
    Q_OBJECT

public:
    static constexpr int defaultIntervalSeconds = 30;
    static constexpr int minIntervalSeconds = 5;
    static constexpr int maxIntervalSeconds = 3600;

    static HeartbeatService *instance();
    ~HeartbeatService() override;

    void sendHeartbeat(int serverId, const QString &connectionStatus, qint64 uploadBytes,
                       qint64 downloadBytes, int latencyMs, const HeartbeatCallback &completion = {});
    void getStats(const HeartbeatStatsCallback &completion);
    void startAutoHeartbeat(int serverId, int intervalSeconds);
    // While the automatic heartbeat runs, stopping it sends the goodbye ("disconnected") and returns
    // true; `goodbyeAnswered` then runs once with the goodbye's outcome (at once when it cannot be sent).
    bool stopAutoHeartbeat(const HeartbeatCallback &goodbyeAnswered = {});
    void updateTrafficStats(qint64 uploadBytes, qint64 downloadBytes);
    void updateLatency(int latencyMs);

    bool isRunning() const;
    int intervalMs() const;
    int getServerId() const { return serverId; }
    QString getConnectionStatus() const { return connectionStatus; }

    // Seam for tests: how many milliseconds one interval second lasts (1000 in the product), so a
    // test runs the 30 s heartbeat and the service's interval instructions at tens of milliseconds.
    void setSecondLengthMs(int milliseconds);

signals:
    void heartbeatSuccess(const Models::HeartbeatResponse &response);
    void heartbeatFailed(const QString &message);
    void forceDisconnectRequired(const QString &message);
    void userStatusUpdated(bool isVip, double trialHoursRemaining);

private:
    // What a reply is judged by: which heartbeat it answers.
    struct Sent
    {
        quint64 run = 0;
        bool automatic = false;
        QString status;
    };

    explicit HeartbeatService(QObject *parent = nullptr);

    void send(int serverId, const QString &connectionStatus, qint64 uploadBytes, qint64 downloadBytes,
              int latencyMs, const HeartbeatCallback &completion, const Sent &sent);
    void handleReply(const Network::ApiResponse &response, const HeartbeatCallback &completion,
                     const Sent &sent);
    void handleHeartbeatResponse(const Models::HeartbeatResponse &response);
    bool isCurrentRun(const Sent &sent) const;
    void onTimerTick();

    QTimer *heartbeatTimer;
    int serverId = 0;
    QString connectionStatus = QStringLiteral("disconnected");
    qint64 uploadBytes = 0;
    qint64 downloadBytes = 0;
    int latencyMs = 0;
    quint64 currentRun = 0;
    int secondLengthMs = 1000;
};

} // namespace Tavorin::Api::Services
