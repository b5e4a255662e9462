#include "DevServiceState.h"

#include "PaymentQrCode.h"
#include "VmessLinkBuilder.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <limits>

namespace MirevoDev {

namespace {

const QString demoEmail = QStringLiteral("demo@mirevo.dev");
const QString demoPassword = QStringLiteral("mirevo123");

QJsonValue isoOrNull(const QDateTime &time)
{
    if (!time.isValid())
        return QJsonValue::Null;
    return time.toUTC().toString(Qt::ISODate);
}

QString iso(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODate);
}

QDateTime now()
{
    // Second precision, as every date on the wire.
    QDateTime current = QDateTime::currentDateTimeUtc();
    current.setTime(QTime(current.time().hour(), current.time().minute(), current.time().second()));
    return current;
}

DevReply failure(int status, const QString &message)
{
    return DevReply::json(status, {{QStringLiteral("success"), false}, {QStringLiteral("message"), message}});
}

DevReply unauthorized()
{
    return failure(401, QStringLiteral("登录已失效，请重新登录"));
}

DevReply notFound(const QString &message)
{
    return failure(404, message);
}

// The validation answer of the service: the first text as "message", every field's texts under "errors".
class Validation
{
public:
    void add(const QString &field, const QString &text)
    {
        QJsonArray texts = errors.value(field).toArray();
        texts.append(text);
        errors.insert(field, texts);
        if (first.isEmpty())
            first = text;
    }
    bool failed() const { return !errors.isEmpty(); }
    DevReply reply() const
    {
        return DevReply::json(422, {{QStringLiteral("success"), false},
                                    {QStringLiteral("message"), first},
                                    {QStringLiteral("errors"), errors}});
    }

private:
    QJsonObject errors;
    QString first;
};

bool parseBody(const QByteArray &body, QJsonObject *object)
{
    if (body.trimmed().isEmpty()) {
        *object = {};
        return true;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    *object = document.object();
    return true;
}

// A JSON number with an integral value, the only form the service takes for ids and counts.
bool integralNumber(const QJsonValue &value, qint64 *out)
{
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    if (std::floor(number) != number || std::fabs(number) > 9007199254740992.0)
        return false;
    *out = static_cast<qint64>(number);
    return true;
}

// A query value that must be a positive decimal integer; absent gives the fallback.
bool queryInteger(const QUrlQuery &query, const QString &key, int fallback, int *out)
{
    if (!query.hasQueryItem(key)) {
        *out = fallback;
        return true;
    }
    bool ok = false;
    const int value = query.queryItemValue(key, QUrl::FullyDecoded).toInt(&ok);
    if (!ok)
        return false;
    *out = value;
    return true;
}

QString statusText(const QString &status)
{
    if (status == QLatin1String("pending"))
        return QStringLiteral("待支付");
    if (status == QLatin1String("completed") || status == QLatin1String("paid"))
        return QStringLiteral("已完成");
    if (status == QLatin1String("cancelled"))
        return QStringLiteral("已取消");
    if (status == QLatin1String("refunded"))
        return QStringLiteral("已退款");
    if (status == QLatin1String("failed"))
        return QStringLiteral("支付失败");
    return status;
}

QString methodText(const QString &method)
{
    if (method == QLatin1String("alipay"))
        return QStringLiteral("支付宝");
    if (method == QLatin1String("wechat"))
        return QStringLiteral("微信支付");
    return method;
}

bool isPaid(const QString &status)
{
    return status == QLatin1String("completed") || status == QLatin1String("paid");
}

const QStringList paymentStatuses = {QStringLiteral("pending"), QStringLiteral("completed"),
                                     QStringLiteral("paid"),    QStringLiteral("cancelled"),
                                     QStringLiteral("failed"),  QStringLiteral("refunded")};

} // namespace

DevServiceState::DevServiceState()
{
    reset();
}

void DevServiceState::reset()
{
    accounts.clear();
    sessions.clear();
    devices.clear();
    serverEntries.clear();
    planList.clear();
    paymentList.clear();
    announcementList.clear();
    configItems.clear();
    heartbeatInterval = 30;
    deviceOverrides.clear();
    nextAccountId = 1;
    nextServerId = 1;
    nextPaymentId = 1;
    nextAnnouncementId = 1;
    orderSequence = 0;
    seed();
}

void DevServiceState::seed()
{
    const QDateTime start = now();

    Account demo;
    demo.id = nextAccountId++;
    demo.email = demoEmail;
    demo.password = demoPassword;
    demo.name = QStringLiteral("Mirevo 体验用户");
    demo.createdAt = start.addDays(-30);
    demo.referralCode = QStringLiteral("MIREVO2026");
    accounts.append(demo);

    putConfig(QStringLiteral("app_name"), QStringLiteral("应用名称"), QStringLiteral("string"),
              QStringLiteral("Mirevo加速器"));
    putConfig(QStringLiteral("app_version"), QStringLiteral("应用版本"), QStringLiteral("string"),
              QStringLiteral("1.0.0"));
    putConfig(QStringLiteral("site_name"), QStringLiteral("站点名称"), QStringLiteral("string"),
              QStringLiteral("Mirevo"));
    putConfig(QStringLiteral("free_trial_enabled"), QStringLiteral("免费体验开关"), QStringLiteral("boolean"),
              true);
    putConfig(QStringLiteral("free_trial_duration"), QStringLiteral("免费体验时长(小时)"),
              QStringLiteral("number"), 2);
    putConfig(QStringLiteral("free_trial_max_count"), QStringLiteral("免费体验次数"),
              QStringLiteral("number"), 1);
    putConfig(QStringLiteral("vip_trial_enabled"), QStringLiteral("VIP体验开关"), QStringLiteral("boolean"),
              true);
    putConfig(QStringLiteral("vip_trial_duration"), QStringLiteral("VIP体验时长(天)"),
              QStringLiteral("number"), 1);
    putConfig(QStringLiteral("maintenance_mode"), QStringLiteral("维护模式"), QStringLiteral("boolean"),
              false);
    putConfig(QStringLiteral("enable_registration"), QStringLiteral("开放注册"), QStringLiteral("boolean"),
              true);
    putConfig(QStringLiteral("max_devices"), QStringLiteral("VIP最大设备数"), QStringLiteral("number"), 3);
    putConfig(QStringLiteral("free_max_devices"), QStringLiteral("免费用户最大设备数"),
              QStringLiteral("number"), 1);
    putConfig(QStringLiteral("vpn_encrypt_enabled"), QStringLiteral("节点链接加密"),
              QStringLiteral("boolean"), true);
    putConfig(QStringLiteral("vpn_encrypt_key"), QStringLiteral("节点链接密钥"), QStringLiteral("string"),
              QStringLiteral("mirevo-dev-link-key"));
    putConfig(QStringLiteral("api_encrypt_enabled"), QStringLiteral("响应签名"), QStringLiteral("boolean"),
              false);
    putConfig(QStringLiteral("api_secret_key"), QStringLiteral("响应签名密钥"), QStringLiteral("string"),
              QStringLiteral("mirevo-dev-api-secret"));
    putConfig(QStringLiteral("tls_cert_pinning_enabled"), QStringLiteral("证书固定"),
              QStringLiteral("boolean"), false);
    putConfig(QStringLiteral("tls_cert_fingerprints"), QStringLiteral("证书指纹"), QStringLiteral("string"),
              QString());
    putConfig(QStringLiteral("download_file_android"), QStringLiteral("Android下载"),
              QStringLiteral("string"), QStringLiteral("https://download.mirevo.dev/mirevo.apk"));
    putConfig(QStringLiteral("download_file_ios"), QStringLiteral("iOS下载"), QStringLiteral("string"),
              QStringLiteral("https://download.mirevo.dev/ios"));
    putConfig(QStringLiteral("download_file_windows"), QStringLiteral("Windows下载"),
              QStringLiteral("string"), QStringLiteral("https://download.mirevo.dev/mirevo-setup.exe"));
    putConfig(QStringLiteral("download_file_macos"), QStringLiteral("macOS下载"), QStringLiteral("string"),
              QStringLiteral("https://download.mirevo.dev/mirevo.dmg"));

    seedServer(QStringLiteral("香港 01"), QStringLiteral("HK"), QStringLiteral("香港"),
               QStringLiteral("free"), QStringLiteral("hk1.mirevo.dev"), false);
    seedServer(QStringLiteral("日本 东京"), QStringLiteral("JP"), QStringLiteral("东京"),
               QStringLiteral("free"), QStringLiteral("jp1.mirevo.dev"), true);
    seedServer(QStringLiteral("美国 洛杉矶"), QStringLiteral("US"), QStringLiteral("洛杉矶"),
               QStringLiteral("vip"), QStringLiteral("us1.mirevo.dev"), true);
    seedServer(QStringLiteral("新加坡 VIP"), QStringLiteral("SG"), QStringLiteral("新加坡"),
               QStringLiteral("vip"), QStringLiteral("sg1.mirevo.dev"), false);

    const struct
    {
        const char *name;
        const char *description;
        int days;
        double price;
    } plans[] = {{"月度会员", "30天VIP，畅享全部节点", 30, 15.0},
                 {"季度会员", "90天VIP，比月付更划算", 90, 40.0},
                 {"年度会员", "365天VIP，最受欢迎", 365, 128.0}};
    int order = 1;
    for (const auto &seedPlan : plans) {
        Plan plan;
        plan.id = order;
        plan.name = QString::fromUtf8(seedPlan.name);
        plan.description = QString::fromUtf8(seedPlan.description);
        plan.days = seedPlan.days;
        plan.price = seedPlan.price;
        plan.sortOrder = order;
        plan.createdAt = start.addDays(-60);
        planList.append(plan);
        ++order;
    }

    const struct
    {
        const char *title;
        const char *content;
        const char *type;
        const char *platform;
        int daysAgo;
    } notices[] = {{"欢迎使用Mirevo加速器", "感谢您的支持，新用户可领取免费体验时长。", "info", "all", 20},
                   {"新增日本节点", "日本东京节点已上线，欢迎体验。", "update", "all", 10},
                   {"Windows客户端更新", "Windows客户端已更新到1.0.0版本。", "info", "windows", 3},
                   {"年度会员限时优惠", "年度会员限时特价128元。", "promotion", "all", 1}};
    for (const auto &notice : notices) {
        Announcement announcement;
        announcement.id = nextAnnouncementId++;
        announcement.title = QString::fromUtf8(notice.title);
        announcement.content = QString::fromUtf8(notice.content);
        announcement.type = QString::fromLatin1(notice.type);
        announcement.platform = QString::fromLatin1(notice.platform);
        announcement.createdAt = start.addDays(-notice.daysAgo);
        announcement.publishedAt = announcement.createdAt;
        announcementList.append(announcement);
    }
}

void DevServiceState::seedServer(const QString &name, const QString &countryCode, const QString &city,
                                 const QString &tier, const QString &host, bool encrypted)
{
    ServerEntry entry;
    const int id = nextServerId++;
    const bool vip = tier == QLatin1String("vip");
    const QDateTime created = now().addDays(-90);
    entry.fields =
        QJsonObject{{QStringLiteral("id"), id},
                    {QStringLiteral("name"), name},
                    {QStringLiteral("app_name"), QStringLiteral("Mirevo加速器")},
                    {QStringLiteral("country_code"), countryCode},
                    {QStringLiteral("city"), city},
                    {QStringLiteral("location"), city},
                    {QStringLiteral("hostname"), host},
                    {QStringLiteral("host"), host},
                    {QStringLiteral("ip_address"), QStringLiteral("203.0.113.%1").arg(10 + id)},
                    {QStringLiteral("protocol"), QStringLiteral("vmess")},
                    {QStringLiteral("port"), 443},
                    {QStringLiteral("transport"), QStringLiteral("ws")},
                    {QStringLiteral("tls_enabled"), true},
                    {QStringLiteral("sni"), host},
                    {QStringLiteral("status"), QStringLiteral("online")},
                    {QStringLiteral("is_enabled"), true},
                    {QStringLiteral("tier"), tier},
                    {QStringLiteral("tier_text"), vip ? QStringLiteral("VIP") : QStringLiteral("免费")},
                    {QStringLiteral("requires_vip"), vip},
                    {QStringLiteral("max_users"), 500},
                    {QStringLiteral("current_users"), 40 + 17 * id},
                    {QStringLiteral("cpu_usage"), 10.5 + 7 * id},
                    {QStringLiteral("latitude"), 0.0},
                    {QStringLiteral("longitude"), 0.0},
                    {QStringLiteral("created_at"), iso(created)},
                    {QStringLiteral("updated_at"), iso(created)}};
    const QString uuid = QUuid::createUuidV5(QUuid(), name).toString(QUuid::WithoutBraces);
    entry.link = VmessLinkBuilder::linkJson({{QStringLiteral("address"), host},
                                             {QStringLiteral("port"), QStringLiteral("443")},
                                             {QStringLiteral("id"), uuid},
                                             {QStringLiteral("aid"), QStringLiteral("0")},
                                             {QStringLiteral("net"), QStringLiteral("ws")},
                                             {QStringLiteral("path"), QStringLiteral("/mirevo")},
                                             {QStringLiteral("host"), host},
                                             {QStringLiteral("tls"), QStringLiteral("tls")},
                                             {QStringLiteral("sni"), host}},
                                            name);
    entry.encrypted = encrypted;
    serverEntries.append(entry);
}

void DevServiceState::putConfig(const QString &key, const QString &name, const QString &type,
                                const QJsonValue &value)
{
    configItems.insert(key, QJsonObject{{QStringLiteral("name"), name},
                                        {QStringLiteral("description"), name},
                                        {QStringLiteral("type"), type},
                                        {QStringLiteral("value"), value}});
}

QString DevServiceState::configText(const QString &key) const
{
    return configItem(key).value(QStringLiteral("value")).toString();
}

bool DevServiceState::configBool(const QString &key) const
{
    return configItem(key).value(QStringLiteral("value")).toBool(false);
}

int DevServiceState::configInt(const QString &key, int fallback) const
{
    const QJsonValue value = configItem(key).value(QStringLiteral("value"));
    return value.isDouble() ? value.toInt(fallback) : fallback;
}

bool DevServiceState::envelopeEnabled() const
{
    return configBool(QStringLiteral("api_encrypt_enabled")) && !envelopeSecret().isEmpty();
}

QString DevServiceState::envelopeSecret() const
{
    return configText(QStringLiteral("api_secret_key"));
}

// ---------------------------------------------------------------------------------------------- routing

DevReply DevServiceState::handleApi(const ApiCall &call)
{
    const QStringList &s = call.segments;
    const QString path = s.join(QLatin1Char('/'));

    // Which endpoints exist, which method each takes and which need a signed-in caller.
    enum class Endpoint {
        None,
        Login,
        Register,
        Logout,
        Me,
        Configs,
        TrialFree,
        TrialVip,
        TrialStatus,
        Servers,
        Server,
        Plans,
        PaymentCreate,
        PaymentStatus,
        Heartbeat,
        HeartbeatStats,
        Announcements,
        Orders
    };
    Endpoint endpoint = Endpoint::None;
    QString wantedMethod = QStringLiteral("GET");
    bool needsAuth = true;
    auto is = [&](const char *wanted) { return path == QLatin1String(wanted); };
    if (is("auth/login")) {
        endpoint = Endpoint::Login;
        wantedMethod = QStringLiteral("POST");
        needsAuth = false;
    } else if (is("auth/register")) {
        endpoint = Endpoint::Register;
        wantedMethod = QStringLiteral("POST");
        needsAuth = false;
    } else if (is("auth/logout")) {
        endpoint = Endpoint::Logout;
        wantedMethod = QStringLiteral("POST");
    } else if (is("auth/me")) {
        endpoint = Endpoint::Me;
    } else if (is("configs")) {
        endpoint = Endpoint::Configs;
        needsAuth = false;
    } else if (is("trial/activate-free")) {
        endpoint = Endpoint::TrialFree;
        wantedMethod = QStringLiteral("POST");
    } else if (is("trial/activate-vip")) {
        endpoint = Endpoint::TrialVip;
        wantedMethod = QStringLiteral("POST");
    } else if (is("trial/status")) {
        endpoint = Endpoint::TrialStatus;
    } else if (is("servers")) {
        endpoint = Endpoint::Servers;
    } else if (s.size() == 2 && s.at(0) == QLatin1String("servers")) {
        endpoint = Endpoint::Server;
    } else if (is("plans")) {
        endpoint = Endpoint::Plans;
        needsAuth = false;
    } else if (is("payments/create")) {
        endpoint = Endpoint::PaymentCreate;
        wantedMethod = QStringLiteral("POST");
    } else if (s.size() == 3 && s.at(0) == QLatin1String("payments") && s.at(1) == QLatin1String("status")) {
        endpoint = Endpoint::PaymentStatus;
    } else if (is("heartbeat")) {
        endpoint = Endpoint::Heartbeat;
        wantedMethod = QStringLiteral("POST");
    } else if (is("heartbeat/stats")) {
        endpoint = Endpoint::HeartbeatStats;
    } else if (is("announcements")) {
        endpoint = Endpoint::Announcements;
        needsAuth = false;
    } else if (is("orders")) {
        endpoint = Endpoint::Orders;
    }

    if (endpoint == Endpoint::None)
        return notFound(QStringLiteral("接口不存在"));
    if (call.method != wantedMethod)
        return failure(405, QStringLiteral("请求方法不被允许"));

    QJsonObject body;
    if (wantedMethod == QLatin1String("POST") && !parseBody(call.body, &body))
        return failure(400, QStringLiteral("请求体不是有效的JSON"));

    Session *session = nullptr;
    Account *account = nullptr;
    if (needsAuth) {
        session = sessionFor(call.bearerToken);
        account = session ? accountById(session->accountId) : nullptr;
        if (!session || !account)
            return unauthorized();
        // A stopped account may still sign out, read itself and hear through its heartbeat that it must go.
        if (account->status != QLatin1String("active") && endpoint != Endpoint::Logout &&
            endpoint != Endpoint::Me && endpoint != Endpoint::Heartbeat)
            return failure(403, QStringLiteral("账号已被停用"));
    }

    switch (endpoint) {
    case Endpoint::Login:
        return login(body);
    case Endpoint::Register:
        return registerAccount(body);
    case Endpoint::Logout:
        return logout(*session);
    case Endpoint::Me:
        return me(*account);
    case Endpoint::Configs:
        return configs();
    case Endpoint::TrialFree:
        return activateFreeTrial(*account);
    case Endpoint::TrialVip:
        return activateVipTrial(*account);
    case Endpoint::TrialStatus:
        return trialStatus(*account);
    case Endpoint::Servers:
        return servers(*account, call.query);
    case Endpoint::Server:
        return server(*account, s.at(1));
    case Endpoint::Plans:
        return plans();
    case Endpoint::PaymentCreate:
        return createPayment(*session, body);
    case Endpoint::PaymentStatus:
        return paymentStatus(*account, s.at(2));
    case Endpoint::Heartbeat:
        return heartbeat(*session, body);
    case Endpoint::HeartbeatStats:
        return heartbeatStats();
    case Endpoint::Announcements:
        return announcements(call.query);
    case Endpoint::Orders:
        return orders(*account, call.query);
    case Endpoint::None:
        break;
    }
    return notFound(QStringLiteral("接口不存在"));
}

// ---------------------------------------------------------------------------------------------- accounts

DevReply DevServiceState::login(const QJsonObject &body)
{
    Validation validation;
    const QJsonValue email = body.value(QStringLiteral("email"));
    const QJsonValue password = body.value(QStringLiteral("password"));
    const QJsonValue deviceId = body.value(QStringLiteral("device_id"));
    if (!email.isString() || email.toString().trimmed().isEmpty())
        validation.add(QStringLiteral("email"), QStringLiteral("邮箱不能为空"));
    if (!password.isString() || password.toString().isEmpty())
        validation.add(QStringLiteral("password"), QStringLiteral("密码不能为空"));
    if (!deviceId.isString() || deviceId.toString().isEmpty())
        validation.add(QStringLiteral("device_id"), QStringLiteral("设备ID不能为空"));
    if (validation.failed())
        return validation.reply();

    Account *account = accountByEmail(email.toString().trimmed());
    if (!account || account->password != password.toString()) {
        // Wrong credentials are a validation failure, not a 401: a 401 tells a client its token died.
        Validation wrong;
        wrong.add(QStringLiteral("email"), QStringLiteral("邮箱或密码错误"));
        return wrong.reply();
    }
    if (account->status != QLatin1String("active"))
        return failure(403, QStringLiteral("账号已被停用"));

    const QString token = issueToken(*account, body);
    return DevReply::json(200, {{QStringLiteral("success"), true},
                                {QStringLiteral("message"), QStringLiteral("登录成功")},
                                {QStringLiteral("token"), token},
                                {QStringLiteral("data"), userJson(*account)}});
}

DevReply DevServiceState::registerAccount(const QJsonObject &body)
{
    if (!configBool(QStringLiteral("enable_registration")))
        return failure(403, QStringLiteral("暂未开放注册"));

    Validation validation;
    const QJsonValue email = body.value(QStringLiteral("email"));
    const QJsonValue password = body.value(QStringLiteral("password"));
    const QJsonValue confirmation = body.value(QStringLiteral("password_confirmation"));
    const QJsonValue name = body.value(QStringLiteral("name"));
    const QJsonValue deviceId = body.value(QStringLiteral("device_id"));
    const QJsonValue referral = body.value(QStringLiteral("reffer_code"));
    static const QRegularExpression emailPattern(QStringLiteral("^[^@\\s]+@[^@\\s]+\\.[^@\\s]+$"));

    const QString emailText = email.toString().trimmed();
    if (!email.isString() || emailText.isEmpty())
        validation.add(QStringLiteral("email"), QStringLiteral("邮箱不能为空"));
    else if (!emailPattern.match(emailText).hasMatch())
        validation.add(QStringLiteral("email"), QStringLiteral("邮箱格式不正确"));
    else if (accountByEmail(emailText))
        validation.add(QStringLiteral("email"), QStringLiteral("该邮箱已被注册"));
    if (!password.isString() || password.toString().isEmpty())
        validation.add(QStringLiteral("password"), QStringLiteral("密码不能为空"));
    else if (password.toString().size() < 6)
        validation.add(QStringLiteral("password"), QStringLiteral("密码至少需要6个字符"));
    if (password.isString() && (!confirmation.isString() || confirmation.toString() != password.toString()))
        validation.add(QStringLiteral("password_confirmation"), QStringLiteral("两次输入的密码不一致"));
    if (!name.isString() || name.toString().trimmed().isEmpty())
        validation.add(QStringLiteral("name"), QStringLiteral("昵称不能为空"));
    else if (name.toString().size() > 50)
        validation.add(QStringLiteral("name"), QStringLiteral("昵称不能超过50个字符"));
    if (!deviceId.isString() || deviceId.toString().isEmpty())
        validation.add(QStringLiteral("device_id"), QStringLiteral("设备ID不能为空"));
    const Account *referrer = nullptr;
    if (!referral.isNull() && !referral.isUndefined()) {
        if (!referral.isString()) {
            validation.add(QStringLiteral("reffer_code"), QStringLiteral("邀请码格式不正确"));
        } else if (!referral.toString().isEmpty()) {
            // Only a code the service handed out to an account counts.
            for (const Account &candidate : std::as_const(accounts)) {
                if (candidate.referralCode.compare(referral.toString(), Qt::CaseInsensitive) == 0)
                    referrer = &candidate;
            }
            if (!referrer)
                validation.add(QStringLiteral("reffer_code"), QStringLiteral("邀请码无效"));
        }
    }
    if (validation.failed())
        return validation.reply();

    Account account;
    account.id = nextAccountId++;
    account.email = emailText;
    account.password = password.toString();
    account.name = name.toString().trimmed();
    account.createdAt = now();
    account.referralCode = QStringLiteral("MV%1").arg(account.id, 6, 10, QLatin1Char('0'));
    account.referredBy = referrer ? referrer->id : 0;
    accounts.append(account);

    const QString token = issueToken(account, body);
    return DevReply::json(201, {{QStringLiteral("success"), true},
                                {QStringLiteral("message"), QStringLiteral("注册成功")},
                                {QStringLiteral("token"), token},
                                {QStringLiteral("data"), userJson(account)}});
}

DevReply DevServiceState::logout(Session &session)
{
    session.revoked = true;
    Device &device = devices[session.deviceId];
    device.connected = false;
    return DevReply::json(
        200, {{QStringLiteral("success"), true}, {QStringLiteral("message"), QStringLiteral("登出成功")}});
}

DevReply DevServiceState::me(const Account &account) const
{
    return DevReply::json(200, {{QStringLiteral("success"), true},
                                {QStringLiteral("message"), QStringLiteral("获取成功")},
                                {QStringLiteral("data"), userJson(account)}});
}

QString DevServiceState::issueToken(const Account &account, const QJsonObject &body)
{
    QByteArray random(24, Qt::Uninitialized);
    for (char &byte : random)
        byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
    Session session;
    session.token = QStringLiteral("%1|%2").arg(sessions.size() + 1).arg(QString::fromLatin1(random.toHex()));
    session.accountId = account.id;
    session.deviceId = body.value(QStringLiteral("device_id")).toString();
    session.deviceName = body.value(QStringLiteral("device_name")).toString();
    session.issuedAt = now();
    sessions.append(session);
    devices[session.deviceId].accountId = account.id;
    return session.token;
}

bool DevServiceState::isVip(const Account &account) const
{
    return account.vipExpiresAt.isValid() && account.vipExpiresAt > QDateTime::currentDateTimeUtc();
}

double DevServiceState::trialHoursRemaining(const Account &account) const
{
    if (!account.trialExpiresAt.isValid())
        return 0;
    const qint64 seconds = QDateTime::currentDateTimeUtc().secsTo(account.trialExpiresAt);
    if (seconds <= 0)
        return 0;
    return std::round(seconds / 36.0) / 100.0;
}

QJsonObject DevServiceState::userJson(const Account &account) const
{
    const double remaining = trialHoursRemaining(account);
    const double used = account.trialUsed ? std::max(0.0, account.trialHoursTotal - remaining) : 0.0;
    QJsonObject user{
        {QStringLiteral("id"), account.id},
        {QStringLiteral("email"), account.email},
        {QStringLiteral("name"), account.name},
        {QStringLiteral("status"), account.status},
        {QStringLiteral("is_vip"), isVip(account)},
        {QStringLiteral("vip_expires_at"), isoOrNull(account.vipExpiresAt)},
        {QStringLiteral("trial_used"), account.trialUsed},
        {QStringLiteral("trial_expires_at"), isoOrNull(account.trialExpiresAt)},
        {QStringLiteral("trial_hours_total"), account.trialHoursTotal},
        {QStringLiteral("trial_hours_used"), std::round(used * 100) / 100},
        {QStringLiteral("trial_hours_remaining"), remaining},
        {QStringLiteral("created_at"), isoOrNull(account.createdAt)},
        {QStringLiteral("referral_code"), account.referralCode},
        {QStringLiteral("stats"), QJsonObject{{QStringLiteral("total_upload"), account.totalUpload},
                                              {QStringLiteral("total_download"), account.totalDownload},
                                              {QStringLiteral("total_time"), account.totalTime}}}};
    return user;
}

// ----------------------------------------------------------------------------------------------
// configuration

DevReply DevServiceState::configs() const
{
    QJsonObject data;
    for (auto it = configItems.cbegin(); it != configItems.cend(); ++it)
        data.insert(it.key(), it.value());
    return DevReply::json(200, {{QStringLiteral("success"), true},
                                {QStringLiteral("message"), QStringLiteral("获取成功")},
                                {QStringLiteral("data"), data}});
}

DevReply DevServiceState::trialStatus(const Account &account) const
{
    const bool freeEnabled = configBool(QStringLiteral("free_trial_enabled"));
    const double remaining = trialHoursRemaining(account);
    const int hoursTotal =
        account.trialUsed ? account.trialHoursTotal : configInt(QStringLiteral("free_trial_duration"), 0);
    QJsonObject trial{{QStringLiteral("enabled"), freeEnabled},
                      {QStringLiteral("available"), freeEnabled && !account.trialUsed},
                      {QStringLiteral("used"), account.trialUsed},
                      {QStringLiteral("expires_at"), isoOrNull(account.trialExpiresAt)},
                      {QStringLiteral("hours_total"), hoursTotal},
                      {QStringLiteral("hours_used"),
                       account.trialUsed ? std::max(0.0, account.trialHoursTotal - remaining) : 0.0},
                      {QStringLiteral("hours_remaining"), remaining}};
    int daysRemaining = 0;
    if (isVip(account)) {
        const qint64 seconds = QDateTime::currentDateTimeUtc().secsTo(account.vipExpiresAt);
        daysRemaining = static_cast<int>((seconds + 86399) / 86400);
    }
    QJsonObject vip{{QStringLiteral("enabled"), configBool(QStringLiteral("vip_trial_enabled"))},
                    {QStringLiteral("is_vip"), isVip(account)},
                    {QStringLiteral("expires_at"), isoOrNull(account.vipExpiresAt)},
                    {QStringLiteral("days_remaining"), daysRemaining}};
    return DevReply::json(
        200, {{QStringLiteral("success"), true},
              {QStringLiteral("message"), QStringLiteral("获取成功")},
              {QStringLiteral("data"), QJsonObject{{QStringLiteral("trial"), trial},
                                                   {QStringLiteral("vip"), vip},
                                                   {QStringLiteral("account_status"), account.status}}}});
}

DevReply DevServiceState::activateFreeTrial(Account &account)
{
    if (!configBool(QStringLiteral("free_trial_enabled")))
        return failure(403, QStringLiteral("免费体验暂未开放"));
    if (account.trialUsed)
        return failure(422, QStringLiteral("您已使用过免费体验"));
    const int hours = std::max(1, configInt(QStringLiteral("free_trial_duration"), 2));
    account.trialUsed = true;
    account.trialHoursTotal = hours;
    account.trialExpiresAt = now().addSecs(hours * 3600);
    return DevReply::json(200, {{QStringLiteral("success"), true},
                                {QStringLiteral("message"), QStringLiteral("免费体验已激活")},
                                {QStringLiteral("data"), userJson(account)}});
}

DevReply DevServiceState::activateVipTrial(Account &account)
{
    if (!configBool(QStringLiteral("vip_trial_enabled")))
        return failure(403, QStringLiteral("VIP体验暂未开放"));
    if (account.vipTrialUsed)
        return failure(422, QStringLiteral("您已使用过VIP体验"));
    const int days = std::max(1, configInt(QStringLiteral("vip_trial_duration"), 1));
    account.vipTrialUsed = true;
    const QDateTime base = isVip(account) ? account.vipExpiresAt : now();
    account.vipExpiresAt = base.addDays(days);
    return DevReply::json(200, {{QStringLiteral("success"), true},
                                {QStringLiteral("message"), QStringLiteral("VIP体验已激活")},
                                {QStringLiteral("data"), userJson(account)}});
}

// ---------------------------------------------------------------------------------------------- servers

QJsonObject DevServiceState::serverJson(const ServerEntry &entry, const Account &account) const
{
    QJsonObject json = entry.fields;
    const bool vipOnly = json.value(QStringLiteral("requires_vip")).toBool();
    const bool enabled = json.value(QStringLiteral("is_enabled")).toBool(true);
    json.insert(QStringLiteral("can_connect"), enabled && (!vipOnly || isVip(account)));
    const QString plain = VmessLinkBuilder::plainLink(entry.link);
    const QString key = configText(QStringLiteral("vpn_encrypt_key"));
    QString link = plain;
    if (entry.encrypted && configBool(QStringLiteral("vpn_encrypt_enabled")) && !key.isEmpty()) {
        const QString encrypted = VmessLinkBuilder::encryptLink(plain, key);
        if (!encrypted.isEmpty())
            link = encrypted;
    }
    json.insert(QStringLiteral("vmess_link"), link);
    return json;
}

DevReply DevServiceState::servers(const Account &account, const QUrlQuery &query) const
{
    const QString tier = query.queryItemValue(QStringLiteral("tier"), QUrl::FullyDecoded);
    QJsonArray list;
    for (const ServerEntry &entry : serverEntries) {
        if (!tier.isEmpty() && entry.fields.value(QStringLiteral("tier")).toString() != tier)
            continue;
        list.append(serverJson(entry, account));
    }
    return DevReply::json(200, {{QStringLiteral("success"), true},
                                {QStringLiteral("message"), QStringLiteral("获取成功")},
                                {QStringLiteral("data"), list}});
}

DevReply DevServiceState::server(const Account &account, const QString &id) const
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    if (digits.match(id).hasMatch()) {
        const int wanted = id.toInt();
        for (const ServerEntry &entry : serverEntries) {
            if (entry.fields.value(QStringLiteral("id")).toInt() == wanted) {
                return DevReply::json(200, {{QStringLiteral("success"), true},
                                            {QStringLiteral("message"), QStringLiteral("获取成功")},
                                            {QStringLiteral("data"), serverJson(entry, account)}});
            }
        }
    }
    return notFound(QStringLiteral("服务器不存在"));
}

QString DevServiceState::addServer(const QJsonObject &server, int *id)
{
    const QJsonObject vmess = server.value(QStringLiteral("vmess")).toObject();
    if (vmess.value(QStringLiteral("address")).toString().isEmpty() ||
        vmess.value(QStringLiteral("id")).toString().isEmpty())
        return QStringLiteral("vmess needs at least address and id");
    const QString tier = server.value(QStringLiteral("tier")).toString(QStringLiteral("free"));
    const bool vip = server.value(QStringLiteral("requires_vip")).toBool(tier == QLatin1String("vip"));
    const QString name = server.value(QStringLiteral("name")).toString(QStringLiteral("测试节点"));
    const QString address = vmess.value(QStringLiteral("address")).toString();
    const QJsonValue portValue = vmess.value(QStringLiteral("port"));
    const int port = portValue.isString() ? portValue.toString().toInt() : portValue.toInt(443);

    ServerEntry entry;
    *id = nextServerId++;
    const QDateTime created = now();
    entry.fields =
        QJsonObject{{QStringLiteral("id"), *id},
                    {QStringLiteral("name"), name},
                    {QStringLiteral("app_name"), QStringLiteral("Mirevo加速器")},
                    {QStringLiteral("country_code"),
                     server.value(QStringLiteral("country_code")).toString(QStringLiteral("CN"))},
                    {QStringLiteral("city"), server.value(QStringLiteral("city")).toString()},
                    {QStringLiteral("location"), server.value(QStringLiteral("location")).toString()},
                    {QStringLiteral("hostname"), address},
                    {QStringLiteral("host"), vmess.value(QStringLiteral("host")).toString(address)},
                    {QStringLiteral("ip_address"), address},
                    {QStringLiteral("protocol"), QStringLiteral("vmess")},
                    {QStringLiteral("port"), port},
                    {QStringLiteral("transport"), vmess.value(QStringLiteral("net")).toString("tcp")},
                    {QStringLiteral("tls_enabled"),
                     vmess.value(QStringLiteral("tls")).toString() == QLatin1String("tls")},
                    {QStringLiteral("sni"), vmess.value(QStringLiteral("sni")).toString()},
                    {QStringLiteral("status"), QStringLiteral("online")},
                    {QStringLiteral("is_enabled"), server.value(QStringLiteral("is_enabled")).toBool(true)},
                    {QStringLiteral("tier"), tier},
                    {QStringLiteral("tier_text"), vip ? QStringLiteral("VIP") : QStringLiteral("免费")},
                    {QStringLiteral("requires_vip"), vip},
                    {QStringLiteral("max_users"), 100},
                    {QStringLiteral("current_users"), 0},
                    {QStringLiteral("cpu_usage"), 0.0},
                    {QStringLiteral("latitude"), 0.0},
                    {QStringLiteral("longitude"), 0.0},
                    {QStringLiteral("created_at"), iso(created)},
                    {QStringLiteral("updated_at"), iso(created)}};
    entry.link = VmessLinkBuilder::linkJson(vmess, name);
    entry.encrypted = server.value(QStringLiteral("encrypted")).toBool(false);
    serverEntries.append(entry);
    return {};
}

// ---------------------------------------------------------------------------------------------- payments

QJsonObject DevServiceState::planJson(const Plan &plan) const
{
    return {{QStringLiteral("id"), plan.id},
            {QStringLiteral("name"), plan.name},
            {QStringLiteral("description"), plan.description},
            {QStringLiteral("days"), plan.days},
            {QStringLiteral("days_text"), QStringLiteral("%1天").arg(plan.days)},
            {QStringLiteral("price"), plan.price},
            {QStringLiteral("currency"), plan.currency},
            {QStringLiteral("formatted_price"), QStringLiteral("¥%1").arg(plan.price, 0, 'f', 2)},
            {QStringLiteral("is_active"), true},
            {QStringLiteral("sort_order"), plan.sortOrder},
            {QStringLiteral("created_at"), iso(plan.createdAt)},
            {QStringLiteral("updated_at"), iso(plan.createdAt)}};
}

DevReply DevServiceState::plans() const
{
    QJsonArray list;
    for (const Plan &plan : planList)
        list.append(planJson(plan));
    return DevReply::json(200, {{QStringLiteral("success"), true},
                                {QStringLiteral("message"), QStringLiteral("获取成功")},
                                {QStringLiteral("data"), list}});
}

const DevServiceState::Plan *DevServiceState::planById(int id) const
{
    for (const Plan &plan : planList) {
        if (plan.id == id)
            return &plan;
    }
    return nullptr;
}

QString DevServiceState::newOrderId()
{
    ++orderSequence;
    return QStringLiteral("MV%1%2")
        .arg(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss")))
        .arg(orderSequence, 6, 10, QLatin1Char('0'));
}

DevReply DevServiceState::createPayment(const Session &session, const QJsonObject &body)
{
    Validation validation;
    qint64 planId = 0;
    const Plan *plan = nullptr;
    if (!body.contains(QStringLiteral("plan_id")))
        validation.add(QStringLiteral("plan_id"), QStringLiteral("请选择套餐"));
    else if (!integralNumber(body.value(QStringLiteral("plan_id")), &planId) || planId < 1 ||
             planId > std::numeric_limits<int>::max() || !(plan = planById(static_cast<int>(planId))))
        validation.add(QStringLiteral("plan_id"), QStringLiteral("套餐不存在"));
    const QString method = body.value(QStringLiteral("payment_method")).toString();
    if (method.isEmpty())
        validation.add(QStringLiteral("payment_method"), QStringLiteral("请选择支付方式"));
    else if (method != QLatin1String("alipay") && method != QLatin1String("wechat"))
        validation.add(QStringLiteral("payment_method"), QStringLiteral("不支持的支付方式"));
    if (validation.failed())
        return validation.reply();

    Payment payment;
    payment.id = nextPaymentId++;
    payment.orderId = newOrderId();
    payment.accountId = session.accountId;
    payment.planId = plan->id;
    payment.planName = plan->name;
    payment.planDays = plan->days;
    payment.amount = plan->price;
    payment.currency = plan->currency;
    payment.method = method;
    payment.provider = body.value(QStringLiteral("payment_provider")).toString(QStringLiteral("ciyun"));
    payment.deviceId = body.value(QStringLiteral("device_id")).toString(session.deviceId);
    payment.createdAt = now();
    payment.updatedAt = payment.createdAt;
    paymentList.append(payment);

    const QString url = QStringLiteral("%1/pay/%2/qr.png").arg(publicRoot, payment.orderId);
    return DevReply::json(
        200, {{QStringLiteral("success"), true},
              {QStringLiteral("message"), QStringLiteral("订单创建成功")},
              {QStringLiteral("data"), QJsonObject{{QStringLiteral("order_id"), payment.orderId},
                                                   {QStringLiteral("payment_url"), url},
                                                   {QStringLiteral("amount"), payment.amount},
                                                   {QStringLiteral("plan_name"), payment.planName},
                                                   {QStringLiteral("plan_days"), payment.planDays}}}});
}

QJsonObject DevServiceState::paymentStatusJson(const Payment &payment) const
{
    return {{QStringLiteral("order_id"), payment.orderId},
            {QStringLiteral("status"), payment.status},
            {QStringLiteral("amount"), payment.amount},
            {QStringLiteral("plan_name"), payment.planName},
            {QStringLiteral("plan_days"), payment.planDays},
            {QStringLiteral("payment_method"), payment.method},
            {QStringLiteral("third_party_order_id"),
             payment.thirdPartyOrderId.isEmpty() ? QJsonValue(QJsonValue::Null) : payment.thirdPartyOrderId},
            {QStringLiteral("created_at"), isoOrNull(payment.createdAt)},
            {QStringLiteral("paid_at"), isoOrNull(payment.paidAt)}};
}

DevReply DevServiceState::paymentStatus(const Account &account, const QString &orderId) const
{
    const Payment *payment = paymentByOrderId(orderId);
    // Another account's order is as unknown as one that does not exist.
    if (!payment || payment->accountId != account.id)
        return notFound(QStringLiteral("订单不存在"));
    return DevReply::json(200, {{QStringLiteral("success"), true},
                                {QStringLiteral("message"), QStringLiteral("查询成功")},
                                {QStringLiteral("data"), paymentStatusJson(*payment)}});
}

DevServiceState::Payment *DevServiceState::paymentByOrderId(const QString &orderId)
{
    for (Payment &payment : paymentList) {
        if (payment.orderId == orderId)
            return &payment;
    }
    return nullptr;
}

const DevServiceState::Payment *DevServiceState::paymentByOrderId(const QString &orderId) const
{
    for (const Payment &payment : paymentList) {
        if (payment.orderId == orderId)
            return &payment;
    }
    return nullptr;
}

void DevServiceState::applyPaymentStatus(Payment &payment, const QString &status)
{
    Account *account = accountById(payment.accountId);
    const bool wasPaid = isPaid(payment.status);
    const bool nowPaid = isPaid(status);
    const QDateTime current = now();
    if (!wasPaid && nowPaid) {
        payment.paidAt = current;
        payment.thirdPartyOrderId = QStringLiteral("CY%1").arg(payment.orderId.mid(2));
        if (account) {
            const QDateTime base = isVip(*account) ? account->vipExpiresAt : current;
            account->vipExpiresAt = base.addDays(payment.planDays);
        }
    } else if (wasPaid && status == QLatin1String("refunded") && account && account->vipExpiresAt.isValid()) {
        account->vipExpiresAt = account->vipExpiresAt.addDays(-payment.planDays);
    }
    payment.status = status;
    payment.updatedAt = current;
}

QString DevServiceState::setPaymentStatus(const QString &orderId, const QString &status)
{
    Payment *payment = paymentByOrderId(orderId);
    if (!payment)
        return QStringLiteral("no payment with order id %1").arg(orderId);
    if (!paymentStatuses.contains(status))
        return QStringLiteral("unknown payment status %1 (known: %2)")
            .arg(status, paymentStatuses.join(", "));
    if (payment->status == status)
        return {};
    // An order moves on once: from pending to an end word, or from paid to refunded.
    const bool fromPending = payment->status == QLatin1String("pending");
    const bool refund = isPaid(payment->status) && status == QLatin1String("refunded");
    if (!fromPending && !refund)
        return QStringLiteral("order %1 cannot move from %2 to %3").arg(orderId, payment->status, status);
    applyPaymentStatus(*payment, status);
    return {};
}

QJsonArray DevServiceState::payments() const
{
    QJsonArray list;
    for (const Payment &payment : paymentList) {
        QJsonObject json = paymentStatusJson(payment);
        const Account *owner = nullptr;
        for (const Account &account : accounts) {
            if (account.id == payment.accountId)
                owner = &account;
        }
        json.insert(QStringLiteral("email"), owner ? owner->email : QString());
        json.insert(QStringLiteral("device_id"), payment.deviceId);
        json.insert(QStringLiteral("payment_provider"), payment.provider);
        list.append(json);
    }
    return list;
}

DevReply DevServiceState::paymentPage(const QString &orderId) const
{
    const Payment *payment = paymentByOrderId(orderId);
    if (!payment) {
        DevReply reply;
        reply.status = 404;
        reply.contentType = QByteArrayLiteral("text/html; charset=utf-8");
        reply.body = QByteArrayLiteral("<!DOCTYPE html><html><body><p>订单不存在</p></body></html>\n");
        return reply;
    }
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(orderId));
    DevReply reply;
    reply.contentType = QByteArrayLiteral("text/html; charset=utf-8");
    reply.body = PaymentQrCode::paymentPage(payment->orderId, payment->planName, payment->amount,
                                            payment->status, QStringLiteral("/pay/%1/qr.png").arg(encoded),
                                            QStringLiteral("/pay/%1/confirm").arg(encoded));
    return reply;
}

DevReply DevServiceState::paymentQr(const QString &orderId) const
{
    if (!paymentByOrderId(orderId))
        return notFound(QStringLiteral("订单不存在"));
    DevReply reply;
    reply.contentType = QByteArrayLiteral("image/png");
    reply.body = PaymentQrCode::png(
        QStringLiteral("%1/pay/%2").arg(publicRoot, QString::fromLatin1(QUrl::toPercentEncoding(orderId))));
    if (reply.body.isEmpty())
        return failure(500, QStringLiteral("二维码生成失败"));
    return reply;
}

DevReply DevServiceState::paymentAction(const QString &orderId, const QByteArray &formBody)
{
    const QUrlQuery form(QString::fromUtf8(formBody));
    const QString status = form.queryItemValue(QStringLiteral("status"), QUrl::FullyDecoded);
    if (status != QLatin1String("completed") && status != QLatin1String("cancelled"))
        return failure(422, QStringLiteral("无效的操作"));
    const QString error = setPaymentStatus(orderId, status);
    if (!error.isEmpty())
        return failure(409, error);
    return paymentPage(orderId);
}

// ---------------------------------------------------------------------------------------------- orders

QJsonObject DevServiceState::orderJson(const Payment &payment) const
{
    return {{QStringLiteral("id"), payment.id},
            {QStringLiteral("order_number"), payment.orderId},
            {QStringLiteral("plan_name"), payment.planName},
            {QStringLiteral("plan_days"), payment.planDays},
            {QStringLiteral("amount"), payment.amount},
            {QStringLiteral("payment_currency"), payment.currency},
            {QStringLiteral("payment_method"), payment.method},
            {QStringLiteral("payment_method_text"), methodText(payment.method)},
            {QStringLiteral("provider_code"), payment.provider},
            {QStringLiteral("provider_name"),
             payment.provider == QLatin1String("ciyun") ? QStringLiteral("慈云支付") : payment.provider},
            {QStringLiteral("third_party_order_id"),
             payment.thirdPartyOrderId.isEmpty() ? QJsonValue(QJsonValue::Null) : payment.thirdPartyOrderId},
            {QStringLiteral("payment_id"), QStringLiteral("PAY%1").arg(payment.id, 8, 10, QLatin1Char('0'))},
            {QStringLiteral("status"), payment.status},
            {QStringLiteral("status_text"), statusText(payment.status)},
            {QStringLiteral("created_at"), isoOrNull(payment.createdAt)},
            {QStringLiteral("paid_at"), isoOrNull(payment.paidAt)},
            {QStringLiteral("updated_at"), isoOrNull(payment.updatedAt)}};
}

DevReply DevServiceState::orders(const Account &account, const QUrlQuery &query) const
{
    int page = 1;
    int perPage = 20;
    Validation validation;
    if (!queryInteger(query, QStringLiteral("page"), 1, &page) || page < 1)
        validation.add(QStringLiteral("page"), QStringLiteral("页码必须是大于0的整数"));
    if (!queryInteger(query, QStringLiteral("per_page"), 20, &perPage) || perPage < 1 || perPage > 100)
        validation.add(QStringLiteral("per_page"), QStringLiteral("每页数量必须在1到100之间"));
    if (validation.failed())
        return validation.reply();

    // Newest first, as an order history reads.
    QList<const Payment *> mine;
    for (auto it = paymentList.crbegin(); it != paymentList.crend(); ++it) {
        if (it->accountId == account.id)
            mine.append(&*it);
    }
    const int total = static_cast<int>(mine.size());
    const int lastPage = std::max(1, (total + perPage - 1) / perPage);
    const qint64 firstIndex = static_cast<qint64>(page - 1) * perPage;
    QJsonArray data;
    for (qint64 i = firstIndex; i < total && i < firstIndex + perPage; ++i)
        data.append(orderJson(*mine.at(static_cast<int>(i))));
    const bool empty = data.isEmpty();

    auto pageUrl = [&](int number) -> QJsonValue {
        return QStringLiteral("%1/api/v1/orders?page=%2&per_page=%3")
            .arg(publicRoot)
            .arg(number)
            .arg(perPage);
    };
    const QJsonObject meta{
        {QStringLiteral("current_page"), page},
        {QStringLiteral("from"),
         empty ? QJsonValue(QJsonValue::Null) : QJsonValue(static_cast<qint64>(firstIndex + 1))},
        {QStringLiteral("last_page"), lastPage},
        {QStringLiteral("path"), publicRoot + QStringLiteral("/api/v1/orders")},
        {QStringLiteral("per_page"), perPage},
        {QStringLiteral("to"),
         empty ? QJsonValue(QJsonValue::Null) : QJsonValue(static_cast<qint64>(firstIndex + data.size()))},
        {QStringLiteral("total"), total}};
    const QJsonObject links{
        {QStringLiteral("first"), pageUrl(1)},
        {QStringLiteral("last"), pageUrl(lastPage)},
        {QStringLiteral("prev"),
         page > 1 ? pageUrl(std::min(page - 1, lastPage)) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("next"), page < lastPage ? pageUrl(page + 1) : QJsonValue(QJsonValue::Null)}};
    return DevReply::json(200, {{QStringLiteral("success"), true},
                                {QStringLiteral("message"), QStringLiteral("获取成功")},
                                {QStringLiteral("data"), data},
                                {QStringLiteral("meta"), meta},
                                {QStringLiteral("links"), links}});
}

QString DevServiceState::addOrders(const QJsonObject &request, QJsonArray *orderIds)
{
    const QString email = request.value(QStringLiteral("email")).toString(demoEmail);
    Account *account = accountByEmail(email);
    if (!account)
        return QStringLiteral("no account %1").arg(email);
    const int count = request.value(QStringLiteral("count")).toInt(1);
    if (count < 1 || count > 1000)
        return QStringLiteral("count must lie in 1..1000");
    const Plan *plan = planById(request.value(QStringLiteral("plan_id")).toInt(1));
    if (!plan)
        return QStringLiteral("no such plan");
    const QString status = request.value(QStringLiteral("status")).toString(QStringLiteral("completed"));
    if (!paymentStatuses.contains(status))
        return QStringLiteral("unknown payment status %1").arg(status);
    for (int i = 0; i < count; ++i) {
        Payment payment;
        payment.id = nextPaymentId++;
        payment.orderId = newOrderId();
        payment.accountId = account->id;
        payment.planId = plan->id;
        payment.planName = plan->name;
        payment.planDays = plan->days;
        payment.amount = plan->price;
        payment.method = request.value(QStringLiteral("payment_method")).toString(QStringLiteral("alipay"));
        payment.provider = QStringLiteral("ciyun");
        payment.createdAt = now();
        payment.updatedAt = payment.createdAt;
        if (isPaid(status)) {
            payment.paidAt = payment.createdAt;
            payment.thirdPartyOrderId = QStringLiteral("CY%1").arg(payment.orderId.mid(2));
        }
        payment.status = status;
        paymentList.append(payment);
        orderIds->append(payment.orderId);
    }
    return {};
}

// ---------------------------------------------------------------------------------------------- heartbeats

DevReply DevServiceState::heartbeat(const Session &session, const QJsonObject &body)
{
    Validation validation;
    const QString deviceId = body.value(QStringLiteral("device_id")).toString();
    const QString status = body.value(QStringLiteral("connection_status")).toString();
    qint64 upload = 0;
    qint64 download = 0;
    qint64 latency = 0;
    if (deviceId.isEmpty())
        validation.add(QStringLiteral("device_id"), QStringLiteral("设备ID不能为空"));
    if (status != QLatin1String("connected") && status != QLatin1String("disconnected"))
        validation.add(QStringLiteral("connection_status"), QStringLiteral("连接状态无效"));
    if (!integralNumber(body.value(QStringLiteral("upload_bytes")), &upload) || upload < 0)
        validation.add(QStringLiteral("upload_bytes"), QStringLiteral("上传流量必须是非负整数"));
    if (!integralNumber(body.value(QStringLiteral("download_bytes")), &download) || download < 0)
        validation.add(QStringLiteral("download_bytes"), QStringLiteral("下载流量必须是非负整数"));
    if (!integralNumber(body.value(QStringLiteral("latency_ms")), &latency) || latency < 0)
        validation.add(QStringLiteral("latency_ms"), QStringLiteral("延迟必须是非负整数"));
    if (validation.failed())
        return validation.reply();

    Account *account = accountById(session.accountId);
    Device &device = devices[deviceId];
    device.accountId = session.accountId;
    // The counters run per connection: the growth since the last heartbeat is what the account used.
    if (device.connected && account) {
        account->totalUpload += std::max<qint64>(0, upload - device.lastUpload);
        account->totalDownload += std::max<qint64>(0, download - device.lastDownload);
        if (device.lastSeen.isValid())
            account->totalTime += static_cast<int>(std::max<qint64>(0, device.lastSeen.secsTo(now())));
    }
    const bool connected = status == QLatin1String("connected");
    device.connected = connected;
    device.lastUpload = connected ? upload : 0;
    device.lastDownload = connected ? download : 0;
    device.lastSeen = now();

    DeviceOverride deviceState;
    for (const DeviceOverride &candidate : deviceOverrides) {
        if (candidate.deviceId.isEmpty() || candidate.deviceId == deviceId)
            deviceState = candidate;
    }
    if (account && account->status != QLatin1String("active")) {
        deviceState.status = account->status;
        deviceState.forceDisconnect = true;
        deviceState.message = QStringLiteral("账号已被停用");
    }
    // A device that signs off is still in good standing: only a live connection is ever told to end.
    if (!connected)
        deviceState = DeviceOverride();

    int online = 0;
    for (const Device &each : devices) {
        if (each.connected)
            ++online;
    }
    const double gigabyte = 1024.0 * 1024.0 * 1024.0;
    const Account fallback;
    const Account &user = account ? *account : fallback;
    const QJsonObject data{
        {QStringLiteral("interval"), heartbeatInterval},
        {QStringLiteral("server_status"), QJsonObject{{QStringLiteral("status"), QStringLiteral("online")},
                                                      {QStringLiteral("current_users"), online},
                                                      {QStringLiteral("max_users"), 500},
                                                      {QStringLiteral("cpu_usage"), 23.5}}},
        {QStringLiteral("user_status"),
         QJsonObject{{QStringLiteral("is_vip"), isVip(user)},
                     {QStringLiteral("vip_expires_at"), isoOrNull(user.vipExpiresAt)},
                     {QStringLiteral("total_traffic_gb"),
                      std::round((user.totalUpload + user.totalDownload) / gigabyte * 1000) / 1000},
                     {QStringLiteral("today_traffic_gb"),
                      std::round((user.totalUpload + user.totalDownload) / gigabyte * 1000) / 1000},
                     {QStringLiteral("trial_used"), user.trialUsed},
                     {QStringLiteral("trial_expires_at"), isoOrNull(user.trialExpiresAt)},
                     {QStringLiteral("trial_hours_remaining"), trialHoursRemaining(user)}}},
        {QStringLiteral("device_status"),
         QJsonObject{{QStringLiteral("status"), deviceState.status},
                     {QStringLiteral("force_disconnect"), deviceState.forceDisconnect},
                     {QStringLiteral("message"), deviceState.message}}}};
    return DevReply::json(200, {{QStringLiteral("success"), true},
                                {QStringLiteral("message"), QStringLiteral("心跳成功")},
                                {QStringLiteral("data"), data}});
}

DevReply DevServiceState::heartbeatStats() const
{
    int onlineDevices = 0;
    QSet<int> onlineUsers;
    for (const Device &device : devices) {
        if (device.connected) {
            ++onlineDevices;
            onlineUsers.insert(device.accountId);
        }
    }
    return DevReply::json(
        200, {{QStringLiteral("success"), true},
              {QStringLiteral("message"), QStringLiteral("获取成功")},
              {QStringLiteral("data"),
               QJsonObject{{QStringLiteral("online_users"), static_cast<int>(onlineUsers.size())},
                           {QStringLiteral("online_devices"), onlineDevices}}}});
}

QString DevServiceState::setHeartbeat(const QJsonObject &settings)
{
    if (settings.contains(QStringLiteral("interval"))) {
        qint64 interval = 0;
        if (!integralNumber(settings.value(QStringLiteral("interval")), &interval) || interval > 86400 ||
            interval < -86400)
            return QStringLiteral("interval must be a whole number of seconds");
        heartbeatInterval = static_cast<int>(interval);
    }
    const bool touchesDevice = settings.contains(QStringLiteral("device_status")) ||
                               settings.contains(QStringLiteral("force_disconnect")) ||
                               settings.contains(QStringLiteral("message"));
    if (touchesDevice) {
        DeviceOverride override;
        override.deviceId = settings.value(QStringLiteral("device_id")).toString();
        override.status = settings.value(QStringLiteral("device_status")).toString(QStringLiteral("active"));
        override.forceDisconnect = settings.value(QStringLiteral("force_disconnect")).toBool(false);
        override.message = settings.value(QStringLiteral("message")).toString();
        deviceOverrides.append(override);
    }
    return {};
}

// ----------------------------------------------------------------------------------------------
// announcements

QJsonObject DevServiceState::announcementJson(const Announcement &announcement) const
{
    return {{QStringLiteral("id"), announcement.id},
            {QStringLiteral("title"), announcement.title},
            {QStringLiteral("content"), announcement.content},
            {QStringLiteral("type"), announcement.type},
            {QStringLiteral("platform"), announcement.platform},
            {QStringLiteral("published_at"), isoOrNull(announcement.publishedAt)},
            {QStringLiteral("created_at"), isoOrNull(announcement.createdAt)}};
}

DevReply DevServiceState::announcements(const QUrlQuery &query) const
{
    const QString platform = query.queryItemValue(QStringLiteral("platform"), QUrl::FullyDecoded);
    int limit = 0;
    if (!queryInteger(query, QStringLiteral("limit"), 0, &limit) || limit < 0) {
        Validation validation;
        validation.add(QStringLiteral("limit"), QStringLiteral("数量必须是非负整数"));
        return validation.reply();
    }
    QJsonArray list;
    // Newest first: the first element is the one a client compares to spot a new announcement.
    for (auto it = announcementList.crbegin(); it != announcementList.crend(); ++it) {
        if (!platform.isEmpty() && it->platform != QLatin1String("all") && it->platform != platform)
            continue;
        if (limit > 0 && list.size() >= limit)
            break;
        list.append(announcementJson(*it));
    }
    return DevReply::json(200, {{QStringLiteral("success"), true},
                                {QStringLiteral("message"), QStringLiteral("获取成功")},
                                {QStringLiteral("data"), list}});
}

QString DevServiceState::addAnnouncement(const QJsonObject &announcement, int *id)
{
    const QString title = announcement.value(QStringLiteral("title")).toString();
    if (title.isEmpty())
        return QStringLiteral("an announcement needs a title");
    Announcement entry;
    entry.id = nextAnnouncementId++;
    entry.title = title;
    entry.content = announcement.value(QStringLiteral("content")).toString();
    entry.type = announcement.value(QStringLiteral("type")).toString(QStringLiteral("info"));
    entry.platform = announcement.value(QStringLiteral("platform")).toString(QStringLiteral("all"));
    entry.createdAt = now();
    entry.publishedAt = entry.createdAt;
    announcementList.append(entry);
    *id = entry.id;
    return {};
}

// ---------------------------------------------------------------------------------------------- control

DevServiceState::Session *DevServiceState::sessionFor(const QString &token)
{
    if (token.isEmpty())
        return nullptr;
    for (Session &session : sessions) {
        if (session.token == token)
            return session.revoked ? nullptr : &session;
    }
    return nullptr;
}

DevServiceState::Account *DevServiceState::accountById(int id)
{
    for (Account &account : accounts) {
        if (account.id == id)
            return &account;
    }
    return nullptr;
}

DevServiceState::Account *DevServiceState::accountByEmail(const QString &email)
{
    for (Account &account : accounts) {
        if (account.email.compare(email, Qt::CaseInsensitive) == 0)
            return &account;
    }
    return nullptr;
}

QString DevServiceState::revokeToken(const QString &token)
{
    for (Session &session : sessions) {
        if (session.token == token) {
            session.revoked = true;
            return {};
        }
    }
    return QStringLiteral("unknown token");
}

void DevServiceState::revokeAllTokens()
{
    for (Session &session : sessions)
        session.revoked = true;
}

QJsonArray DevServiceState::tokens() const
{
    QJsonArray list;
    for (const Session &session : sessions) {
        QString email;
        for (const Account &account : accounts) {
            if (account.id == session.accountId)
                email = account.email;
        }
        list.append(QJsonObject{{QStringLiteral("token"), session.token},
                                {QStringLiteral("email"), email},
                                {QStringLiteral("device_id"), session.deviceId},
                                {QStringLiteral("device_name"), session.deviceName},
                                {QStringLiteral("revoked"), session.revoked},
                                {QStringLiteral("issued_at"), iso(session.issuedAt)}});
    }
    return list;
}

QString DevServiceState::setConfig(const QString &key, const QJsonValue &value, const QString &type)
{
    if (key.isEmpty())
        return QStringLiteral("a configuration item needs a key");
    QString itemType = type;
    if (itemType.isEmpty())
        itemType = configItems.value(key).value(QStringLiteral("type")).toString();
    if (itemType.isEmpty()) {
        if (value.isBool())
            itemType = QStringLiteral("boolean");
        else if (value.isDouble())
            itemType = QStringLiteral("number");
        else if (value.isObject())
            itemType = QStringLiteral("json");
        else
            itemType = QStringLiteral("string");
    }
    const QString name = configItems.value(key).value(QStringLiteral("name")).toString(key);
    putConfig(key, name, itemType, value);
    return {};
}

void DevServiceState::setEnvelope(bool enabled, const QString &secret)
{
    setConfig(QStringLiteral("api_encrypt_enabled"), enabled, QString());
    if (!secret.isEmpty())
        setConfig(QStringLiteral("api_secret_key"), secret, QString());
}

QString DevServiceState::updateUser(const QJsonObject &fields, QJsonObject *user)
{
    const QString email = fields.value(QStringLiteral("email")).toString(demoEmail);
    Account *account = accountByEmail(email);
    if (!account) {
        if (!fields.value(QStringLiteral("create")).toBool())
            return QStringLiteral("no account %1").arg(email);
        Account created;
        created.id = nextAccountId++;
        created.email = email;
        created.password = fields.value(QStringLiteral("password")).toString(demoPassword);
        created.name = fields.value(QStringLiteral("name")).toString(email.section(QLatin1Char('@'), 0, 0));
        created.createdAt = now();
        created.referralCode = QStringLiteral("MV%1").arg(created.id, 6, 10, QLatin1Char('0'));
        accounts.append(created);
        account = &accounts.last();
    }
    if (fields.contains(QStringLiteral("name")))
        account->name = fields.value(QStringLiteral("name")).toString();
    if (fields.contains(QStringLiteral("password")))
        account->password = fields.value(QStringLiteral("password")).toString();
    if (fields.contains(QStringLiteral("referral_code")))
        account->referralCode = fields.value(QStringLiteral("referral_code")).toString();
    if (fields.contains(QStringLiteral("status")))
        account->status = fields.value(QStringLiteral("status")).toString();
    if (fields.contains(QStringLiteral("vip_days"))) {
        const int days = fields.value(QStringLiteral("vip_days")).toInt();
        account->vipExpiresAt = days == 0 ? QDateTime() : now().addDays(days);
    }
    if (fields.contains(QStringLiteral("vip_expires_at")))
        account->vipExpiresAt =
            QDateTime::fromString(fields.value(QStringLiteral("vip_expires_at")).toString(), Qt::ISODate);
    if (fields.contains(QStringLiteral("trial_hours"))) {
        const int hours = fields.value(QStringLiteral("trial_hours")).toInt();
        account->trialUsed = true;
        account->trialHoursTotal = std::max(0, hours);
        account->trialExpiresAt = now().addSecs(3600LL * hours);
    }
    if (fields.contains(QStringLiteral("trial_used")))
        account->trialUsed = fields.value(QStringLiteral("trial_used")).toBool();
    if (fields.contains(QStringLiteral("vip_trial_used")))
        account->vipTrialUsed = fields.value(QStringLiteral("vip_trial_used")).toBool();
    *user = userJson(*account);
    return {};
}

} // namespace MirevoDev
