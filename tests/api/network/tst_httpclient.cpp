#include "api/network/HttpClient.h"
#include "api/security/CryptoUtil.h"

#include "LogCapture.h"
#include "TestHttpServer.h"

#include <QJsonDocument>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <optional>

using Tavorin::Api::Network::ApiResponse;
using Tavorin::Api::Network::HttpClient;
using Tavorin::Api::Security::CryptoUtil;

namespace {

QByteArray envelope(const QByteArray &body, const QString &secret, bool upperCase = false)
{
    const QString data = QString::fromLatin1(body.toBase64());
    QString signature = CryptoUtil::md5Hex(data + secret);
    if (upperCase)
        signature = signature.toUpper();
    return QJsonDocument(QJsonObject{{"encrypted", true}, {"data", data}, {"signature", signature}})
        .toJson(QJsonDocument::Compact);
}

} // namespace

class TestHttpClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void buildsUrls_data();
    void buildsUrls();
    void sendsHeaders_data();
    void sendsHeaders();
    void postsCompactJson();
    void judgesReplies_data();
    void judgesReplies();
    void unauthorizedOrder();
    void transportFailureWithoutStatus();
    void transferBrokenAfterStatus_data();
    void transferBrokenAfterStatus();
    void keepsSecretsOutOfTheLog_data();
    void keepsSecretsOutOfTheLog();
    void followsRedirectsOnlyWithinTheOrigin_data();
    void followsRedirectsOnlyWithinTheOrigin();
    void refusesOversizedReplies_data();
    void refusesOversizedReplies();

private:
    ApiResponse request(const QString &endpoint);

    TestHttpServer server;
    HttpClient *client = nullptr;
};

void TestHttpClient::initTestCase()
{
    QVERIFY(server.listen());
    client = HttpClient::instance();
    client->setBaseUrl(server.baseUrl());
}

void TestHttpClient::init()
{
    client->clearAuthToken();
    client->setApiEncryption(false, QString());
    client->setTimeoutMs(30000);
    client->setBaseUrl(server.baseUrl());
    server.clearRequests();
}

ApiResponse TestHttpClient::request(const QString &endpoint)
{
    std::optional<ApiResponse> result;
    client->get(endpoint, [&result](const ApiResponse &response) { result = response; });
    if (!QTest::qWaitFor([&result]() { return result.has_value(); }, 10000))
        return {};
    return *result;
}

void TestHttpClient::buildsUrls_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("endpoint");
    QTest::addColumn<QStringList>("query");
    QTest::addColumn<QString>("url");

    QTest::newRow("plain") << "https://api.example.com/api/v1/"
                           << "auth/me" << QStringList() << "https://api.example.com/api/v1/auth/me";
    QTest::newRow("one leading slash")
        << "https://api.example.com/api/v1/"
        << "/auth/me" << QStringList() << "https://api.example.com/api/v1/auth/me";
    QTest::newRow("base without trailing slash")
        << "https://api.example.com/api/v1"
        << "auth/me" << QStringList() << "https://api.example.com/api/v1/auth/me";
    QTest::newRow("query in key order") << "https://h/api/v1/"
                                        << "orders" << QStringList{"per_page", "20", "page", "2"}
                                        << "https://h/api/v1/orders?page=2&per_page=20";
    QTest::newRow("query encoded") << "https://h/api/v1/"
                                   << "announcements" << QStringList{"platform", "win dows&x"}
                                   << "https://h/api/v1/announcements?platform=win%20dows%26x";
}

void TestHttpClient::buildsUrls()
{
    QFETCH(QString, base);
    QFETCH(QString, endpoint);
    QFETCH(QStringList, query);
    QMap<QString, QString> items;
    for (int i = 0; i + 1 < query.size(); i += 2)
        items.insert(query.at(i), query.at(i + 1));
    client->setBaseUrl(base);
    QTEST(client->buildUrl(endpoint, items).toString(QUrl::FullyEncoded), "url");
}

void TestHttpClient::sendsHeaders_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QByteArray>("authorization");

    QTest::newRow("get with token") << "get"
                                    << "tok-1" << QByteArray("Bearer tok-1");
    QTest::newRow("get without a token set") << "get" << QString() << QByteArray();
    QTest::newRow("getWithoutAuth with token") << "getWithoutAuth"
                                               << "tok-2" << QByteArray();
    QTest::newRow("post with token") << "post"
                                     << "tok-3" << QByteArray("Bearer tok-3");
    QTest::newRow("postWithoutAuth with token") << "postWithoutAuth"
                                                << "tok-4" << QByteArray();
}

void TestHttpClient::sendsHeaders()
{
    QFETCH(QString, method);
    QFETCH(QString, token);
    QFETCH(QByteArray, authorization);
    if (!token.isEmpty())
        client->setAuthToken(token);

    bool done = false;
    const auto completion = [&done](const ApiResponse &) { done = true; };
    if (method == "get")
        client->get("auth/me", completion);
    else if (method == "getWithoutAuth")
        client->getWithoutAuth("configs", completion);
    else if (method == "post")
        client->post("auth/logout", QJsonObject(), completion);
    else
        client->postWithoutAuth("auth/login", QJsonObject(), completion);
    QTRY_VERIFY(done);

    const TestHttpServer::Request received = server.lastRequest();
    QCOMPARE(received.method, method.startsWith("get") ? QString("GET") : QString("POST"));
    QCOMPARE(received.headers.value("authorization"), authorization);
    QCOMPARE(received.headers.contains("authorization"), !authorization.isEmpty());
    QCOMPARE(received.headers.value("content-type"), QByteArray("application/json"));
    QCOMPARE(received.headers.value("accept"), QByteArray("application/json"));
    QCOMPARE(received.headers.value("x-device-type"), QByteArray("windows"));
    QCOMPARE(received.headers.value("x-app-version"), QByteArray("1.0.0"));
}

void TestHttpClient::postsCompactJson()
{
    bool done = false;
    client->post("heartbeat", QJsonObject{{"server_id", 3}, {"status", "connected"}},
                 [&done](const ApiResponse &) { done = true; });
    QTRY_VERIFY(done);
    QCOMPARE(server.lastRequest().path, QString("/api/v1/heartbeat"));
    QCOMPARE(server.lastRequest().body, QByteArray(R"({"server_id":3,"status":"connected"})"));
}

void TestHttpClient::judgesReplies_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("secret"); // envelope check on when not null
    QTest::addColumn<bool>("success");
    QTest::addColumn<QByteArray>("rawData");
    QTest::addColumn<QString>("messageFragment");

    const QByteArray inner = R"({"success":true,"data":{"id":5}})";
    const QString secret = QStringLiteral("k3y");

    QTest::newRow("200 empty body") << 200 << QByteArray() << QString() << true << QByteArray() << QString();
    QTest::newRow("200 success false")
        << 200 << QByteArray(R"({"success":false,"message":"no"})") << QString() << false
        << QByteArray(R"({"success":false,"message":"no"})") << "no";
    QTest::newRow("200 success as text false") << 200 << QByteArray(R"({"success":"false"})") << QString()
                                               << true << QByteArray(R"({"success":"false"})") << QString();
    QTest::newRow("200 captive portal page")
        << 200 << QByteArray("<html><body>Login</body></html>") << QString() << false
        << QByteArray("<html><body>Login</body></html>") << "响应数据格式错误";
    QTest::newRow("200 JSON array") << 200 << QByteArray("[1,2]") << QString() << false << QByteArray("[1,2]")
                                    << "响应数据格式错误";
    QTest::newRow("422 validation")
        << 422
        << QByteArray(R"({"message":"invalid","errors":{"password":["short"],"email":["taken","bad"]}})")
        << QString() << false
        << QByteArray(R"({"message":"invalid","errors":{"password":["short"],"email":["taken","bad"]}})")
        << "taken";
    QTest::newRow("500 bare") << 500 << QByteArray() << QString() << false << QByteArray() << "500";
    QTest::newRow("envelope verified")
        << 200 << envelope(inner, secret) << secret << true << inner << QString();
    QTest::newRow("envelope bad signature")
        << 200 << envelope(inner, "other") << secret << false << QByteArray() << "签名";
    QTest::newRow("envelope upper-case signature")
        << 200 << envelope(inner, secret, true) << secret << false << QByteArray() << "签名";
    QTest::newRow("envelope check on, empty secret")
        << 200 << envelope(inner, "") << "" << true << envelope(inner, "") << QString();
    QTest::newRow("envelope check off")
        << 200 << envelope(inner, secret) << QString() << true << envelope(inner, secret) << QString();
    QTest::newRow("envelope in an error reply")
        << 400 << envelope(inner, secret) << secret << false << envelope(inner, secret) << "400";
    QTest::newRow("encrypted as text")
        << 200 << QByteArray(R"({"encrypted":"true","data":"e30="})") << secret << true
        << QByteArray(R"({"encrypted":"true","data":"e30="})") << QString();
}

void TestHttpClient::judgesReplies()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, secret);
    QFETCH(bool, success);
    QFETCH(QByteArray, rawData);
    QFETCH(QString, messageFragment);

    if (!secret.isNull())
        client->setApiEncryption(true, secret);
    server.enqueue("/judge", TestHttpServer::json(status, body));
    const ApiResponse response = request("judge");

    QCOMPARE(response.statusCode, status);
    QCOMPARE(response.isSuccess(), success);
    QCOMPARE(response.rawData, rawData);
    QCOMPARE(response.networkError, 0);
    if (success) {
        QCOMPARE(response.json, QJsonDocument::fromJson(rawData).object());
    } else {
        QVERIFY2(response.getErrorMessage().contains(messageFragment),
                 qPrintable(response.getErrorMessage()));
        if (QTest::currentDataTag() == QByteArray("envelope bad signature"))
            QVERIFY(!response.json.contains("data")); // the envelope is not handed on as the body
    }
}

void TestHttpClient::unauthorizedOrder()
{
    QStringList order;
    connect(client, &HttpClient::networkError, this, [&order]() { order << "networkError"; });
    connect(client, &HttpClient::authenticationRequired, this,
            [&order]() { order << "authenticationRequired"; });
    server.enqueue("/auth/me", TestHttpServer::json(401, R"({"message":"Unauthenticated."})"));
    client->setAuthToken("expired");
    ApiResponse seen;
    client->get("auth/me", [&order, &seen](const ApiResponse &response) {
        order << "completion";
        seen = response;
    });
    QTRY_COMPARE(order.size(), 3);
    QCOMPARE(order, (QStringList{"networkError", "authenticationRequired", "completion"}));
    QCOMPARE(seen.statusCode, 401);
    QCOMPARE(seen.networkError, 0);
    QCOMPARE(seen.getErrorMessage(), QString("Unauthenticated."));
    disconnect(client, nullptr, this, nullptr);
}

void TestHttpClient::transportFailureWithoutStatus()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close(); // nothing listens there any more
    client->setBaseUrl(QStringLiteral("http://127.0.0.1:%1/api/v1/").arg(port));

    QSignalSpy errors(client, &HttpClient::networkError);
    const ApiResponse response = request("auth/me");
    QCOMPARE(response.statusCode, 0);
    QCOMPARE(response.networkError, int(QNetworkReply::ConnectionRefusedError));
    QVERIFY(!response.errorMessage.isEmpty());
    QCOMPARE(response.getErrorMessage(), response.errorMessage);
    QVERIFY(!response.isSuccess());
    QCOMPARE(errors.count(), 1);
}

void TestHttpClient::transferBrokenAfterStatus_data()
{
    QTest::addColumn<bool>("closeConnection");
    QTest::addColumn<QString>("message"); // empty: Qt's own text
    QTest::newRow("stalls until the timeout") << false << "请求超时";
    QTest::newRow("peer aborts the transfer") << true << QString();
}

void TestHttpClient::transferBrokenAfterStatus()
{
    QFETCH(bool, closeConnection);
    QTcpServer raw;
    QVERIFY(raw.listen(QHostAddress::LocalHost));
    QList<QTcpSocket *> held;
    connect(&raw, &QTcpServer::newConnection, this, [&raw, &held, closeConnection]() {
        QTcpSocket *socket = raw.nextPendingConnection();
        connect(socket, &QTcpSocket::readyRead, socket, [socket, closeConnection]() {
            socket->readAll();
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 100\r\n\r\n"
                          "{\"success\":true,\"da");
            socket->flush();
            if (closeConnection)
                socket->disconnectFromHost();
        });
        held.append(socket);
    });
    client->setBaseUrl(QStringLiteral("http://127.0.0.1:%1/api/v1/").arg(raw.serverPort()));
    client->setTimeoutMs(300);

    QFETCH(QString, message);
    QSignalSpy errors(client, &HttpClient::networkError);
    const ApiResponse response = request("servers");
    QCOMPARE(response.statusCode, 200);
    QVERIFY(response.networkError != 0);
    QVERIFY(!response.errorMessage.isEmpty());
    if (!message.isEmpty())
        QCOMPARE(response.errorMessage, message);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), response.errorMessage);
    QVERIFY(!response.isSuccess());
    QVERIFY(!response.getErrorMessage().isEmpty());
    QVERIFY(response.rawData.startsWith("{\"success\":true"));
}

void TestHttpClient::keepsSecretsOutOfTheLog_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("success path") << 200 << QByteArray(R"({"token":"tok-SECRET","data":{"id":1}})");
    QTest::newRow("error path") << 500
                                << QByteArray(R"({"token":"tok-SECRET","trace":")") + QByteArray(3000, 'z') +
                                       QByteArray("\"}");
}

void TestHttpClient::keepsSecretsOutOfTheLog()
{
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    client->setAuthToken("bearer-SECRET");
    server.enqueue("/auth/login", TestHttpServer::json(status, reply));

    LogCapture log;
    bool done = false;
    client->post("auth/login", QJsonObject{{"email", "a@b.c"}, {"password", "pw-SECRET"}},
                 [&done](const ApiResponse &) { done = true; });
    QTRY_VERIFY(done);
    QVERIFY2(!log.joined().contains("SECRET"), qPrintable(log.joined()));
    QVERIFY(log.contains("a@b.c"));
    for (const QString &line : log.lines())
        QVERIFY2(line.size() < 700, qPrintable(line.left(100)));
}

void TestHttpClient::followsRedirectsOnlyWithinTheOrigin_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("target"); // scheme and host of the Location
    QTest::addColumn<bool>("samePort");  // else another server's port
    QTest::addColumn<bool>("followed");

    for (const int status : {301, 302, 307, 308}) {
        QTest::addRow("%d within the origin", status) << status << "http://127.0.0.1" << true << true;
        QTest::addRow("%d to another port", status) << status << "http://127.0.0.1" << false << false;
    }
    QTest::newRow("307 to another scheme") << 307 << "https://127.0.0.1" << true << false;
    QTest::newRow("307 to another host name") << 307 << "http://localhost" << true << false;
}

// A sign-in carries the password in its body and later requests the token in a header: a redirect must
// never hand either to another origin, whatever the service (or whoever answers in its place) says.
void TestHttpClient::followsRedirectsOnlyWithinTheOrigin()
{
    QFETCH(int, status);
    QFETCH(QString, target);
    QFETCH(bool, samePort);
    QFETCH(bool, followed);

    TestHttpServer other;
    QVERIFY(other.listen());
    const QString path = QStringLiteral("/api/v1/moved");
    const QString location =
        QStringLiteral("%1:%2%3").arg(target).arg(samePort ? server.port() : other.port()).arg(path);
    server.enqueue("/auth/login", TestHttpServer::Reply{status, {}, {{"Location", location.toUtf8()}}, 0});
    const QByteArray moved = R"({"success":true,"token":"from-the-target"})";
    server.enqueue("/moved", TestHttpServer::json(200, moved));
    other.setDefaultReply(TestHttpServer::json(200, moved));

    client->setAuthToken("tok-REDIRECT");
    QSignalSpy errors(client, &HttpClient::networkError);
    std::optional<ApiResponse> result;
    client->post("auth/login", QJsonObject{{"email", "a@b.c"}, {"password", "pw-REDIRECT"}},
                 [&result](const ApiResponse &response) { result = response; });
    QTRY_VERIFY(result.has_value());

    QVERIFY(other.requests().isEmpty());
    if (followed) {
        QCOMPARE(result->statusCode, 200);
        QVERIFY(result->isSuccess());
        QCOMPARE(result->rawData, moved);
        const TestHttpServer::Request last = server.lastRequest();
        QCOMPARE(last.path, path);
        QCOMPARE(last.headers.value("authorization"), QByteArray("Bearer tok-REDIRECT"));
        QCOMPARE(errors.count(), 0);
        return;
    }
    QCOMPARE(server.requests().size(), 1); // the first request only, nothing followed
    QVERIFY(!result->isSuccess());
    QVERIFY(result->networkError != 0);
    QCOMPARE(result->getErrorMessage(), QStringLiteral("服务器重定向到其他地址，已拒绝"));
    QVERIFY(result->json.isEmpty());
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), result->getErrorMessage());
}

void TestHttpClient::refusesOversizedReplies_data()
{
    QTest::addColumn<QByteArray>("framing"); // "length", "chunked" or "close" (no length, ends at close)
    QTest::addColumn<qint64>("declared");    // the Content-Length sent ("length" only)
    QTest::addColumn<qint64>("sent");        // body bytes the server writes, if the client lets it
    QTest::addColumn<bool>("refused");

    const qint64 limit = HttpClient::maxReplyBytes;
    QTest::newRow("exactly the limit") << QByteArray("length") << limit << limit << false;
    QTest::newRow("declared one byte beyond, little sent")
        << QByteArray("length") << limit + 1 << qint64(100) << true;
    QTest::newRow("declared 50 MB") << QByteArray("length") << qint64(50) * 1024 * 1024 << qint64(100)
                                    << true;
    QTest::newRow("chunked past the limit") << QByteArray("chunked") << qint64(0) << 3 * limit << true;
    QTest::newRow("undeclared past the limit") << QByteArray("close") << qint64(0) << 3 * limit << true;
}

// A reply that grows without end must not take the client's memory: it is refused once it passes the
// limit (or announces that it will), and the transfer is cut off there.
void TestHttpClient::refusesOversizedReplies()
{
    QFETCH(QByteArray, framing);
    QFETCH(qint64, declared);
    QFETCH(qint64, sent);
    QFETCH(bool, refused);

    // The body is valid JSON of exactly `sent` bytes, written in pieces as fast as the client reads.
    const QByteArray head = R"({"success":true,"pad":")";
    const QByteArray tail = R"("})";
    const qint64 padding = sent - head.size() - tail.size();
    // Declared before the server: its connection reports its end while the server is destroyed.
    qint64 written = 0;
    bool closedByClient = false;
    QTcpServer raw;
    QVERIFY(raw.listen(QHostAddress::LocalHost));
    connect(&raw, &QTcpServer::newConnection, this, [&]() {
        QTcpSocket *socket = raw.nextPendingConnection();
        connect(socket, &QTcpSocket::disconnected, socket, [&]() { closedByClient = written < sent; });
        connect(socket, &QTcpSocket::readyRead, socket, [&, socket]() {
            socket->readAll();
            QByteArray header = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n";
            if (framing == "length")
                header += "Content-Length: " + QByteArray::number(declared) + "\r\n";
            else if (framing == "chunked")
                header += "Transfer-Encoding: chunked\r\n";
            else
                header += "Connection: close\r\n";
            socket->write(header + "\r\n");
            auto writeMore = [&, socket]() {
                if (written >= sent || socket->bytesToWrite() > 256 * 1024)
                    return;
                QByteArray piece;
                if (written == 0)
                    piece = head;
                const qint64 pad =
                    std::min<qint64>(64 * 1024, head.size() + padding - written - piece.size());
                piece += QByteArray(std::max<qint64>(pad, 0), 'x');
                if (written + piece.size() == head.size() + padding)
                    piece += tail;
                written += piece.size();
                socket->write(framing == "chunked"
                                  ? QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n"
                                  : piece);
                if (framing == "chunked" && written >= sent)
                    socket->write("0\r\n\r\n");
                if (framing == "close" && written >= sent)
                    socket->disconnectFromHost();
            };
            connect(socket, &QTcpSocket::bytesWritten, socket, writeMore);
            writeMore();
        });
    });
    client->setBaseUrl(QStringLiteral("http://127.0.0.1:%1/api/v1/").arg(raw.serverPort()));

    QSignalSpy errors(client, &HttpClient::networkError);
    const ApiResponse response = request("servers");
    if (!refused) {
        QVERIFY2(response.isSuccess(), qPrintable(response.getErrorMessage()));
        QCOMPARE(response.rawData.size(), sent);
        QCOMPARE(errors.count(), 0);
        return;
    }
    QCOMPARE(response.getErrorMessage(), QStringLiteral("响应数据过大"));
    QVERIFY(!response.isSuccess());
    QVERIFY(response.networkError != 0);
    QCOMPARE(response.statusCode, 0);
    QVERIFY(response.rawData.isEmpty());
    QVERIFY(response.json.isEmpty());
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("响应数据过大"));
    // The client hung up rather than take the rest.
    if (sent > HttpClient::maxReplyBytes)
        QTRY_VERIFY(closedByClient);
}

QTEST_GUILESS_MAIN(TestHttpClient)
#include "tst_httpclient.moc"
