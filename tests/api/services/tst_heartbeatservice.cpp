#include "DevService.h"
#include "LogCapture.h"
#include "ServiceTestSupport.h"

#include "api/network/HttpClient.h"
#include "api/security/TokenManager.h"
#include "api/services/HeartbeatService.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Tavorin::Api;
using Services::HeartbeatService;

Q_DECLARE_METATYPE(QList<QJsonValue>)

namespace {
QByteArray answer(const QJsonObject &data)
{
    return ServiceTest::json({{"success", true}, {"data", data}});
}

const QJsonObject activeDevice{{"status", "active"}, {"force_disconnect", false}, {"message", ""}};
} // namespace

class TestHeartbeatService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void singleHeartbeat();
    void noTokenSendsNothing();
    void startInterval_data();
    void startInterval();
    void ticksCarryStoredFigures();
    void responseRules_data();
    void responseRules();
    void intervalRule_data();
    void intervalRule();
    void staleAnswersForceNothing_data();
    void staleAnswersForceNothing();
    void disconnectingOnDemandEndsTheRun_data();
    void disconnectingOnDemandEndsTheRun();
    void unauthorizedIsOneEpisode_data();
    void unauthorizedIsOneEpisode();
    void unauthorizedSingleHeartbeat_data();
    void unauthorizedSingleHeartbeat();
    void stats();

private:
    // The heartbeats the service received since the last clear, oldest first (their bodies).
    QList<QJsonObject> beats() const;
    // Those of them that said goodbye ("disconnected"). A tick sent just before a goodbye may reach the
    // service after it, so a goodbye need not be the last beat received.
    QList<QJsonObject> goodbyes() const;
    // Waits until every heartbeat the service received has been answered on the client side.
    bool allAnswered(const QSignalSpy &succeeded, const QSignalSpy &failed) const;

    DevService dev;
    std::unique_ptr<QSignalSpy> answered;
    std::unique_ptr<QSignalSpy> refused;
};

void TestHeartbeatService::initTestCase()
{
    QVERIFY(dev.start());
    Network::HttpClient::instance()->setBaseUrl(dev.baseUrl());
    QVERIFY(ServiceTest::signIn());
}

void TestHeartbeatService::init()
{
    HeartbeatService::instance()->setSecondLengthMs(1000);
    dev.control(QStringLiteral("POST"), QStringLiteral("script/clear"));
    dev.clearRequests();
    answered =
        std::make_unique<QSignalSpy>(HeartbeatService::instance(), &HeartbeatService::heartbeatSuccess);
    refused = std::make_unique<QSignalSpy>(HeartbeatService::instance(), &HeartbeatService::heartbeatFailed);
    if (Network::HttpClient::instance()->getAuthToken().isEmpty())
        QVERIFY(ServiceTest::signIn());
}

void TestHeartbeatService::cleanup()
{
    auto *service = HeartbeatService::instance();
    const bool wasRunning = service->isRunning();
    const qsizetype goodbyesBefore = goodbyes().size();
    service->stopAutoHeartbeat();
    // The goodbye's answer, and any other still in flight, must not land in the next test.
    if (wasRunning)
        QVERIFY(QTest::qWaitFor([&]() { return goodbyes().size() > goodbyesBefore; }, 5000));
    QVERIFY(QTest::qWaitFor(
        [&]() {
            return answered->count() + refused->count() >= dev.requests(QStringLiteral("heartbeat")).size();
        },
        5000));
    dev.control(QStringLiteral("POST"), QStringLiteral("script/clear"));
}

QList<QJsonObject> TestHeartbeatService::beats() const
{
    QList<QJsonObject> bodies;
    const QJsonArray requests = dev.requests(QStringLiteral("heartbeat"));
    for (const QJsonValue &request : requests)
        bodies << ServiceTest::body(request.toObject());
    return bodies;
}

QList<QJsonObject> TestHeartbeatService::goodbyes() const
{
    QList<QJsonObject> sent = beats();
    sent.removeIf([](const QJsonObject &beat) {
        return beat.value("connection_status") != QLatin1String("disconnected");
    });
    return sent;
}

bool TestHeartbeatService::allAnswered(const QSignalSpy &succeeded, const QSignalSpy &failed) const
{
    return QTest::qWaitFor(
        [&]() {
            return succeeded.count() + failed.count() == dev.requests(QStringLiteral("heartbeat")).size();
        },
        5000);
}

void TestHeartbeatService::singleHeartbeat()
{
    const QString token = Network::HttpClient::instance()->getAuthToken();
    LogCapture log;
    QSignalSpy succeeded(HeartbeatService::instance(), &HeartbeatService::heartbeatSuccess);
    QSignalSpy forced(HeartbeatService::instance(), &HeartbeatService::forceDisconnectRequired);
    ServiceTest::Outcome<Models::HeartbeatResponse> beat;
    HeartbeatService::instance()->sendHeartbeat(4, QStringLiteral("connected"), 1234567890123LL, 42, 88,
                                                beat.completion());
    QVERIFY(beat.wait());
    QVERIFY(beat.ok);
    const Models::HeartbeatResponse &response = beat.value;
    QVERIFY(response.success);
    QCOMPARE(response.interval, 30);
    QCOMPARE(response.serverStatus, QStringLiteral("online"));
    QCOMPARE(response.maxUsers, 500);
    QCOMPARE(response.deviceStatus, QStringLiteral("active"));
    QVERIFY(response.hasUserStatus);
    QTRY_COMPARE(succeeded.count(), 1);
    QCOMPARE(forced.count(), 0);

    const QJsonObject request = dev.lastRequest(QStringLiteral("heartbeat"));
    QCOMPARE(request.value("method").toString(), QStringLiteral("POST"));
    QCOMPARE(ServiceTest::header(request, "authorization"), QStringLiteral("Bearer ") + token);
    QCOMPARE(ServiceTest::body(request),
             (QJsonObject{{"device_id", Security::TokenManager::instance()->getDeviceId()},
                          {"connection_status", "connected"},
                          {"upload_bytes", 1234567890123LL},
                          {"download_bytes", 42},
                          {"latency_ms", 88}}));
    QVERIFY(log.contains(QStringLiteral("Token长度: %1").arg(token.length())));
    QVERIFY(!log.joined().contains(token));
}

void TestHeartbeatService::noTokenSendsNothing()
{
    const QString token = Network::HttpClient::instance()->getAuthToken();
    Network::HttpClient::instance()->clearAuthToken();
    QSignalSpy failed(HeartbeatService::instance(), &HeartbeatService::heartbeatFailed);
    ServiceTest::Outcome<Models::HeartbeatResponse> beat;
    HeartbeatService::instance()->sendHeartbeat(1, QStringLiteral("connected"), 0, 0, 0, beat.completion());
    QVERIFY(beat.done);
    QVERIFY(!beat.ok);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().at(0).toString(), QStringLiteral("Token为空，请先登录"));

    // Statistics do not need the token, so they are still asked for.
    ServiceTest::Outcome<Models::HeartbeatStats> stats;
    HeartbeatService::instance()->getStats(stats.completion());
    QVERIFY(stats.wait());
    Network::HttpClient::instance()->setAuthToken(token);
    QVERIFY(dev.requests(QStringLiteral("heartbeat")).isEmpty());
    QCOMPARE(dev.requests(QStringLiteral("heartbeat/stats")).size(), 1);
}

void TestHeartbeatService::startInterval_data()
{
    QTest::addColumn<int>("given");
    QTest::addColumn<int>("seconds");
    QTest::newRow("0 means the default") << 0 << 30;
    QTest::newRow("negative means the default") << -5 << 30;
    QTest::newRow("given") << 60 << 60;
    QTest::newRow("below the floor") << 1 << 5;
    QTest::newRow("above the ceiling") << 100000 << 3600;
}

void TestHeartbeatService::startInterval()
{
    QFETCH(int, given);
    QFETCH(int, seconds);
    HeartbeatService::instance()->updateTrafficStats(5, 6);
    HeartbeatService::instance()->startAutoHeartbeat(7, given);
    QVERIFY(HeartbeatService::instance()->isRunning());
    QCOMPARE(HeartbeatService::instance()->intervalMs(), seconds * 1000);
    QCOMPARE(HeartbeatService::instance()->getServerId(), 7);
    QCOMPARE(HeartbeatService::instance()->getConnectionStatus(), QStringLiteral("connected"));
    QTRY_COMPARE(beats().size(), 1);
    // Figures stored before the start belong to an earlier connection: the start's stop zeroed them.
    const QJsonObject first = beats().first();
    QCOMPARE(first.value("connection_status").toString(), QStringLiteral("connected"));
    QCOMPARE(first.value("upload_bytes").toInteger(), 0);
    QCOMPARE(first.value("download_bytes").toInteger(), 0);
    QCOMPARE(first.value("latency_ms").toInteger(), 0);
}

void TestHeartbeatService::ticksCarryStoredFigures()
{
    HeartbeatService::instance()->setSecondLengthMs(2); // 30 s last 60 ms
    QSignalSpy succeeded(HeartbeatService::instance(), &HeartbeatService::heartbeatSuccess);
    HeartbeatService::instance()->startAutoHeartbeat(9, 0);
    QCOMPARE(HeartbeatService::instance()->intervalMs(), 60);
    HeartbeatService::instance()->updateTrafficStats(100, 200);
    HeartbeatService::instance()->updateLatency(33);
    QTRY_VERIFY(succeeded.count() >= 3);
    const QJsonObject tick = beats().last();
    QCOMPARE(tick.value("connection_status").toString(), QStringLiteral("connected"));
    QCOMPARE(tick.value("upload_bytes").toInteger(), 100);
    QCOMPARE(tick.value("download_bytes").toInteger(), 200);
    QCOMPARE(tick.value("latency_ms").toInteger(), 33);

    HeartbeatService::instance()->stopAutoHeartbeat();
    QVERIFY(!HeartbeatService::instance()->isRunning());
    QCOMPARE(HeartbeatService::instance()->getServerId(), 0);
    QCOMPARE(HeartbeatService::instance()->getConnectionStatus(), QStringLiteral("disconnected"));
    QTRY_VERIFY(!goodbyes().isEmpty());
    const QJsonObject goodbye = goodbyes().last();
    QCOMPARE(goodbye.value("upload_bytes").toInteger(), 100);
    QCOMPARE(goodbye.value("download_bytes").toInteger(), 200);
    QCOMPARE(goodbye.value("latency_ms").toInteger(), 33);

    // Stopping an idle heartbeat sends and logs nothing.
    const int sent = dev.requests(QStringLiteral("heartbeat")).size();
    LogCapture log;
    HeartbeatService::instance()->stopAutoHeartbeat();
    QVERIFY(!log.contains(QStringLiteral("[HeartbeatService]")));
    QCOMPARE(dev.requests(QStringLiteral("heartbeat")).size(), sent);
}

void TestHeartbeatService::responseRules_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("forced");
    QTest::addColumn<QString>("forceMessage");
    QTest::addColumn<bool>("userStatus");
    QTest::addColumn<bool>("isVip");
    QTest::addColumn<double>("trialHours");

    const QJsonObject user{{"is_vip", true}, {"trial_hours_remaining", 1.5}};
    QTest::newRow("no data") << ServiceTest::json({{"success", true}}) << true << QString() << false << false
                             << 0.0;
    QTest::newRow("no device status")
        << answer({{"interval", 30}, {"user_status", user}}) << true << QString() << true << true << 1.5;
    QTest::newRow("active but forced")
        << answer(
               {{"user_status", user},
                {"device_status",
                 QJsonObject{{"status", "active"}, {"force_disconnect", true}, {"message", "管理员断开"}}}})
        << true << QStringLiteral("管理员断开") << true << true << 1.5;
    QTest::newRow("Active with a capital A")
        << answer({{"device_status", QJsonObject{{"status", "Active"}, {"message", "设备异常"}}}}) << true
        << QStringLiteral("设备异常") << false << false << 0.0;
    QTest::newRow("active") << answer({{"user_status",
                                        QJsonObject{{"is_vip", false}, {"trial_hours_remaining", 0}}},
                                       {"device_status", activeDevice}})
                            << false << QString() << true << false << 0.0;
    QTest::newRow("user status not an object")
        << answer({{"user_status", "vip"}, {"device_status", activeDevice}}) << false << QString() << false
        << false << 0.0;
}

void TestHeartbeatService::responseRules()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, forced);
    QFETCH(QString, forceMessage);
    QFETCH(bool, userStatus);
    QFETCH(bool, isVip);
    QFETCH(double, trialHours);
    dev.scriptReply(QStringLiteral("POST"), QStringLiteral("heartbeat"), 200, reply);

    QStringList events;
    auto *service = HeartbeatService::instance();
    QList<QMetaObject::Connection> connections;
    connections << connect(
        service, &HeartbeatService::forceDisconnectRequired, this,
        [&](const QString &message) { events << QStringLiteral("force(%1)").arg(message); });
    connections << connect(service, &HeartbeatService::userStatusUpdated, this, [&](bool vip, double hours) {
        events << QStringLiteral("userStatus(%1,%2)").arg(vip).arg(hours);
    });
    connections << connect(service, &HeartbeatService::heartbeatSuccess, this,
                           [&](const Models::HeartbeatResponse &) { events << "success"; });
    service->startAutoHeartbeat(3, 0);
    QTRY_VERIFY(events.contains("success"));
    for (const QMetaObject::Connection &connection : std::as_const(connections))
        disconnect(connection);

    QStringList expected;
    if (forced)
        expected << QStringLiteral("force(%1)").arg(forceMessage);
    if (userStatus)
        expected << QStringLiteral("userStatus(%1,%2)").arg(isVip).arg(trialHours);
    expected << "success";
    QCOMPARE(events, expected);
    // A demand to disconnect is the connection's business: the heartbeat itself runs on.
    QVERIFY(service->isRunning());
}

void TestHeartbeatService::intervalRule_data()
{
    QTest::addColumn<QList<QJsonValue>>("intervals");
    QTest::addColumn<int>("seconds");
    auto list = [](std::initializer_list<QJsonValue> values) { return QList<QJsonValue>(values); };
    QTest::newRow("60") << list({60}) << 60;
    QTest::newRow("back to 30 after 60") << list({60, 30}) << 30;
    QTest::newRow("missing after 60") << list({60, QJsonValue::Undefined}) << 60;
    QTest::newRow("as text") << list({"60"}) << 30;
    QTest::newRow("0") << list({0}) << 30;
    QTest::newRow("negative") << list({-5}) << 30;
    QTest::newRow("below the floor") << list({2}) << 5;
    QTest::newRow("above the ceiling") << list({4000}) << 3600;
    QTest::newRow("overflows an int in milliseconds") << list({2147484}) << 3600;
    QTest::newRow("beyond int") << list({1e12}) << 30;
}

void TestHeartbeatService::intervalRule()
{
    QFETCH(QList<QJsonValue>, intervals);
    QFETCH(int, seconds);
    constexpr int secondMs = 2;
    HeartbeatService::instance()->setSecondLengthMs(secondMs);
    for (qsizetype i = 0; i < intervals.size(); ++i) {
        QJsonObject data{{"device_status", activeDevice}};
        if (!intervals.at(i).isUndefined())
            data.insert("interval", intervals.at(i));
        // The last instruction stays the service's word for every later tick.
        const int times = i + 1 == intervals.size() ? 1000 : 1;
        dev.scriptReply(QStringLiteral("POST"), QStringLiteral("heartbeat"), 200, answer(data), 0, times);
    }
    QSignalSpy succeeded(HeartbeatService::instance(), &HeartbeatService::heartbeatSuccess);
    HeartbeatService::instance()->startAutoHeartbeat(1, 0);
    QTRY_VERIFY(succeeded.count() >= intervals.size());
    QCOMPARE(HeartbeatService::instance()->intervalMs(), seconds * secondMs);
}

void TestHeartbeatService::staleAnswersForceNothing_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<int>("answers");
    QTest::addColumn<int>("userStatus");
    QTest::newRow("answer of an earlier connection") << QStringLiteral("restarted") << 3 << 1;
    QTest::newRow("answer after the stop") << QStringLiteral("stopped") << 2 << 0;
    QTest::newRow("answer to the goodbye") << QStringLiteral("goodbye") << 2 << 1;
    QTest::newRow("single heartbeat") << QStringLiteral("single") << 1 << 0;
}

void TestHeartbeatService::staleAnswersForceNothing()
{
    QFETCH(QString, situation);
    QFETCH(int, answers);
    QFETCH(int, userStatus);
    const QByteArray demand =
        answer({{"interval", 7},
                {"user_status", QJsonObject{{"is_vip", false}, {"trial_hours_remaining", 0}}},
                {"device_status",
                 QJsonObject{{"status", "inactive"}, {"force_disconnect", true}, {"message", "下线"}}}});
    auto *service = HeartbeatService::instance();
    QSignalSpy forced(service, &HeartbeatService::forceDisconnectRequired);
    QSignalSpy status(service, &HeartbeatService::userStatusUpdated);
    QSignalSpy succeeded(service, &HeartbeatService::heartbeatSuccess);
    bool completionRan = false;

    if (situation == QLatin1String("restarted") || situation == QLatin1String("stopped")) {
        dev.scriptReply(QStringLiteral("POST"), QStringLiteral("heartbeat"), 200, demand, 300);
        service->startAutoHeartbeat(1, 0);
        QTRY_COMPARE(beats().size(), 1);
        service->stopAutoHeartbeat();
        if (situation == QLatin1String("restarted"))
            service->startAutoHeartbeat(2, 0);
    } else if (situation == QLatin1String("goodbye")) {
        service->startAutoHeartbeat(1, 0);
        QTRY_COMPARE(succeeded.count(), 1);
        dev.scriptReply(QStringLiteral("POST"), QStringLiteral("heartbeat"), 200, demand);
        service->stopAutoHeartbeat();
    } else {
        dev.scriptReply(QStringLiteral("POST"), QStringLiteral("heartbeat"), 200, demand);
        service->sendHeartbeat(0, QStringLiteral("connected"), 0, 0, 0,
                               [&](bool success, const Models::HeartbeatResponse &response) {
                                   completionRan = success && response.forceDisconnect;
                               });
    }
    QTRY_COMPARE(succeeded.count(), answers);
    QCOMPARE(forced.count(), 0);
    QCOMPARE(status.count(), userStatus);
    // The demand's interval of 7 s was not taken either.
    QVERIFY(service->intervalMs() == 30000);
    if (situation == QLatin1String("single"))
        QVERIFY(completionRan);
}

void TestHeartbeatService::disconnectingOnDemandEndsTheRun_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("device forced off")
        << 200
        << answer({{"device_status", QJsonObject{{"status", "kicked"}, {"message", "已在其他设备登录"}}}});
    QTest::newRow("token refused") << 401
                                   << ServiceTest::json({{"success", false}, {"message", "登录已失效"}});
}

void TestHeartbeatService::disconnectingOnDemandEndsTheRun()
{
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    auto *service = HeartbeatService::instance();
    // The connection does what the connection service does: it ends the heartbeat from inside the signal.
    QMetaObject::Connection c = connect(service, &HeartbeatService::forceDisconnectRequired, this,
                                        [service]() { service->stopAutoHeartbeat(); });
    QSignalSpy forced(service, &HeartbeatService::forceDisconnectRequired);
    QSignalSpy succeeded(service, &HeartbeatService::heartbeatSuccess);
    QSignalSpy failed(service, &HeartbeatService::heartbeatFailed);
    dev.scriptReply(QStringLiteral("POST"), QStringLiteral("heartbeat"), status, reply, 0, 2);
    service->startAutoHeartbeat(8, 0);
    QTRY_COMPARE(forced.count(), 1);
    QVERIFY(!service->isRunning());
    QTRY_COMPARE(beats().size(), 2);
    QVERIFY(allAnswered(succeeded, failed));
    disconnect(c);
    QCOMPARE(beats().at(0).value("connection_status").toString(), QStringLiteral("connected"));
    QCOMPARE(beats().at(1).value("connection_status").toString(), QStringLiteral("disconnected"));
    QCOMPARE(forced.count(), 1);
}

void TestHeartbeatService::unauthorizedIsOneEpisode_data()
{
    QTest::addColumn<bool>("revoke");
    QTest::newRow("token revoked") << true;
    QTest::newRow("several refusals in flight") << false;
}

void TestHeartbeatService::unauthorizedIsOneEpisode()
{
    QFETCH(bool, revoke);
    auto *service = HeartbeatService::instance();
    service->setSecondLengthMs(1); // 30 ms ticks
    QSignalSpy forced(service, &HeartbeatService::forceDisconnectRequired);
    QSignalSpy succeeded(service, &HeartbeatService::heartbeatSuccess);
    QSignalSpy failed(service, &HeartbeatService::heartbeatFailed);
    service->startAutoHeartbeat(5, 0);
    QTRY_VERIFY(succeeded.count() >= 2);
    if (revoke) {
        dev.revokeToken(Network::HttpClient::instance()->getAuthToken());
    } else {
        // Each refusal takes long enough for the next ticks to go out before it arrives.
        dev.scriptReply(QStringLiteral("POST"), QStringLiteral("heartbeat"), 401,
                        ServiceTest::json({{"success", false}, {"message", "登录已失效"}}), 100, 50);
    }
    QTRY_COMPARE(forced.count(), 1);
    QCOMPARE(forced.first().at(0).toString(), QStringLiteral("您的账号在其他设备登录，已被强制下线"));
    QVERIFY(!service->isRunning());
    QTRY_VERIFY(!goodbyes().isEmpty());
    QVERIFY(allAnswered(succeeded, failed));
    // The goodbye and every other refusal of the same episode were failures, not new episodes.
    QVERIFY(failed.count() >= 2);
    QCOMPARE(forced.count(), 1);
    if (revoke)
        QVERIFY(ServiceTest::signIn());
}

void TestHeartbeatService::unauthorizedSingleHeartbeat_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("forcedCount");
    QTest::newRow("while connected") << true << QStringLiteral("connected") << 1;
    QTest::newRow("goodbye while connected") << true << QStringLiteral("disconnected") << 0;
    QTest::newRow("while idle") << false << QStringLiteral("connected") << 0;
}

void TestHeartbeatService::unauthorizedSingleHeartbeat()
{
    QFETCH(bool, connected);
    QFETCH(QString, status);
    QFETCH(int, forcedCount);
    auto *service = HeartbeatService::instance();
    QSignalSpy forced(service, &HeartbeatService::forceDisconnectRequired);
    if (connected) {
        service->startAutoHeartbeat(2, 0);
        QTRY_COMPARE(answered->count(), 1);
    }
    dev.scriptReply(QStringLiteral("POST"), QStringLiteral("heartbeat"), 401,
                    ServiceTest::json({{"success", false}, {"message", "登录已失效"}}), 0, 5);
    ServiceTest::Outcome<Models::HeartbeatResponse> beat;
    service->sendHeartbeat(0, status, 0, 0, 0, beat.completion());
    QVERIFY(beat.wait());
    QVERIFY(!beat.ok);
    // A refused token ends a running connection whoever sent the heartbeat; with nothing running there
    // is nothing to end.
    QCOMPARE(forced.count(), forcedCount);
    QCOMPARE(service->isRunning(), connected && forcedCount == 0);
}

void TestHeartbeatService::stats()
{
    ServiceTest::Outcome<Models::HeartbeatResponse> beat;
    HeartbeatService::instance()->sendHeartbeat(1, QStringLiteral("connected"), 0, 0, 0, beat.completion());
    QVERIFY(beat.wait());
    ServiceTest::Outcome<Models::HeartbeatStats> stats;
    HeartbeatService::instance()->getStats(stats.completion());
    QVERIFY(stats.wait());
    QVERIFY(stats.ok);
    QCOMPARE(stats.value.onlineDevices, 1);
    QCOMPARE(stats.value.onlineUsers, 1);
    const QJsonObject request = dev.lastRequest(QStringLiteral("heartbeat/stats"));
    QCOMPARE(request.value("method").toString(), QStringLiteral("GET"));
    QVERIFY(ServiceTest::query(request).isEmpty());
    QCOMPARE(ServiceTest::header(request, "authorization"),
             QStringLiteral("Bearer ") + Network::HttpClient::instance()->getAuthToken());

    dev.scriptReply(QStringLiteral("GET"), QStringLiteral("heartbeat/stats"), 500, "{}");
    ServiceTest::Outcome<Models::HeartbeatStats> failedStats;
    failedStats.value.onlineDevices = -1;
    HeartbeatService::instance()->getStats(failedStats.completion());
    QVERIFY(failedStats.wait());
    QVERIFY(!failedStats.ok);
    QCOMPARE(failedStats.value.onlineDevices, 0);
}

QTEST_MAIN(TestHeartbeatService)
#include "tst_heartbeatservice.moc"
