#include "DevService.h"
#include "LogCapture.h"
#include "ServiceTestSupport.h"

#include "api/network/HttpClient.h"
#include "api/security/TokenManager.h"
#include "api/services/AuthService.h"
#include "api/services/ConfigService.h"
#include "api/services/OrderService.h"
#include "api/storage/LocalStorage.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

using namespace Tavorin::Api;
using Services::AuthService;

class TestAuthService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void loginSendsCredentialsAndStoresAcceptedUser();
    void loginRefusesReply_data();
    void loginRefusesReply();
    void tokenMustFitAHeader_data();
    void tokenMustFitAHeader();
    void registerBody_data();
    void registerBody();
    void logoutClearsStateWhateverTheAnswer_data();
    void logoutClearsStateWhateverTheAnswer();
    void currentUserRefreshesStoredUser();
    void currentUserKeepsStoredUserOnBadReply_data();
    void currentUserKeepsStoredUserOnBadReply();
    void currentUserUnauthorized();
    void replyForAnEndedSignInIsDropped_data();
    void replyForAnEndedSignInIsDropped();
    void logsNoPassword();

private:
    DevService dev;
};

void TestAuthService::initTestCase()
{
    QVERIFY(dev.start());
    Network::HttpClient::instance()->setBaseUrl(dev.baseUrl());
}

void TestAuthService::init()
{
    Network::HttpClient::instance()->setBaseUrl(dev.baseUrl());
    dev.control(QStringLiteral("POST"), QStringLiteral("script/clear"));
    dev.clearRequests();
    ServiceTest::signOutLocally();
}

void TestAuthService::loginSendsCredentialsAndStoresAcceptedUser()
{
    QStringList events;
    auto *tokens = Security::TokenManager::instance();
    QMetaObject::Connection c1 =
        connect(tokens, &Security::TokenManager::tokenChanged, this, [&]() { events << "tokenChanged"; });
    QMetaObject::Connection c2 =
        connect(tokens, &Security::TokenManager::userChanged, this, [&]() { events << "userChanged"; });
    QMetaObject::Connection c3 =
        connect(tokens, &Security::TokenManager::loginStateChanged, this,
                [&](bool in) { events << QStringLiteral("loginStateChanged(%1)").arg(in); });
    QMetaObject::Connection c4 = connect(AuthService::instance(), &AuthService::loginSuccess, this,
                                         [&](const Models::User &) { events << "loginSuccess"; });

    bool done = false;
    bool ok = false;
    QString message;
    Models::User user;
    AuthService::instance()->login(DevService::demoEmail(), DevService::demoPassword(),
                                   [&](bool success, const QString &text, const Models::User &u) {
                                       events << "completion";
                                       ok = success;
                                       message = text;
                                       user = u;
                                       done = true;
                                   });
    QVERIFY(ServiceTest::waitFor(done));
    QTRY_VERIFY(events.contains("loginSuccess"));
    disconnect(c1);
    disconnect(c2);
    disconnect(c3);
    disconnect(c4);

    QVERIFY(ok);
    QCOMPARE(message, QStringLiteral("登录成功"));
    QCOMPARE(user.email, DevService::demoEmail());
    QVERIFY(user.id > 0);
    QCOMPARE(events, (QStringList{"tokenChanged", "userChanged", "loginStateChanged(1)", "completion",
                                  "loginSuccess"}));
    QVERIFY(tokens->isLoggedIn());
    QVERIFY(!Storage::LocalStorage::instance()->getString(QStringLiteral("auth_token")).isEmpty());

    const QJsonObject request = dev.lastRequest(QStringLiteral("auth/login"));
    QCOMPARE(request.value("method").toString(), QStringLiteral("POST"));
    QVERIFY(ServiceTest::header(request, "authorization").isEmpty());
    const QJsonObject body = ServiceTest::body(request);
    QCOMPARE(body.keys(), (QStringList{"device_id", "device_name", "device_type", "email", "password"}));
    QCOMPARE(body.value("email").toString(), DevService::demoEmail());
    QCOMPARE(body.value("password").toString(), DevService::demoPassword());
    QCOMPARE(body.value("device_type").toString(), QStringLiteral("windows"));
    QCOMPARE(body.value("device_id").toString(), tokens->getDeviceId());
    QCOMPARE(body.value("device_name").toString(), tokens->getDeviceName());

    // The token the service issued now goes out with every authorised request.
    ServiceTest::Outcome<Models::User> me;
    AuthService::instance()->refreshCurrentUser(me.completion());
    QVERIFY(me.wait());
    QCOMPARE(ServiceTest::header(dev.lastRequest(QStringLiteral("auth/me")), "authorization"),
             QStringLiteral("Bearer ") + tokens->getToken());
}

void TestAuthService::loginRefusesReply_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("message");

    const QJsonObject user{{"id", 5}, {"email", "a@b.c"}};
    QTest::newRow("empty token") << 200
                                 << ServiceTest::json({{"success", true}, {"token", ""}, {"data", user}})
                                 << QStringLiteral("响应数据无效");
    QTest::newRow("token not a string")
        << 200 << ServiceTest::json({{"success", true}, {"token", 12}, {"data", user}})
        << QStringLiteral("响应数据无效");
    QTest::newRow("user id 0") << 200
                               << ServiceTest::json({{"success", true},
                                                     {"token", "t"},
                                                     {"data", QJsonObject{{"id", 0}, {"email", "a@b.c"}}}})
                               << QStringLiteral("响应数据无效");
    QTest::newRow("empty e-mail") << 200
                                  << ServiceTest::json({{"success", true},
                                                        {"token", "t"},
                                                        {"data", QJsonObject{{"id", 5}, {"email", ""}}}})
                                  << QStringLiteral("响应数据无效");
    QTest::newRow("no user") << 200 << ServiceTest::json({{"success", true}, {"token", "t"}})
                             << QStringLiteral("响应数据无效");
    QTest::newRow("success false") << 200
                                   << ServiceTest::json({{"success", false},
                                                         {"message", "账号或密码错误"},
                                                         {"token", "t"},
                                                         {"data", user}})
                                   << QStringLiteral("账号或密码错误");
    QTest::newRow("validation errors")
        << 422
        << ServiceTest::json({{"message", "验证失败"},
                              {"errors", QJsonObject{{"email", QJsonArray{"邮箱格式不正确", "邮箱已存在"}},
                                                     {"password", "密码太短"}}}})
        << QStringLiteral("邮箱格式不正确");
}

void TestAuthService::loginRefusesReply()
{
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    QFETCH(QString, message);
    dev.scriptReply(QStringLiteral("POST"), QStringLiteral("auth/login"), status, reply);

    QSignalSpy failed(AuthService::instance(), &AuthService::loginFailed);
    QSignalSpy succeeded(AuthService::instance(), &AuthService::loginSuccess);
    QSignalSpy tokenChanged(Security::TokenManager::instance(), &Security::TokenManager::tokenChanged);
    ServiceTest::Outcome<Models::User> login;
    login.value.id = -1;
    AuthService::instance()->login(QStringLiteral("a@b.c"), QStringLiteral("pw"), login.completion());
    QVERIFY(login.wait());
    QTRY_COMPARE(failed.count(), 1);
    QVERIFY(!login.ok);
    QCOMPARE(login.message, message);
    QCOMPARE(login.value.id, 0);
    QCOMPARE(failed.first().at(0).toString(), message);
    QCOMPARE(succeeded.count(), 0);
    QCOMPARE(tokenChanged.count(), 0);
    QVERIFY(!Security::TokenManager::instance()->isLoggedIn());
    QVERIFY(Storage::LocalStorage::instance()->getString(QStringLiteral("auth_token")).isEmpty());
    QVERIFY(Storage::LocalStorage::instance()->getString(QStringLiteral("user_info")).isEmpty());
    QVERIFY(Network::HttpClient::instance()->getAuthToken().isEmpty());
}

void TestAuthService::tokenMustFitAHeader_data()
{
    QTest::addColumn<QString>("path"); // "auth/login" or "auth/register"
    QTest::addColumn<QString>("token");
    QTest::addColumn<bool>("accepted");

    const QString injected = QStringLiteral("7|abc\r\nX-Injected: 1");
    QTest::newRow("sign-in, CR LF and a header of its own") << "auth/login" << injected << false;
    QTest::newRow("registration, CR LF and a header of its own") << "auth/register" << injected << false;
    QTest::newRow("sign-in, a second request after it")
        << "auth/login" << QStringLiteral("7|abc\r\n\r\nGET /api/v1/servers HTTP/1.1\r\nX-Injected: 1")
        << false;
    QTest::newRow("sign-in, bare LF") << "auth/login" << QStringLiteral("7|abc\nX-Injected: 1") << false;
    QTest::newRow("sign-in, a blank inside") << "auth/login" << QStringLiteral("7|abc def") << false;
    QTest::newRow("sign-in, a tab") << "auth/login" << QStringLiteral("7|abc\tdef") << false;
    QTest::newRow("sign-in, DEL") << "auth/login" << QStringLiteral("7|abc\x7f") << false;
    QTest::newRow("sign-in, beyond ASCII") << "auth/login" << QStringLiteral("7|abc令牌") << false;
    QTest::newRow("sign-in, | - = and other visible ASCII")
        << "auth/login" << QStringLiteral("7|aB3-xY_9.z~+/=!#$%&'*^`") << true;
    QTest::newRow("registration, | - =") << "auth/register" << QStringLiteral("12|Zk-Q9=") << true;
}

// The token goes into the Authorization header of every later request. One that holds a line break
// would add header lines of its own (or a whole second request) to each of them.
void TestAuthService::tokenMustFitAHeader()
{
    QFETCH(QString, path);
    QFETCH(QString, token);
    QFETCH(bool, accepted);
    const QJsonObject user{{"id", 5}, {"email", "a@b.c"}};
    dev.scriptReply(
        QStringLiteral("POST"), path, 200,
        ServiceTest::json({{"success", true}, {"message", "ok"}, {"token", token}, {"data", user}}));

    ServiceTest::Outcome<Models::User> answer;
    if (path == QLatin1String("auth/login"))
        AuthService::instance()->login(QStringLiteral("a@b.c"), QStringLiteral("pw"), answer.completion());
    else
        AuthService::instance()->registerUser(QStringLiteral("a@b.c"), QStringLiteral("pw"),
                                              QStringLiteral("n"), QString(), answer.completion());
    QVERIFY(answer.wait());
    QCOMPARE(answer.ok, accepted);
    QCOMPARE(answer.message, accepted ? QStringLiteral("ok") : QStringLiteral("响应数据无效"));
    QCOMPARE(Security::TokenManager::instance()->isLoggedIn(), accepted);
    const QString saved = accepted ? token : QString();
    QCOMPARE(Storage::LocalStorage::instance()->getString(QStringLiteral("auth_token")), saved);
    QCOMPARE(Network::HttpClient::instance()->getAuthToken(), saved);

    // The next authorised request reaches the service as one request with the headers the client sets.
    ServiceTest::Outcome<Models::User> me;
    AuthService::instance()->refreshCurrentUser(me.completion());
    QVERIFY(me.wait());
    QStringList paths;
    for (const QJsonValue &request : dev.requests())
        paths << request.toObject().value("path").toString();
    QCOMPARE(paths, (QStringList{path, "auth/me"}));
    const QJsonObject request = dev.lastRequest(QStringLiteral("auth/me"));
    QVERIFY2(!request.value("headers").toObject().contains("x-injected"),
             qPrintable(QJsonDocument(request).toJson()));
    QCOMPARE(ServiceTest::header(request, "authorization"), accepted ? "Bearer " + token : QString());
}

void TestAuthService::registerBody_data()
{
    QTest::addColumn<QString>("referral");
    QTest::addColumn<QJsonValue>("sent");
    QTest::newRow("no referral code") << QString() << QJsonValue(QJsonValue::Null);
    QTest::newRow("referral code") << QStringLiteral("MIREVO2026")
                                   << QJsonValue(QStringLiteral("MIREVO2026"));
}

void TestAuthService::registerBody()
{
    QFETCH(QString, referral);
    QFETCH(QJsonValue, sent);
    const QString email =
        QStringLiteral("new%1@mirevo.dev").arg(QTest::currentDataTag() == QByteArray("referral code"));
    QSignalSpy registered(AuthService::instance(), &AuthService::registerSuccess);
    QSignalSpy failed(AuthService::instance(), &AuthService::registerFailed);
    ServiceTest::Outcome<Models::User> registration;
    AuthService::instance()->registerUser(email, QStringLiteral("secret99"), QStringLiteral("新用户"),
                                          referral, registration.completion());
    QVERIFY(registration.wait());
    const QJsonObject body = ServiceTest::body(dev.lastRequest(QStringLiteral("auth/register")));
    QCOMPARE(body.keys(), (QStringList{"device_id", "device_name", "device_type", "email", "equipment",
                                       "name", "password", "password_confirmation", "reffer_code"}));
    QCOMPARE(body.value("reffer_code"), sent);
    QCOMPARE(body.value("password_confirmation").toString(), QStringLiteral("secret99"));
    QCOMPARE(body.value("password").toString(), QStringLiteral("secret99"));
    QCOMPARE(body.value("equipment").toString(), QStringLiteral("Mirevo加速器"));
    QCOMPARE(body.value("device_type").toString(), QStringLiteral("windows"));
    QCOMPARE(body.value("name").toString(), QStringLiteral("新用户"));
    QVERIFY(ServiceTest::header(dev.lastRequest(QStringLiteral("auth/register")), "authorization").isEmpty());

    QVERIFY2(registration.ok, qPrintable(registration.message));
    QTRY_COMPARE(registered.count(), 1);
    QCOMPARE(failed.count(), 0);
    QCOMPARE(registration.value.email, email);
    // Registration signs the new account in exactly like a sign-in.
    QVERIFY(Security::TokenManager::instance()->isLoggedIn());
    QCOMPARE(Security::TokenManager::instance()->getCurrentUser().email, email);
    QCOMPARE(Network::HttpClient::instance()->getAuthToken(), Security::TokenManager::instance()->getToken());
}

void TestAuthService::logoutClearsStateWhateverTheAnswer_data()
{
    QTest::addColumn<QString>("answer");
    QTest::newRow("service answers") << QStringLiteral("service");
    QTest::newRow("http error") << QStringLiteral("500");
    QTest::newRow("no network") << QStringLiteral("closed port");
}

void TestAuthService::logoutClearsStateWhateverTheAnswer()
{
    QFETCH(QString, answer);
    QVERIFY(ServiceTest::signIn());
    const QString token = Security::TokenManager::instance()->getToken();
    if (answer == QLatin1String("500"))
        dev.scriptReply(QStringLiteral("POST"), QStringLiteral("auth/logout"), 500, "{}");
    if (answer == QLatin1String("closed port")) {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const quint16 port = closed.serverPort();
        closed.close();
        Network::HttpClient::instance()->setBaseUrl(QStringLiteral("http://127.0.0.1:%1/api/v1/").arg(port));
    }

    QStringList events;
    QMetaObject::Connection c1 =
        connect(Security::TokenManager::instance(), &Security::TokenManager::loginStateChanged, this,
                [&](bool in) { events << QStringLiteral("loginStateChanged(%1)").arg(in); });
    QMetaObject::Connection c2 = connect(AuthService::instance(), &AuthService::logoutSuccess, this,
                                         [&]() { events << "logoutSuccess"; });
    bool done = false;
    bool ok = false;
    QString message;
    AuthService::instance()->logout([&](bool success, const QString &text) {
        events << "completion";
        // Still signed in until the answer arrives; by now the local state is gone.
        ok = success;
        message = text;
        done = true;
    });
    // Signed out when the answer arrives, not when asked.
    QVERIFY(Security::TokenManager::instance()->isLoggedIn());
    QVERIFY(ServiceTest::waitFor(done));
    QTRY_VERIFY(events.contains("logoutSuccess"));
    disconnect(c1);
    disconnect(c2);

    QVERIFY(ok);
    QCOMPARE(message, QStringLiteral("登出成功"));
    QCOMPARE(events, (QStringList{"loginStateChanged(0)", "completion", "logoutSuccess"}));
    QVERIFY(!Security::TokenManager::instance()->isLoggedIn());
    QVERIFY(Network::HttpClient::instance()->getAuthToken().isEmpty());
    QVERIFY(Storage::LocalStorage::instance()->getString(QStringLiteral("auth_token")).isEmpty());

    if (answer != QLatin1String("closed port")) {
        const QJsonObject request = dev.lastRequest(QStringLiteral("auth/logout"));
        QCOMPARE(request.value("method").toString(), QStringLiteral("POST"));
        QCOMPARE(ServiceTest::header(request, "authorization"), QStringLiteral("Bearer ") + token);
        QCOMPARE(request.value("body").toString(), QStringLiteral("{}"));
    }
}

void TestAuthService::currentUserRefreshesStoredUser()
{
    QVERIFY(ServiceTest::signIn());
    dev.control(QStringLiteral("POST"), QStringLiteral("users"),
                {{"email", DevService::demoEmail()}, {"name", QStringLiteral("改名用户")}});
    QSignalSpy updated(AuthService::instance(), &AuthService::userInfoUpdated);
    ServiceTest::Outcome<Models::User> me;
    AuthService::instance()->getCurrentUser(me.completion());
    QVERIFY(me.wait());
    QVERIFY(me.ok);
    QCOMPARE(me.message, QStringLiteral("获取成功"));
    QTRY_COMPARE(updated.count(), 1);
    QCOMPARE(updated.first().at(0).value<Models::User>().name, QStringLiteral("改名用户"));
    QCOMPARE(Security::TokenManager::instance()->getCurrentUser().name, QStringLiteral("改名用户"));
    QVERIFY(Security::TokenManager::instance()->isLoggedIn());
    const QJsonObject request = dev.lastRequest(QStringLiteral("auth/me"));
    QCOMPARE(request.value("method").toString(), QStringLiteral("GET"));
    QVERIFY(ServiceTest::query(request).isEmpty());
}

void TestAuthService::currentUserKeepsStoredUserOnBadReply_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("message");
    QTest::newRow("no data") << 200 << ServiceTest::json({{"success", true}})
                             << QStringLiteral("响应数据无效");
    QTest::newRow("data is a list") << 200 << ServiceTest::json({{"success", true}, {"data", QJsonArray{1}}})
                                    << QStringLiteral("响应数据无效");
    QTest::newRow("id 0") << 200
                          << ServiceTest::json({{"success", true}, {"data", QJsonObject{{"email", "x@y.z"}}}})
                          << QStringLiteral("响应数据无效");
    QTest::newRow("id as text") << 200
                                << ServiceTest::json({{"success", true},
                                                      {"data", QJsonObject{{"id", "1"}, {"email", "x@y.z"}}}})
                                << QStringLiteral("响应数据无效");
    QTest::newRow("no e-mail") << 200
                               << ServiceTest::json({{"success", true}, {"data", QJsonObject{{"id", 1}}}})
                               << QStringLiteral("响应数据无效");
    QTest::newRow("server error") << 500 << ServiceTest::json({{"message", "服务器错误"}})
                                  << QStringLiteral("服务器错误");
}

void TestAuthService::currentUserKeepsStoredUserOnBadReply()
{
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    QFETCH(QString, message);
    QVERIFY(ServiceTest::signIn());
    const QString storedUser = Storage::LocalStorage::instance()->getString(QStringLiteral("user_info"));
    dev.scriptReply(QStringLiteral("GET"), QStringLiteral("auth/me"), status, reply);

    QSignalSpy updated(AuthService::instance(), &AuthService::userInfoUpdated);
    QSignalSpy userChanged(Security::TokenManager::instance(), &Security::TokenManager::userChanged);
    ServiceTest::Outcome<Models::User> me;
    me.value.id = -1;
    AuthService::instance()->getCurrentUser(me.completion());
    QVERIFY(me.wait());
    QVERIFY(!me.ok);
    QCOMPARE(me.message, message);
    QCOMPARE(me.value.id, 0);
    QCOMPARE(updated.count(), 0);
    QCOMPARE(userChanged.count(), 0);
    QVERIFY(Security::TokenManager::instance()->isLoggedIn());
    QCOMPARE(Security::TokenManager::instance()->getCurrentUser().email, DevService::demoEmail());
    QCOMPARE(Storage::LocalStorage::instance()->getString(QStringLiteral("user_info")), storedUser);
}

void TestAuthService::currentUserUnauthorized()
{
    QVERIFY(ServiceTest::signIn());
    dev.revokeToken(Security::TokenManager::instance()->getToken());
    QStringList events;
    QMetaObject::Connection c = connect(AuthService::instance(), &AuthService::authenticationRequired, this,
                                        [&]() { events << "authenticationRequired"; });
    bool done = false;
    bool ok = true;
    AuthService::instance()->getCurrentUser([&](bool success, const QString &, const Models::User &) {
        events << "completion";
        ok = success;
        done = true;
    });
    QVERIFY(ServiceTest::waitFor(done));
    disconnect(c);
    QVERIFY(!ok);
    QCOMPARE(events, (QStringList{"authenticationRequired", "completion"}));
    // Signing out on an expired token is the caller's decision, not this service's.
    QVERIFY(Security::TokenManager::instance()->isLoggedIn());
}

void TestAuthService::replyForAnEndedSignInIsDropped_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("otherAccountSignsIn");
    for (const char *path : {"auth/me", "trial/activate-free", "trial/activate-vip", "orders"}) {
        QTest::addRow("%s, then signed out", path) << QString::fromLatin1(path) << false;
        QTest::addRow("%s, then another account", path) << QString::fromLatin1(path) << true;
    }
}

// A slow answer about the account that signed out must neither come back into the settings file nor be
// taken as the user or the orders of the account that signed in since.
void TestAuthService::replyForAnEndedSignInIsDropped()
{
    QFETCH(QString, path);
    QFETCH(bool, otherAccountSignsIn);
    dev.control(QStringLiteral("POST"), QStringLiteral("users"),
                {{"email", DevService::demoEmail()}, {"trial_used", false}, {"vip_trial_used", false}});
    dev.addOrders(2);
    QVERIFY(ServiceTest::signIn());
    const bool get = path == QLatin1String("auth/me") || path == QLatin1String("orders");
    dev.scriptReply(get ? QStringLiteral("GET") : QStringLiteral("POST"), path, 0, {}, 600);

    QSignalSpy updated(AuthService::instance(), &AuthService::userInfoUpdated);
    QSignalSpy activated(Services::ConfigService::instance(), &Services::ConfigService::trialActivated);
    QSignalSpy orders(Services::OrderService::instance(), &Services::OrderService::ordersUpdated);
    ServiceTest::Outcome<> late;
    const auto lateUser = [finish = late.completion()](bool ok, const QString &message,
                                                       const Models::User &) { finish(ok, message); };
    if (path == QLatin1String("auth/me"))
        AuthService::instance()->refreshCurrentUser(lateUser);
    else if (path == QLatin1String("trial/activate-vip"))
        Services::ConfigService::instance()->activateVipTrial(lateUser);
    else if (path == QLatin1String("trial/activate-free"))
        Services::ConfigService::instance()->activateFreeTrial(lateUser);
    else
        Services::OrderService::instance()->getAllOrders(
            [finish = late.completion()](bool ok, const QString &message, const QList<Models::Order> &) {
                finish(ok, message);
            });

    ServiceTest::Outcome<> signOut;
    AuthService::instance()->logout(signOut.completion());
    QVERIFY(signOut.wait());
    QVERIFY(signOut.ok);
    if (otherAccountSignsIn) {
        ServiceTest::Outcome<Models::User> other;
        AuthService::instance()->login(DevService::trialEmail(), DevService::demoPassword(),
                                       other.completion());
        QVERIFY(other.wait());
        QVERIFY(other.ok);
    }
    QVERIFY(!late.done);
    QVERIFY(late.wait());

    QVERIFY(!late.ok);
    QCOMPARE(late.message, QStringLiteral("登录状态已变化"));
    QCOMPARE(updated.count(), 0);
    QCOMPARE(activated.count(), 0);
    QCOMPARE(orders.count(), 0);
    const QString stored = Storage::LocalStorage::instance()->getString(QStringLiteral("user_info"));
    if (otherAccountSignsIn) {
        QCOMPARE(Security::TokenManager::instance()->getCurrentUser().email, DevService::trialEmail());
        QVERIFY2(!stored.contains(DevService::demoEmail()), qPrintable(stored));
    } else {
        QVERIFY(!Security::TokenManager::instance()->isLoggedIn());
        QCOMPARE(stored, QString());
    }
}

void TestAuthService::logsNoPassword()
{
    LogCapture log;
    const QString password = QStringLiteral("Very$ecret-Pa55");
    ServiceTest::Outcome<Models::User> login;
    AuthService::instance()->login(DevService::demoEmail(), password, login.completion());
    QVERIFY(login.wait());
    QVERIFY(log.contains(QStringLiteral("[AuthService] 开始登录: ") + DevService::demoEmail()));
    QVERIFY(!log.joined().contains(password));
}

QTEST_MAIN(TestAuthService)
#include "tst_authservice.moc"
