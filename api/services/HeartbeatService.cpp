#include "api/services/HeartbeatService.h"

#include "api/models/HeartbeatRequest.h"
#include "api/network/ApiResponse.h"
#include "api/network/HttpClient.h"
#include "api/security/TokenManager.h"

#include <QDebug>
#include <QTimer>

#include <algorithm>

namespace Tavorin::Api::Services {

using Network::ApiResponse;
using Network::HttpClient;

namespace {
const QString connectedStatus = QStringLiteral("connected");
const QString disconnectedStatus = QStringLiteral("disconnected");
} // namespace

HeartbeatService *HeartbeatService::instance()
{
    static HeartbeatService *service = new HeartbeatService();
    return service;
}

HeartbeatService::HeartbeatService(QObject *parent) : QObject(parent), heartbeatTimer(new QTimer(this))
{
    qRegisterMetaType<Models::HeartbeatResponse>();
    heartbeatTimer->setInterval(defaultIntervalSeconds * secondLengthMs);
    connect(heartbeatTimer, &QTimer::timeout, this, &HeartbeatService::onTimerTick);
    qDebug().noquote() << "[HeartbeatService] 初始化完成";
}

HeartbeatService::~HeartbeatService()
{
    stopAutoHeartbeat();
}

bool HeartbeatService::isRunning() const
{
    return heartbeatTimer->isActive();
}

int HeartbeatService::intervalMs() const
{
    return heartbeatTimer->interval();
}

void HeartbeatService::setSecondLengthMs(int milliseconds)
{
    secondLengthMs = std::max(1, milliseconds);
}

void HeartbeatService::sendHeartbeat(int id, const QString &status, qint64 upload, qint64 download,
                                     int latency, const HeartbeatCallback &completion)
{
    Sent sent;
    sent.status = status;
    send(id, status, upload, download, latency, completion, sent);
}

void HeartbeatService::send(int id, const QString &status, qint64 upload, qint64 download, int latency,
                            const HeartbeatCallback &completion, const Sent &sent)
{
    const QString token = HttpClient::instance()->getAuthToken();
    if (token.isEmpty()) {
        qWarning().noquote() << "[HeartbeatService] 心跳发送失败: Token为空";
        if (completion)
            completion(false, Models::HeartbeatResponse());
        emit heartbeatFailed(QStringLiteral("Token为空，请先登录"));
        return;
    }
    qDebug().noquote() << "[HeartbeatService] 发送心跳, 服务器ID:" << id << ", 状态:" << status
                       << ", Token长度:" << token.length();
    Models::HeartbeatRequest request;
    request.deviceId = Security::TokenManager::instance()->getDeviceId();
    request.connectionStatus = status;
    request.uploadBytes = upload;
    request.downloadBytes = download;
    request.latencyMs = latency;
    HttpClient::instance()->post(
        QStringLiteral("heartbeat"), request.toJson(),
        [this, completion, sent](const ApiResponse &response) { handleReply(response, completion, sent); });
}

bool HeartbeatService::isCurrentRun(const Sent &sent) const
{
    return sent.automatic && sent.run == currentRun && heartbeatTimer->isActive();
}

void HeartbeatService::handleReply(const ApiResponse &response, const HeartbeatCallback &completion,
                                   const Sent &sent)
{
    if (response.isSuccess()) {
        const Models::HeartbeatResponse heartbeat = Models::HeartbeatResponse::fromJson(response.json);
        qDebug().noquote() << "[HeartbeatService] 心跳发送成功";
        // Only the connection that is up now may be ended or re-timed by an answer: a late answer of
        // an earlier connection, or the answer to a goodbye, speaks about something that is over.
        if (isCurrentRun(sent) && sent.status == connectedStatus)
            handleHeartbeatResponse(heartbeat);
        if (completion)
            completion(true, heartbeat);
        emit heartbeatSuccess(heartbeat);
        return;
    }
    if (response.statusCode == 401) {
        qWarning().noquote() << "[HeartbeatService] 检测到401错误，用户可能在其他设备登录";
        // One refused token is one forced disconnection: the goodbye heartbeat that stopping sends,
        // and answers of heartbeats already in flight, are refused too and must not repeat it.
        const bool current = heartbeatTimer->isActive() && sent.status == connectedStatus &&
                             (!sent.automatic || sent.run == currentRun);
        if (current) {
            stopAutoHeartbeat();
            emit forceDisconnectRequired(QStringLiteral("您的账号在其他设备登录，已被强制下线"));
        }
    }
    const QString message = response.getErrorMessage();
    if (completion)
        completion(false, Models::HeartbeatResponse());
    emit heartbeatFailed(message);
    qWarning().noquote() << "[HeartbeatService] 心跳发送失败:" << message;
}

void HeartbeatService::handleHeartbeatResponse(const Models::HeartbeatResponse &response)
{
    if (response.forceDisconnect || response.deviceStatus != QLatin1String("active")) {
        qWarning().noquote() << "[HeartbeatService] 需要强制断开连接:" << response.deviceMessage;
        emit forceDisconnectRequired(response.deviceMessage);
    }
    if (response.hasUserStatus)
        emit userStatusUpdated(response.isVip, response.trialHoursRemaining);
    if (response.hasInterval && response.interval > 0) {
        const qint64 seconds = std::clamp<qint64>(response.interval, minIntervalSeconds, maxIntervalSeconds);
        const qint64 milliseconds = seconds * secondLengthMs;
        if (milliseconds != heartbeatTimer->interval()) {
            heartbeatTimer->setInterval(static_cast<int>(milliseconds));
            qDebug().noquote() << "[HeartbeatService] 更新心跳间隔为:" << seconds << "秒";
        }
    }
}

void HeartbeatService::startAutoHeartbeat(int id, int intervalSeconds)
{
    stopAutoHeartbeat();
    ++currentRun;
    serverId = id;
    connectionStatus = connectedStatus;
    const qint64 seconds = intervalSeconds > 0
                               ? std::clamp<qint64>(intervalSeconds, minIntervalSeconds, maxIntervalSeconds)
                               : defaultIntervalSeconds;
    heartbeatTimer->setInterval(static_cast<int>(seconds * secondLengthMs));
    Sent sent;
    sent.run = currentRun;
    sent.automatic = true;
    sent.status = connectionStatus;
    send(serverId, connectionStatus, uploadBytes, downloadBytes, latencyMs, {}, sent);
    heartbeatTimer->start();
    qDebug().noquote() << "[HeartbeatService] 开始自动心跳, 服务器ID:" << serverId << ", 间隔:" << seconds
                       << "秒";
}

void HeartbeatService::onTimerTick()
{
    Sent sent;
    sent.run = currentRun;
    sent.automatic = true;
    sent.status = connectionStatus;
    send(serverId, connectionStatus, uploadBytes, downloadBytes, latencyMs, {}, sent);
}

bool HeartbeatService::stopAutoHeartbeat(const HeartbeatCallback &goodbyeAnswered)
{
    const bool running = heartbeatTimer->isActive();
    if (running) {
        heartbeatTimer->stop();
        Sent sent;
        sent.status = disconnectedStatus;
        send(serverId, disconnectedStatus, uploadBytes, downloadBytes, latencyMs, goodbyeAnswered, sent);
        qDebug().noquote() << "[HeartbeatService] 停止自动心跳";
    }
    serverId = 0;
    connectionStatus = disconnectedStatus;
    uploadBytes = 0;
    downloadBytes = 0;
    latencyMs = 0;
    return running;
}

void HeartbeatService::updateTrafficStats(qint64 upload, qint64 download)
{
    uploadBytes = upload;
    downloadBytes = download;
}

void HeartbeatService::updateLatency(int latency)
{
    latencyMs = latency;
}

void HeartbeatService::getStats(const HeartbeatStatsCallback &completion)
{
    qDebug().noquote() << "[HeartbeatService] 获取统计数据";
    HttpClient::instance()->get(QStringLiteral("heartbeat/stats"), [completion](const ApiResponse &response) {
        if (!completion)
            return;
        if (response.isSuccess())
            completion(true, Models::HeartbeatStats::fromJson(response.json));
        else
            completion(false, Models::HeartbeatStats());
    });
}

} // namespace Tavorin::Api::Services
