#include "DevService.h"
#include "LogCapture.h"
#include "ServiceTestSupport.h"

#include "api/network/HttpClient.h"
#include "api/security/TokenManager.h"
#include "api/services/PaymentService.h"

#include <QSignalSpy>
#include <QTest>

using namespace Tavorin::Api;
using Services::PaymentService;

namespace {
constexpr int pollLimit = 3;

QString statusPath(const QString &orderId)
{
    return QStringLiteral("payments/status/") + QString::fromLatin1(QUrl::toPercentEncoding(orderId));
}

QByteArray statusReply(const QString &orderId, const QString &status)
{
    return ServiceTest::json(
        {{"success", true},
         {"data", QJsonObject{{"order_id", orderId}, {"status", status}, {"amount", 15}}}});
}

// What one polling reported, in order.
struct Recorder
{
    QStringList events;
    QList<Models::PaymentStatusData> statuses;

    Services::PaymentStatusCallback status()
    {
        return [this](bool success, const QString &, const Models::PaymentStatusData &data) {
            events << QStringLiteral("status(%1,%2)").arg(success).arg(data.status);
            statuses << data;
        };
    }
    Services::VoidCallback completed()
    {
        return [this]() { events << "completed"; };
    }
    Services::VoidCallback failed()
    {
        return [this]() { events << "failed"; };
    }
};
} // namespace

class TestPaymentService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void plans();
    void planFlagsAreCarriedNotApplied();
    void createPayment();
    void createPaymentRefusesIncompleteOrder_data();
    void createPaymentRefusesIncompleteOrder();
    void statusPathIsOneSegment_data();
    void statusPathIsOneSegment();
    void pollingEndsOnFinalWord_data();
    void pollingEndsOnFinalWord();
    void pollingRunsToLimit_data();
    void pollingRunsToLimit();
    void failedAnswerUsesUpOnePoll();
    void emptyOrderEndsSilently();
    void staleAnswersAreDropped_data();
    void staleAnswersAreDropped();
    void answersAboutAnotherOrderAreDropped_data();
    void answersAboutAnotherOrderAreDropped();
    void stopWhileIdleIsSilent();

private:
    QString createOrder();
    void connectRecorder(Recorder &recorder);

    DevService dev;
    QList<QMetaObject::Connection> connections;
};

void TestPaymentService::initTestCase()
{
    QVERIFY(dev.start());
    Network::HttpClient::instance()->setBaseUrl(dev.baseUrl());
    QVERIFY(ServiceTest::signIn());
    PaymentService::instance()->setPollLimit(pollLimit);
}

void TestPaymentService::init()
{
    // Long enough for every answer to arrive before the next tick, even on a busy machine.
    PaymentService::instance()->setPollIntervalMs(100);
    dev.control(QStringLiteral("POST"), QStringLiteral("script/clear"));
    dev.clearRequests();
}

void TestPaymentService::cleanup()
{
    PaymentService::instance()->stopPolling();
    for (const QMetaObject::Connection &connection : std::as_const(connections))
        disconnect(connection);
    connections.clear();
}

QString TestPaymentService::createOrder()
{
    ServiceTest::Outcome<Models::CreatePaymentData> order;
    PaymentService::instance()->createPayment(1, QStringLiteral("alipay"), order.completion());
    if (!order.wait())
        return {};
    return order.value.orderId;
}

void TestPaymentService::connectRecorder(Recorder &recorder)
{
    auto *service = PaymentService::instance();
    connections << connect(service, &PaymentService::paymentStatusUpdated, this,
                           [&recorder](const Models::PaymentStatusData &data) {
                               recorder.events << QStringLiteral("paymentStatusUpdated(%1)").arg(data.status);
                           });
    connections << connect(service, &PaymentService::paymentCompleted, this,
                           [&recorder](const QString &order) {
                               recorder.events << QStringLiteral("paymentCompleted(%1)").arg(order);
                           });
    connections << connect(service, &PaymentService::paymentFailed, this,
                           [&recorder](const QString &order, const QString &message) {
                               recorder.events << QStringLiteral("paymentFailed(%1,%2)").arg(order, message);
                           });
}

void TestPaymentService::plans()
{
    QSignalSpy updated(PaymentService::instance(), &PaymentService::plansUpdated);
    ServiceTest::Outcome<QList<Models::SubscriptionPlan>> answer;
    PaymentService::instance()->getSubscriptionPlans(answer.completion());
    QVERIFY(answer.wait());
    QVERIFY(answer.ok);
    QCOMPARE(answer.message, QStringLiteral("获取成功"));
    const QList<Models::SubscriptionPlan> &plans = answer.value;
    QCOMPARE(plans.size(), 3);
    QCOMPARE(plans.at(0).name, QStringLiteral("月度会员"));
    QCOMPARE(plans.at(0).days, 30);
    QCOMPARE(plans.at(0).price, 15.0);
    QCOMPARE(plans.at(2).days, 365);
    QTRY_COMPARE(updated.count(), 1);
    QCOMPARE(PaymentService::instance()->getCachedPlans().size(), 3);
    const QJsonObject request = dev.lastRequest(QStringLiteral("plans"));
    QCOMPARE(request.value("method").toString(), QStringLiteral("GET"));
    // Plans are public: no token goes out, although one is held.
    QVERIFY(!Network::HttpClient::instance()->getAuthToken().isEmpty());
    QVERIFY(ServiceTest::header(request, "authorization").isEmpty());
}

void TestPaymentService::planFlagsAreCarriedNotApplied()
{
    dev.scriptReply(QStringLiteral("GET"), QStringLiteral("plans"), 200,
                    ServiceTest::json(
                        {{"success", true},
                         {"data", QJsonArray{QJsonObject{{"id", 9}, {"sort_order", 2}, {"is_active", false}},
                                             "not a plan", QJsonObject{{"id", 8}, {"sort_order", 1}}}}}));
    ServiceTest::Outcome<QList<Models::SubscriptionPlan>> answer;
    PaymentService::instance()->getSubscriptionPlans(answer.completion());
    QVERIFY(answer.wait());
    const QList<Models::SubscriptionPlan> &plans = answer.value;
    QCOMPARE(plans.size(), 2);
    QCOMPARE(plans.at(0).id, 9);
    QVERIFY(!plans.at(0).isActive);
    QCOMPARE(plans.at(1).id, 8);
    QVERIFY(plans.at(1).isActive);
}

void TestPaymentService::createPayment()
{
    QSignalSpy created(PaymentService::instance(), &PaymentService::paymentCreated);
    ServiceTest::Outcome<Models::CreatePaymentData> order;
    PaymentService::instance()->createPayment(2, QStringLiteral("alipay"), order.completion());
    QVERIFY(order.wait());
    QVERIFY2(order.ok, qPrintable(order.message));
    QCOMPARE(order.message, QStringLiteral("订单创建成功"));
    const Models::CreatePaymentData &data = order.value;
    QVERIFY(!data.orderId.isEmpty());
    QVERIFY(data.paymentUrl.endsWith(QStringLiteral("/pay/") + data.orderId + QStringLiteral("/qr.png")));
    QCOMPARE(data.planDays, 90);
    QCOMPARE(data.amount, 40.0);
    QTRY_COMPARE(created.count(), 1);
    QCOMPARE(created.first().at(0).value<Models::CreatePaymentData>().orderId, data.orderId);

    const QJsonObject request = dev.lastRequest(QStringLiteral("payments/create"));
    QCOMPARE(request.value("method").toString(), QStringLiteral("POST"));
    QCOMPARE(ServiceTest::header(request, "authorization"),
             QStringLiteral("Bearer ") + Network::HttpClient::instance()->getAuthToken());
    const QJsonObject body = ServiceTest::body(request);
    QCOMPARE(body, (QJsonObject{{"plan_id", 2},
                                {"payment_method", "alipay"},
                                {"payment_provider", "ciyun"},
                                {"device_id", Security::TokenManager::instance()->getDeviceId()},
                                {"equipment", "Mirevo加速器"}}));
}

void TestPaymentService::createPaymentRefusesIncompleteOrder_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<QString>("message");
    const QString invalid = QStringLiteral("响应数据无效");
    QTest::newRow("no data") << 200 << QJsonObject{{"success", true}, {"message", "订单创建成功"}} << invalid;
    QTest::newRow("no order id") << 200
                                 << QJsonObject{{"success", true},
                                                {"data",
                                                 QJsonObject{{"payment_url", "http://127.0.0.1/pay"}}}}
                                 << invalid;
    QTest::newRow("order id as a number")
        << 200
        << QJsonObject{{"success", true},
                       {"data", QJsonObject{{"order_id", 17}, {"payment_url", "http://x/pay"}}}}
        << invalid;
    QTest::newRow("empty payment url")
        << 200
        << QJsonObject{{"success", true}, {"data", QJsonObject{{"order_id", "MV1"}, {"payment_url", ""}}}}
        << invalid;
    QTest::newRow("validation error")
        << 422
        << QJsonObject{{"success", false}, {"errors", QJsonObject{{"plan_id", QJsonArray{"套餐不存在"}}}}}
        << QStringLiteral("套餐不存在");
}

void TestPaymentService::createPaymentRefusesIncompleteOrder()
{
    QFETCH(int, status);
    QFETCH(QJsonObject, reply);
    QFETCH(QString, message);
    dev.scriptReply(QStringLiteral("POST"), QStringLiteral("payments/create"), status,
                    ServiceTest::json(reply));
    QSignalSpy created(PaymentService::instance(), &PaymentService::paymentCreated);
    ServiceTest::Outcome<Models::CreatePaymentData> order;
    PaymentService::instance()->createPayment(1, QStringLiteral("alipay"), order.completion());
    QVERIFY(order.wait());
    QVERIFY(!order.ok);
    QCOMPARE(order.message, message);
    QVERIFY(order.value.orderId.isEmpty());
    QVERIFY(order.value.paymentUrl.isEmpty());
    QCOMPARE(created.count(), 0);
}

void TestPaymentService::statusPathIsOneSegment_data()
{
    QTest::addColumn<QString>("orderId");
    QTest::addColumn<QString>("path");
    QTest::newRow("plain") << QStringLiteral("MV123") << QStringLiteral("payments/status/MV123");
    QTest::newRow("slash, blank, query and fragment marks")
        << QStringLiteral("a/b c?d#e") << QStringLiteral("payments/status/a%2Fb%20c%3Fd%23e");
    QTest::newRow("percent sign") << QStringLiteral("100%") << QStringLiteral("payments/status/100%25");
    QTest::newRow("chinese") << QStringLiteral("订单")
                             << QStringLiteral("payments/status/%E8%AE%A2%E5%8D%95");
}

void TestPaymentService::statusPathIsOneSegment()
{
    QFETCH(QString, orderId);
    QFETCH(QString, path);
    ServiceTest::Outcome<Models::PaymentStatusData> status;
    PaymentService::instance()->getPaymentStatus(orderId, status.completion());
    QVERIFY(status.wait());
    const QJsonArray requests = dev.requests(path);
    QCOMPARE(requests.size(), 1);
    QVERIFY(ServiceTest::query(requests.first().toObject()).isEmpty());
    QVERIFY(!ServiceTest::header(requests.first().toObject(), "authorization").isEmpty());
    // Nobody else's order is found under that id.
    QVERIFY(!status.ok);
    QVERIFY(!status.message.isEmpty());
}

void TestPaymentService::pollingEndsOnFinalWord_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("completes");
    QTest::newRow("completed") << QStringLiteral("completed") << true;
    QTest::newRow("paid") << QStringLiteral("paid") << true;
    QTest::newRow("cancelled") << QStringLiteral("cancelled") << false;
    QTest::newRow("refunded") << QStringLiteral("refunded") << false;
    QTest::newRow("failed") << QStringLiteral("failed") << false;
}

void TestPaymentService::pollingEndsOnFinalWord()
{
    QFETCH(QString, word);
    QFETCH(bool, completes);
    const QString orderId = createOrder();
    QVERIFY(!orderId.isEmpty());
    dev.setPaymentStatus(orderId, word);
    // The first answer must be in before the first tick's, which ends the polling.
    PaymentService::instance()->setPollIntervalMs(200);

    Recorder recorder;
    connectRecorder(recorder);
    PaymentService::instance()->startPolling(orderId, recorder.status(), recorder.completed(),
                                             recorder.failed());
    QVERIFY(PaymentService::instance()->isPolling());
    QTRY_VERIFY(!PaymentService::instance()->isPolling());

    // The answer to the first query only informs; the first timer query's answer ends the polling.
    const QString status = QStringLiteral("status(1,%1)").arg(word);
    QStringList expected{status, status, QStringLiteral("paymentStatusUpdated(%1)").arg(word)};
    if (completes)
        expected << QStringLiteral("paymentCompleted(%1)").arg(orderId) << "completed";
    else
        expected << QStringLiteral("paymentFailed(%1,支付失败或已取消)").arg(orderId) << "failed";
    QCOMPARE(recorder.events, expected);
    QCOMPARE(recorder.statuses.first().orderId, orderId);
    QCOMPARE(dev.requests(statusPath(orderId)).size(), 2);
    QVERIFY(PaymentService::instance()->getPollingOrderId().isEmpty());
}

void TestPaymentService::pollingRunsToLimit_data()
{
    QTest::addColumn<QString>("word");
    QTest::newRow("pending") << QStringLiteral("pending");
    QTest::newRow("completed with a capital C") << QStringLiteral("Completed");
}

void TestPaymentService::pollingRunsToLimit()
{
    QFETCH(QString, word);
    const QString orderId = createOrder();
    QVERIFY(!orderId.isEmpty());
    if (word != QLatin1String("pending"))
        dev.scriptReply(QStringLiteral("GET"), statusPath(orderId), 200, statusReply(orderId, word), 0, 100);

    Recorder recorder;
    connectRecorder(recorder);
    PaymentService::instance()->startPolling(orderId, recorder.status(), recorder.completed(),
                                             recorder.failed());
    QTRY_VERIFY(recorder.events.contains("failed"));
    QVERIFY(!PaymentService::instance()->isPolling());
    // One query at the start and one on each of the limit's ticks; the tick after them gives up.
    QCOMPARE(dev.requests(statusPath(orderId)).size(), 1 + pollLimit);
    QCOMPARE(recorder.events.count(QStringLiteral("paymentStatusUpdated(%1)").arg(word)), pollLimit);
    QCOMPARE(recorder.events.last(), QStringLiteral("failed"));
    for (const QString &event : std::as_const(recorder.events)) {
        QVERIFY(!event.startsWith(QLatin1String("paymentFailed")));
        QVERIFY(!event.startsWith(QLatin1String("paymentCompleted")));
    }
}

void TestPaymentService::failedAnswerUsesUpOnePoll()
{
    const QString orderId = createOrder();
    QVERIFY(!orderId.isEmpty());
    dev.setPaymentStatus(orderId, QStringLiteral("completed"));
    // The first query and the first tick's are refused; the second tick's finds the order paid.
    dev.scriptReply(QStringLiteral("GET"), statusPath(orderId), 500,
                    ServiceTest::json({{"message", "服务器繁忙"}}), 0, 2);
    Recorder recorder;
    connectRecorder(recorder);
    QSignalSpy updated(PaymentService::instance(), &PaymentService::paymentStatusUpdated);
    PaymentService::instance()->startPolling(orderId, recorder.status(), recorder.completed(),
                                             recorder.failed());
    QTRY_VERIFY(recorder.events.contains("completed"));
    QCOMPARE(recorder.events,
             (QStringList{"status(0,)", "status(0,)", "paymentStatusUpdated()", "status(1,completed)",
                          "paymentStatusUpdated(completed)",
                          QStringLiteral("paymentCompleted(%1)").arg(orderId), "completed"}));
    QCOMPARE(updated.first().at(0).value<Models::PaymentStatusData>().orderId, QString());
}

void TestPaymentService::emptyOrderEndsSilently()
{
    Recorder recorder;
    connectRecorder(recorder);
    LogCapture log;
    PaymentService::instance()->startPolling(QString(), recorder.status(), recorder.completed(),
                                             recorder.failed());
    QTRY_VERIFY(!PaymentService::instance()->isPolling());
    QTRY_COMPARE(recorder.statuses.size(), 1);
    QCOMPARE(dev.requests(QStringLiteral("payments/status/")).size(), 1);
    QCOMPARE(recorder.events.size(), 1);
    QVERIFY(recorder.events.first().startsWith(QLatin1String("status(0")));
    QVERIFY(log.contains(QStringLiteral("[PaymentService] 停止轮询支付状态")));
}

void TestPaymentService::staleAnswersAreDropped_data()
{
    QTest::addColumn<bool>("restart");
    QTest::newRow("another order is polled now") << true;
    QTest::newRow("polling stopped") << false;
}

void TestPaymentService::staleAnswersAreDropped()
{
    QFETCH(bool, restart);
    const QString first = createOrder();
    const QString second = createOrder();
    QVERIFY(!first.isEmpty() && !second.isEmpty());
    // Every query about the first order hangs until after the switch, and then says it was paid: long
    // enough for the switch to come first on a busy machine as well.
    dev.scriptReply(QStringLiteral("GET"), statusPath(first), 200,
                    statusReply(first, QStringLiteral("completed")), 2000, 100);

    Recorder firstPolling;
    Recorder secondPolling;
    Recorder emitted;
    connectRecorder(emitted);
    LogCapture log;
    PaymentService::instance()->startPolling(first, firstPolling.status(), firstPolling.completed(),
                                             firstPolling.failed());
    // The first query and at least one timer query are in flight.
    QTRY_VERIFY(dev.requests(statusPath(first)).size() >= 2);
    if (restart)
        PaymentService::instance()->startPolling(second, secondPolling.status(), secondPolling.completed(),
                                                 secondPolling.failed());
    else
        PaymentService::instance()->stopPolling();

    const int asked = dev.requests(statusPath(first)).size();
    QTRY_COMPARE_WITH_TIMEOUT(
        log.lines().filter(QStringLiteral("[PaymentService] 忽略过期的支付状态: ") + first).size(), asked,
        30000);
    if (restart)
        QTRY_VERIFY_WITH_TIMEOUT(secondPolling.events.contains("failed"), 30000);
    // The first polling's functions were dropped and its late answers reached nobody.
    QVERIFY(firstPolling.events.isEmpty());
    for (const Models::PaymentStatusData &status : std::as_const(secondPolling.statuses))
        QCOMPARE(status.orderId, second);
    QVERIFY(!emitted.events.contains(QStringLiteral("paymentStatusUpdated(completed)")));
    QVERIFY(!emitted.events.contains(QStringLiteral("paymentCompleted(%1)").arg(first)));
    if (restart) {
        // The second polling counted its own queries from zero.
        QCOMPARE(dev.requests(statusPath(second)).size(), 1 + pollLimit);
        QCOMPARE(emitted.events.count(QStringLiteral("paymentStatusUpdated(pending)")), pollLimit);
    } else {
        QVERIFY(emitted.events.isEmpty());
    }
}

void TestPaymentService::answersAboutAnotherOrderAreDropped_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("polled"); // else one query
    for (const char *word : {"paid", "completed", "cancelled"}) {
        QTest::addRow("%s, polled", word) << QString::fromLatin1(word) << true;
        QTest::addRow("%s, queried", word) << QString::fromLatin1(word) << false;
    }
}

// The service answers about the order asked for; an answer whose data names another order says nothing
// about this one, however final its word.
void TestPaymentService::answersAboutAnotherOrderAreDropped()
{
    QFETCH(QString, word);
    QFETCH(bool, polled);
    const QString orderId = createOrder();
    QVERIFY(!orderId.isEmpty());
    dev.scriptReply(QStringLiteral("GET"), statusPath(orderId), 200,
                    statusReply(QStringLiteral("OTHER"), word), 0, 100);

    if (!polled) {
        ServiceTest::Outcome<Models::PaymentStatusData> outcome;
        PaymentService::instance()->getPaymentStatus(orderId, outcome.completion());
        QVERIFY(outcome.wait());
        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.message, QStringLiteral("响应数据无效"));
        QCOMPARE(outcome.value.status, QString());
        return;
    }
    Recorder recorder;
    connectRecorder(recorder);
    PaymentService::instance()->startPolling(orderId, recorder.status(), recorder.completed(),
                                             recorder.failed());
    QTRY_VERIFY(recorder.events.contains("failed"));
    // The last query may still be on its way when the limit ends the polling.
    QTRY_COMPARE(dev.requests(statusPath(orderId)).size(), 1 + pollLimit);
    for (const QString &event : std::as_const(recorder.events)) {
        QVERIFY2(!event.contains(word) && !event.contains("OTHER"), qPrintable(event));
        QVERIFY(!event.startsWith(QLatin1String("paymentFailed")) && event != QLatin1String("completed"));
    }
    QCOMPARE(recorder.events.last(), QStringLiteral("failed"));
}

void TestPaymentService::stopWhileIdleIsSilent()
{
    QVERIFY(!PaymentService::instance()->isPolling());
    LogCapture log;
    PaymentService::instance()->stopPolling();
    QVERIFY(!log.contains(QStringLiteral("[PaymentService]")));
    QVERIFY(PaymentService::instance()->getPollingOrderId().isEmpty());
}

QTEST_MAIN(TestPaymentService)
#include "tst_paymentservice.moc"
