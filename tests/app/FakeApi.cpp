#include "FakeApi.h"

namespace Tavorin::Testing {

FakeApi::FakeApi(QObject *parent) : QObject(parent) {}

void FakeApi::resetUser()
{
    loggedIn = false;
    email.clear();
    name.clear();
    vip = false;
    vipExpiry.clear();
    daysOfVip = 0;
    minutesFree = 120;
    connectAllowed = false;
    usedTrial = false;
}

QString FakeApi::failureReasonText(int reasonCode)
{
    switch (reasonCode) {
    case 0:
        return QString();
    case 1:
        return QStringLiteral("请先登录账号");
    case 2:
        return QStringLiteral("请先选择服务器");
    case 3:
        return QStringLiteral("此线路为VIP专线，请升级VIP后使用");
    case 4:
        return QStringLiteral("您的免费体验时长已用完，请升级VIP继续使用");
    case 5:
        return QStringLiteral("您的VIP已过期，无法连接VIP专线");
    case 6:
        return QStringLiteral("您的VIP已过期且体验时长已用完，请续费VIP");
    case 7:
        return QStringLiteral("您的账户已被暂停，请联系客服");
    case 8:
        return QStringLiteral("您的账户已被封禁，请联系客服");
    case 9:
        return QStringLiteral("您的账号在其他设备登录，已被强制下线");
    case 10:
        return QStringLiteral("网络连接失败，请检查网络设置");
    case 11:
        return QStringLiteral("服务器连接失败，请稍后重试");
    default:
        return QStringLiteral("未知错误");
    }
}

void FakeApi::record(const QString &callName, const QVariantList &args)
{
    callRecord.append({callName, args});
    if (callObserver)
        callObserver(callRecord.constLast());
}

void FakeApi::login(const QString &emailText, const QString &password)
{
    record(QStringLiteral("login"), {emailText, password});
}

void FakeApi::registerUser(const QString &emailText, const QString &password, const QString &nameText,
                           const QString &refferCode)
{
    record(QStringLiteral("registerUser"), {emailText, password, nameText, refferCode});
}

void FakeApi::logout()
{
    record(QStringLiteral("logout"));
}
void FakeApi::refreshUserInfo()
{
    record(QStringLiteral("refreshUserInfo"));
}
void FakeApi::getServers(const QString &tier)
{
    record(QStringLiteral("getServers"), {tier});
}
void FakeApi::getServerById(int serverId)
{
    record(QStringLiteral("getServerById"), {serverId});
}
void FakeApi::getAnnouncements()
{
    record(QStringLiteral("getAnnouncements"));
}
void FakeApi::getUserOrders()
{
    record(QStringLiteral("getUserOrders"));
}
void FakeApi::getSystemConfig()
{
    record(QStringLiteral("getSystemConfig"));
}
void FakeApi::activateFreeTrial()
{
    record(QStringLiteral("activateFreeTrial"));
}
void FakeApi::activateVipTrial()
{
    record(QStringLiteral("activateVipTrial"));
}
void FakeApi::getTrialStatus()
{
    record(QStringLiteral("getTrialStatus"));
}

void FakeApi::createPayment(int planId, const QString &paymentMethod)
{
    record(QStringLiteral("createPayment"), {planId, paymentMethod});
}

void FakeApi::getPaymentStatus(const QString &orderNumber)
{
    record(QStringLiteral("getPaymentStatus"), {orderNumber});
}

void FakeApi::startPollingPayment(const QString &orderNumber)
{
    record(QStringLiteral("startPollingPayment"), {orderNumber});
}

void FakeApi::stopPollingPayment()
{
    record(QStringLiteral("stopPollingPayment"));
}
void FakeApi::getSubscriptionPlans()
{
    record(QStringLiteral("getSubscriptionPlans"));
}
void FakeApi::sendHeartbeat(bool isConnected)
{
    record(QStringLiteral("sendHeartbeat"), {isConnected});
}
void FakeApi::getHeartbeatStats()
{
    record(QStringLiteral("getHeartbeatStats"));
}
void FakeApi::setRoutingMode(int mode)
{
    record(QStringLiteral("setRoutingMode"), {mode});
}

bool FakeApi::connectVpn(int serverId, const QString &vmessLink, bool requiresVip)
{
    record(QStringLiteral("connectVpn"), {serverId, vmessLink, requiresVip});
    // Like the real facade: an empty link is refused before anything else.
    return !vmessLink.isEmpty() && connectResult;
}

void FakeApi::disconnectVpn()
{
    record(QStringLiteral("disconnectVpn"));
}

int FakeApi::checkVpnPermission(int serverId, bool requiresVip)
{
    record(QStringLiteral("checkVpnPermission"), {serverId, requiresVip});
    return permissionResult;
}

QString FakeApi::getVpnFailureReasonText(int reasonCode)
{
    record(QStringLiteral("getVpnFailureReasonText"), {reasonCode});
    return failureTextOverride.isEmpty() ? failureReasonText(reasonCode) : failureTextOverride;
}

void FakeApi::updateVpnTraffic(qlonglong uploadBytes, qlonglong downloadBytes)
{
    record(QStringLiteral("updateVpnTraffic"), {uploadBytes, downloadBytes});
}

void FakeApi::updateVpnLatency(int latencyMs)
{
    record(QStringLiteral("updateVpnLatency"), {latencyMs});
}

} // namespace Tavorin::Testing
