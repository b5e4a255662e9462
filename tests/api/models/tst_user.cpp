#include "api/models/User.h"

#include <QJsonDocument>
#include <QTest>

using Tavorin::Api::Models::User;

class TestUser : public QObject
{
    Q_OBJECT

private slots:
    void readsOnlyExpectedTypes_data();
    void readsOnlyExpectedTypes();
    void dates_data();
    void dates();
    void defaultRecordWritesNullsAndNoCreatedAt();
    void statsWrittenWhenAnyFigureIsPositive();
    void roundTripDropsOnlyFractionsOfSeconds();
    void vipValidity_data();
    void vipValidity();
};

void TestUser::readsOnlyExpectedTypes_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("email");
    QTest::addColumn<bool>("isVip");
    QTest::addColumn<int>("trialHoursTotal");
    QTest::addColumn<double>("trialHoursRemaining");
    QTest::addColumn<qint64>("totalUpload");
    QTest::addColumn<qint64>("totalDownload");
    QTest::addColumn<int>("totalTime");

    QTest::newRow("empty object") << QByteArray("{}") << 0 << QString() << false << 0 << 0.0 << qint64(0)
                                  << qint64(0) << 0;
    QTest::newRow("id as digits string") << QByteArray(R"({"id":"42","email":"a@b.c"})") << 0 << "a@b.c"
                                         << false << 0 << 0.0 << qint64(0) << qint64(0) << 0;
    QTest::newRow("id as 42.0") << QByteArray(R"({"id":42.0})") << 42 << QString() << false << 0 << 0.0
                                << qint64(0) << qint64(0) << 0;
    QTest::newRow("id fractional") << QByteArray(R"({"id":42.5})") << 0 << QString() << false << 0 << 0.0
                                   << qint64(0) << qint64(0) << 0;
    QTest::newRow("id beyond int") << QByteArray(R"({"id":4294967296})") << 0 << QString() << false << 0
                                   << 0.0 << qint64(0) << qint64(0) << 0;
    QTest::newRow("email not a string")
        << QByteArray(R"({"email":5})") << 0 << QString() << false << 0 << 0.0 << qint64(0) << qint64(0) << 0;
    QTest::newRow("is_vip as string") << QByteArray(R"({"is_vip":"true"})") << 0 << QString() << false << 0
                                      << 0.0 << qint64(0) << qint64(0) << 0;
    QTest::newRow("is_vip true") << QByteArray(R"({"is_vip":true})") << 0 << QString() << true << 0 << 0.0
                                 << qint64(0) << qint64(0) << 0;
    QTest::newRow("trial hours") << QByteArray(R"({"trial_hours_total":2,"trial_hours_remaining":1.5})") << 0
                                 << QString() << false << 2 << 1.5 << qint64(0) << qint64(0) << 0;
    QTest::newRow("remaining as string") << QByteArray(R"({"trial_hours_remaining":"1.5"})") << 0 << QString()
                                         << false << 0 << 0.0 << qint64(0) << qint64(0) << 0;
    QTest::newRow("stats numeric string")
        << QByteArray(R"({"stats":{"total_upload":"1024","total_download":2048,"total_time":7}})") << 0
        << QString() << false << 0 << 0.0 << qint64(1024) << qint64(2048) << 7;
    QTest::newRow("stats beyond 32 bits")
        << QByteArray(R"({"stats":{"total_upload":8589934592}})") << 0 << QString() << false << 0 << 0.0
        << qint64(8589934592LL) << qint64(0) << 0;
    QTest::newRow("stats as array") << QByteArray(R"({"stats":[1,2,3]})") << 0 << QString() << false << 0
                                    << 0.0 << qint64(0) << qint64(0) << 0;
    QTest::newRow("stats null") << QByteArray(R"({"stats":null})") << 0 << QString() << false << 0 << 0.0
                                << qint64(0) << qint64(0) << 0;
    QTest::newRow("stats beyond 64 bits")
        << QByteArray(R"({"stats":{"total_upload":1e30,"total_download":-1e300}})") << 0 << QString() << false
        << 0 << 0.0 << qint64(0) << qint64(0) << 0;
    QTest::newRow("stats text not numeric") << QByteArray(R"({"stats":{"total_upload":"lots"}})") << 0
                                            << QString() << false << 0 << 0.0 << qint64(0) << qint64(0) << 0;
}

void TestUser::readsOnlyExpectedTypes()
{
    QFETCH(QByteArray, json);
    const User user = User::fromJson(QJsonDocument::fromJson(json).object());
    QTEST(user.id, "id");
    QTEST(user.email, "email");
    QTEST(user.isVip, "isVip");
    QTEST(user.trialHoursTotal, "trialHoursTotal");
    QTEST(user.trialHoursRemaining, "trialHoursRemaining");
    QTEST(user.totalUpload, "totalUpload");
    QTEST(user.totalDownload, "totalDownload");
    QTEST(user.totalTime, "totalTime");
}

void TestUser::dates_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QDateTime>("expected");
    QTest::newRow("null") << QByteArray(R"({"vip_expires_at":null})") << QDateTime();
    QTest::newRow("missing") << QByteArray("{}") << QDateTime();
    QTest::newRow("empty string") << QByteArray(R"({"vip_expires_at":""})") << QDateTime();
    QTest::newRow("not a date") << QByteArray(R"({"vip_expires_at":"soon"})") << QDateTime();
    QTest::newRow("number") << QByteArray(R"({"vip_expires_at":1700000000})") << QDateTime();
    QTest::newRow("utc") << QByteArray(R"({"vip_expires_at":"2026-12-31T23:59:59Z"})")
                         << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59), Qt::UTC);
    QTest::newRow("offset") << QByteArray(R"({"vip_expires_at":"2026-12-31T08:00:00+08:00"})")
                            << QDateTime(QDate(2026, 12, 31), QTime(0, 0, 0), Qt::UTC);
}

void TestUser::dates()
{
    QFETCH(QByteArray, json);
    QFETCH(QDateTime, expected);
    const QDateTime actual = User::fromJson(QJsonDocument::fromJson(json).object()).vipExpiresAt;
    QCOMPARE(actual.isValid(), expected.isValid());
    if (expected.isValid())
        QCOMPARE(actual.toUTC(), expected);
}

void TestUser::defaultRecordWritesNullsAndNoCreatedAt()
{
    const QJsonObject json = User().toJson();
    QVERIFY(json.value("vip_expires_at").isNull());
    QVERIFY(json.value("trial_expires_at").isNull());
    QVERIFY(!json.contains("created_at"));
    QVERIFY(json.value("stats").isNull());
    QCOMPARE(json.value("id").toInt(-1), 0);
    QCOMPARE(json.value("is_vip").toBool(true), false);
}

void TestUser::statsWrittenWhenAnyFigureIsPositive()
{
    User user;
    user.totalTime = 1;
    const QJsonObject stats = user.toJson().value("stats").toObject();
    QCOMPARE(stats.value("total_time").toInt(), 1);
    QVERIFY(stats.value("total_upload").isDouble());
    QCOMPARE(stats.value("total_upload").toInteger(-1), 0);
    QCOMPARE(stats.value("total_download").toInteger(-1), 0);
}

void TestUser::roundTripDropsOnlyFractionsOfSeconds()
{
    User user;
    user.id = 7;
    user.email = QStringLiteral("用户@example.com");
    user.name = QStringLiteral("小明 🚀");
    user.status = QStringLiteral("active");
    user.isVip = true;
    user.vipExpiresAt = QDateTime(QDate(2027, 1, 2), QTime(3, 4, 5, 678), Qt::UTC);
    user.trialUsed = true;
    user.trialExpiresAt = QDateTime(QDate(2026, 12, 1), QTime(10, 0, 0), Qt::UTC);
    user.trialHoursTotal = 2;
    user.trialHoursUsed = 0.25;
    user.trialHoursRemaining = 1.75;
    user.createdAt = QDateTime(QDate(2025, 5, 6), QTime(7, 8, 9), Qt::UTC);
    user.totalUpload = 5000000000LL;
    user.totalDownload = 12;
    user.totalTime = 3600;

    const User back = User::fromJson(user.toJson());
    QCOMPARE(back.id, user.id);
    QCOMPARE(back.email, user.email);
    QCOMPARE(back.name, user.name);
    QCOMPARE(back.status, user.status);
    QCOMPARE(back.isVip, true);
    QCOMPARE(back.vipExpiresAt, QDateTime(QDate(2027, 1, 2), QTime(3, 4, 5), Qt::UTC));
    QCOMPARE(back.trialUsed, true);
    QCOMPARE(back.trialExpiresAt, user.trialExpiresAt);
    QCOMPARE(back.trialHoursTotal, 2);
    QCOMPARE(back.trialHoursUsed, 0.25);
    QCOMPARE(back.trialHoursRemaining, 1.75);
    QCOMPARE(back.createdAt, user.createdAt);
    QCOMPARE(back.totalUpload, user.totalUpload);
    QCOMPARE(back.totalDownload, user.totalDownload);
    QCOMPARE(back.totalTime, user.totalTime);
}

void TestUser::vipValidity_data()
{
    QTest::addColumn<bool>("isVip");
    QTest::addColumn<int>("offsetSeconds");
    QTest::addColumn<bool>("hasExpiry");
    QTest::addColumn<bool>("valid");
    QTest::newRow("one second past") << true << -1 << true << false;
    QTest::newRow("one minute ahead") << true << 60 << true << true;
    QTest::newRow("no expiry") << true << 0 << false << false;
    QTest::newRow("not flagged") << false << 3600 << true << false;
}

void TestUser::vipValidity()
{
    QFETCH(bool, isVip);
    QFETCH(int, offsetSeconds);
    QFETCH(bool, hasExpiry);
    User user;
    user.isVip = isVip;
    if (hasExpiry)
        user.vipExpiresAt = QDateTime::currentDateTimeUtc().addSecs(offsetSeconds);
    QTEST(user.isVipValid(), "valid");
}

QTEST_GUILESS_MAIN(TestUser)
#include "tst_user.moc"
