#include "DevService.h"
#include "LogCapture.h"
#include "api/network/HttpClient.h"
#include "app/ApiManager.h"

#include <QSignalSpy>
#include <QTest>

using Tavorin::Api::ApiManager;
using Tavorin::Api::Models::User;
using Tavorin::Api::Network::HttpClient;

class TestApiManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void accountRule_data();
    void accountRule();
    void initializeWithoutSavedSignIn();
    void initializeRestoresASavedSignIn();

private:
    bool initialize();

    DevService dev;
};

void TestApiManager::initTestCase()
{
    QVERIFY(dev.start());
    HttpClient::instance()->setBaseUrl(dev.baseUrl());
}

void TestApiManager::accountRule_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("vip");
    QTest::addColumn<int>("vipSeconds"); // 0: no expiry
    QTest::addColumn<bool>("trialUsed");
    QTest::addColumn<int>("trialSeconds"); // 0: no expiry
    QTest::addColumn<double>("hours");
    QTest::addColumn<bool>("canConnect");

    QTest::newRow("valid vip") << "active" << true << 3600 << false << 0 << 0.0 << true;
    QTest::newRow("vip, status in other case") << "Active" << true << 3600 << false << 0 << 0.0 << false;
    QTest::newRow("vip, suspended") << "suspended" << true << 3600 << false << 0 << 0.0 << false;
    QTest::newRow("vip expired") << "active" << true << -1 << false << 0 << 0.0 << false;
    QTest::newRow("vip flag without expiry") << "active" << true << 0 << false << 0 << 0.0 << false;
    QTest::newRow("trial running") << "active" << false << 0 << true << 3600 << 0.5 << true;
    QTest::newRow("trial without expiry") << "active" << false << 0 << true << 0 << 1.0 << false;
    QTest::newRow("trial expired") << "active" << false << 0 << true << -1 << 1.0 << false;
    QTest::newRow("trial hours used up") << "active" << false << 0 << true << 3600 << 0.0 << false;
    QTest::newRow("trial never activated") << "active" << false << 0 << false << 3600 << 1.0 << false;
}

void TestApiManager::accountRule()
{
    QFETCH(QString, status);
    QFETCH(bool, vip);
    QFETCH(int, vipSeconds);
    QFETCH(bool, trialUsed);
    QFETCH(int, trialSeconds);
    QFETCH(double, hours);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    User user;
    user.id = 1;
    user.email = QStringLiteral("a@b.c");
    user.status = status;
    user.isVip = vip;
    if (vipSeconds != 0)
        user.vipExpiresAt = now.addSecs(vipSeconds);
    user.trialUsed = trialUsed;
    if (trialSeconds != 0)
        user.trialExpiresAt = now.addSecs(trialSeconds);
    user.trialHoursRemaining = hours;
    QTEST(ApiManager::canConnect(user), "canConnect");
}

bool TestApiManager::initialize()
{
    bool done = false;
    bool result = false;
    ApiManager::instance()->initialize([&](bool success) {
        result = success;
        done = true;
    });
    return QTest::qWaitFor([&]() { return done; }, 5000) && result;
}

void TestApiManager::initializeWithoutSavedSignIn()
{
    dev.clearRequests();
    LogCapture log;
    QSignalSpy initialized(ApiManager::instance(), &ApiManager::initialized);
    QVERIFY(initialize());
    QCOMPARE(initialized.count(), 1);
    QCOMPARE(initialized.at(0).at(0).toBool(), true);
    QCOMPARE(dev.requests("configs").size(), 1);
    QCOMPARE(dev.requests("auth/me").size(), 0);
    QVERIFY(!log.contains(QStringLiteral("恢复登录状态成功")));
}

void TestApiManager::initializeRestoresASavedSignIn()
{
    bool signedIn = false;
    ApiManager::instance()->login(DevService::demoEmail(), DevService::demoPassword(),
                                  [&](bool success, const QString &, const User &) { signedIn = success; });
    QTRY_VERIFY(signedIn);
    dev.clearRequests();
    HttpClient::instance()->clearAuthToken(); // as a restarted client holds only the saved token

    LogCapture log;
    QVERIFY(initialize());
    QTRY_COMPARE(dev.requests("auth/me").size(), 1);
    QVERIFY(log.contains(QStringLiteral("[ApiManager] 恢复登录状态成功")));
    QVERIFY(dev.lastRequest("auth/me")
                .value("headers")
                .toObject()
                .value("authorization")
                .toString()
                .startsWith(QStringLiteral("Bearer ")));

    // A token the service no longer accepts is only logged: the saved sign-in stays.
    dev.revokeAllTokens();
    QVERIFY(initialize());
    QTRY_VERIFY(log.contains(QStringLiteral("[ApiManager] 用户信息刷新失败，Token可能已过期")));
    QVERIFY(ApiManager::instance()->isLoggedIn());
}

QTEST_GUILESS_MAIN(TestApiManager)
#include "tst_apimanager.moc"
