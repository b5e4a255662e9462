#include "api/network/ApiResponse.h"

#include <QJsonDocument>
#include <QTest>

using Tavorin::Api::Network::ApiResponse;

class TestApiResponse : public QObject
{
    Q_OBJECT

private slots:
    void success_data();
    void success();
    void errorMessage_data();
    void errorMessage();
};

static ApiResponse response(int status, const QByteArray &body, int networkError = 0,
                            const QString &error = {})
{
    ApiResponse r;
    r.statusCode = status;
    r.rawData = body;
    r.json = QJsonDocument::fromJson(body).object();
    r.networkError = networkError;
    r.errorMessage = error;
    return r;
}

void TestApiResponse::success_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("networkError");
    QTest::addColumn<QString>("errorMessage");
    QTest::addColumn<bool>("success");

    QTest::newRow("200 empty body") << 200 << QByteArray() << 0 << QString() << true;
    QTest::newRow("299 upper end") << 299 << QByteArray("{}") << 0 << QString() << true;
    QTest::newRow("300 beyond") << 300 << QByteArray("{}") << 0 << QString() << false;
    QTest::newRow("199 below") << 199 << QByteArray("{}") << 0 << QString() << false;
    QTest::newRow("success false") << 200 << QByteArray(R"({"success":false})") << 0 << QString() << false;
    QTest::newRow("success string false")
        << 200 << QByteArray(R"({"success":"false"})") << 0 << QString() << true;
    QTest::newRow("success number 0") << 200 << QByteArray(R"({"success":0})") << 0 << QString() << true;
    QTest::newRow("network error") << 0 << QByteArray() << 1 << QString("Connection refused") << false;
    QTest::newRow("transfer broke after 200")
        << 200 << QByteArray("{\"da") << 5 << QString("Operation canceled") << false;
    QTest::newRow("refused body after 200")
        << 200 << QByteArray() << 0 << QString("响应数据格式错误") << false;
    QTest::newRow("default constructed") << 0 << QByteArray() << 0 << QString() << false;
}

void TestApiResponse::success()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, networkError);
    QFETCH(QString, errorMessage);
    QTEST(response(status, body, networkError, errorMessage).isSuccess(), "success");
}

void TestApiResponse::errorMessage_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("transportError");
    QTest::addColumn<QString>("expected");

    QTest::newRow("first error in key order")
        << 422
        << QByteArray(R"({"message":"invalid","errors":{"password":["too short"],"email":["taken","bad"]}})")
        << QString() << QString("taken");
    QTest::newRow("skips empty list")
        << 422 << QByteArray(R"({"errors":{"a":[],"b":["second"]}})") << QString() << QString("second");
    QTest::newRow("non-array member")
        << 422 << QByteArray(R"({"errors":{"email":"one text"}})") << QString() << QString("one text");
    QTest::newRow("non-string element is no text")
        << 422 << QByteArray(R"({"errors":{"a":[5],"b":["x"]}})") << QString() << QString("x");
    QTest::newRow("message when no errors")
        << 400 << QByteArray(R"({"message":"账号已存在"})") << QString() << QString("账号已存在");
    QTest::newRow("empty errors and message falls back to transport")
        << 0 << QByteArray(R"({"errors":{},"message":""})") << QString("Host not found")
        << QString("Host not found");
    QTest::newRow("bare status names the status")
        << 500 << QByteArray() << QString() << QString("服务器返回错误 (HTTP状态码: 500)");
    QTest::newRow("errors not an object") << 503 << QByteArray(R"({"errors":["x"]})") << QString()
                                          << QString("服务器返回错误 (HTTP状态码: 503)");
}

void TestApiResponse::errorMessage()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, transportError);
    const ApiResponse r = response(status, body, transportError.isEmpty() ? 0 : 3, transportError);
    QTEST(r.getErrorMessage(), "expected");
}

QTEST_GUILESS_MAIN(TestApiResponse)
#include "tst_apiresponse.moc"
