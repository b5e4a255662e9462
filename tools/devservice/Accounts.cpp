#include "Accounts.h"

#include "Validation.h"
#include "WireFormat.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace MirevoDev {

using WireFormat::isoOrNull;
using WireFormat::now;

namespace {
// Saved states name the seed they started from. The first had only the demo account, without VIP time.
constexpr int CurrentSeed = 2;
constexpr int DemoVipDays = 30;
} // namespace

QString Accounts::demoEmail()
{
    return QStringLiteral("demo@mirevo.dev");
}

QString Accounts::trialEmail()
{
    return QStringLiteral("trial@mirevo.dev");
}

QString Accounts::demoPassword()
{
    return QStringLiteral("mirevo123");
}

void Accounts::reset()
{
    accounts.clear();
    sessions.clear();
    nextAccountId = 1;
    upgrade.clear();
    Account &demo = create(demoEmail(), demoPassword(), QStringLiteral("Mirevo 体验用户"));
    demo.createdAt = now().addDays(-30);
    demo.referralCode = QStringLiteral("MIREVO2026");
    demo.vipExpiresAt = now().addDays(DemoVipDays);
    createTrialAccount();
}

Accounts::Account &Accounts::createTrialAccount()
{
    return create(trialEmail(), demoPassword(), QStringLiteral("Mirevo 新用户"));
}

void Accounts::upgradeFirstSeed()
{
    QStringList changes;
    // A demo account that never had VIP time nor took a trial is the first seed's, untouched: it gets
    // what the demo account has now. One that was used keeps what its user made of it.
    Account *demo = byEmail(demoEmail());
    if (demo && !demo->vipExpiresAt.isValid() && !demo->trialUsed && !demo->vipTrialUsed) {
        demo->vipExpiresAt = now().addDays(DemoVipDays);
        changes.append(QStringLiteral("%1 gets %2 days of VIP").arg(demoEmail()).arg(DemoVipDays));
    }
    if (!byEmail(trialEmail())) {
        createTrialAccount();
        changes.append(QStringLiteral("%1 is added").arg(trialEmail()));
    }
    if (!changes.isEmpty())
        upgrade =
            QStringLiteral("brought up to the current demo seed: ") + changes.join(QStringLiteral(", "));
}

Accounts::Account &Accounts::create(const QString &email, const QString &password, const QString &name)
{
    Account account;
    account.id = nextAccountId++;
    account.email = email;
    account.password = password;
    account.name = name;
    account.createdAt = now();
    account.referralCode = QStringLiteral("MV%1").arg(account.id, 6, 10, QLatin1Char('0'));
    accounts.append(account);
    return accounts.last();
}

DevReply Accounts::login(const QJsonObject &body)
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

    Account *account = byEmail(email.toString().trimmed());
    // Wrong credentials are a validation failure, not a 401: a 401 tells a client its token died.
    if (!account || account->password != password.toString())
        return Validation::single(QStringLiteral("email"), QStringLiteral("邮箱或密码错误"));
    if (account->status != QLatin1String("active"))
        return DevReply::failure(403, QStringLiteral("账号已被停用"));

    const QString token = issueToken(*account, body);
    return DevReply::json(200, {{QStringLiteral("success"), true},
                                {QStringLiteral("message"), QStringLiteral("登录成功")},
                                {QStringLiteral("token"), token},
                                {QStringLiteral("data"), userJson(*account)}});
}

DevReply Accounts::registerAccount(const QJsonObject &body, bool registrationOpen)
{
    if (!registrationOpen)
        return DevReply::failure(403, QStringLiteral("暂未开放注册"));

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
    else if (byEmail(emailText))
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
    int referrer = 0;
    if (!referral.isNull() && !referral.isUndefined()) {
        if (!referral.isString()) {
            validation.add(QStringLiteral("reffer_code"), QStringLiteral("邀请码格式不正确"));
        } else if (!referral.toString().isEmpty()) {
            // Only a code the service handed out to an account counts.
            for (const Account &candidate : std::as_const(accounts)) {
                if (candidate.referralCode.compare(referral.toString(), Qt::CaseInsensitive) == 0)
                    referrer = candidate.id;
            }
            if (referrer == 0)
                validation.add(QStringLiteral("reffer_code"), QStringLiteral("邀请码无效"));
        }
    }
    if (validation.failed())
        return validation.reply();

    Account &account = create(emailText, password.toString(), name.toString().trimmed());
    account.referredBy = referrer;
    const QString token = issueToken(account, body);
    return DevReply::json(201, {{QStringLiteral("success"), true},
                                {QStringLiteral("message"), QStringLiteral("注册成功")},
                                {QStringLiteral("token"), token},
                                {QStringLiteral("data"), userJson(account)}});
}

DevReply Accounts::logout(Session &session)
{
    session.revoked = true;
    return DevReply::json(
        200, {{QStringLiteral("success"), true}, {QStringLiteral("message"), QStringLiteral("登出成功")}});
}

DevReply Accounts::me(const Account &account) const
{
    return DevReply::success(QStringLiteral("获取成功"), userJson(account));
}

QString Accounts::issueToken(const Account &account, const QJsonObject &body)
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
    return session.token;
}

Accounts::Session *Accounts::sessionFor(const QString &token)
{
    if (token.isEmpty())
        return nullptr;
    for (Session &session : sessions) {
        if (session.token == token)
            return session.revoked ? nullptr : &session;
    }
    return nullptr;
}

const Accounts::Account *Accounts::byId(int id) const
{
    for (const Account &account : accounts) {
        if (account.id == id)
            return &account;
    }
    return nullptr;
}

Accounts::Account *Accounts::byId(int id)
{
    return const_cast<Account *>(std::as_const(*this).byId(id));
}

Accounts::Account *Accounts::byEmail(const QString &email)
{
    for (Account &account : accounts) {
        if (account.email.compare(email, Qt::CaseInsensitive) == 0)
            return &account;
    }
    return nullptr;
}

QString Accounts::emailOf(int accountId) const
{
    const Account *account = byId(accountId);
    return account ? account->email : QString();
}

bool Accounts::isVip(const Account &account)
{
    return account.vipExpiresAt.isValid() && account.vipExpiresAt > QDateTime::currentDateTimeUtc();
}

double Accounts::trialHoursRemaining(const Account &account)
{
    if (!account.trialExpiresAt.isValid())
        return 0;
    const qint64 seconds = QDateTime::currentDateTimeUtc().secsTo(account.trialExpiresAt);
    if (seconds <= 0)
        return 0;
    return std::round(seconds / 36.0) / 100.0;
}

double Accounts::trialHoursUsed(const Account &account, double remaining)
{
    if (!account.trialUsed)
        return 0;
    return std::round(std::max(0.0, account.trialHoursTotal - remaining) * 100) / 100;
}

void Accounts::extendVip(Account &account, int days)
{
    const QDateTime base = isVip(account) ? account.vipExpiresAt : now();
    account.vipExpiresAt = base.addDays(days);
}

QJsonObject Accounts::userJson(const Account &account)
{
    const double remaining = trialHoursRemaining(account);
    return {{QStringLiteral("id"), account.id},
            {QStringLiteral("email"), account.email},
            {QStringLiteral("name"), account.name},
            {QStringLiteral("status"), account.status},
            {QStringLiteral("is_vip"), isVip(account)},
            {QStringLiteral("vip_expires_at"), isoOrNull(account.vipExpiresAt)},
            {QStringLiteral("trial_used"), account.trialUsed},
            {QStringLiteral("trial_expires_at"), isoOrNull(account.trialExpiresAt)},
            {QStringLiteral("trial_hours_total"), account.trialHoursTotal},
            {QStringLiteral("trial_hours_used"), trialHoursUsed(account, remaining)},
            {QStringLiteral("trial_hours_remaining"), remaining},
            {QStringLiteral("created_at"), isoOrNull(account.createdAt)},
            {QStringLiteral("referral_code"), account.referralCode},
            {QStringLiteral("stats"), QJsonObject{{QStringLiteral("total_upload"), account.totalUpload},
                                                  {QStringLiteral("total_download"), account.totalDownload},
                                                  {QStringLiteral("total_time"), account.totalTime}}}};
}

QString Accounts::revokeToken(const QString &token)
{
    for (Session &session : sessions) {
        if (session.token == token) {
            session.revoked = true;
            return {};
        }
    }
    return QStringLiteral("unknown token");
}

void Accounts::revokeAllTokens()
{
    for (Session &session : sessions)
        session.revoked = true;
}

QJsonArray Accounts::tokens() const
{
    QJsonArray list;
    for (const Session &session : sessions) {
        list.append(QJsonObject{{QStringLiteral("token"), session.token},
                                {QStringLiteral("email"), emailOf(session.accountId)},
                                {QStringLiteral("device_id"), session.deviceId},
                                {QStringLiteral("device_name"), session.deviceName},
                                {QStringLiteral("revoked"), session.revoked},
                                {QStringLiteral("issued_at"), WireFormat::iso(session.issuedAt)}});
    }
    return list;
}

QString Accounts::updateUser(const QJsonObject &fields, QJsonObject *user)
{
    const QString email = fields.value(QStringLiteral("email")).toString(demoEmail());
    Account *account = byEmail(email);
    if (!account) {
        if (!fields.value(QStringLiteral("create")).toBool())
            return QStringLiteral("no account %1").arg(email);
        account =
            &create(email, fields.value(QStringLiteral("password")).toString(demoPassword()),
                    fields.value(QStringLiteral("name")).toString(email.section(QLatin1Char('@'), 0, 0)));
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

QJsonObject Accounts::saved() const
{
    using WireFormat::storedTime;
    QJsonArray accountList;
    for (const Account &account : accounts) {
        accountList.append(
            QJsonObject{{QStringLiteral("id"), account.id},
                        {QStringLiteral("email"), account.email},
                        {QStringLiteral("password"), account.password},
                        {QStringLiteral("name"), account.name},
                        {QStringLiteral("status"), account.status},
                        {QStringLiteral("vip_expires_at"), storedTime(account.vipExpiresAt)},
                        {QStringLiteral("trial_used"), account.trialUsed},
                        {QStringLiteral("trial_expires_at"), storedTime(account.trialExpiresAt)},
                        {QStringLiteral("trial_hours_total"), account.trialHoursTotal},
                        {QStringLiteral("vip_trial_used"), account.vipTrialUsed},
                        {QStringLiteral("created_at"), storedTime(account.createdAt)},
                        {QStringLiteral("total_upload"), account.totalUpload},
                        {QStringLiteral("total_download"), account.totalDownload},
                        {QStringLiteral("total_time"), account.totalTime},
                        {QStringLiteral("referral_code"), account.referralCode},
                        {QStringLiteral("referred_by"), account.referredBy}});
    }
    QJsonArray sessionList;
    for (const Session &session : sessions) {
        sessionList.append(QJsonObject{{QStringLiteral("token"), session.token},
                                       {QStringLiteral("account_id"), session.accountId},
                                       {QStringLiteral("device_id"), session.deviceId},
                                       {QStringLiteral("device_name"), session.deviceName},
                                       {QStringLiteral("revoked"), session.revoked},
                                       {QStringLiteral("issued_at"), storedTime(session.issuedAt)}});
    }
    return {{QStringLiteral("accounts"), accountList},
            {QStringLiteral("sessions"), sessionList},
            {QStringLiteral("next_account_id"), nextAccountId},
            {QStringLiteral("seed"), CurrentSeed}};
}

bool Accounts::restore(const QJsonObject &saved, QString *error)
{
    using WireFormat::restoredTime;
    const QJsonValue accountList = saved.value(QStringLiteral("accounts"));
    const QJsonValue sessionList = saved.value(QStringLiteral("sessions"));
    if (!accountList.isArray() || !sessionList.isArray()) {
        *error = QStringLiteral("no account and token lists");
        return false;
    }
    QList<Account> restoredAccounts;
    int highestId = 0;
    for (const QJsonValue &value : accountList.toArray()) {
        const QJsonObject json = value.toObject();
        Account account;
        account.id = json.value(QStringLiteral("id")).toInt();
        account.email = json.value(QStringLiteral("email")).toString();
        if (account.id <= 0 || account.email.isEmpty()) {
            *error = QStringLiteral("an account without id or e-mail");
            return false;
        }
        account.password = json.value(QStringLiteral("password")).toString();
        account.name = json.value(QStringLiteral("name")).toString();
        account.status = json.value(QStringLiteral("status")).toString(QStringLiteral("active"));
        account.vipExpiresAt = restoredTime(json.value(QStringLiteral("vip_expires_at")));
        account.trialUsed = json.value(QStringLiteral("trial_used")).toBool();
        account.trialExpiresAt = restoredTime(json.value(QStringLiteral("trial_expires_at")));
        account.trialHoursTotal = json.value(QStringLiteral("trial_hours_total")).toInt();
        account.vipTrialUsed = json.value(QStringLiteral("vip_trial_used")).toBool();
        account.createdAt = restoredTime(json.value(QStringLiteral("created_at")));
        account.totalUpload = json.value(QStringLiteral("total_upload")).toInteger();
        account.totalDownload = json.value(QStringLiteral("total_download")).toInteger();
        account.totalTime = json.value(QStringLiteral("total_time")).toInt();
        account.referralCode = json.value(QStringLiteral("referral_code")).toString();
        account.referredBy = json.value(QStringLiteral("referred_by")).toInt();
        highestId = std::max(highestId, account.id);
        restoredAccounts.append(account);
    }
    QList<Session> restoredSessions;
    for (const QJsonValue &value : sessionList.toArray()) {
        const QJsonObject json = value.toObject();
        Session session;
        session.token = json.value(QStringLiteral("token")).toString();
        session.accountId = json.value(QStringLiteral("account_id")).toInt();
        if (session.token.isEmpty()) {
            *error = QStringLiteral("a token without its text");
            return false;
        }
        session.deviceId = json.value(QStringLiteral("device_id")).toString();
        session.deviceName = json.value(QStringLiteral("device_name")).toString();
        session.revoked = json.value(QStringLiteral("revoked")).toBool();
        session.issuedAt = restoredTime(json.value(QStringLiteral("issued_at")));
        restoredSessions.append(session);
    }
    accounts = restoredAccounts;
    sessions = restoredSessions;
    nextAccountId = std::max(highestId + 1, saved.value(QStringLiteral("next_account_id")).toInt());
    upgrade.clear();
    if (saved.value(QStringLiteral("seed")).toInt(1) < CurrentSeed)
        upgradeFirstSeed();
    return true;
}

} // namespace MirevoDev
