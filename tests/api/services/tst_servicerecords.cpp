#include "api/models/HeartbeatResponse.h"
#include "api/models/Order.h"
#include "api/models/OrderListResponse.h"
#include "api/models/PaymentStatusResponse.h"
#include "api/models/SystemConfig.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

using namespace Tavorin::Api::Models;

// The reading rules of the service records that the service tests do not reach through a reply.
class TestServiceRecords : public QObject
{
    Q_OBJECT

private slots:
    void configGetters_data();
    void configGetters();
    void configTextMembersNeverEmpty();
    void heartbeatResponse_data();
    void heartbeatResponse();
    void orderDates_data();
    void orderDates();
    void idsMustBeText();
};

void TestServiceRecords::configGetters_data()
{
    QTest::addColumn<QJsonValue>("item");
    QTest::addColumn<bool>("asBool");
    QTest::addColumn<int>("asInt");
    QTest::addColumn<QString>("asText");

    auto item = [](const char *type, const QJsonValue &value) {
        return QJsonValue(QJsonObject{{"type", type}, {"value", value}});
    };
    QTest::newRow("boolean true") << item("boolean", true) << true << 1 << "true";
    QTest::newRow("boolean false") << item("boolean", false) << false << 0 << "false";
    QTest::newRow("boolean given as text") << item("boolean", "true") << false << 0 << "false";
    QTest::newRow("Boolean with a capital") << item("Boolean", true) << false << 0 << "fallback";
    QTest::newRow("number 5") << item("number", 5) << true << 5 << "5";
    QTest::newRow("number 0") << item("number", 0) << false << 0 << "0";
    QTest::newRow("number given as text") << item("number", "5") << false << 0 << "0";
    QTest::newRow("text 1") << item("string", "1") << true << 1 << "1";
    QTest::newRow("text FALSE") << item("string", "FALSE") << false << 0 << "FALSE";
    QTest::newRow("text 0") << item("string", "0") << false << 0 << "0";
    QTest::newRow("empty text") << item("string", "") << false << 0 << "fallback";
    QTest::newRow("other text") << item("string", "abc") << true << 0 << "abc";
    QTest::newRow("json object") << item("json", QJsonObject{{"a", 1}}) << false << 0 << "fallback";
    QTest::newRow("json that is no object") << item("json", QJsonArray{1}) << false << 0 << "fallback";
    QTest::newRow("bare value is no item") << QJsonValue(true) << true << 7 << "fallback";
    QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined) << true << 7 << "fallback";
}

void TestServiceRecords::configGetters()
{
    QFETCH(QJsonValue, item);
    QFETCH(bool, asBool);
    QFETCH(int, asInt);
    QFETCH(QString, asText);
    QJsonObject data;
    if (!item.isUndefined())
        data.insert("feature", item);
    const SystemConfig config = SystemConfig::fromJson(data);
    QCOMPARE(config.getBool("feature", true), asBool);
    QCOMPARE(config.getInt("feature", 7), asInt);
    QCOMPARE(config.getString("feature", "fallback"), asText);
}

void TestServiceRecords::configTextMembersNeverEmpty()
{
    const SystemConfig config =
        SystemConfig::fromJson({{"app_name", QJsonObject{{"type", "string"}, {"value", ""}}},
                                {"site_name", QJsonObject{{"type", "string"}, {"value", 3}}},
                                {"max_devices", QJsonObject{{"type", "number"}, {"value", 5.0}}},
                                {"free_max_devices", QJsonObject{{"type", "string"}, {"value", "4"}}}});
    QCOMPARE(config.appName, QStringLiteral("Mirevo加速器"));
    QCOMPARE(config.appVersion, QStringLiteral("1.0.0"));
    QCOMPARE(config.siteName, QStringLiteral("Tavorin VPN"));
    QCOMPARE(config.maxDevices, 5);
    QCOMPARE(config.freeMaxDevices, 4);
    QVERIFY(config.enableRegistration);
    // A constructed record is not a read one: its texts stay empty.
    QVERIFY(SystemConfig().appName.isEmpty());
    QCOMPARE(SystemConfig().maxDevices, 3);
}

void TestServiceRecords::heartbeatResponse_data()
{
    QTest::addColumn<QJsonObject>("body");
    QTest::addColumn<int>("interval");
    QTest::addColumn<bool>("hasInterval");
    QTest::addColumn<bool>("hasUserStatus");
    QTest::addColumn<QString>("serverStatus");

    QTest::newRow("empty") << QJsonObject{} << 30 << false << false << QString();
    QTest::newRow("data not an object")
        << QJsonObject{{"data", QJsonArray{}}} << 30 << false << false << QString();
    QTest::newRow("interval as text")
        << QJsonObject{{"data", QJsonObject{{"interval", "60"}}}} << 30 << false << false << QString();
    QTest::newRow("fractional interval")
        << QJsonObject{{"data", QJsonObject{{"interval", 45.5}}}} << 30 << false << false << QString();
    QTest::newRow("interval 30 said")
        << QJsonObject{{"data", QJsonObject{{"interval", 30}}}} << 30 << true << false << QString();
    QTest::newRow("interval 45") << QJsonObject{{"data", QJsonObject{{"interval", 45}}}} << 45 << true
                                 << false << QString();
    QTest::newRow("sub-objects of another type")
        << QJsonObject{{"data", QJsonObject{{"user_status", QJsonArray{}}, {"server_status", "online"}}}}
        << 30 << false << false << QString();
    QTest::newRow("empty user status is a user status")
        << QJsonObject{{"data", QJsonObject{{"user_status", QJsonObject{}},
                                            {"server_status", QJsonObject{{"status", "online"}}}}}}
        << 30 << false << true << QStringLiteral("online");
}

void TestServiceRecords::heartbeatResponse()
{
    QFETCH(QJsonObject, body);
    QFETCH(int, interval);
    QFETCH(bool, hasInterval);
    QFETCH(bool, hasUserStatus);
    QFETCH(QString, serverStatus);
    const HeartbeatResponse response = HeartbeatResponse::fromJson(body);
    QCOMPARE(response.interval, interval);
    QCOMPARE(response.hasInterval, hasInterval);
    QCOMPARE(response.hasUserStatus, hasUserStatus);
    QCOMPARE(response.serverStatus, serverStatus);
    QVERIFY(response.deviceStatus.isEmpty());
}

void TestServiceRecords::orderDates_data()
{
    QTest::addColumn<QJsonValue>("createdAt");
    QTest::addColumn<QDateTime>("expected");
    QTest::newRow("UTC") << QJsonValue("2026-01-02T03:04:05Z")
                         << QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC);
    QTest::newRow("offset") << QJsonValue("2026-01-02T11:04:05+08:00")
                            << QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC);
    QTest::newRow("null") << QJsonValue(QJsonValue::Null) << QDateTime();
    QTest::newRow("number") << QJsonValue(1767322800) << QDateTime();
    QTest::newRow("not a date") << QJsonValue("yesterday") << QDateTime();
}

void TestServiceRecords::orderDates()
{
    QFETCH(QJsonValue, createdAt);
    QFETCH(QDateTime, expected);
    const Order order = Order::fromJson({{"created_at", createdAt}});
    QCOMPARE(order.createdAt.isValid(), expected.isValid());
    if (expected.isValid())
        QCOMPARE(order.createdAt.toUTC(), expected);
}

void TestServiceRecords::idsMustBeText()
{
    // Order numbers are texts; a number in their place is no order number.
    QVERIFY(Order::fromJson({{"payment_id", 55}, {"order_number", 12}}).paymentId.isEmpty());
    const PaymentStatusResponse status = PaymentStatusResponse::fromJson(
        {{"success", true}, {"data", QJsonObject{{"order_id", 12}, {"status", "paid"}}}});
    QVERIFY(status.success);
    QVERIFY(status.data.orderId.isEmpty());
    QCOMPARE(status.data.status, QStringLiteral("paid"));
    const OrderListResponse page =
        OrderListResponse::fromJson({{"data", QJsonArray{1, QJsonObject{{"id", 2}}}},
                                     {"meta", "none"},
                                     {"links", QJsonObject{{"prev", QJsonValue::Null}}}});
    QCOMPARE(page.data.size(), 1);
    QCOMPARE(page.meta.perPage, 20);
    QVERIFY(page.links.prev.isEmpty());
}

QTEST_MAIN(TestServiceRecords)
#include "tst_servicerecords.moc"
