#include "DevService.h"
#include "LogCapture.h"
#include "api/network/HttpClient.h"
#include "api/storage/LocalStorage.h"
#include "app/ApiManager.h"

#include <QJsonDocument>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

using Tavorin::Api::ApiManager;
using Tavorin::Api::Models::User;
using Tavorin::Api::Network::HttpClient;
using Tavorin::Api::Storage::LocalStorage;

namespace {
const char *startFlag = "--start";

// Run as a second process, a client started on the settings file the test wrote: initialises against the
// service at `baseUrl`, waits until every request it made has been answered, and reports whether it is
// signed in.
int startClient(const QString &baseUrl)
{
    HttpClient::instance()->setBaseUrl(baseUrl);
    bool done = false;
    ApiManager::instance()->initialize([&done](bool) { done = true; });
    const bool settled =
        QTest::qWaitFor([&done]() { return done && HttpClient::instance()->requestsInFlight() == 0; }, 60000);
    QTextStream(stdout) << (ApiManager::instance()->isLoggedIn() ? "logged-in" : "logged-out") << Qt::endl;
    return settled ? 0 : 1;
}
} // namespace

class TestApiManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void accountRule_data();
    void accountRule();
    void initializeWithoutSavedSignIn();
    void initializeRestoresASavedSignIn();
    void startsOnlyWithATokenThatFitsAHeader_data();
    void startsOnlyWithATokenThatFitsAHeader();

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

void TestApiManager::startsOnlyWithATokenThatFitsAHeader_data()
{
    QTest::addColumn<QString>("token");
    QTest::addColumn<bool>("signedIn");
    QTest::newRow("CR LF and a header of its own") << QStringLiteral("7|abc\r\nX-Injected: 1") << false;
    QTest::newRow("a blank inside") << QStringLiteral("7|abc def") << false;
    QTest::newRow("| - = and other visible ASCII") << QStringLiteral("7|aB3-xY_9.z~=") << true;
}

// The settings file may have been edited by hand or brought from elsewhere: a stored token that would
// break the header line it goes into is dropped at start, before anything is sent with it.
void TestApiManager::startsOnlyWithATokenThatFitsAHeader()
{
    QFETCH(QString, token);
    QFETCH(bool, signedIn);
    {
        QSettings file(LocalStorage::instance()->filePath(), QSettings::IniFormat);
        file.setValue("auth_token", token);
        file.setValue("user_info", R"({"id":3,"email":"a@b.c"})");
    }
    dev.clearRequests();
    QProcess client;
    client.start(QCoreApplication::applicationFilePath(), {startFlag, dev.baseUrl()});
    QVERIFY2(client.waitForFinished(90000), "the end of the client started on the settings file");
    const QString errors = QString::fromUtf8(client.readAllStandardError());
    QCOMPARE(client.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(client.readAllStandardOutput()).trimmed(),
             signedIn ? QStringLiteral("logged-in") : QStringLiteral("logged-out"));
    QCOMPARE(errors.count(QStringLiteral("[TokenManager] 已保存的Token")), signedIn ? 0 : 1);

    QCOMPARE(dev.requests("auth/me").size(), signedIn ? 1 : 0);
    for (const QJsonValue &request : dev.requests()) {
        const QJsonObject headers = request.toObject().value("headers").toObject();
        QVERIFY2(!headers.contains("x-injected"), qPrintable(QJsonDocument(headers).toJson()));
        QVERIFY(signedIn || !headers.contains("authorization"));
    }
    if (signedIn)
        QCOMPARE(dev.lastRequest("auth/me").value("headers").toObject().value("authorization").toString(),
                 "Bearer " + token);
}

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (argc > 2 && qstrcmp(argv[1], startFlag) == 0)
        return startClient(QString::fromLocal8Bit(argv[2]));
    TestApiManager test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_apimanager.moc"
