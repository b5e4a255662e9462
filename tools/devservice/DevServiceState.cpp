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
    struct Route
    {
        const char *path; // "*" stands for any one segment
        Endpoint endpoint;
        bool post;
        bool needsAuth;
    };
    static const Route routes[] = {{"auth/login", Endpoint::Login, true, false},
                                   {"auth/register", Endpoint::Register, true, false},
                                   {"auth/logout", Endpoint::Logout, true, true},
                                   {"auth/me", Endpoint::Me, false, true},
                                   {"configs", Endpoint::Configs, false, false},
                                   {"trial/activate-free", Endpoint::TrialFree, true, true},
                                   {"trial/activate-vip", Endpoint::TrialVip, true, true},
                                   {"trial/status", Endpoint::TrialStatus, false, true},
                                   {"servers", Endpoint::Servers, false, true},
                                   {"servers/*", Endpoint::Server, false, true},
                                   {"plans", Endpoint::Plans, false, false},
                                   {"payments/create", Endpoint::PaymentCreate, true, true},
                                   {"payments/status/*", Endpoint::PaymentStatus, false, true},
                                   {"heartbeat", Endpoint::Heartbeat, true, true},
                                   {"heartbeat/stats", Endpoint::HeartbeatStats, false, true},
                                   {"announcements", Endpoint::Announcements, false, false},
                                   {"orders", Endpoint::Orders, false, true}};
    auto matches = [&](const QString &pattern) {
        if (!pattern.contains(QLatin1Char('*')))
            return path == pattern;
        const QStringList parts = pattern.split(QLatin1Char('/'));
        if (parts.size() != s.size())
            return false;
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (parts.at(i) != QLatin1String("*") && parts.at(i) != s.at(i))
                return false;
        }
        return true;
    };
    const Route *route = nullptr;
    for (const Route &candidate : routes) {
        if (matches(QLatin1String(candidate.path))) {
            route = &candidate;
            break;
        }
    }

    if (!route)
        return DevReply::failure(404, QStringLiteral("接口不存在"));
    const Endpoint endpoint = route->endpoint;
    if (call.method != QLatin1String(route->post ? "POST" : "GET"))
        return DevReply::failure(405, QStringLiteral("请求方法不被允许"));

    QJsonObject body;
    if (route->post && !WireFormat::parseBody(call.body, &body))
        return DevReply::failure(400, QStringLiteral("请求体不是有效的JSON"));

    Accounts::Session *session = nullptr;
    Accounts::Account *account = nullptr;
    if (route->needsAuth) {
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
