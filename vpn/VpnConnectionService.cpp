#include "vpn/VpnConnectionService.h"

#include "api/models/User.h"
#include "api/network/HttpClient.h"
#include "api/security/CryptoUtil.h"
#include "api/security/TokenManager.h"
#include "api/services/HeartbeatService.h"
#include "vpn/EngineRecords.h"
#include "vpn/EngineRecovery.h"
#include "vpn/SystemProxyManager.h"
#include "vpn/Tun2SocksManager.h"
#include "vpn/V2RayCore.h"
#include "vpn/VmessParser.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <memory>

namespace Tavorin::Api::Services {

namespace {

const QString tag = QStringLiteral("[VpnConnectionService]");
// The system proxy (or the tunnel) points here: the core's mixed listener.
QString proxyUrl()
{
    return QStringLiteral("socks://127.0.0.1:%1").arg(Vpn::V2RayCore::mixedPort());
}

QString modeName(int mode)
{
    return mode != 0 ? QStringLiteral("全局模式") : QStringLiteral("智能模式");
}

} // namespace

VpnConnectionService *VpnConnectionService::instance()
{
    static VpnConnectionService *service = [] {
        auto *created = new VpnConnectionService();
        // The object outlives the application object; a connection must not: the core would keep
        // the local port and the system proxy would point at it after the client is gone.
        qAddPostRoutine([] { VpnConnectionService::instance()->disconnect(); });
        return created;
    }();
    return service;
}

VpnConnectionService::VpnConnectionService(QObject *parent) : QObject(parent), durationTimer(new QTimer(this))
{
    qRegisterMetaType<VpnConnectionState>("VpnConnectionState");
    qRegisterMetaType<ConnectionFailureReason>("ConnectionFailureReason");
    durationTimer->setInterval(1000);
    HeartbeatService *heartbeat = HeartbeatService::instance();
    QObject::connect(heartbeat, &HeartbeatService::forceDisconnectRequired, this,
                     &VpnConnectionService::onForceDisconnectRequired);
    QObject::connect(heartbeat, &HeartbeatService::userStatusUpdated, this,
                     &VpnConnectionService::onUserStatusUpdated);
    QObject::connect(durationTimer, &QTimer::timeout, this, &VpnConnectionService::onDurationTimerTick);
    // The process-wide object is never deleted; leaving the event loop still ends the connection.
    if (QCoreApplication *application = QCoreApplication::instance())
        QObject::connect(application, &QCoreApplication::aboutToQuit, this,
                         &VpnConnectionService::onApplicationQuitting);
    qDebug().noquote() << tag << "初始化完成";
}

// Leaving the client in an orderly way (the window closed, a quit, a termination signal, the end of
// the user's session): the event loop has ended, so nothing sent now would leave without a wait. The
// connection's goodbye goes first (disconnect waits for it), then whatever else is still in flight
// gets the rest of the same short while. On Windows the end of the session allows little more.
void VpnConnectionService::onApplicationQuitting()
{
    QDeadlineTimer deadline(finalHeartbeatWaitMs);
    refuseConnections();
    if (attemptAlive())
        disconnect();
    waitForRequests(deadline);
}

void VpnConnectionService::waitForRequests(QDeadlineTimer deadline)
{
    Network::HttpClient *client = Network::HttpClient::instance();
    if (client->requestsInFlight() == 0)
        return;
    QEventLoop loop;
    QObject::connect(client, &Network::HttpClient::allRequestsFinished, &loop, &QEventLoop::quit);
    runUntilQuit(loop, deadline);
}

bool VpnConnectionService::runUntilQuit(QEventLoop &loop, QDeadlineTimer deadline)
{
    if (deadline.hasExpired() || !QCoreApplication::instance() || QCoreApplication::closingDown())
        return false;
    QTimer::singleShot(deadline.remainingTime(), &loop, [&loop]() { loop.exit(1); });
    // Nothing the user does may start anything new meanwhile; answers, timers and processes go on.
    return loop.exec(QEventLoop::ExcludeUserInputEvents) == 0;
}

// The wait ends with the goodbye's own answer. Waiting for every request instead sat out the whole
// limit whenever the service itself ended the connection (a device forced off, a trial run out): the
// teardown then runs inside that heartbeat answer's handling, which is in flight until it returns.
void VpnConnectionService::stopHeartbeatWithGoodbye()
{
    // Shared with the answer, which may come at once (nothing to send it with) or after the wait has
    // given up and its loop is gone.
    struct Goodbye
    {
        bool answered = false;
        QPointer<QEventLoop> loop;
    };
    auto goodbye = std::make_shared<Goodbye>();
    const bool sent =
        HeartbeatService::instance()->stopAutoHeartbeat([goodbye](bool, const Models::HeartbeatResponse &) {
            goodbye->answered = true;
            if (goodbye->loop)
                goodbye->loop->quit();
        });
    if (!sent)
        return;
    bool answered = goodbye->answered;
    if (!answered) {
        QEventLoop loop;
        goodbye->loop = &loop;
        answered = runUntilQuit(loop, QDeadlineTimer(finalHeartbeatWaitMs));
    }
    // What ended the wait: the goodbye's own answer, or the limit.
    if (answered)
        qDebug().noquote() << tag << "告别心跳已应答";
    else
        qWarning().noquote() << tag << "告别心跳未等到应答, 等待上限:" << finalHeartbeatWaitMs << "毫秒";
}

VpnConnectionService::~VpnConnectionService()
{
    disconnect();
}

QString VpnConnectionService::failureReasonText(int reason)
{
    switch (reason) {
    case None:
        return QString();
    case NotLoggedIn:
        return QStringLiteral("请先登录账号");
    case NoServerSelected:
        return QStringLiteral("请先选择服务器");
    case VipRequired:
        return QStringLiteral("此线路为VIP专线，请升级VIP后使用");
    case TrialExhausted:
        return QStringLiteral("您的免费体验时长已用完，请升级VIP继续使用");
    case VipExpired:
        return QStringLiteral("您的VIP已过期，无法连接VIP专线");
    case VipExpiredAndTrialExhausted:
        return QStringLiteral("您的VIP已过期且体验时长已用完，请续费VIP");
    case AccountSuspended:
        return QStringLiteral("您的账户已被暂停，请联系客服");
    case AccountBanned:
        return QStringLiteral("您的账户已被封禁，请联系客服");
    case ForcedOffline:
        return QStringLiteral("您的账号在其他设备登录，已被强制下线");
    case NetworkError:
        return QStringLiteral("网络连接失败，请检查网络设置");
    case ServerConnectionFailed:
        return QStringLiteral("服务器连接失败，请稍后重试");
    default:
        return QStringLiteral("未知错误");
    }
}

QString VpnConnectionService::stateText(int state)
{
    switch (state) {
    case Disconnected:
        return QStringLiteral("未连接");
    case Connecting:
        return QStringLiteral("连接中");
    case Connected:
        return QStringLiteral("已连接");
    case Disconnecting:
        return QStringLiteral("断开中");
    default:
        return QStringLiteral("未知");
    }
}

QString VpnConnectionService::getFailureReasonText(ConnectionFailureReason reason) const
{
    return failureReasonText(reason);
}

QString VpnConnectionService::formatSpeed(qint64 bytes, qint64 seconds)
{
    const qint64 rate =
        static_cast<qint64>(static_cast<double>(bytes) / static_cast<double>(qMax<qint64>(seconds, 1)));
    QString text;
    if (rate >= 1073741824)
        text = QString::number(rate / 1073741824.0, 'f', 2) + QStringLiteral(" GB");
    else if (rate >= 1048576)
        text = QString::number(rate / 1048576.0, 'f', 2) + QStringLiteral(" MB");
    else if (rate < 1024)
        text = QString::number(rate) + QStringLiteral(" B");
    else
        text = QString::number(rate / 1024.0, 'f', 2) + QStringLiteral(" KB");
    return text + QStringLiteral("/s");
}

QString VpnConnectionService::formatDuration(int seconds)
{
    const QLatin1Char zero('0');
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, zero)
        .arg((seconds % 3600) / 60, 2, 10, zero)
        .arg(seconds % 60, 2, 10, zero);
}

QString VpnConnectionService::speedText(qint64 current, qint64 previous) const
{
    if (connectionState != Connected || lastStatsTime.isNull())
        return QStringLiteral("0 B/s");
    // The growth between the last two reports belongs to the time between them (and keeps
    // shrinking when no report follows); the time since the last report alone would be ~0.
    const QDateTime since = previousStatsTime.isNull() ? lastStatsTime : previousStatsTime;
    qint64 seconds = since.secsTo(QDateTime::currentDateTime());
    if (seconds <= 0)
        seconds = 1;
    return formatSpeed(current - previous, seconds);
}

QString VpnConnectionService::uploadSpeed() const
{
    return speedText(uploadBytes, previousUploadBytes);
}

QString VpnConnectionService::downloadSpeed() const
{
    return speedText(downloadBytes, previousDownloadBytes);
}

void VpnConnectionService::setRoutingMode(int mode)
{
    qDebug().noquote() << tag << "设置路由模式:" << modeName(mode);
    routingMode = mode;
}

ConnectionFailureReason VpnConnectionService::checkConnectionPermission(int id, bool requiresVip)
{
    const bool vipExpired = vipExpiresAt.isValid() && vipExpiresAt < QDateTime::currentDateTime();
    const bool trialExhausted = trialUsed && trialHoursRemaining <= 0;
    if (!loggedIn)
        return NotLoggedIn;
    if (userStatus == QLatin1String("suspended"))
        return AccountSuspended;
    if (userStatus == QLatin1String("banned"))
        return AccountBanned;
    if (id <= 0)
        return NoServerSelected;
    if (requiresVip) {
        if (!isVip)
            return VipRequired;
        if (vipExpired)
            return VipExpired;
    }
    if (!isVip && trialExhausted)
        return TrialExhausted;
    if (vipExpired && trialExhausted)
        return VipExpiredAndTrialExhausted;
    return None;
}

void VpnConnectionService::setState(VpnConnectionState state)
{
    connectionState = state;
    emit connectionStateChanged(state);
}

Vpn::V2RayCore *VpnConnectionService::proxyCore()
{
    if (!core) {
        core = new Vpn::V2RayCore(this);
        QObject::connect(core, &Vpn::V2RayCore::connected, this, &VpnConnectionService::onCoreConnected);
        QObject::connect(core, &Vpn::V2RayCore::disconnected, this,
                         &VpnConnectionService::onCoreDisconnected);
        QObject::connect(core, &Vpn::V2RayCore::error, this, &VpnConnectionService::onCoreError);
        QObject::connect(core, &Vpn::V2RayCore::trafficUpdate, this,
                         &VpnConnectionService::updateTrafficStats);
        QObject::connect(core, &Vpn::V2RayCore::logOutput, this, &VpnConnectionService::onEngineLogOutput);
        qDebug().noquote() << tag << "VPN核心已创建";
    }
    return core;
}

Vpn::Tun2SocksManager *VpnConnectionService::tunnelManager()
{
    if (!tunnel) {
        tunnel = new Vpn::Tun2SocksManager(this);
        QObject::connect(tunnel, &Vpn::Tun2SocksManager::error, this, &VpnConnectionService::onTunnelError);
        QObject::connect(tunnel, &Vpn::Tun2SocksManager::logOutput, this,
                         &VpnConnectionService::onEngineLogOutput);
        qDebug().noquote() << tag << "Tun2SocksManager已创建";
    }
    return tunnel;
}

// A teardown that waits for its goodbye lets answers and timers run meanwhile: a connect among them
// would take over the attempt's state while the teardown still needs it, and the teardown would
// then leave the system proxy on. Once the client is leaving, nothing starts anew at all.
bool VpnConnectionService::refusesNewAttempt() const
{
    if (leaving) {
        qWarning().noquote() << tag << "客户端正在退出, 不再连接";
        return true;
    }
    if (connectionState == Disconnecting) {
        qWarning().noquote() << tag << "正在断开中, 不再连接";
        return true;
    }
    return false;
}

bool VpnConnectionService::connect(int id, const QString &link)
{
    qDebug().noquote() << tag << "尝试连接服务器:" << id;
    if (refusesNewAttempt())
        return false;
    if (attemptAlive()) {
        qDebug().noquote() << tag << "当前已连接或正在连接，先断开";
        disconnect();
        // That disconnect waited for its goodbye: the client may have begun to leave meanwhile.
        if (refusesNewAttempt())
            return false;
    }
    const ConnectionFailureReason reason = checkConnectionPermission(id, false);
    if (reason != None) {
        const QString text = failureReasonText(reason);
        qWarning().noquote() << tag << "连接权限检查失败:" << text;
        emit connectionFailed(reason, text);
        emit permissionDenied(reason, text);
        return false;
    }
    performConnect(id, link);
    return true;
}

void VpnConnectionService::performConnect(int id, const QString &link)
{
    qDebug().noquote() << tag << "开始连接流程, 服务器ID:" << id;
    serverId = id;
    vmessLink = link;
    activeMode = connectionMode;
    engineTouched = false;
    const quint64 attempt = ++attemptNumber;
    setState(Connecting);

    try {
        proxyCore();
        QString text = link;
        if (!link.startsWith(QLatin1String("vmess://"))) {
            qDebug().noquote() << tag << "VMess链接已加密,开始解密...";
            const QString passphrase = Security::TokenManager::instance()->getVpnEncryptKey();
            if (passphrase.isEmpty()) {
                qWarning().noquote() << tag << "未设置VPN加密密钥";
            } else {
                text = Security::CryptoUtil::decryptVmessLink(link, passphrase);
                if (text.isEmpty()) {
                    qWarning().noquote() << tag << "VMess链接解密失败";
                    handleConnectionFailure(NetworkError);
                    return;
                }
                qDebug().noquote() << tag << "VMess链接解密成功";
            }
        }

        Vpn::VmessConfig config = Vpn::VmessParser::parse(text);
        qDebug().noquote() << tag << "VMess链接解析成功";
        config.routingMode = routingMode != 0 ? 1 : 0;
        qDebug().noquote() << tag << "路由模式:" << modeName(config.routingMode);

        // A listener may have ended the attempt from inside one of our signals.
        if (connectionState != Connecting)
            return;
        // What an earlier run of the client left switched on is taken back first; the core would
        // find its port held by that run's core.
        Vpn::EngineRecovery *recovery = Vpn::EngineRecovery::instance();
        if (recovery->isRunning()) {
            qDebug().noquote() << tag << "等待上次运行遗留的设置恢复完成";
            QObject::connect(
                recovery, &Vpn::EngineRecovery::finished, this,
                [this, attempt, config]() {
                    if (attempt == attemptNumber && connectionState == Connecting)
                        startCore(config);
                },
                Qt::SingleShotConnection);
            return;
        }
        startCore(config);
    } catch (const QString &message) {
        startingCore = false;
        startingTunnel = false;
        qWarning().noquote() << tag << "连接异常:" << message;
        handleConnectionFailure(NetworkError);
    } catch (...) {
        startingCore = false;
        startingTunnel = false;
        qWarning().noquote() << tag << "未知异常";
        handleConnectionFailure(NetworkError);
    }
}

void VpnConnectionService::startCore(const Vpn::VmessConfig &config)
{
    startingCore = true;
    const bool coreStarted = core->start(config);
    startingCore = false;
    if (!coreStarted) {
        qWarning().noquote() << tag << "VPN核心启动失败";
        handleConnectionFailure(NetworkError);
        return;
    }
    // The system proxy (or the tunnel) follows once the core has shown that it answers.
    qDebug().noquote() << tag << "VPN核心已启动";
}

bool VpnConnectionService::routeTrafficToCore()
{
    // From here on every end of the attempt takes back what the switch-on may have changed.
    engineTouched = true;
    if (activeMode == 0) {
        qDebug().noquote() << tag << "使用系统代理模式";
        Vpn::EngineRecords::write(Vpn::EngineRecords::systemProxy, {{QStringLiteral("url"), proxyUrl()}});
        // Showing "已连接" while the system is not pointed at the core would be a lie: a
        // failed switch-on ends the attempt (the teardown switches off what was switched on).
        if (!Vpn::SystemProxyManager::setSystemProxy(proxyUrl())) {
            qWarning().noquote() << tag << "设置系统代理失败";
            handleConnectionFailure(NetworkError);
            return false;
        }
        qDebug().noquote() << tag << "系统代理已设置";
    } else if (activeMode == 1) {
        qDebug().noquote() << tag << "使用VPN模式";
        QThread::msleep(static_cast<unsigned long>(qMax(0, tunnelStartDelayMs)));
        tunnelManager();
        startingTunnel = true;
        const bool tunnelStarted = tunnel->start(proxyUrl());
        startingTunnel = false;
        if (!tunnelStarted) {
            qWarning().noquote() << tag << "启动VPN隧道失败";
            handleConnectionFailure(NetworkError);
            return false;
        }
        qDebug().noquote() << tag << "VPN隧道已启动";
    }
    // The core may have gone, or a listener ended the attempt, while the commands ran.
    return connectionState == Connecting;
}

void VpnConnectionService::onCoreConnected()
{
    // The core reports "connected" once per run, and only while this attempt is in progress: every
    // end of an attempt (handleConnectionFailure, disconnect) stops the core, which cancels the
    // readiness check before it can report, and a new run starts only with a new attempt. The one
    // wait inside disconnect (for the goodbye) happens only after the connection was established.
    if (!routeTrafficToCore())
        return;
    qDebug().noquote() << tag << "VPN连接建立成功";
    setState(Connected);
    emit connectionSuccess();
    qDebug().noquote() << tag << "启动心跳, 服务器ID:" << serverId;
    HeartbeatService::instance()->startAutoHeartbeat(serverId, 0);
    connectedAt = QDateTime::currentDateTime();
    connectionSeconds = 0;
    durationTimer->start();
    qDebug().noquote() << tag << "开始连接时长计时";
}

void VpnConnectionService::onDurationTimerTick()
{
    if (connectionState != Connected)
        return;
    connectionSeconds = static_cast<int>(connectedAt.secsTo(QDateTime::currentDateTime()));
    emit connectionDurationChanged(connectionSeconds);
}

void VpnConnectionService::stopEngine()
{
    if (core)
        core->stop();
    if (activeMode == 0) {
        if (engineTouched) {
            qDebug().noquote() << tag << "清除系统代理";
            // What could not be switched off stays on record, to be tried again at the next start.
            if (Vpn::SystemProxyManager::clearSystemProxy())
                Vpn::EngineRecords::clearOwn(Vpn::EngineRecords::systemProxy);
            else
                qWarning().noquote() << tag << "清除系统代理未完全成功";
        }
    } else if (tunnel) {
        qDebug().noquote() << tag << "停止VPN隧道";
        tunnel->stop();
    }
    engineTouched = false;
}

void VpnConnectionService::resetFigures()
{
    serverId = 0;
    vmessLink.clear();
    connectionSeconds = 0;
    uploadBytes = 0;
    downloadBytes = 0;
    previousUploadBytes = 0;
    previousDownloadBytes = 0;
    previousStatsTime = QDateTime();
    latency = 0;
}

void VpnConnectionService::handleConnectionFailure(ConnectionFailureReason reason)
{
    // One failure per attempt: whatever reports the same end later finds nothing left to fail.
    if (!attemptAlive()) {
        qDebug().noquote() << tag << "连接已结束, 忽略失败:" << static_cast<int>(reason);
        return;
    }
    qWarning().noquote() << tag << "VPN连接失败:" << static_cast<int>(reason);
    // Signals of the parts being stopped must find the attempt over already.
    connectionState = Disconnecting;
    HeartbeatService::instance()->stopAutoHeartbeat();
    durationTimer->stop();
    stopEngine();
    resetFigures();
    setState(Disconnected);
    emit connectionFailed(reason, failureReasonText(reason));
}

void VpnConnectionService::disconnect()
{
    if (connectionState == Disconnected) {
        qDebug().noquote() << tag << "已经是断开状态";
        return;
    }
    if (connectionState == Disconnecting) {
        qDebug().noquote() << tag << "正在断开中";
        return;
    }
    qDebug().noquote() << tag << "断开VPN连接";
    setState(Disconnecting);
    qDebug().noquote() << tag << "停止心跳";
    // The goodbye leaves before the teardown's commands block the event loop, and the service has
    // it while the connection is still standing; a slow service holds the teardown up only briefly.
    stopHeartbeatWithGoodbye();
    durationTimer->stop();
    qDebug().noquote() << tag << "停止连接时长计时, 总时长:" << formatDuration(connectionSeconds);
    stopEngine();
    resetFigures();
    setState(Disconnected);
    emit disconnected();
    qDebug().noquote() << tag << "VPN已断开";
}

void VpnConnectionService::onCoreDisconnected()
{
    if (!attemptAlive())
        return;
    qWarning().noquote() << tag << "VPN意外断开";
    handleConnectionFailure(NetworkError);
}

void VpnConnectionService::onCoreError(const QString &message)
{
    qWarning().noquote() << tag << "VPN错误:" << message;
    if (!startingCore)
        handleConnectionFailure(NetworkError);
}

void VpnConnectionService::onTunnelError(const QString &message)
{
    qWarning().noquote() << tag << "Tun2Socks错误:" << message;
    if (!startingTunnel)
        handleConnectionFailure(NetworkError);
}

void VpnConnectionService::onEngineLogOutput(const QString &line)
{
    qDebug().noquote() << line;
}

void VpnConnectionService::onForceDisconnectRequired(const QString &message)
{
    qWarning().noquote() << tag << "收到强制断开信号:" << message;
    // One episode, one warning: a second demand (the final heartbeat drawing another refusal, say)
    // finds the connection already gone.
    if (!attemptAlive()) {
        qDebug().noquote() << tag << "当前未连接, 忽略强制断开";
        return;
    }
    qWarning().noquote() << tag << "被服务器强制断开:" << message;
    disconnect();
    emit forceDisconnected(message);
    emit connectionFailed(ForcedOffline, message);
}

void VpnConnectionService::onUserStatusUpdated(bool vip, double hoursRemaining)
{
    isVip = vip;
    trialHoursRemaining = hoursRemaining;
    if (connectionState == Connected && !isVip && trialHoursRemaining <= 0) {
        qWarning().noquote() << tag << "体验时长已到期，断开连接";
        disconnect();
        emit permissionDenied(TrialExhausted, failureReasonText(TrialExhausted));
    }
}

void VpnConnectionService::updateTrafficStats(qlonglong upload, qlonglong download)
{
    previousUploadBytes = uploadBytes;
    previousDownloadBytes = downloadBytes;
    uploadBytes = upload;
    downloadBytes = download;
    previousStatsTime = lastStatsTime;
    lastStatsTime = QDateTime::currentDateTime();
    HeartbeatService::instance()->updateTrafficStats(upload, download);
    emit trafficStatsChanged();
}

void VpnConnectionService::updateLatency(int latencyMs)
{
    latency = latencyMs;
    HeartbeatService::instance()->updateLatency(latencyMs);
    emit latencyChanged();
}

void VpnConnectionService::updateUserInfo(const Models::User &user)
{
    loggedIn = true;
    isVip = user.isVip;
    trialUsed = user.trialUsed;
    trialHoursRemaining = user.trialHoursRemaining;
    userStatus = user.status;
    vipExpiresAt = user.vipExpiresAt;
    qDebug().noquote() << tag << "用户信息已更新 - VIP:" << isVip << ", 体验时长:" << trialHoursRemaining
                       << "小时";
}

void VpnConnectionService::refuseConnections()
{
    if (leaving)
        return;
    leaving = true;
    qDebug().noquote() << tag << "客户端正在退出, 此后不再连接";
}

void VpnConnectionService::onUserLoggedOut()
{
    qDebug().noquote() << tag << "用户登出，断开连接";
    disconnect();
    loggedIn = false;
    isVip = false;
    trialUsed = false;
    trialHoursRemaining = 0;
    userStatus = QStringLiteral("active");
    vipExpiresAt = QDateTime();
}

} // namespace Tavorin::Api::Services
