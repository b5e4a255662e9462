#include "DevServiceState.h"

#include "WireFormat.h"

namespace MirevoDev {

namespace {
constexpr int SavedVersion = 1;
}

DevServiceState::DevServiceState()
    : trialArea(configurationArea), serverArea(configurationArea), paymentArea(accountArea),
      orderArea(paymentArea), heartbeatArea(accountArea)
{}

void DevServiceState::reset()
{
    configurationArea.reset();
    accountArea.reset();
    serverArea.reset();
    paymentArea.reset();
    announcementArea.reset();
    heartbeatArea.reset();
}

DevReply DevServiceState::handleApi(const ApiCall &call)
{
    const QStringList &s = call.segments;
    const QString path = s.join(QLatin1Char('/'));

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
        return DevReply::failure(404, QStringLiteral("接口不存在"));
    if (call.method != wantedMethod)
        return DevReply::failure(405, QStringLiteral("请求方法不被允许"));

    QJsonObject body;
    if (wantedMethod == QLatin1String("POST") && !WireFormat::parseBody(call.body, &body))
        return DevReply::failure(400, QStringLiteral("请求体不是有效的JSON"));

    Accounts::Session *session = nullptr;
    Accounts::Account *account = nullptr;
    if (needsAuth) {
        session = accountArea.sessionFor(call.bearerToken);
        account = session ? accountArea.byId(session->accountId) : nullptr;
        if (!session || !account)
            return DevReply::failure(401, QStringLiteral("登录已失效，请重新登录"));
        // A stopped account may still sign out, read itself and hear through its heartbeat that it must go.
        if (account->status != QLatin1String("active") && endpoint != Endpoint::Logout &&
            endpoint != Endpoint::Me && endpoint != Endpoint::Heartbeat)
            return DevReply::failure(403, QStringLiteral("账号已被停用"));
    }

    switch (endpoint) {
    case Endpoint::Login:
        return accountArea.login(body);
    case Endpoint::Register:
        return accountArea.registerAccount(body,
                                           configurationArea.flag(QStringLiteral("enable_registration")));
    case Endpoint::Logout:
        heartbeatArea.signedOut(session->deviceId);
        return accountArea.logout(*session);
    case Endpoint::Me:
        return accountArea.me(*account);
    case Endpoint::Configs:
        return configurationArea.reply();
    case Endpoint::TrialFree:
        return trialArea.activateFree(*account);
    case Endpoint::TrialVip:
        return trialArea.activateVip(*account);
    case Endpoint::TrialStatus:
        return trialArea.status(*account);
    case Endpoint::Servers:
        return serverArea.list(*account, call.query);
    case Endpoint::Server:
        return serverArea.one(*account, s.at(1));
    case Endpoint::Plans:
        return paymentArea.plans();
    case Endpoint::PaymentCreate:
        return paymentArea.create(*session, body, rootUrl);
    case Endpoint::PaymentStatus:
        return paymentArea.status(*account, s.at(2));
    case Endpoint::Heartbeat:
        return heartbeatArea.beat(*session, body);
    case Endpoint::HeartbeatStats:
        return heartbeatArea.stats();
    case Endpoint::Announcements:
        return announcementArea.list(call.query);
    case Endpoint::Orders:
        return orderArea.page(*account, call.query, rootUrl);
    case Endpoint::None:
        break;
    }
    return DevReply::failure(404, QStringLiteral("接口不存在"));
}

QJsonObject DevServiceState::saved() const
{
    return {{QStringLiteral("version"), SavedVersion},
            {QStringLiteral("accounts"), accountArea.saved()},
            {QStringLiteral("payments"), paymentArea.saved()}};
}

bool DevServiceState::restore(const QJsonObject &saved, QString *error)
{
    if (saved.value(QStringLiteral("version")).toInt() != SavedVersion) {
        *error = QStringLiteral("not version %1").arg(SavedVersion);
        return false;
    }
    return accountArea.restore(saved.value(QStringLiteral("accounts")).toObject(), error) &&
           paymentArea.restore(saved.value(QStringLiteral("payments")).toObject(), error);
}

QString DevServiceState::savedSummary() const
{
    return QStringLiteral("%1 accounts, %2 tokens and %3 orders")
        .arg(accountArea.accountCount())
        .arg(accountArea.tokenCount())
        .arg(paymentArea.all().size());
}

} // namespace MirevoDev
