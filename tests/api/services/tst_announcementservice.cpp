#include "DevService.h"
#include "ServiceTestSupport.h"

#include "api/network/HttpClient.h"
#include "api/services/AnnouncementService.h"

#include <QSignalSpy>
#include <QTest>

using namespace Tavorin::Api;
using Services::AnnouncementService;

namespace {
QByteArray listOf(const QList<int> &ids)
{
    QJsonArray data;
    for (int id : ids)
        data.append(QJsonObject{{"id", id}, {"title", QStringLiteral("公告%1").arg(id)}});
    return ServiceTest::json({{"success", true}, {"data", data}});
}
} // namespace

class TestAnnouncementService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void query_data();
    void query();
    void newAnnouncementRule_data();
    void newAnnouncementRule();
    void newAnnouncementFromService();
    void readsRecordsAndKeepsCacheOnFailure();

private:
    QList<Models::Announcement> fetch(const QString &platform = QStringLiteral("windows"), int limit = 0,
                                      bool *ok = nullptr);

    DevService dev;
};

void TestAnnouncementService::initTestCase()
{
    QVERIFY(dev.start());
    Network::HttpClient::instance()->setBaseUrl(dev.baseUrl());
    // A held token must not travel with this public request.
    QVERIFY(ServiceTest::signIn());
}

void TestAnnouncementService::init()
{
    dev.control(QStringLiteral("POST"), QStringLiteral("script/clear"));
    dev.clearRequests();
}

QList<Models::Announcement> TestAnnouncementService::fetch(const QString &platform, int limit, bool *ok)
{
    ServiceTest::Outcome<QList<Models::Announcement>> answer;
    AnnouncementService::instance()->getAnnouncements(platform, limit, answer.completion());
    answer.wait();
    if (ok)
        *ok = answer.ok;
    return answer.value;
}

void TestAnnouncementService::query_data()
{
    QTest::addColumn<QString>("platform");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QJsonObject>("query");
    QTest::addColumn<int>("count");
    QTest::newRow("windows, no limit") << "windows" << 0 << QJsonObject{{"platform", "windows"}} << 4;
    QTest::newRow("windows, limit 2")
        << "windows" << 2 << QJsonObject{{"platform", "windows"}, {"limit", "2"}} << 2;
    QTest::newRow("another platform") << "android" << 0 << QJsonObject{{"platform", "android"}} << 3;
    QTest::newRow("empty platform is still sent") << "" << 0 << QJsonObject{{"platform", ""}} << 4;
    QTest::newRow("negative limit is left out")
        << "windows" << -3 << QJsonObject{{"platform", "windows"}} << 4;
}

void TestAnnouncementService::query()
{
    QFETCH(QString, platform);
    QFETCH(int, limit);
    QFETCH(QJsonObject, query);
    QFETCH(int, count);
    bool ok = false;
    const QList<Models::Announcement> list = fetch(platform, limit, &ok);
    QVERIFY(ok);
    QCOMPARE(list.size(), count);
    const QJsonObject request = dev.lastRequest(QStringLiteral("announcements"));
    QCOMPARE(request.value("method").toString(), QStringLiteral("GET"));
    QCOMPARE(ServiceTest::query(request), query);
    QVERIFY(ServiceTest::header(request, "authorization").isEmpty());
}

void TestAnnouncementService::newAnnouncementRule_data()
{
    QTest::addColumn<QList<int>>("cached");
    QTest::addColumn<QList<int>>("next");
    QTest::addColumn<int>("announced"); // 0: no announcement
    QTest::newRow("newer first element") << QList<int>{10, 9} << QList<int>{12, 11, 10} << 12;
    QTest::newRow("lower first element, newer further down") << QList<int>{10} << QList<int>{9, 11} << 0;
    QTest::newRow("same first element") << QList<int>{10} << QList<int>{10, 11} << 0;
    QTest::newRow("empty new list") << QList<int>{10} << QList<int>{} << 0;
    QTest::newRow("nothing cached") << QList<int>{} << QList<int>{5} << 0;
    QTest::newRow("negative ids compare signed") << QList<int>{-4} << QList<int>{-2} << -2;
}

void TestAnnouncementService::newAnnouncementRule()
{
    QFETCH(QList<int>, cached);
    QFETCH(QList<int>, next);
    QFETCH(int, announced);
    // An empty list first: the cache starts empty, and the first list of a fresh cache announces nothing.
    dev.scriptReply(QStringLiteral("GET"), QStringLiteral("announcements"), 200, listOf({}));
    dev.scriptReply(QStringLiteral("GET"), QStringLiteral("announcements"), 200, listOf(cached));
    dev.scriptReply(QStringLiteral("GET"), QStringLiteral("announcements"), 200, listOf(next));
    fetch();
    QSignalSpy received(AnnouncementService::instance(), &AnnouncementService::newAnnouncementReceived);
    QSignalSpy updated(AnnouncementService::instance(), &AnnouncementService::announcementsUpdated);
    fetch();
    QCOMPARE(received.count(), 0);
    fetch();
    QCOMPARE(updated.count(), 2);
    if (announced == 0) { // none
        QCOMPARE(received.count(), 0);
    } else {
        QCOMPARE(received.count(), 1);
        QCOMPARE(received.first().at(0).value<Models::Announcement>().id, announced);
    }
    QCOMPARE(AnnouncementService::instance()->getCachedAnnouncements().size(), next.size());
}

void TestAnnouncementService::newAnnouncementFromService()
{
    QVERIFY(!fetch().isEmpty());
    QSignalSpy received(AnnouncementService::instance(), &AnnouncementService::newAnnouncementReceived);
    dev.control(QStringLiteral("POST"), QStringLiteral("announcements"),
                {{"title", "春节假期安排"}, {"content", "假期照常服务。"}, {"platform", "windows"}});
    const QList<Models::Announcement> list = fetch();
    QCOMPARE(list.first().title, QStringLiteral("春节假期安排"));
    QCOMPARE(received.count(), 1);
    QCOMPARE(received.first().at(0).value<Models::Announcement>().title, QStringLiteral("春节假期安排"));
    QVERIFY(received.first().at(0).value<Models::Announcement>().publishedAt.isValid());
    fetch();
    QCOMPARE(received.count(), 1);
}

void TestAnnouncementService::readsRecordsAndKeepsCacheOnFailure()
{
    dev.scriptReply(
        QStringLiteral("GET"), QStringLiteral("announcements"), 200,
        ServiceTest::json({{"success", true},
                           {"data", QJsonArray{QJsonObject{{"id", 3},
                                                           {"title", "维护通知"},
                                                           {"content", 7},
                                                           {"type", "warning"},
                                                           {"published_at", QJsonValue::Null},
                                                           {"created_at", "2026-03-01T08:00:00Z"}},
                                               "text", QJsonObject{{"id", "4"}}}}}));
    const QList<Models::Announcement> list = fetch();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0).title, QStringLiteral("维护通知"));
    QVERIFY(list.at(0).content.isEmpty());
    QCOMPARE(list.at(0).type, QStringLiteral("warning"));
    QVERIFY(!list.at(0).publishedAt.isValid());
    QCOMPARE(list.at(0).createdAt, QDateTime(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC));
    QCOMPARE(list.at(1).id, 0);

    dev.scriptReply(QStringLiteral("GET"), QStringLiteral("announcements"), 500,
                    ServiceTest::json({{"message", "暂时无法获取公告"}}));
    QSignalSpy updated(AnnouncementService::instance(), &AnnouncementService::announcementsUpdated);
    bool ok = true;
    bool done = false;
    QString message;
    AnnouncementService::instance()->getAnnouncements(
        QStringLiteral("windows"), 0,
        [&](bool success, const QString &text, const QList<Models::Announcement> &l) {
            ok = success && !l.isEmpty();
            message = text;
            done = true;
        });
    QVERIFY(ServiceTest::waitFor(done));
    QVERIFY(!ok);
    QCOMPARE(message, QStringLiteral("暂时无法获取公告"));
    QCOMPARE(updated.count(), 0);
    QCOMPARE(AnnouncementService::instance()->getCachedAnnouncements().size(), 2);
}

QTEST_MAIN(TestAnnouncementService)
#include "tst_announcementservice.moc"
