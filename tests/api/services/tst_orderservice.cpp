#include "DevService.h"
#include "ServiceTestSupport.h"

#include "api/network/HttpClient.h"
#include "api/services/OrderService.h"

#include <QSignalSpy>
#include <QTest>

using namespace Tavorin::Api;
using Services::OrderService;

namespace {
QJsonArray orders(int first, int count)
{
    QJsonArray data;
    for (int i = 0; i < count; ++i)
        data.append(QJsonObject{{"id", first + i}, {"order_number", QStringLiteral("MV%1").arg(first + i)}});
    return data;
}
} // namespace

class TestOrderService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void wholeHistory();
    void pagesAccumulate();
    void pageReplies_data();
    void pageReplies();
    void failureKeepsCache();
    void clearCache();

private:
    Models::OrderListResponse page(int number, int perPage, bool *ok = nullptr);

    DevService dev;
};

void TestOrderService::initTestCase()
{
    QVERIFY(dev.start());
    Network::HttpClient::instance()->setBaseUrl(dev.baseUrl());
    QVERIFY(ServiceTest::signIn());
}

void TestOrderService::init()
{
    dev.control(QStringLiteral("POST"), QStringLiteral("script/clear"));
    dev.clearRequests();
}

Models::OrderListResponse TestOrderService::page(int number, int perPage, bool *ok)
{
    ServiceTest::Outcome<Models::OrderListResponse> answer;
    OrderService::instance()->getOrders(number, perPage, answer.completion());
    answer.wait();
    if (ok)
        *ok = answer.ok;
    return answer.value;
}

void TestOrderService::wholeHistory()
{
    dev.control(QStringLiteral("POST"), QStringLiteral("orders"), {{"count", 3}, {"plan_id", 3}});
    QSignalSpy updated(OrderService::instance(), &OrderService::ordersUpdated);
    ServiceTest::Outcome<QList<Models::Order>> answer;
    OrderService::instance()->getAllOrders(answer.completion());
    QVERIFY(answer.wait());
    QVERIFY(answer.ok);
    QCOMPARE(answer.message, QStringLiteral("获取成功"));
    const QList<Models::Order> &list = answer.value;
    QCOMPARE(list.size(), 3);
    const Models::Order &order = list.first();
    QVERIFY(order.orderNumber.startsWith(QLatin1String("MV")));
    QCOMPARE(order.planName, QStringLiteral("年度会员"));
    QCOMPARE(order.planDays, 365);
    QCOMPARE(order.status, QStringLiteral("completed"));
    QCOMPARE(order.statusText, QStringLiteral("已完成"));
    QCOMPARE(order.paymentMethodText, QStringLiteral("支付宝"));
    QVERIFY(order.createdAt.isValid());
    QCOMPARE(order.createdAt.timeSpec(), Qt::UTC);
    QVERIFY(order.paidAt.isValid());
    QTRY_COMPARE(updated.count(), 1);

    const QJsonObject request = dev.lastRequest(QStringLiteral("orders"));
    QCOMPARE(request.value("method").toString(), QStringLiteral("GET"));
    QCOMPARE(ServiceTest::query(request), (QJsonObject{{"page", "1"}, {"per_page", "100"}}));
    QCOMPARE(ServiceTest::header(request, "authorization"),
             QStringLiteral("Bearer ") + Network::HttpClient::instance()->getAuthToken());
}

void TestOrderService::pagesAccumulate()
{
    dev.control(QStringLiteral("POST"), QStringLiteral("orders"), {{"count", 42}});
    const int total = page(1, 20).meta.total;
    QVERIFY(total >= 42);
    QCOMPARE(OrderService::instance()->getCachedOrders().size(), 20);

    QSignalSpy updated(OrderService::instance(), &OrderService::ordersUpdated);
    bool ok = false;
    const Models::OrderListResponse second = page(2, 20, &ok);
    QVERIFY(ok);
    QCOMPARE(second.data.size(), 20);
    QCOMPARE(second.meta.currentPage, 2);
    QCOMPARE(second.meta.perPage, 20);
    QCOMPARE(second.meta.lastPage, (total + 19) / 20);
    QVERIFY(!second.links.prev.isEmpty());
    QCOMPARE(OrderService::instance()->getCachedOrders().size(), 40);
    QCOMPARE(updated.count(), 1);
    QCOMPARE(updated.first().at(0).value<QList<Models::Order>>().size(), 40);
    QCOMPARE(OrderService::instance()->getPagination().currentPage, 2);
    // No duplicates across the two pages.
    QSet<QString> numbers;
    for (const Models::Order &order : OrderService::instance()->getCachedOrders())
        numbers.insert(order.orderNumber);
    QCOMPARE(numbers.size(), 40);

    // A first page starts the cache again.
    page(1, 20);
    QCOMPARE(OrderService::instance()->getCachedOrders().size(), 20);
    QCOMPARE(dev.lastRequest(QStringLiteral("orders")).value("query").toObject(),
             (QJsonObject{{"page", "1"}, {"per_page", "20"}}));
}

void TestOrderService::pageReplies_data()
{
    QTest::addColumn<int>("pageNumber");
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<int>("cached");
    QTest::addColumn<int>("currentPage");
    QTest::addColumn<int>("perPage");

    QTest::newRow("first page without data") << 1 << QJsonObject{{"success", true}} << 0 << 1 << 20;
    QTest::newRow("first page, data not a list")
        << 1 << QJsonObject{{"success", true}, {"data", QJsonObject{}}} << 0 << 1 << 20;
    QTest::newRow("page 2 without meta")
        << 2 << QJsonObject{{"success", true}, {"data", orders(100, 5)}} << 25 << 1 << 20;
    QTest::newRow("page 2 with meta")
        << 2
        << QJsonObject{{"success", true},
                       {"data", orders(100, 5)},
                       {"meta", QJsonObject{{"current_page", 2}, {"per_page", 5}, {"total", 25}}},
                       {"links", QJsonObject{{"prev", QJsonValue::Null}, {"next", "http://x/orders?page=3"}}}}
        << 25 << 2 << 5;
}

void TestOrderService::pageReplies()
{
    QFETCH(int, pageNumber);
    QFETCH(QJsonObject, reply);
    QFETCH(int, cached);
    QFETCH(int, currentPage);
    QFETCH(int, perPage);
    dev.scriptReply(QStringLiteral("GET"), QStringLiteral("orders"), 200,
                    ServiceTest::json({{"success", true}, {"data", orders(1, 20)}}));
    page(1, 20);
    QCOMPARE(OrderService::instance()->getCachedOrders().size(), 20);

    dev.scriptReply(QStringLiteral("GET"), QStringLiteral("orders"), 200, ServiceTest::json(reply));
    QSignalSpy updated(OrderService::instance(), &OrderService::ordersUpdated);
    bool ok = false;
    page(pageNumber, 20, &ok);
    QVERIFY(ok);
    QCOMPARE(updated.count(), 1);
    QCOMPARE(OrderService::instance()->getCachedOrders().size(), cached);
    const Models::PaginationMeta meta = OrderService::instance()->getPagination();
    QCOMPARE(meta.currentPage, currentPage);
    QCOMPARE(meta.perPage, perPage);
    QCOMPARE(meta.lastPage, 1);
}

void TestOrderService::failureKeepsCache()
{
    page(1, 20);
    const int cached = OrderService::instance()->getCachedOrders().size();
    QVERIFY(cached > 0);
    dev.scriptReply(
        QStringLiteral("GET"), QStringLiteral("orders"), 422,
        ServiceTest::json({{"success", false},
                           {"message", "参数错误"},
                           {"errors", QJsonObject{{"per_page", QJsonArray{"每页数量必须在1到100之间"}}}}}));
    QSignalSpy updated(OrderService::instance(), &OrderService::ordersUpdated);
    bool done = false;
    bool ok = true;
    QString message;
    OrderService::instance()->getOrders(
        2, 500, [&](bool success, const QString &text, const Models::OrderListResponse &r) {
            ok = success || !r.data.isEmpty();
            message = text;
            done = true;
        });
    QVERIFY(ServiceTest::waitFor(done));
    QVERIFY(!ok);
    QCOMPARE(message, QStringLiteral("每页数量必须在1到100之间"));
    QCOMPARE(updated.count(), 0);
    QCOMPARE(OrderService::instance()->getCachedOrders().size(), cached);
    QCOMPARE(OrderService::instance()->getPagination().currentPage, 1);
}

void TestOrderService::clearCache()
{
    page(2, 20);
    QVERIFY(!OrderService::instance()->getCachedOrders().isEmpty());
    OrderService::instance()->clearCache();
    QVERIFY(OrderService::instance()->getCachedOrders().isEmpty());
    const Models::PaginationMeta meta = OrderService::instance()->getPagination();
    QCOMPARE((QList<int>{meta.currentPage, meta.from, meta.lastPage, meta.perPage, meta.to, meta.total}),
             (QList<int>{1, 0, 1, 20, 0, 0}));
}

QTEST_MAIN(TestOrderService)
#include "tst_orderservice.moc"
