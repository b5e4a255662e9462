#include "app/QmlApiAdapter.h"

#include "api/models/JsonReader.h"
#include "api/services/AnnouncementService.h"
#include "api/services/AuthService.h"
#include "api/services/ConfigService.h"
#include "api/services/HeartbeatService.h"
#include "api/services/OrderService.h"
#include "api/services/PaymentService.h"
#include "api/services/ServerService.h"
#include "app/ApiManager.h"
#include "vpn/VpnConnectionService.h"

#include <QDateTime>
#include <QDebug>
#include <QHash>
#include <QTimer>

#include <memory>

namespace Tavorin::Api {

using namespace Services;

namespace {

QString isoText(const QDateTime &date)
{
    return date.isValid() ? date.toString(Qt::ISODate) : QString();
}

// The time left on an expiry, in whole days rounded up; 0 when nothing is left.
int daysUntil(const QDateTime &expiry, const QDateTime &now, qint64 *secondsLeft)
{
    const qint64 seconds = now.msecsTo(expiry) / 1000;
    *secondsLeft = seconds;
    if (seconds <= 0)
        return 0;
    return Models::JsonReader::clampedInt(double((seconds - 1) / 86400 + 1));
}

// A query answers with the plan's days and the payment method; a poll's map leaves them out.
QVariantMap paymentStatusMap(const Models::PaymentStatusData &data, bool fromQuery)
{
    QVariantMap map;
    map.insert(QStringLiteral("orderId"), data.orderId);
    map.insert(QStringLiteral("status"), data.status);
    map.insert(QStringLiteral("amount"), data.amount);
    map.insert(QStringLiteral("planName"), data.planName);
    if (fromQuery) {
        map.insert(QStringLiteral("planDays"), data.planDays);
        map.insert(QStringLiteral("paymentMethod"), data.paymentMethod);
    }
    map.insert(QStringLiteral("paidAt"), data.paidAt);
    return map;
}

// What the user reads when the service ends an order without payment; empty for any other word.
QString paymentEndingText(const QString &status)
{
    static const QHash<QString, QString> texts{{QStringLiteral("cancelled"), QStringLiteral("订单已取消")},
                                               {QStringLiteral("refunded"), QStringLiteral("订单已退款")},
                                               {QStringLiteral("failed"), QStringLiteral("支付未成功")}};
    return texts.value(status);
}

// The completion of a list operation: each record becomes a map for QML, then one signal with the
// list, or one error signal with the service's message; `what` names the list in the log.
template <typename Record, typename ToMap>
std::function<void(bool, const QString &, const QList<Record> &)>
listCompletion(QmlApiAdapter *adapter, const QString &what,
               void (QmlApiAdapter::*loaded)(const QVariantList &),
               void (QmlApiAdapter::*failed)(const QString &), ToMap toMap)
{
    return [adapter, what, loaded, failed, toMap](bool success, const QString &message,
                                                  const QList<Record> &records) {
        if (!success) {
            qDebug().noquote() << QStringLiteral("[QmlApiAdapter] %1获取失败:").arg(what) << message;
            emit(adapter->*failed)(message);
            return;
        }
        QVariantList list;
        for (const Record &record : records)
            list.append(toMap(record));
        qDebug().noquote() << QStringLiteral("[QmlApiAdapter] %1获取成功, 数量:").arg(what) << list.size();
        emit(adapter->*loaded)(list);
    };
}

QVariantMap announcementToMap(const Models::Announcement &announcement)
{
    QVariantMap map;
    map.insert(QStringLiteral("id"), announcement.id);
    map.insert(QStringLiteral("title"), announcement.title);
    map.insert(QStringLiteral("content"), announcement.content);
    map.insert(QStringLiteral("type"), announcement.type);
    map.insert(QStringLiteral("publishedAt"), announcement.publishedAt);
    map.insert(QStringLiteral("createdAt"), announcement.createdAt);
    return map;
}

QVariantMap orderToMap(const Models::Order &order)
{
    QVariantMap map;
    map.insert(QStringLiteral("id"), order.id);
    map.insert(QStringLiteral("orderNumber"), order.orderNumber);
    map.insert(QStringLiteral("planName"), order.planName);
    map.insert(QStringLiteral("planDays"), order.planDays);
    map.insert(QStringLiteral("amount"), order.amount);
    map.insert(QStringLiteral("paymentCurrency"), order.paymentCurrency);
    map.insert(QStringLiteral("paymentMethod"), order.paymentMethod);
    map.insert(QStringLiteral("paymentMethodText"), order.paymentMethodText);
    map.insert(QStringLiteral("status"), order.status);
    map.insert(QStringLiteral("statusText"), order.statusText);
    map.insert(QStringLiteral("createdAt"), order.createdAt);
    map.insert(QStringLiteral("paidAt"), order.paidAt);
    return map;
}

QVariantMap planToMap(const Models::SubscriptionPlan &plan)
{
    QVariantMap map;
    map.insert(QStringLiteral("id"), plan.id);
    map.insert(QStringLiteral("name"), plan.name);
    map.insert(QStringLiteral("days"), plan.days);
    map.insert(QStringLiteral("price"), plan.price);
    map.insert(QStringLiteral("currency"), plan.currency);
    map.insert(QStringLiteral("description"), plan.description);
    map.insert(QStringLiteral("formattedPrice"), plan.formattedPrice);
    map.insert(QStringLiteral("daysText"), plan.daysText);
    map.insert(QStringLiteral("isActive"), plan.isActive);
    return map;
}

} // namespace

QmlApiAdapter::QmlApiAdapter(QObject *parent) : QObject(parent)
{
    setupConnections();
    updateUserInfo();
    qDebug() << "[QmlApiAdapter] 初始化完成";
}

QmlApiAdapter::~QmlApiAdapter()
{
    qDebug() << "[QmlApiAdapter] 销毁";
    VpnConnectionService::instance()->disconnect();
}

void QmlApiAdapter::setupConnections()
{
    connect(ApiManager::instance(), &ApiManager::loginStateChanged, this, [this](bool loggedIn) {
        if (loggedIn)
            updateUserInfo();
        emit loginStateChanged(loggedIn);
    });
    connect(AuthService::instance(), &AuthService::userInfoUpdated, this, [this]() { updateUserInfo(); });

    VpnConnectionService *vpn = VpnConnectionService::instance();
    connect(vpn, &VpnConnectionService::connectionSuccess, this, &QmlApiAdapter::vpnConnected);
    connect(vpn, &VpnConnectionService::connectionFailed, this,
            [this](ConnectionFailureReason reason, const QString &message) {
                emit vpnConnectionFailed(static_cast<int>(reason), message);
            });
    connect(vpn, &VpnConnectionService::disconnected, this, &QmlApiAdapter::vpnDisconnected);
    connect(vpn, &VpnConnectionService::forceDisconnected, this, &QmlApiAdapter::onForceDisconnected);
    connect(vpn, &VpnConnectionService::permissionDenied, this,
            [this](ConnectionFailureReason reason, const QString &message) {
                emit vpnPermissionDenied(static_cast<int>(reason), message);
            });
    connect(vpn, &VpnConnectionService::connectionDurationChanged, this, &QmlApiAdapter::vpnDurationChanged);
    connect(vpn, &VpnConnectionService::trafficStatsChanged, this,
            [this, vpn]() { emit vpnTrafficUpdate(vpn->getUploadBytes(), vpn->getDownloadBytes()); });
}

bool QmlApiAdapter::isLoggedIn() const
{
    return ApiManager::instance()->isLoggedIn();
}

bool QmlApiAdapter::canConnect() const
{
    return ApiManager::instance()->canConnect();
}

void QmlApiAdapter::setSignedOutState()
{
    userEmail.clear();
    userName.clear();
    isVip = false;
    vipExpiresAt.clear();
    vipDays = 0;
    freeMinutes = 120;
    trialUsed = false;
}

void QmlApiAdapter::updateUserInfo()
{
    if (!ApiManager::instance()->isLoggedIn()) {
        setSignedOutState();
        qDebug() << "📱 [QmlApiAdapter] 用户未登录，显示默认状态";
        emit userInfoChanged();
        return;
    }
    const Models::User user = ApiManager::instance()->getCurrentUser();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    userEmail = user.email;
    userName = user.name;
    isVip = user.isVip && user.vipExpiresAt.isValid() && user.vipExpiresAt > now;
    vipExpiresAt = isoText(user.vipExpiresAt);
    vipDays = 0;
    if (isVip) {
        qint64 seconds = 0;
        vipDays = daysUntil(user.vipExpiresAt, now, &seconds);
        qDebug().noquote() << "[QmlApiAdapter] VIP剩余秒数:" << seconds << "剩余天数:" << vipDays
                           << "到期时间:"
                           << user.vipExpiresAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    trialUsed = user.trialUsed;
    if (isVip)
        freeMinutes = 0;
    else if (user.trialHoursRemaining > 0)
        freeMinutes = Models::JsonReader::clampedInt(user.trialHoursRemaining * 60);
    else if (user.trialUsed)
        // A used trial with nothing left shows nothing, never the offer it started from.
        freeMinutes = 0;
    else if (user.trialHoursTotal > 0)
        freeMinutes = Models::JsonReader::clampedInt(user.trialHoursTotal * 60.0);
    else
        freeMinutes = 120;
    VpnConnectionService::instance()->updateUserInfo(user);
    qDebug().noquote() << "✅ [QmlApiAdapter] 用户信息已更新:" << userEmail << "VIP:" << isVip
                       << "VIP天数:" << vipDays << "免费分钟:" << freeMinutes;
    emit userInfoChanged();
}

void QmlApiAdapter::handleSignedIn(bool success, const QString &message, const QString &what,
                                   void (QmlApiAdapter::*refused)(const QString &))
{
    if (!success) {
        qDebug().noquote() << QStringLiteral("[QmlApiAdapter] %1失败:").arg(what) << message;
        emit(this->*refused)(message);
        return;
    }
    qDebug().noquote() << QStringLiteral("[QmlApiAdapter] %1成功:").arg(what)
                       << ApiManager::instance()->getCurrentUser().email;
    // A sign-out still waiting for the service was for the sign-in before; this one may be left at once.
    pendingSignOut = 0;
    updateUserInfo();
    qDebug().noquote() << QStringLiteral("[QmlApiAdapter] %1成功，刷新系统配置").arg(what);
    getSystemConfig();
    emit loginSuccess();
    emit loginStateChanged(true);
}

void QmlApiAdapter::login(const QString &email, const QString &password)
{
    qDebug().noquote() << "[QmlApiAdapter] 登录:" << email;
    ApiManager::instance()->login(
        email, password, [this](bool success, const QString &message, const Models::User &) {
            handleSignedIn(success, message, QStringLiteral("登录"), &QmlApiAdapter::loginError);
        });
}

void QmlApiAdapter::registerUser(const QString &email, const QString &password, const QString &name,
                                 const QString &refferCode)
{
    qDebug().noquote() << "[QmlApiAdapter] 注册:" << email;
    // A refusal has its own signal: a sign-in may be waiting for its answer at the same time, and each
    // form shows only the answer to its own request.
    ApiManager::instance()->registerUser(email, password, name, refferCode,
                                         [this](bool success, const QString &message, const Models::User &) {
                                             handleSignedIn(success, message, QStringLiteral("注册"),
                                                            &QmlApiAdapter::registrationError);
                                         });
}

void QmlApiAdapter::logout()
{
    if (pendingSignOut != 0) {
        qDebug() << "⚠️ [QmlApiAdapter] 正在退出登录中，忽略重复调用";
        return;
    }
    const quint64 signOut = ++signOutsStarted;
    pendingSignOut = signOut;
    qDebug() << "🔴 [QmlApiAdapter] 开始退出登录流程";
    VpnConnectionService::instance()->onUserLoggedOut();
    ApiManager::instance()->logout([this, signOut](bool success, const QString &) {
        if (pendingSignOut == signOut)
            pendingSignOut = 0;
        if (!success) {
            // The user signed in again before the service answered: that sign-in stays.
            qDebug() << "⚠️ [QmlApiAdapter] 退出登录的响应晚于新的登录，保留当前登录";
            return;
        }
        qDebug() << "✅ [QmlApiAdapter] API退出成功，清除本地数据";
        setSignedOutState();
        emit userInfoChanged();
        emit loginStateChanged(false);
        qDebug() << "🔴 [QmlApiAdapter] 退出登录完成";
    });
}

void QmlApiAdapter::refreshUserInfo()
{
    qDebug() << "[QmlApiAdapter] 刷新用户信息";
    AuthService::instance()->refreshCurrentUser([this](bool success, const QString &, const Models::User &) {
        if (success)
            updateUserInfo();
    });
}

void QmlApiAdapter::getSystemConfig()
{
    qDebug() << "[QmlApiAdapter] 获取系统配置";
    ConfigService::instance()->getConfigs(
        [this](bool success, const QString &message, const Models::SystemConfig &config) {
            if (!success) {
                qDebug().noquote() << "[QmlApiAdapter] 系统配置获取失败:" << message;
                emit systemConfigError(message);
                return;
            }
            qDebug() << "[QmlApiAdapter] 系统配置获取成功";
            QVariantMap map;
            map.insert(QStringLiteral("appName"), config.appName);
            map.insert(QStringLiteral("appVersion"), config.appVersion);
            map.insert(QStringLiteral("siteName"), config.siteName);
            map.insert(QStringLiteral("freeTrialEnabled"), config.freeTrialEnabled);
            map.insert(QStringLiteral("vipTrialEnabled"), config.vipTrialEnabled);
            map.insert(QStringLiteral("maintenanceMode"), config.maintenanceMode);
            map.insert(QStringLiteral("enableRegistration"), config.enableRegistration);
            map.insert(QStringLiteral("maxDevices"), config.maxDevices);
            emit systemConfigLoaded(map);
        });
}

QString QmlApiAdapter::displayName(const Models::Server &server)
{
    if (server.name != server.countryCode && server.name.size() > 3)
        return server.name;
    if (!server.location.isEmpty())
        return server.location;
    if (!server.tierText.isEmpty())
        return server.countryCode + QLatin1Char(' ') + server.tierText;
    if (!server.city.isEmpty())
        return server.countryCode + QLatin1Char(' ') + server.city;
    return server.name;
}

QString QmlApiAdapter::getCountryFlag(const QString &countryCode)
{
    if (countryCode.size() != 2)
        return QStringLiteral("🌐");
    const QString code = countryCode.toUpper();
    static const QHash<QString, QString> flags{
        {QStringLiteral("HK"), QStringLiteral("🇭🇰")}, {QStringLiteral("CN"), QStringLiteral("🇨🇳")},
        {QStringLiteral("US"), QStringLiteral("🇺🇸")}, {QStringLiteral("JP"), QStringLiteral("🇯🇵")},
        {QStringLiteral("SG"), QStringLiteral("🇸🇬")}, {QStringLiteral("KR"), QStringLiteral("🇰🇷")},
        {QStringLiteral("GB"), QStringLiteral("🇬🇧")}, {QStringLiteral("DE"), QStringLiteral("🇩🇪")},
        {QStringLiteral("FR"), QStringLiteral("🇫🇷")}, {QStringLiteral("CA"), QStringLiteral("🇨🇦")},
        {QStringLiteral("AU"), QStringLiteral("🇦🇺")}, {QStringLiteral("TW"), QStringLiteral("🇹🇼")}};
    const auto known = flags.constFind(code);
    if (known != flags.constEnd())
        return *known;
    const char32_t pair[2] = {char32_t(code.at(0).unicode()) + 127397,
                              char32_t(code.at(1).unicode()) + 127397};
    return QString::fromUcs4(pair, 2);
}

QVariantMap QmlApiAdapter::serverToMap(const Models::Server &server, bool withListFields)
{
    QVariantMap map;
    map.insert(QStringLiteral("id"), server.id);
    map.insert(QStringLiteral("name"), displayName(server));
    map.insert(QStringLiteral("countryCode"), server.countryCode);
    map.insert(QStringLiteral("city"), server.city);
    map.insert(QStringLiteral("location"), server.location);
    map.insert(QStringLiteral("tier"), server.tier);
    map.insert(QStringLiteral("tierText"), server.tierText);
    map.insert(QStringLiteral("requiresVip"), server.requiresVip);
    map.insert(QStringLiteral("canConnect"), server.canConnect);
    map.insert(QStringLiteral("status"), server.status);
    map.insert(QStringLiteral("flag"), getCountryFlag(server.countryCode));
    if (withListFields) {
        map.insert(QStringLiteral("vmessLink"), server.vmessLink);
        map.insert(QStringLiteral("maxUsers"), server.maxUsers);
        map.insert(QStringLiteral("currentUsers"), server.currentUsers);
        map.insert(QStringLiteral("cpuUsage"), server.cpuUsage);
        map.insert(QStringLiteral("loadPercentage"),
                   server.maxUsers > 0 ? double(server.currentUsers) / double(server.maxUsers) * 100.0 : 0.0);
    }
    return map;
}

void QmlApiAdapter::getServers(const QString &tier)
{
    qDebug().noquote() << "[QmlApiAdapter] 获取服务器列表, tier:" << tier;
    const ServerListCallback completion = listCompletion<Models::Server>(
        this, QStringLiteral("服务器列表"), &QmlApiAdapter::serversLoaded, &QmlApiAdapter::serversError,
        [](const Models::Server &server) {
            const QVariantMap map = serverToMap(server, true);
            const QString flag = map.value(QStringLiteral("flag")).toString();
            qDebug().noquote() << "[QmlApiAdapter] 🔍 服务器详情:"
                               << "\n  ID:" << server.id << "\n  Name:" << server.name
                               << "\n  CountryCode:" << server.countryCode << "\n  City:" << server.city
                               << "\n  Location:" << server.location << "\n  Tier:" << server.tier
                               << "\n  TierText:" << server.tierText << "\n  国旗:" << flag
                               << "长度:" << flag.size();
            return map;
        });
    ServerService *service = ServerService::instance();
    if (tier.isEmpty() || tier == QLatin1String("all"))
        service->getAllServers(completion);
    else if (tier == QLatin1String("free"))
        service->getFreeServers(completion);
    else if (tier == QLatin1String("vip"))
        service->getVipServers(completion);
    else
        service->getServersByTier(tier, completion);
}

void QmlApiAdapter::getServerById(int serverId)
{
    qDebug().noquote() << "[QmlApiAdapter] 获取服务器详情, serverId:" << serverId;
    ServerService::instance()->getServerById(
        serverId, [this](bool success, const QString &message, const Models::Server &server) {
            if (!success) {
                qDebug().noquote() << "[QmlApiAdapter] 服务器详情获取失败:" << message;
                emit serverDetailError(message);
                return;
            }
            qDebug().noquote() << "[QmlApiAdapter] 服务器详情获取成功:" << server.name;
            emit serverDetailLoaded(serverToMap(server, false));
        });
}

void QmlApiAdapter::getAnnouncements()
{
    qDebug() << "[QmlApiAdapter] 获取公告列表";
    AnnouncementService::instance()->getAnnouncements(
        QStringLiteral("windows"), 0,
        listCompletion<Models::Announcement>(this, QStringLiteral("公告列表"),
                                             &QmlApiAdapter::announcementsLoaded,
                                             &QmlApiAdapter::announcementsError, announcementToMap));
}

void QmlApiAdapter::getUserOrders()
{
    qDebug() << "[QmlApiAdapter] 获取订单列表";
    OrderService::instance()->getAllOrders(
        listCompletion<Models::Order>(this, QStringLiteral("订单列表"), &QmlApiAdapter::ordersLoaded,
                                      &QmlApiAdapter::ordersError, orderToMap));
}

Services::UserCallback QmlApiAdapter::trialCompletion(const QString &kind, bool vipTrial)
{
    return [this, kind, vipTrial](bool success, const QString &message, const Models::User &user) {
        if (!success) {
            qDebug().noquote() << QStringLiteral("[QmlApiAdapter] %1激活失败:").arg(kind) << message;
            emit trialActivationError(message);
            return;
        }
        // The properties show the new state before the screens hear of it.
        updateUserInfo();
        qDebug().noquote() << QStringLiteral("[QmlApiAdapter] %1激活成功").arg(kind);
        QVariantMap map;
        map.insert(QStringLiteral("id"), user.id);
        map.insert(QStringLiteral("email"), user.email);
        map.insert(QStringLiteral("name"), user.name);
        map.insert(QStringLiteral("isVip"), user.isVip);
        if (vipTrial) {
            map.insert(QStringLiteral("vipExpiresAt"), isoText(user.vipExpiresAt));
        } else {
            map.insert(QStringLiteral("trialUsed"), user.trialUsed);
            map.insert(QStringLiteral("trialHoursRemaining"), user.trialHoursRemaining);
        }
        emit trialActivated(map);
    };
}

void QmlApiAdapter::activateFreeTrial()
{
    qDebug() << "[QmlApiAdapter] 激活免费体验";
    ConfigService::instance()->activateFreeTrial(trialCompletion(QStringLiteral("免费体验"), false));
}

void QmlApiAdapter::activateVipTrial()
{
    qDebug() << "[QmlApiAdapter] 激活VIP体验";
    ConfigService::instance()->activateVipTrial(trialCompletion(QStringLiteral("VIP体验"), true));
}

void QmlApiAdapter::getTrialStatus()
{
    qDebug() << "[QmlApiAdapter] 获取体验状态";
    ConfigService::instance()->getTrialStatus(
        [this](bool success, const QString &message, const Models::TrialStatus &status) {
            if (!success) {
                qDebug().noquote() << "[QmlApiAdapter] 体验状态获取失败:" << message;
                emit trialStatusError(message);
                return;
            }
            qDebug() << "[QmlApiAdapter] 体验状态获取成功";
            QVariantMap map;
            map.insert(QStringLiteral("trialEnabled"), status.trialEnabled);
            map.insert(QStringLiteral("trialAvailable"), status.trialAvailable);
            map.insert(QStringLiteral("trialUsed"), status.trialUsed);
            map.insert(QStringLiteral("trialExpiresAt"), status.trialExpiresAt);
            map.insert(QStringLiteral("trialHoursTotal"), status.trialHoursTotal);
            map.insert(QStringLiteral("trialHoursUsed"), status.trialHoursUsed);
            map.insert(QStringLiteral("trialHoursRemaining"), status.trialHoursRemaining);
            map.insert(QStringLiteral("isVip"), status.isVip);
            map.insert(QStringLiteral("vipExpiresAt"), status.vipExpiresAt);
            map.insert(QStringLiteral("vipDaysRemaining"), status.vipDaysRemaining);
            emit trialStatusLoaded(map);
        });
}

void QmlApiAdapter::createPayment(int planId, const QString &paymentMethod)
{
    qDebug().noquote() << "[QmlApiAdapter] 创建支付订单, planId:" << planId
                       << ", paymentMethod:" << paymentMethod;
    PaymentService::instance()->createPayment(
        planId, paymentMethod,
        [this](bool success, const QString &message, const Models::CreatePaymentData &data) {
            if (!success) {
                qDebug().noquote() << "[QmlApiAdapter] 支付订单创建失败:" << message;
                emit paymentCreationError(message);
                return;
            }
            qDebug().noquote() << "[QmlApiAdapter] 支付订单创建成功, orderId:" << data.orderId;
            QVariantMap map;
            map.insert(QStringLiteral("orderId"), data.orderId);
            map.insert(QStringLiteral("paymentUrl"), data.paymentUrl);
            map.insert(QStringLiteral("amount"), data.amount);
            map.insert(QStringLiteral("planName"), data.planName);
            map.insert(QStringLiteral("planDays"), data.planDays);
            emit paymentCreated(map);
        });
}

void QmlApiAdapter::getPaymentStatus(const QString &orderNumber)
{
    qDebug().noquote() << "[QmlApiAdapter] 查询支付状态, orderNumber:" << orderNumber;
    PaymentService::instance()->getPaymentStatus(
        orderNumber,
        [this, orderNumber](bool success, const QString &message, const Models::PaymentStatusData &data) {
            if (!success) {
                qDebug().noquote() << "[QmlApiAdapter] 支付状态查询失败:" << message;
                emit paymentStatusError(message);
                return;
            }
            const QVariantMap map = paymentStatusMap(data, true);
            qDebug().noquote() << "[QmlApiAdapter] 支付状态查询成功, status:" << data.status;
            emit paymentStatusLoaded(map);
            if (data.status == QLatin1String("paid"))
                emit paymentCompleted(orderNumber);
            else if (data.status == QLatin1String("failed") || data.status == QLatin1String("cancelled"))
                emit paymentFailed(orderNumber, data.status);
        });
}

void QmlApiAdapter::startPollingPayment(const QString &orderNumber)
{
    qDebug().noquote() << "[QmlApiAdapter] 开始轮询支付状态, orderNumber:" << orderNumber;
    // The service's last word on the order: the polling ends on a final one right after hearing it,
    // and the user is told which, not a time-out.
    auto lastStatus = std::make_shared<QString>();
    PaymentService::instance()->startPolling(
        orderNumber,
        [this, lastStatus](bool success, const QString &, const Models::PaymentStatusData &data) {
            *lastStatus = success ? data.status : QString();
            if (!success)
                return;
            emit paymentStatusLoaded(paymentStatusMap(data, false));
        },
        [this, orderNumber]() {
            qDebug().noquote() << "[QmlApiAdapter] 支付完成, orderNumber:" << orderNumber;
            emit paymentCompleted(orderNumber);
            qDebug() << "[QmlApiAdapter] 刷新用户信息";
            AuthService::instance()->refreshCurrentUser(
                [this](bool success, const QString &, const Models::User &) {
                    if (success)
                        updateUserInfo();
                });
        },
        [this, orderNumber, lastStatus]() {
            const QString ending = paymentEndingText(*lastStatus);
            if (ending.isEmpty()) {
                qDebug().noquote() << "[QmlApiAdapter] 支付轮询超时, orderNumber:" << orderNumber;
                emit paymentFailed(orderNumber, QStringLiteral("支付超时"));
                return;
            }
            qDebug().noquote() << "[QmlApiAdapter] 支付未完成, orderNumber:" << orderNumber
                               << "状态:" << *lastStatus;
            emit paymentFailed(orderNumber, ending);
        });
}

void QmlApiAdapter::stopPollingPayment()
{
    qDebug() << "[QmlApiAdapter] 停止轮询支付状态";
    PaymentService::instance()->stopPolling();
}

void QmlApiAdapter::getSubscriptionPlans()
{
    qDebug() << "[QmlApiAdapter] 获取套餐列表";
    PaymentService::instance()->getSubscriptionPlans(listCompletion<Models::SubscriptionPlan>(
        this, QStringLiteral("套餐列表"), &QmlApiAdapter::plansLoaded, &QmlApiAdapter::plansError,
        planToMap));
}

void QmlApiAdapter::sendHeartbeat(bool isConnected)
{
    qDebug() << "[QmlApiAdapter] 发送心跳, isConnected:" << isConnected;
    HeartbeatService::instance()->sendHeartbeat(
        0, isConnected ? QStringLiteral("connected") : QStringLiteral("disconnected"), 0, 0, 0,
        [this](bool success, const auto &...) {
            if (success) {
                qDebug() << "[QmlApiAdapter] 心跳发送成功";
                emit heartbeatSent();
            } else {
                qDebug() << "[QmlApiAdapter] 心跳发送失败";
                emit heartbeatError(QStringLiteral("心跳发送失败"));
            }
        });
}

void QmlApiAdapter::getHeartbeatStats()
{
    qDebug() << "[QmlApiAdapter] 获取统计数据";
    HeartbeatService::instance()->getStats([this](bool success, const Models::HeartbeatStats &stats) {
        if (!success) {
            qDebug() << "[QmlApiAdapter] 统计数据获取失败";
            emit heartbeatStatsError(QStringLiteral("获取统计数据失败"));
            return;
        }
        qDebug() << "[QmlApiAdapter] 统计数据获取成功";
        emit heartbeatStatsLoaded(QVariantMap{{QStringLiteral("onlineUsers"), stats.onlineUsers},
                                              {QStringLiteral("onlineDevices"), stats.onlineDevices}});
    });
}

void QmlApiAdapter::setRoutingMode(int mode)
{
    qDebug().noquote() << "[QmlApiAdapter] 设置路由模式:" << (mode != 0 ? "全局模式" : "智能模式");
    VpnConnectionService::instance()->setRoutingMode(mode);
}

int QmlApiAdapter::checkVpnPermission(int serverId, bool requiresVip)
{
    if (!ApiManager::instance()->isLoggedIn())
        return 1;
    if (serverId <= 0)
        return 2;
    if (requiresVip && !isVip)
        return 3;
    if (requiresVip && vipDays <= 0)
        return 5;
    if (!isVip && freeMinutes <= 0)
        return 4;
    if (vipDays <= 0 && freeMinutes <= 0)
        return 6;
    return 0;
}

bool QmlApiAdapter::connectVpn(int serverId, const QString &vmessLink, bool requiresVip)
{
    qDebug() << "========================================";
    qDebug() << "[QmlApiAdapter] 🔵 connectVpn被调用";
    qDebug() << "  服务器ID:" << serverId;
    qDebug() << "  需要VIP:" << requiresVip;
    qDebug() << "  VMess链接长度:" << vmessLink.length();
    qDebug().noquote() << "  VMess链接前缀:" << vmessLink.left(20);
    qDebug() << "  当前登录状态:" << ApiManager::instance()->isLoggedIn();
    qDebug() << "  当前用户VIP:" << isVip;
    qDebug() << "========================================";
    if (vmessLink.isEmpty()) {
        qWarning() << "[QmlApiAdapter] ❌ VMess链接为空，无法连接";
        return false;
    }
    qDebug() << "[QmlApiAdapter] 🔍 检查VPN连接权限...";
    const int reason = checkVpnPermission(serverId, requiresVip);
    if (reason != 0) {
        const QString text = getVpnFailureReasonText(reason);
        qWarning().noquote() << "[QmlApiAdapter] ❌ VPN连接权限不足:" << text << "错误码:" << reason;
        emit vpnPermissionDenied(reason, text);
        emit vpnConnectionFailed(reason, text);
        return false;
    }
    qDebug() << "[QmlApiAdapter] ✅ 权限检查通过";
    qDebug() << "[QmlApiAdapter] 📞 调用VpnConnectionService::connect...";
    if (VpnConnectionService::instance()->connect(serverId, vmessLink)) {
        qDebug() << "[QmlApiAdapter] ✅ VPN连接请求已发送";
        return true;
    }
    qWarning() << "[QmlApiAdapter] ❌ VPN连接服务返回失败";
    return false;
}

void QmlApiAdapter::disconnectVpn()
{
    qDebug() << "[QmlApiAdapter] 断开VPN连接";
    VpnConnectionService::instance()->disconnect();
}

QString QmlApiAdapter::getVpnFailureReasonText(int reasonCode)
{
    return VpnConnectionService::failureReasonText(reasonCode);
}

void QmlApiAdapter::updateVpnTraffic(qlonglong uploadBytes, qlonglong downloadBytes)
{
    HeartbeatService::instance()->updateTrafficStats(uploadBytes, downloadBytes);
}

void QmlApiAdapter::updateVpnLatency(int latencyMs)
{
    HeartbeatService::instance()->updateLatency(latencyMs);
}

void QmlApiAdapter::onForceDisconnected(const QString &message)
{
    qWarning().noquote() << "[QmlApiAdapter] VPN被强制断开:" << message;
    emit vpnForceDisconnected(message);
    if (message.contains(QStringLiteral("其他设备登录")) || message.contains(QStringLiteral("强制下线"))) {
        qWarning() << "[QmlApiAdapter] 检测到单点登录，自动退出登录";
        QTimer::singleShot(forcedLogoutDelayMs, this, &QmlApiAdapter::logout);
    }
}

} // namespace Tavorin::Api
