#include "api/network/LogRedactor.h"

#include <QTest>

using Tavorin::Api::Network::LogRedactor;

class TestLogRedactor : public QObject
{
    Q_OBJECT

private slots:
    void masksSecrets_data();
    void masksSecrets();
    void excerptIsLimited();
};

void TestLogRedactor::masksSecrets_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("secrets");
    QTest::addColumn<QStringList>("kept");

    QTest::newRow("login body") << QByteArray(
                                       R"({"email":"a@b.c","password":"hunter2","device_id":"windows_1"})")
                                << QStringList{"hunter2"} << QStringList{"a@b.c", "windows_1"};
    QTest::newRow("registration") << QByteArray(
                                         R"({"password":"p1","password_confirmation":"p2","name":"小明"})")
                                  << QStringList{"p1", "p2"} << QStringList{"小明"};
    QTest::newRow("token at root") << QByteArray(R"({"success":true,"token":"eyJ.abc.def","data":{"id":1}})")
                                   << QStringList{"eyJ.abc.def"} << QStringList{"\"id\":1"};
    QTest::newRow("config items")
        << QByteArray(
               R"({"data":[{"key":"vpn_encrypt_key","value":"pass-phrase"},{"key":"api_secret_key","value":"s3cr3t"},{"key":"site_name","value":"Mirevo"}]})")
        << QStringList{"pass-phrase", "s3cr3t"} << QStringList{"Mirevo"};
    QTest::newRow("config as object")
        << QByteArray(R"({"data":{"vpn_encrypt_key":"pp","api_secret_key":"ss"}})")
        << QStringList{"\"pp\"", "\"ss\""} << QStringList{};
    QTest::newRow("links in a server list")
        << QByteArray(R"({"data":[{"id":1,"name":"香港","vmess_link":"vmess://eyJhZGQiOiIxLjIuMy40In0="}]})")
        << QStringList{"eyJhZGQiOiIxLjIuMy40In0="} << QStringList{"香港"};
    QTest::newRow("not JSON") << QByteArray(R"(<html>{"token":"abc123","password": "pw\"x"}</html>)")
                              << QStringList{"abc123", "pw"} << QStringList{"<html>"};
    QTest::newRow("cut-off JSON") << QByteArray(R"({"token":"abcdef)") << QStringList{"abcdef"}
                                  << QStringList{};
    QTest::newRow("cut-off config item") << QByteArray(R"([{"key":"vpn_encrypt_key","value":"abcdef)")
                                         << QStringList{"abcdef"} << QStringList{"vpn_encrypt_key"};
}

void TestLogRedactor::masksSecrets()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, secrets);
    QFETCH(QStringList, kept);
    const QString text = LogRedactor::redact(body);
    for (const QString &secret : secrets)
        QVERIFY2(!text.contains(secret), qPrintable(text));
    for (const QString &value : kept)
        QVERIFY2(text.contains(value), qPrintable(text));
}

void TestLogRedactor::excerptIsLimited()
{
    // The token's value straddles the cut: masking must happen before cutting, or its head leaks.
    const QByteArray body =
        "{\"padding\":\"" + QByteArray(470, 'x') + "\",\"token\":\"" + QByteArray(40, 't') + "\"}";
    const QString excerpt = LogRedactor::excerpt(body);
    QVERIFY(excerpt.size() <= LogRedactor::excerptLength);
    QVERIFY2(!excerpt.contains(QStringLiteral("tttt")), qPrintable(excerpt));

    const QByteArray longBody = "{\"content\":\"" + QByteArray(2000, 'y') + "\"}";
    QCOMPARE(LogRedactor::excerpt(longBody).size(), LogRedactor::excerptLength);
}

QTEST_GUILESS_MAIN(TestLogRedactor)
#include "tst_logredactor.moc"
