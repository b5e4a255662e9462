#include "DevService.h"
#include "ServiceTestSupport.h"

#include "api/network/HttpClient.h"
#include "api/services/ServerService.h"

#include <QSignalSpy>
#include <QTest>

using namespace Tavorin::Api;
using Services::ServerService;

class TestServerService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void listRequests_data();
    void listRequests();
    void listReplies_data();
    void listReplies();
    void failedListKeepsCache();
    void serverById_data();
    void serverById();
    void clearCache();

private:
    DevService dev;
};

void TestServerService::initTestCase()
{
    QVERIFY(dev.start());
    Network::HttpClient::instance()->setBaseUrl(dev.baseUrl());
    QVERIFY(ServiceTest::signIn());
}

void TestServerService::init()
{
    dev.control(QStringLiteral("POST"), QStringLiteral("script/clear"));
    dev.clearRequests();
}

void TestServerService::listRequests_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<QJsonObject>("query");
    QTest::addColumn<QStringList>("tiers");
    QTest::newRow("all") << "all" << QJsonObject{} << QStringList{"free", "free", "vip", "vip"};
    QTest::newRow("free") << "free" << QJsonObject{{"tier", "free"}} << QStringList{"free", "free"};
    QTest::newRow("vip") << "vip" << QJsonObject{{"tier", "vip"}} << QStringList{"vip", "vip"};
    QTest::newRow("any word") << "ALL" << QJsonObject{{"tier", "ALL"}} << QStringList{};
}

void TestServerService::listRequests()
{
    QFETCH(QString, call);
    QFETCH(QJsonObject, query);
    QFETCH(QStringList, tiers);
    QSignalSpy updated(ServerService::instance(), &ServerService::serversUpdated);
    ServiceTest::Outcome<QList<Models::Server>> answer;
    if (call == QLatin1String("all"))
        ServerService::instance()->getAllServers(answer.completion());
    else if (call == QLatin1String("free"))
        ServerService::instance()->getFreeServers(answer.completion());
    else if (call == QLatin1String("vip"))
        ServerService::instance()->getVipServers(answer.completion());
    else
        ServerService::instance()->getServersByTier(call, answer.completion());
    QVERIFY(answer.wait());
    QVERIFY(answer.ok);
    QCOMPARE(answer.message, QStringLiteral("获取成功"));
    const QList<Models::Server> &servers = answer.value;
    QStringList got;
    for (const Models::Server &server : servers)
        got << server.tier;
    QCOMPARE(got, tiers);
    QTRY_COMPARE(updated.count(), 1);
    QCOMPARE(updated.first().at(0).value<QList<Models::Server>>().size(), servers.size());
    QCOMPARE(ServerService::instance()->getCachedServers().size(), servers.size());

    const QJsonObject request = dev.lastRequest(QStringLiteral("servers"));
    QCOMPARE(request.value("method").toString(), QStringLiteral("GET"));
    QCOMPARE(ServiceTest::query(request), query);
    QCOMPARE(ServiceTest::header(request, "authorization"),
             QStringLiteral("Bearer ") + Network::HttpClient::instance()->getAuthToken());
    if (!servers.isEmpty()) {
        // The service's links come through untouched, plain or encrypted.
        QVERIFY(!servers.first().vmessLink.isEmpty());
        QVERIFY(servers.first().id > 0);
    }
}

void TestServerService::listReplies_data()
{
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<QList<int>>("ids");
    QTest::addColumn<QList<int>>("ports");
    QTest::addColumn<QList<bool>>("tls");

    QTest::newRow("mixed elements") << QJsonObject{{"success", true},
                                                   {"data",
                                                    QJsonArray{QJsonObject{{"id", 1}}, 5, QJsonValue::Null,
                                                               QJsonObject{{"id", 2}}}}}
                                    << QList<int>{1, 2} << QList<int>{443, 443} << QList<bool>{true, true};
    QTest::newRow("typed members")
        << QJsonObject{{"success", true},
                       {"data", QJsonArray{QJsonObject{{"id", 3}, {"port", "8080"}, {"tls_enabled", 0}},
                                           QJsonObject{{"id", 4.0}, {"port", 8443}, {"tls_enabled", false}},
                                           QJsonObject{{"id", 5.5}, {"port", 80.5}}}}}
        << QList<int>{3, 4} << QList<int>{443, 8443} << QList<bool>{true, false};
    // The screens take -1 for "no server chosen", and nothing connects to an id of 0 or less.
    QTest::newRow("ids that name no server")
        << QJsonObject{{"success", true},
                       {"data", QJsonArray{QJsonObject{{"id", -1}}, QJsonObject{{"id", 0}}, QJsonObject{},
                                           QJsonObject{{"id", "6"}}, QJsonObject{{"id", 9}}}}}
        << QList<int>{9} << QList<int>{443} << QList<bool>{true};
    QTest::newRow("no data") << QJsonObject{{"success", true}} << QList<int>{} << QList<int>{}
                             << QList<bool>{};
    QTest::newRow("data not a list") << QJsonObject{{"success", true}, {"data", QJsonObject{{"id", 1}}}}
                                     << QList<int>{} << QList<int>{} << QList<bool>{};
}

void TestServerService::listReplies()
{
    QFETCH(QJsonObject, reply);
    QFETCH(QList<int>, ids);
    QFETCH(QList<int>, ports);
    QFETCH(QList<bool>, tls);
    // A real list first, so that an empty reply visibly empties the cache.
    ServiceTest::Outcome<QList<Models::Server>> first;
    ServerService::instance()->getAllServers(first.completion());
    QVERIFY(first.wait());
    QVERIFY(!ServerService::instance()->getCachedServers().isEmpty());

    dev.scriptReply(QStringLiteral("GET"), QStringLiteral("servers"), 200, ServiceTest::json(reply));
    QSignalSpy updated(ServerService::instance(), &ServerService::serversUpdated);
    ServiceTest::Outcome<QList<Models::Server>> answer;
    ServerService::instance()->getAllServers(answer.completion());
    QVERIFY(answer.wait());
    QVERIFY(answer.ok);
    QCOMPARE(answer.message, QStringLiteral("获取成功"));
    const QList<Models::Server> &servers = answer.value;
    QList<int> gotIds, gotPorts;
    QList<bool> gotTls;
    for (const Models::Server &server : servers) {
        gotIds << server.id;
        gotPorts << server.port;
        gotTls << server.tlsEnabled;
    }
    QCOMPARE(gotIds, ids);
    QCOMPARE(gotPorts, ports);
    QCOMPARE(gotTls, tls);
    QTRY_COMPARE(updated.count(), 1);
    QCOMPARE(updated.first().at(0).value<QList<Models::Server>>().size(), ids.size());
    QCOMPARE(ServerService::instance()->getCachedServers().size(), ids.size());
}

void TestServerService::failedListKeepsCache()
{
    ServiceTest::Outcome<QList<Models::Server>> first;
    ServerService::instance()->getVipServers(first.completion());
    QVERIFY(first.wait());
    QCOMPARE(ServerService::instance()->getCachedServers().size(), 2);

    dev.scriptReply(
        QStringLiteral("GET"), QStringLiteral("servers"), 200,
        ServiceTest::json({{"success", false}, {"message", "节点维护中"}, {"data", QJsonArray{}}}));
    QSignalSpy updated(ServerService::instance(), &ServerService::serversUpdated);
    ServiceTest::Outcome<QList<Models::Server>> refused;
    refused.value = {Models::Server()};
    ServerService::instance()->getAllServers(refused.completion());
    QVERIFY(refused.wait());
    QVERIFY(!refused.ok);
    QCOMPARE(refused.message, QStringLiteral("节点维护中"));
    QVERIFY(refused.value.isEmpty());
    QCOMPARE(updated.count(), 0);
    QCOMPARE(ServerService::instance()->getCachedServers().size(), 2);
}

void TestServerService::serverById_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("found");
    QTest::newRow("seeded server") << 3 << QStringLiteral("servers/3") << true;
    QTest::newRow("id 0") << 0 << QStringLiteral("servers/0") << false;
    QTest::newRow("negative id") << -7 << QStringLiteral("servers/-7") << false;
}

void TestServerService::serverById()
{
    QFETCH(int, id);
    QFETCH(QString, path);
    QFETCH(bool, found);
    QSignalSpy updated(ServerService::instance(), &ServerService::serversUpdated);
    const int cached = ServerService::instance()->getCachedServers().size();
    ServiceTest::Outcome<Models::Server> answer;
    ServerService::instance()->getServerById(id, answer.completion());
    QVERIFY(answer.wait());
    QCOMPARE(dev.requests(path).size(), 1);
    QCOMPARE(answer.ok, found);
    const Models::Server &server = answer.value;
    if (found) {
        QCOMPARE(answer.message, QStringLiteral("获取成功"));
        QCOMPARE(server.id, id);
        QCOMPARE(server.tier, QStringLiteral("vip"));
    } else {
        QCOMPARE(answer.message, QStringLiteral("服务器不存在"));
        QCOMPARE(server.id, 0);
        QCOMPARE(server.port, 443);
    }
    // One server is neither cached nor announced.
    QCOMPARE(updated.count(), 0);
    QCOMPARE(ServerService::instance()->getCachedServers().size(), cached);
}

void TestServerService::clearCache()
{
    ServiceTest::Outcome<QList<Models::Server>> first;
    ServerService::instance()->getAllServers(first.completion());
    QVERIFY(first.wait());
    QVERIFY(!ServerService::instance()->getCachedServers().isEmpty());
    ServerService::instance()->clearCache();
    QVERIFY(ServerService::instance()->getCachedServers().isEmpty());
}

QTEST_MAIN(TestServerService)
#include "tst_serverservice.moc"
