#pragma once

#include "DevReply.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace MirevoDev {

// Accounts and their sign-ins: sign-in, registration, sign-out and the current user, the bearer tokens,
// and the user record every other area answers with.
class Accounts
{
public:
    struct Account
    {
        int id = 0;
        QString email;
        QString password;
        QString name;
        QString status = QStringLiteral("active");
        QDateTime vipExpiresAt;
        bool trialUsed = false;
        QDateTime trialExpiresAt;
        int trialHoursTotal = 0;
        bool vipTrialUsed = false;
        QDateTime createdAt;
        qint64 totalUpload = 0;
        qint64 totalDownload = 0;
        int totalTime = 0;
        QString referralCode; // the code this account hands out
        int referredBy = 0;   // the account whose code it registered with
    };
    struct Session
    {
        QString token;
        int accountId = 0;
        QString deviceId;
        QString deviceName;
        bool revoked = false;
        QDateTime issuedAt;
    };

    // The seeded accounts, both with demoPassword(). The demo account has VIP time, so that it connects
    // to every line as it signs in; the trial account is a new one, without VIP and with its free trial
    // still to take.
    static QString demoEmail();
    static QString trialEmail();
    static QString demoPassword();

    Accounts() { reset(); }
    // Only the seeded accounts, no sign-ins.
    void reset();

    DevReply login(const QJsonObject &body);
    DevReply registerAccount(const QJsonObject &body, bool registrationOpen);
    DevReply logout(Session &session);
    DevReply me(const Account &account) const;

    // The live session of a bearer token: none for an empty, unknown or revoked token.
    Session *sessionFor(const QString &token);
    Account *byId(int id);
    const Account *byId(int id) const;
    Account *byEmail(const QString &email);
    QString emailOf(int accountId) const;
    qsizetype accountCount() const { return accounts.size(); }
    qsizetype tokenCount() const { return sessions.size(); }

    static bool isVip(const Account &account);
    static double trialHoursRemaining(const Account &account);
    // Hours of the free trial spent so far, to the hundredth as the remaining hours; 0 before it is taken.
    // Takes the remaining hours that go out beside it, so that the two always add up.
    static double trialHoursUsed(const Account &account, double remaining);
    // Adds `days` of VIP: from the current end while VIP, else from now.
    static void extendVip(Account &account, int days);
    static QJsonObject userJson(const Account &account);

    // Control operations; each answers an error text, empty on success.
    QString revokeToken(const QString &token);
    void revokeAllTokens();
    QJsonArray tokens() const;
    QString updateUser(const QJsonObject &fields, QJsonObject *user);

    // What a restart keeps: every account and every token.
    QJsonObject saved() const;
    // Saved accounts of an earlier seed are brought up to this one where nobody changed them;
    // seedUpgrade() then says what changed.
    bool restore(const QJsonObject &saved, QString *error);
    QString seedUpgrade() const { return upgrade; }

private:
    QString issueToken(const Account &account, const QJsonObject &body);
    Account &create(const QString &email, const QString &password, const QString &name);
    Account &createTrialAccount();
    void upgradeFirstSeed();

    QList<Account> accounts;
    QList<Session> sessions;
    int nextAccountId = 1;
    QString upgrade;
};

} // namespace MirevoDev
