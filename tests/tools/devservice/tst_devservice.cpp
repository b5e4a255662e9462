#include "api/security/CryptoUtil.h"

#include "DevService.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include <qrcodegen/qrcodegen.hpp>

using Tavorin::Api::Security::CryptoUtil;

namespace {

struct Answer
{
    int status = 0;
    QByteArray body;
    QJsonObject json;
    QByteArray contentType;
};

QJsonObject parse(const QByteArray &bytes)
{
    return QJsonDocument::fromJson(bytes).object();
}

QJsonObject decodeLinkJson(const QString &link)
{
    if (!link.startsWith(QLatin1String("vmess://")))
        return {};
    return parse(QByteArray::fromBase64(link.mid(8).toLatin1()));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestDevService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void commandLine_data();
    void commandLine();
    void endsWithItsInput();

    void signIn_data();
    void signIn();
    void authorisation_data();
    void authorisation();
    void currentUserAndSignOut();
    void registration_data();
    void registration();
    void configurationItems();
    void serverLists_data();
    void serverLists();
    void serverById_data();
    void serverById();
    void addedServerLink_data();
    void addedServerLink();
    void signedEnvelope();
    void trials();
    void paymentLifecycle_data();
    void paymentLifecycle();
    void paymentValidation_data();
    void paymentValidation();
    void paymentQrPicture();
    void heartbeats();
    void heartbeatDeviceStatus_data();
    void heartbeatDeviceStatus();
    void orderPages_data();
    void orderPages();
    void announcements_data();
    void announcements();
    void requestLogAndScripts();
    void delayedReply();
    void stateFileAtStart_data();
    void stateFileAtStart();
    void stateOfAnEarlierSeed_data();
    void stateOfAnEarlierSeed();
    void stateAcrossRestarts();
    void vmessEndpoint_data();
    void vmessEndpoint();

private:
    Answer send(const QString &method, const QString &path, const QByteArray &body = {},
                const QString &token = {});
    Answer post(const QString &path, const QJsonObject &body, const QString &token = {});
    QString signIn(const QString &email, const QString &deviceId = QStringLiteral("device-a"));
    QString signInDemo(const QString &deviceId = QStringLiteral("device-a"));
    QString linkPassphrase();

    DevService service;
    QNetworkAccessManager network;
};

void TestDevService::initTestCase()
{
    network.setProxy(QNetworkProxy::NoProxy);
    QVERIFY(service.start());
    QVERIFY(service.port() > 0);
    QCOMPARE(service.baseUrl(), QStringLiteral("http://127.0.0.1:%1/api/v1/").arg(service.port()));
}

void TestDevService::init()
{
    service.reset();
    QVERIFY(service.lastControlError().isEmpty());
}

void TestDevService::commandLine_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("listens");
    QTest::addColumn<int>("exitCode");

    // A port that was free a moment ago, and one that is busy.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const QString freePort = QString::number(probe.serverPort());
    probe.close();

    QTest::newRow("any free port") << "0" << true << 0;
    QTest::newRow("given port") << freePort << true << 0;
    QTest::newRow("port in use") << QString::number(service.port()) << false << 1;
    QTest::newRow("port not a number") << "eighty" << false << 2;
    QTest::newRow("port out of range") << "70000" << false << 2;
}

void TestDevService::commandLine()
{
    QFETCH(QString, port);
    QFETCH(bool, listens);
    QFETCH(int, exitCode);

    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(QStringLiteral(MIREVO_DEV_SERVICE_PATH), {QStringLiteral("--port"), port});
    QVERIFY(process.waitForStarted(30000));
    if (!listens) {
        QVERIFY2(process.waitForFinished(30000), "the end of the service that refused the port");
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitCode);
        QVERIFY(process.readAllStandardOutput().isEmpty());
        return;
    }
    QTRY_VERIFY2_WITH_TIMEOUT(process.canReadLine(), "the service's line saying where it listens", 30000);
    const QString line = QString::fromLatin1(process.readLine());
    const QRegularExpression format(QStringLiteral("^listening on 127\\.0\\.0\\.1:([0-9]+)\\n$"));
    const QRegularExpressionMatch match = format.match(line);
    QVERIFY2(match.hasMatch(), qPrintable(line));
    const int bound = match.captured(1).toInt();
    if (port != QLatin1String("0"))
        QCOMPARE(bound, port.toInt());
    QVERIFY(bound > 0);

    // It answers there, on the loopback address.
    const Answer plans =
        send(QStringLiteral("GET"), QStringLiteral("http://127.0.0.1:%1/api/v1/plans").arg(bound));
    QCOMPARE(plans.status, 200);
    process.kill();
    process.waitForFinished(5000);
}

void TestDevService::endsWithItsInput()
{
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(QStringLiteral(MIREVO_DEV_SERVICE_PATH),
                  {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--exit-with-stdin")});
    QVERIFY(process.waitForStarted(30000));
    QTRY_VERIFY2_WITH_TIMEOUT(process.canReadLine(), "the service's line saying where it listens", 30000);
    process.closeWriteChannel();
    QVERIFY2(process.waitForFinished(30000), "the end of the service after its input closed");
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
}

Answer TestDevService::send(const QString &method, const QString &path, const QByteArray &body,
                            const QString &token)
{
    const QUrl url = path.startsWith(QLatin1String("http")) ? QUrl(path) : QUrl(service.baseUrl() + path);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setRawHeader("Accept", "application/json");
    if (!token.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    QNetworkReply *reply = network.sendCustomRequest(request, method.toLatin1(), body);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(5000);
    Answer answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.body = reply->readAll();
    answer.json = parse(answer.body);
    answer.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    delete reply;
    return answer;
}

Answer TestDevService::post(const QString &path, const QJsonObject &body, const QString &token)
{
    return send(QStringLiteral("POST"), path, QJsonDocument(body).toJson(QJsonDocument::Compact), token);
}

QString TestDevService::signInDemo(const QString &deviceId)
{
    return signIn(DevService::demoEmail(), deviceId);
}

QString TestDevService::signIn(const QString &email, const QString &deviceId)
{
    const Answer answer = post(QStringLiteral("auth/login"), {{"email", email},
                                                              {"password", DevService::demoPassword()},
                                                              {"device_id", deviceId},
                                                              {"device_name", "test"},
                                                              {"device_type", "windows"}});
    return answer.json.value("token").toString();
}

QString TestDevService::linkPassphrase()
{
    return send(QStringLiteral("GET"), QStringLiteral("configs"))
        .json.value("data")
        .toObject()
        .value("vpn_encrypt_key")
        .toObject()
        .value("value")
        .toString();
}

void TestDevService::signIn_data()
{
    QTest::addColumn<QJsonObject>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("errorField");
    QTest::addColumn<int>("vipDays"); // of the account signed in

    const QJsonObject demo{{"email", DevService::demoEmail()},
                           {"password", DevService::demoPassword()},
                           {"device_id", "device-a"}};
    QJsonObject upper = demo;
    upper["email"] = DevService::demoEmail().toUpper();
    QJsonObject wrongPassword = demo;
    wrongPassword["password"] = "wrong-password";
    QJsonObject unknown = demo;
    unknown["email"] = "nobody@mirevo.dev";
    QJsonObject noEmail = demo;
    noEmail.remove("email");
    QJsonObject numericPassword = demo;
    numericPassword["password"] = 123456;
    QJsonObject noDevice = demo;
    noDevice.remove("device_id");
    QJsonObject trial = demo;
    trial["email"] = DevService::trialEmail();

    // The demo account connects to every line as it signs in; the trial account has its trial to take.
    QTest::newRow("demo account") << demo << 200 << QString() << 30;
    QTest::newRow("e-mail in capitals") << upper << 200 << QString() << 30;
    QTest::newRow("trial account") << trial << 200 << QString() << 0;
    // Wrong credentials must not look like a dead token to the client.
    QTest::newRow("wrong password") << wrongPassword << 422 << "email" << 0;
    QTest::newRow("unknown account") << unknown << 422 << "email" << 0;
    QTest::newRow("no e-mail") << noEmail << 422 << "email" << 0;
    QTest::newRow("password not a text") << numericPassword << 422 << "password" << 0;
    QTest::newRow("no device id") << noDevice << 422 << "device_id" << 0;
}

void TestDevService::signIn()
{
    QFETCH(QJsonObject, body);
    QFETCH(int, status);
    QFETCH(QString, errorField);
    QFETCH(int, vipDays);

    const Answer answer = post(QStringLiteral("auth/login"), body);
    QCOMPARE(answer.status, status);
    if (status == 200) {
        QCOMPARE(answer.json.value("success"), QJsonValue(true));
        QVERIFY(!answer.json.value("token").toString().isEmpty());
        QVERIFY(answer.json.value("message").isString());
        const QJsonObject user = answer.json.value("data").toObject();
        QVERIFY(user.value("id").toInt() > 0);
        QCOMPARE(user.value("email").toString(), body.value("email").toString().toLower());
        QCOMPARE(user.value("status").toString(), QStringLiteral("active"));
        QCOMPARE(user.value("is_vip"), QJsonValue(vipDays > 0));
        if (vipDays > 0) {
            const QDateTime expires =
                QDateTime::fromString(user.value("vip_expires_at").toString(), Qt::ISODate);
            const qint64 days = QDateTime::currentDateTimeUtc().secsTo(expires) / 86400;
            QVERIFY2(days == vipDays - 1, qPrintable(user.value("vip_expires_at").toString()));
        } else {
            QVERIFY(user.value("vip_expires_at").isNull());
        }
        QCOMPARE(user.value("trial_used"), QJsonValue(false));
        QVERIFY(user.value("stats").isObject());
        const QDateTime created = QDateTime::fromString(user.value("created_at").toString(), Qt::ISODate);
        QVERIFY(created.isValid());
        QCOMPARE(created.timeSpec(), Qt::UTC);
    } else {
        QCOMPARE(answer.json.value("success"), QJsonValue(false));
        const QJsonArray texts = answer.json.value("errors").toObject().value(errorField).toArray();
        QVERIFY2(!texts.isEmpty() && !texts.first().toString().isEmpty(), answer.body.constData());
        QVERIFY(!answer.json.value("message").toString().isEmpty());
        QVERIFY(!answer.json.contains("token"));
    }
}

void TestDevService::authorisation_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("needsToken");

    QTest::newRow("logout") << "POST"
                            << "auth/logout" << true;
    QTest::newRow("me") << "GET"
                        << "auth/me" << true;
    QTest::newRow("configs") << "GET"
                             << "configs" << false;
    QTest::newRow("free trial") << "POST"
                                << "trial/activate-free" << true;
    QTest::newRow("vip trial") << "POST"
                               << "trial/activate-vip" << true;
    QTest::newRow("trial status") << "GET"
                                  << "trial/status" << true;
    QTest::newRow("servers") << "GET"
                             << "servers" << true;
    QTest::newRow("one server") << "GET"
                                << "servers/1" << true;
    QTest::newRow("plans") << "GET"
                           << "plans" << false;
    QTest::newRow("create payment") << "POST"
                                    << "payments/create" << true;
    QTest::newRow("payment status") << "GET"
                                    << "payments/status/MV1" << true;
    QTest::newRow("heartbeat") << "POST"
                               << "heartbeat" << true;
    QTest::newRow("heartbeat stats") << "GET"
                                     << "heartbeat/stats" << true;
    QTest::newRow("announcements") << "GET"
                                   << "announcements" << false;
    QTest::newRow("orders") << "GET"
                            << "orders" << true;
}

void TestDevService::authorisation()
{
    QFETCH(QString, method);
    QFETCH(QString, path);
    QFETCH(bool, needsToken);

    const QByteArray body = method == QLatin1String("POST") ? QByteArrayLiteral("{}") : QByteArray();
    const Answer anonymous = send(method, path, body);
    if (needsToken) {
        QCOMPARE(anonymous.status, 401);
        QCOMPARE(anonymous.json.value("success"), QJsonValue(false));
    } else {
        QCOMPARE(anonymous.status, 200);
    }

    // A token the service revoked is as good as none.
    const QString token = signInDemo();
    QVERIFY(!token.isEmpty());
    service.revokeToken(token);
    QVERIFY(service.lastControlError().isEmpty());
    QCOMPARE(send(method, path, body, token).status, needsToken ? 401 : 200);
    QCOMPARE(send(method, path, body, QStringLiteral("made-up-token")).status, needsToken ? 401 : 200);
}

void TestDevService::currentUserAndSignOut()
{
    const QString first = signInDemo(QStringLiteral("device-a"));
    const QString second = signInDemo(QStringLiteral("device-b"));
    QVERIFY(first != second);

    const Answer me = send(QStringLiteral("GET"), QStringLiteral("auth/me"), {}, first);
    QCOMPARE(me.status, 200);
    QCOMPARE(me.json.value("data").toObject().value("email").toString(), DevService::demoEmail());

    // Signing out ends that sign-in only.
    QCOMPARE(post(QStringLiteral("auth/logout"), {}, first).status, 200);
    QCOMPARE(send(QStringLiteral("GET"), QStringLiteral("auth/me"), {}, first).status, 401);
    QCOMPARE(send(QStringLiteral("GET"), QStringLiteral("auth/me"), {}, second).status, 200);

    service.revokeAllTokens();
    QCOMPARE(send(QStringLiteral("GET"), QStringLiteral("auth/me"), {}, second).status, 401);
    // A new sign-in after a revocation works again.
    QCOMPARE(send(QStringLiteral("GET"), QStringLiteral("auth/me"), {}, signInDemo()).status, 200);
}

void TestDevService::registration_data()
{
    QTest::addColumn<QJsonObject>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("errorField");

    const QJsonObject valid{
        {"email", "new@mirevo.dev"}, {"password", "secret1"},       {"password_confirmation", "secret1"},
        {"name", "新用户"},          {"device_id", "device-r"},     {"device_name", "pc"},
        {"device_type", "windows"},  {"equipment", "Mirevo加速器"}, {"reffer_code", QJsonValue::Null}};
    auto with = [&valid](const char *key, const QJsonValue &value) {
        QJsonObject changed = valid;
        changed[QLatin1String(key)] = value;
        return changed;
    };
    QTest::newRow("valid, no referral") << valid << 201 << QString();
    QTest::newRow("valid, demo's referral code") << with("reffer_code", "MIREVO2026") << 201 << QString();
    QTest::newRow("valid, empty referral code") << with("reffer_code", "") << 201 << QString();
    QTest::newRow("referral code nobody issued") << with("reffer_code", "ABC123") << 422 << "reffer_code";
    QTest::newRow("e-mail taken") << with("email", DevService::demoEmail()) << 422 << "email";
    QTest::newRow("e-mail malformed") << with("email", "not-an-address") << 422 << "email";
    QTest::newRow("password too short") << with("password", "abc") << 422 << "password";
    QTest::newRow("confirmation differs")
        << with("password_confirmation", "secret2") << 422 << "password_confirmation";
    QTest::newRow("empty name") << with("name", "") << 422 << "name";
    QTest::newRow("referral code a number") << with("reffer_code", 42) << 422 << "reffer_code";
}

void TestDevService::registration()
{
    QFETCH(QJsonObject, body);
    QFETCH(int, status);
    QFETCH(QString, errorField);

    const Answer answer = post(QStringLiteral("auth/register"), body);
    QCOMPARE(answer.status, status);
    if (status != 201) {
        QVERIFY(!answer.json.value("errors").toObject().value(errorField).toArray().isEmpty());
        return;
    }
    const QString token = answer.json.value("token").toString();
    QVERIFY(!token.isEmpty());
    const QJsonObject user = answer.json.value("data").toObject();
    QVERIFY(user.value("id").toInt() > 1);
    QCOMPARE(user.value("email").toString(), body.value("email").toString());
    QCOMPARE(user.value("name").toString(), body.value("name").toString());
    // Registration signs in, and the new account signs in with its password later.
    QCOMPARE(send(QStringLiteral("GET"), QStringLiteral("auth/me"), {}, token).status, 200);
    const Answer again = post(
        QStringLiteral("auth/login"),
        {{"email", body.value("email")}, {"password", body.value("password")}, {"device_id", "device-r"}});
    QCOMPARE(again.status, 200);
    QCOMPARE(again.json.value("data").toObject().value("id"), user.value("id"));
}

void TestDevService::configurationItems()
{
    const Answer answer = send(QStringLiteral("GET"), QStringLiteral("configs"));
    QCOMPARE(answer.status, 200);
    const QJsonObject data = answer.json.value("data").toObject();
    const struct
    {
        const char *key;
        const char *type;
        QJsonValue::Type valueType;
    } expected[] = {{"app_name", "string", QJsonValue::String},
                    {"vpn_encrypt_key", "string", QJsonValue::String},
                    {"vpn_encrypt_enabled", "boolean", QJsonValue::Bool},
                    {"api_encrypt_enabled", "boolean", QJsonValue::Bool},
                    {"api_secret_key", "string", QJsonValue::String},
                    {"max_devices", "number", QJsonValue::Double},
                    {"free_trial_enabled", "boolean", QJsonValue::Bool},
                    {"maintenance_mode", "boolean", QJsonValue::Bool}};
    for (const auto &item : expected) {
        const QJsonObject object = data.value(QLatin1String(item.key)).toObject();
        QVERIFY2(object.value("name").isString(), item.key);
        QVERIFY2(object.value("description").isString(), item.key);
        QCOMPARE(object.value("type").toString(), QLatin1String(item.type));
        QCOMPARE(object.value("value").type(), item.valueType);
    }
    QVERIFY(!data.value("vpn_encrypt_key").toObject().value("value").toString().isEmpty());
    QCOMPARE(data.value("api_encrypt_enabled").toObject().value("value"), QJsonValue(false));

    // A control-set item keeps its declared type and shows up on the next read.
    service.setConfig(QStringLiteral("maintenance_mode"), true);
    service.setConfig(QStringLiteral("max_devices"), 5);
    const QJsonObject changed =
        send(QStringLiteral("GET"), QStringLiteral("configs")).json.value("data").toObject();
    QCOMPARE(changed.value("maintenance_mode").toObject().value("value"), QJsonValue(true));
    QCOMPARE(changed.value("maintenance_mode").toObject().value("type").toString(),
             QStringLiteral("boolean"));
    QCOMPARE(changed.value("max_devices").toObject().value("value").toInt(), 5);
}

void TestDevService::serverLists_data()
{
    QTest::addColumn<QString>("tier");
    QTest::addColumn<QStringList>("tiers");

    QTest::newRow("all") << QString() << QStringList{"free", "vip"};
    QTest::newRow("free") << "free" << QStringList{"free"};
    QTest::newRow("vip") << "vip" << QStringList{"vip"};
    QTest::newRow("unknown tier") << "gold" << QStringList{};
}

void TestDevService::serverLists()
{
    QFETCH(QString, tier);
    QFETCH(QStringList, tiers);

    const QString token = signIn(DevService::trialEmail());
    const QString passphrase = linkPassphrase();
    const QString path = tier.isEmpty() ? QStringLiteral("servers") : QStringLiteral("servers?tier=") + tier;

    for (const bool vip : {false, true}) {
        if (vip) {
            QCOMPARE(
                service.updateUser({{"email", DevService::trialEmail()}, {"vip_days", 30}}).value("is_vip"),
                QJsonValue(true));
        }
        const Answer answer = send(QStringLiteral("GET"), path, {}, token);
        QCOMPARE(answer.status, 200);
        const QJsonArray servers = answer.json.value("data").toArray();
        QSet<QString> seenTiers;
        int encrypted = 0;
        for (const QJsonValue &value : servers) {
            const QJsonObject server = value.toObject();
            const QString serverTier = server.value("tier").toString();
            seenTiers.insert(serverTier);
            QVERIFY(server.value("id").toInt() > 0);
            QVERIFY(!server.value("name").toString().isEmpty());
            QCOMPARE(server.value("country_code").toString().size(), 2);
            QCOMPARE(server.value("requires_vip").toBool(), serverTier == QLatin1String("vip"));
            QCOMPARE(server.value("can_connect").toBool(), serverTier == QLatin1String("free") || vip);
            QVERIFY(server.value("port").isDouble());

            QString link = server.value("vmess_link").toString();
            if (!link.startsWith(QLatin1String("vmess://"))) {
                ++encrypted;
                link = CryptoUtil::decryptVmessLink(link, passphrase);
            }
            const QJsonObject json = decodeLinkJson(link);
            QVERIFY2(!json.isEmpty(), qPrintable(server.value("name").toString()));
            // The client reads every link value as a text, the port included.
            for (const char *key : {"add", "port", "id", "aid", "net"})
                QVERIFY2(json.value(QLatin1String(key)).isString(), key);
            QVERIFY(!json.value("add").toString().isEmpty());
            QVERIFY(json.value("port").toString().toInt() > 0);
        }
        QCOMPARE(QSet<QString>(tiers.cbegin(), tiers.cend()), seenTiers);
        if (tier.isEmpty())
            QVERIFY2(encrypted > 0 && encrypted < servers.size(), "the list mixes plain and encrypted links");
    }
}

void TestDevService::serverById_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("status");

    QTest::newRow("known") << "3" << 200;
    QTest::newRow("zero") << "0" << 404;
    QTest::newRow("unknown") << "999" << 404;
    QTest::newRow("not a number") << "abc" << 404;
}

void TestDevService::serverById()
{
    QFETCH(QString, id);
    QFETCH(int, status);

    const Answer answer = send(QStringLiteral("GET"), QStringLiteral("servers/") + id, {}, signInDemo());
    QCOMPARE(answer.status, status);
    if (status == 200) {
        QCOMPARE(answer.json.value("data").toObject().value("id").toInt(), id.toInt());
        QVERIFY(!answer.json.value("data").toObject().value("vmess_link").toString().isEmpty());
    } else {
        QCOMPARE(answer.json.value("success"), QJsonValue(false));
    }
}

void TestDevService::addedServerLink_data()
{
    QTest::addColumn<bool>("encrypted");
    QTest::addColumn<QJsonObject>("vmess");

    const QJsonObject tcp{{"address", "127.0.0.1"},
                          {"port", 23456},
                          {"id", "b831381d-6324-4d53-ad4f-8cda48b30811"},
                          {"aid", 0}};
    const QJsonObject wsTls{{"address", "localhost"},
                            {"port", "8443"},
                            {"id", "0f5c1a8e-4fb5-4bd2-9a4c-7e1d2c3b4a59"},
                            {"aid", "2"},
                            {"net", "ws"},
                            {"path", "/tunnel"},
                            {"host", "vpn.local"},
                            {"tls", "tls"},
                            {"sni", "vpn.local"}};
    QTest::newRow("plain tcp") << false << tcp;
    QTest::newRow("encrypted tcp") << true << tcp;
    QTest::newRow("encrypted ws+tls") << true << wsTls;
}

void TestDevService::addedServerLink()
{
    QFETCH(bool, encrypted);
    QFETCH(QJsonObject, vmess);

    const int id = service.addServer({{"name", "本地测试节点"},
                                      {"country_code", "CN"},
                                      {"tier", "vip"},
                                      {"requires_vip", true},
                                      {"encrypted", encrypted},
                                      {"vmess", vmess}});
    QVERIFY(id > 0);
    const Answer answer = send(QStringLiteral("GET"), QStringLiteral("servers/%1").arg(id), {}, signInDemo());
    QCOMPARE(answer.status, 200);
    const QJsonObject server = answer.json.value("data").toObject();
    QCOMPARE(server.value("tier").toString(), QStringLiteral("vip"));
    QCOMPARE(server.value("requires_vip").toBool(), true);

    QString link = server.value("vmess_link").toString();
    QCOMPARE(link.startsWith(QLatin1String("vmess://")), !encrypted);
    if (encrypted) {
        link = CryptoUtil::decryptVmessLink(link, linkPassphrase());
        QVERIFY(link.startsWith(QLatin1String("vmess://")));
        // The wrong passphrase gets nothing usable.
        QVERIFY(!CryptoUtil::decryptVmessLink(server.value("vmess_link").toString(), "another key")
                     .startsWith(QLatin1String("vmess://")));
    }
    const QJsonObject json = decodeLinkJson(link);
    auto text = [](const QJsonValue &value) {
        return value.isString() ? value.toString() : QString::number(value.toInt());
    };
    QCOMPARE(json.value("add").toString(), vmess.value("address").toString());
    QCOMPARE(json.value("port").toString(), text(vmess.value("port")));
    QCOMPARE(json.value("id").toString(), vmess.value("id").toString());
    QCOMPARE(json.value("aid").toString(), text(vmess.value("aid")));
    QCOMPARE(json.value("net").toString(), vmess.value("net").toString("tcp"));
    QCOMPARE(json.value("path").toString(), vmess.value("path").toString());
    QCOMPARE(json.value("host").toString(), vmess.value("host").toString());
    QCOMPARE(json.value("tls").toString(), vmess.value("tls").toString());
    QCOMPARE(json.value("sni").toString(), vmess.value("sni").toString());
    QCOMPARE(json.value("ps").toString(), QStringLiteral("本地测试节点"));

    // A new passphrase applies to the next answer.
    if (encrypted) {
        service.setConfig(QStringLiteral("vpn_encrypt_key"), QStringLiteral("rotated key"));
        const QString rotated =
            send(QStringLiteral("GET"), QStringLiteral("servers/%1").arg(id), {}, signInDemo())
                .json.value("data")
                .toObject()
                .value("vmess_link")
                .toString();
        QCOMPARE(CryptoUtil::decryptVmessLink(rotated, QStringLiteral("rotated key")), link);
    }
}

void TestDevService::signedEnvelope()
{
    const QString token = signInDemo();
    const QByteArray plainBody = send(QStringLiteral("GET"), QStringLiteral("plans")).body;
    const QString secret = QStringLiteral("envelope-secret");
    service.setEnvelope(true, secret);
    QVERIFY(service.lastControlError().isEmpty());

    // The configuration stays plain and tells the client the switch and the secret.
    const QJsonObject config =
        send(QStringLiteral("GET"), QStringLiteral("configs")).json.value("data").toObject();
    QCOMPARE(config.value("api_encrypt_enabled").toObject().value("value"), QJsonValue(true));
    QCOMPARE(config.value("api_secret_key").toObject().value("value").toString(), secret);

    for (const QString &path : {QStringLiteral("plans"), QStringLiteral("auth/me")}) {
        const Answer answer = send(QStringLiteral("GET"), path, {}, token);
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.json.value("encrypted"), QJsonValue(true));
        const QString data = answer.json.value("data").toString();
        const QString signature = answer.json.value("signature").toString();
        QCOMPARE(signature,
                 QString::fromLatin1(
                     QCryptographicHash::hash((data + secret).toUtf8(), QCryptographicHash::Md5).toHex()));
        const QJsonObject inner = parse(QByteArray::fromBase64(data.toLatin1()));
        QCOMPARE(inner.value("success"), QJsonValue(true));
        if (path == QLatin1String("plans"))
            QCOMPARE(QByteArray::fromBase64(data.toLatin1()), plainBody);
    }
    // Error answers are read unwrapped by clients, so they travel plain.
    const Answer denied = send(QStringLiteral("GET"), QStringLiteral("auth/me"));
    QCOMPARE(denied.status, 401);
    QVERIFY(!denied.json.contains("encrypted"));

    service.setEnvelope(false, QString());
    QVERIFY(!send(QStringLiteral("GET"), QStringLiteral("plans")).json.contains("encrypted"));
}

void TestDevService::trials()
{
    const QString token = signIn(DevService::trialEmail());
    QJsonObject status = send(QStringLiteral("GET"), QStringLiteral("trial/status"), {}, token).json;
    QJsonObject trial = status.value("data").toObject().value("trial").toObject();
    QCOMPARE(trial.value("available"), QJsonValue(true));
    QCOMPARE(trial.value("used"), QJsonValue(false));
    QCOMPARE(status.value("data").toObject().value("account_status").toString(), QStringLiteral("active"));

    const Answer free = post(QStringLiteral("trial/activate-free"), {}, token);
    QCOMPARE(free.status, 200);
    QVERIFY(!free.json.value("message").toString().isEmpty());
    const QJsonObject user = free.json.value("data").toObject();
    QCOMPARE(user.value("trial_used"), QJsonValue(true));
    QVERIFY(user.value("trial_hours_remaining").toDouble() > 0);
    QVERIFY(QDateTime::fromString(user.value("trial_expires_at").toString(), Qt::ISODate) >
            QDateTime::currentDateTimeUtc());
    QCOMPARE(post(QStringLiteral("trial/activate-free"), {}, token).status, 422);

    status = send(QStringLiteral("GET"), QStringLiteral("trial/status"), {}, token).json;
    trial = status.value("data").toObject().value("trial").toObject();
    QCOMPARE(trial.value("available"), QJsonValue(false));
    QCOMPARE(trial.value("used"), QJsonValue(true));

    const Answer vip = post(QStringLiteral("trial/activate-vip"), {}, token);
    QCOMPARE(vip.status, 200);
    QCOMPARE(vip.json.value("data").toObject().value("is_vip"), QJsonValue(true));
    const QJsonObject vipStatus = send(QStringLiteral("GET"), QStringLiteral("trial/status"), {}, token)
                                      .json.value("data")
                                      .toObject()
                                      .value("vip")
                                      .toObject();
    QCOMPARE(vipStatus.value("is_vip"), QJsonValue(true));
    QCOMPARE(vipStatus.value("days_remaining").toInt(), 1);
    QCOMPARE(post(QStringLiteral("trial/activate-vip"), {}, token).status, 422);

    service.setConfig(QStringLiteral("free_trial_enabled"), false);
    QCOMPARE(post(QStringLiteral("trial/activate-free"), {}, signIn(DevService::trialEmail())).status, 403);
}

void TestDevService::paymentLifecycle_data()
{
    QTest::addColumn<QString>("finalStatus");
    QTest::addColumn<bool>("grantsVip");

    QTest::newRow("completed") << "completed" << true;
    QTest::newRow("paid") << "paid" << true;
    QTest::newRow("cancelled") << "cancelled" << false;
    QTest::newRow("failed") << "failed" << false;
}

void TestDevService::paymentLifecycle()
{
    QFETCH(QString, finalStatus);
    QFETCH(bool, grantsVip);

    // An account without VIP time buys its first.
    const QString token = signIn(DevService::trialEmail());
    const QJsonArray plans =
        send(QStringLiteral("GET"), QStringLiteral("plans")).json.value("data").toArray();
    QVERIFY(plans.size() >= 2);
    const QJsonObject plan = plans.at(0).toObject();
    for (const char *key : {"name", "days_text", "currency", "formatted_price"})
        QVERIFY2(!plan.value(QLatin1String(key)).toString().isEmpty(), key);

    const Answer created = post(QStringLiteral("payments/create"),
                                {{"plan_id", plan.value("id")},
                                 {"payment_method", "alipay"},
                                 {"payment_provider", "ciyun"},
                                 {"device_id", "device-a"},
                                 {"equipment", "Mirevo加速器"}},
                                token);
    QCOMPARE(created.status, 200);
    QCOMPARE(created.json.value("success"), QJsonValue(true));
    const QJsonObject order = created.json.value("data").toObject();
    const QString orderId = order.value("order_id").toString();
    QVERIFY(!orderId.isEmpty());
    QCOMPARE(order.value("payment_url").toString(),
             QStringLiteral("http://127.0.0.1:%1/pay/%2/qr.png").arg(service.port()).arg(orderId));
    QCOMPARE(order.value("plan_days"), plan.value("days"));
    QCOMPARE(order.value("amount"), plan.value("price"));

    const QString statusPath = QStringLiteral("payments/status/") + orderId;
    // Nothing moves on by itself.
    for (int i = 0; i < 3; ++i) {
        const Answer pending = send(QStringLiteral("GET"), statusPath, {}, token);
        QCOMPARE(pending.status, 200);
        QCOMPARE(pending.json.value("data").toObject().value("status").toString(), QStringLiteral("pending"));
        QVERIFY(pending.json.value("data").toObject().value("paid_at").isNull());
    }

    service.setPaymentStatus(orderId, finalStatus);
    QVERIFY(service.lastControlError().isEmpty());
    const QJsonObject done = send(QStringLiteral("GET"), statusPath, {}, token).json.value("data").toObject();
    QCOMPARE(done.value("status").toString(), finalStatus);
    QCOMPARE(done.value("order_id").toString(), orderId);
    QCOMPARE(done.value("paid_at").isString(), grantsVip);

    const QJsonObject user =
        send(QStringLiteral("GET"), QStringLiteral("auth/me"), {}, token).json.value("data").toObject();
    QCOMPARE(user.value("is_vip").toBool(), grantsVip);
    if (grantsVip) {
        const QDateTime expires = QDateTime::fromString(user.value("vip_expires_at").toString(), Qt::ISODate);
        const qint64 days = QDateTime::currentDateTimeUtc().secsTo(expires) / 86400;
        QVERIFY2(days >= plan.value("days").toInt() - 1 && days <= plan.value("days").toInt(),
                 qPrintable(user.value("vip_expires_at").toString()));
    }

    const QJsonArray orders =
        send(QStringLiteral("GET"), QStringLiteral("orders?page=1&per_page=100"), {}, token)
            .json.value("data")
            .toArray();
    QCOMPARE(orders.size(), 1);
    QCOMPARE(orders.at(0).toObject().value("order_number").toString(), orderId);
    QCOMPARE(orders.at(0).toObject().value("status").toString(), finalStatus);
    QVERIFY(!orders.at(0).toObject().value("status_text").toString().isEmpty());

    // An order ends once: no second word, no double VIP time.
    const QString other = grantsVip ? QStringLiteral("cancelled") : QStringLiteral("completed");
    service.setPaymentStatus(orderId, other);
    QVERIFY(!service.lastControlError().isEmpty());
    QCOMPARE(send(QStringLiteral("GET"), statusPath, {}, token)
                 .json.value("data")
                 .toObject()
                 .value("status")
                 .toString(),
             finalStatus);
    QCOMPARE(send(QStringLiteral("GET"), QStringLiteral("auth/me"), {}, token)
                 .json.value("data")
                 .toObject()
                 .value("vip_expires_at"),
             user.value("vip_expires_at"));

    // Another account does not see the order.
    const QJsonObject stranger = post(QStringLiteral("auth/register"), {{"email", "other@mirevo.dev"},
                                                                        {"password", "secret1"},
                                                                        {"password_confirmation", "secret1"},
                                                                        {"name", "other"},
                                                                        {"device_id", "device-o"}})
                                     .json;
    QCOMPARE(send(QStringLiteral("GET"), statusPath, {}, stranger.value("token").toString()).status, 404);
}

void TestDevService::paymentValidation_data()
{
    QTest::addColumn<QJsonObject>("body");
    QTest::addColumn<QString>("errorField");

    QTest::newRow("no plan") << QJsonObject{{"payment_method", "alipay"}} << "plan_id";
    QTest::newRow("unknown plan") << QJsonObject{{"plan_id", 999}, {"payment_method", "alipay"}} << "plan_id";
    QTest::newRow("plan id beyond int")
        << QJsonObject{{"plan_id", 4294967297.0}, {"payment_method", "alipay"}} << "plan_id";
    QTest::newRow("plan id as text") << QJsonObject{{"plan_id", "1"}, {"payment_method", "alipay"}}
                                     << "plan_id";
    QTest::newRow("no method") << QJsonObject{{"plan_id", 1}} << "payment_method";
    QTest::newRow("unknown method") << QJsonObject{{"plan_id", 1}, {"payment_method", "bitcoin"}}
                                    << "payment_method";
}

void TestDevService::paymentValidation()
{
    QFETCH(QJsonObject, body);
    QFETCH(QString, errorField);

    const Answer answer = post(QStringLiteral("payments/create"), body, signInDemo());
    QCOMPARE(answer.status, 422);
    QVERIFY(!answer.json.value("errors").toObject().value(errorField).toArray().isEmpty());
    QVERIFY(service.payments().isEmpty());
}

void TestDevService::paymentQrPicture()
{
    const QString token = signInDemo();
    const QString orderId =
        post(QStringLiteral("payments/create"), {{"plan_id", 1}, {"payment_method", "alipay"}}, token)
            .json.value("data")
            .toObject()
            .value("order_id")
            .toString();
    const QString pageUrl = QStringLiteral("http://127.0.0.1:%1/pay/%2").arg(service.port()).arg(orderId);

    const Answer picture = send(QStringLiteral("GET"), pageUrl + QStringLiteral("/qr.png"));
    QCOMPARE(picture.status, 200);
    QCOMPARE(picture.contentType, QByteArrayLiteral("image/png"));
    QImage image;
    QVERIFY(image.loadFromData(picture.body, "PNG"));
    QCOMPARE(image.width(), image.height());

    // Read the picture back module by module and compare with the code of the payment page's address.
    const qrcodegen::QrCode expected =
        qrcodegen::QrCode::encodeText(pageUrl.toUtf8().constData(), qrcodegen::QrCode::Ecc::MEDIUM);
    const int modules = expected.getSize();
    QCOMPARE(image.width() % (modules + 8), 0);
    const int scale = image.width() / (modules + 8);
    QVERIFY(scale >= 4);
    int mismatches = 0;
    for (int y = -4; y < modules + 4; ++y) {
        for (int x = -4; x < modules + 4; ++x) {
            const QColor centre = image.pixelColor((x + 4) * scale + scale / 2, (y + 4) * scale + scale / 2);
            const bool dark = centre.lightness() < 128;
            if (dark != expected.getModule(x, y))
                ++mismatches;
        }
    }
    QCOMPARE(mismatches, 0);

    const Answer page = send(QStringLiteral("GET"), pageUrl);
    QCOMPARE(page.status, 200);
    QVERIFY(page.contentType.startsWith("text/html"));
    QVERIFY(page.body.contains(orderId.toUtf8()));
    QVERIFY(page.body.contains("qr.png"));

    // The page's own button completes the payment for a person testing by hand.
    QNetworkRequest form(QUrl(pageUrl + QStringLiteral("/confirm")));
    form.setHeader(QNetworkRequest::ContentTypeHeader,
                   QByteArrayLiteral("application/x-www-form-urlencoded"));
    QNetworkReply *reply = network.post(form, QByteArrayLiteral("status=completed"));
    QSignalSpy finished(reply, &QNetworkReply::finished);
    QVERIFY(finished.wait(5000));
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
    delete reply;
    QCOMPARE(send(QStringLiteral("GET"), QStringLiteral("payments/status/") + orderId, {}, token)
                 .json.value("data")
                 .toObject()
                 .value("status")
                 .toString(),
             QStringLiteral("completed"));

    QCOMPARE(
        send(QStringLiteral("GET"), QStringLiteral("http://127.0.0.1:%1/pay/MV0/qr.png").arg(service.port()))
            .status,
        404);
}

void TestDevService::heartbeats()
{
    const QString token = signInDemo();
    auto beat = [&](const QString &status, qint64 up, qint64 down) {
        return post(QStringLiteral("heartbeat"),
                    {{"device_id", "device-a"},
                     {"connection_status", status},
                     {"upload_bytes", up},
                     {"download_bytes", down},
                     {"latency_ms", 35}},
                    token);
    };

    Answer answer = beat(QStringLiteral("connected"), 1000, 5000);
    QCOMPARE(answer.status, 200);
    QJsonObject data = answer.json.value("data").toObject();
    QCOMPARE(data.value("interval").toInt(), 30);
    QCOMPARE(data.value("device_status").toObject().value("status").toString(), QStringLiteral("active"));
    QCOMPARE(data.value("device_status").toObject().value("force_disconnect"), QJsonValue(false));
    QVERIFY(data.value("server_status").toObject().value("status").isString());
    QVERIFY(data.value("user_status").toObject().value("is_vip").isBool());
    QCOMPARE(send(QStringLiteral("GET"), QStringLiteral("heartbeat/stats"), {}, token)
                 .json.value("data")
                 .toObject()
                 .value("online_devices")
                 .toInt(),
             1);

    service.setHeartbeatInterval(60);
    QCOMPARE(
        beat(QStringLiteral("connected"), 3000, 9000).json.value("data").toObject().value("interval").toInt(),
        60);
    QCOMPARE(beat(QStringLiteral("disconnected"), 3000, 9000).status, 200);
    const QJsonObject stats = send(QStringLiteral("GET"), QStringLiteral("heartbeat/stats"), {}, token)
                                  .json.value("data")
                                  .toObject();
    QCOMPARE(stats.value("online_devices").toInt(), 0);
    QCOMPARE(stats.value("online_users").toInt(), 0);

    // The growth of the per-connection counters lands in the account's statistics.
    const QJsonObject totals = send(QStringLiteral("GET"), QStringLiteral("auth/me"), {}, token)
                                   .json.value("data")
                                   .toObject()
                                   .value("stats")
                                   .toObject();
    QCOMPARE(totals.value("total_upload").toInteger(), 2000);
    QCOMPARE(totals.value("total_download").toInteger(), 4000);

    // After a revocation the next heartbeat draws a 401, and is still recorded as received.
    service.revokeToken(token);
    QCOMPARE(beat(QStringLiteral("connected"), 0, 0).status, 401);
    QCOMPARE(beat(QStringLiteral("disconnected"), 0, 0).status, 401);
    const QJsonArray recorded = service.heartbeats();
    QCOMPARE(recorded.size(), 5);
    QCOMPARE(recorded.at(0).toObject().value("upload_bytes").toInteger(), 1000);
    QCOMPARE(recorded.at(2).toObject().value("connection_status").toString(), QStringLiteral("disconnected"));
    QCOMPARE(recorded.at(4).toObject().value("device_id").toString(), QStringLiteral("device-a"));

    const Answer invalid = post(QStringLiteral("heartbeat"),
                                {{"device_id", "device-a"},
                                 {"connection_status", "online"},
                                 {"upload_bytes", "12"},
                                 {"download_bytes", 0},
                                 {"latency_ms", 0}},
                                signInDemo());
    QCOMPARE(invalid.status, 422);
    const QJsonObject errors = invalid.json.value("errors").toObject();
    QVERIFY(errors.contains("connection_status"));
    QVERIFY(errors.contains("upload_bytes"));
}

void TestDevService::heartbeatDeviceStatus_data()
{
    QTest::addColumn<QJsonObject>("setting");
    QTest::addColumn<QString>("beatStatus");
    QTest::addColumn<QString>("deviceStatus");
    QTest::addColumn<bool>("force");
    QTest::addColumn<QString>("message");

    const QString elsewhere = QStringLiteral("您的账号已在其他设备登录");
    const QJsonObject kick{{"device_status", "kicked"}, {"force_disconnect", true}, {"message", elsewhere}};
    QJsonObject otherDevice = kick;
    otherDevice["device_id"] = "device-z";
    const QJsonObject banned{{"account_status", "banned"}};
    // clang-format off
    QTest::newRow("no setting")                   << QJsonObject() << "connected"    << "active" << false << "";
    QTest::newRow("kick, connected")              << kick          << "connected"    << "kicked" << true  << elsewhere;
    QTest::newRow("kick, disconnected")           << kick          << "disconnected" << "active" << false << "";
    QTest::newRow("kick for another device")      << otherDevice   << "connected"    << "active" << false << "";
    QTest::newRow("banned account, connected")    << banned        << "connected"    << "banned" << true  << "账号已被停用";
    QTest::newRow("banned account, disconnected") << banned        << "disconnected" << "active" << false << "";
    // clang-format on
}

void TestDevService::heartbeatDeviceStatus()
{
    QFETCH(QJsonObject, setting);
    QFETCH(QString, beatStatus);
    QFETCH(QString, deviceStatus);
    QFETCH(bool, force);
    QFETCH(QString, message);

    const QString token = signInDemo();
    if (setting.contains("account_status")) {
        QCOMPARE(service.updateUser({{"status", setting.value("account_status")}}).value("status"),
                 setting.value("account_status"));
        // Everything else is closed to a stopped account.
        QCOMPARE(send(QStringLiteral("GET"), QStringLiteral("servers"), {}, token).status, 403);
    } else if (!setting.isEmpty()) {
        service.setDeviceStatus(setting.value("device_status").toString(),
                                setting.value("force_disconnect").toBool(),
                                setting.value("message").toString(), setting.value("device_id").toString());
        QVERIFY(service.lastControlError().isEmpty());
    }
    const Answer answer = post(QStringLiteral("heartbeat"),
                               {{"device_id", "device-a"},
                                {"connection_status", beatStatus},
                                {"upload_bytes", 0},
                                {"download_bytes", 0},
                                {"latency_ms", 0}},
                               token);
    QCOMPARE(answer.status, 200);
    const QJsonObject device = answer.json.value("data").toObject().value("device_status").toObject();
    QCOMPARE(device.value("status").toString(), deviceStatus);
    QCOMPARE(device.value("force_disconnect").toBool(), force);
    QCOMPARE(device.value("message").toString(), message);
}

void TestDevService::orderPages_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("count");
    QTest::addColumn<QJsonObject>("meta");
    QTest::addColumn<bool>("hasPrev");
    QTest::addColumn<bool>("hasNext");

    auto meta = [](int page, const QJsonValue &from, int last, int per, const QJsonValue &to) {
        return QJsonObject{{"current_page", page}, {"from", from}, {"last_page", last},
                           {"per_page", per},      {"to", to},     {"total", 25}};
    };
    QTest::newRow("defaults") << "" << 200 << 20 << meta(1, 1, 2, 20, 20) << false << true;
    QTest::newRow("first of three") << "page=1&per_page=10" << 200 << 10 << meta(1, 1, 3, 10, 10) << false
                                    << true;
    QTest::newRow("middle") << "page=2&per_page=10" << 200 << 10 << meta(2, 11, 3, 10, 20) << true << true;
    QTest::newRow("last, short") << "page=3&per_page=10" << 200 << 5 << meta(3, 21, 3, 10, 25) << true
                                 << false;
    QTest::newRow("past the end") << "page=4&per_page=10" << 200 << 0
                                  << meta(4, QJsonValue::Null, 3, 10, QJsonValue::Null) << true << false;
    QTest::newRow("all in one") << "page=1&per_page=100" << 200 << 25 << meta(1, 1, 1, 100, 25) << false
                                << false;
    QTest::newRow("page zero") << "page=0&per_page=10" << 422 << 0 << QJsonObject() << false << false;
    QTest::newRow("page not a number") << "page=x" << 422 << 0 << QJsonObject() << false << false;
    QTest::newRow("too many per page")
        << "page=1&per_page=101" << 422 << 0 << QJsonObject() << false << false;
}

void TestDevService::orderPages()
{
    QFETCH(QString, query);
    QFETCH(int, status);
    QFETCH(int, count);
    QFETCH(QJsonObject, meta);
    QFETCH(bool, hasPrev);
    QFETCH(bool, hasNext);

    const QStringList ids = service.addOrders(25);
    QCOMPARE(ids.size(), 25);

    const Answer answer = send(QStringLiteral("GET"),
                               query.isEmpty() ? QStringLiteral("orders") : QStringLiteral("orders?") + query,
                               {}, signInDemo());
    QCOMPARE(answer.status, status);
    if (status != 200)
        return;
    const QJsonArray data = answer.json.value("data").toArray();
    QCOMPARE(data.size(), count);
    const QJsonObject got = answer.json.value("meta").toObject();
    for (auto it = meta.constBegin(); it != meta.constEnd(); ++it)
        QCOMPARE(got.value(it.key()), it.value());
    // Newest first: the first row of a page is the order created last among its rows.
    if (count > 0) {
        const int from = meta.value("from").toInt();
        QCOMPARE(data.at(0).toObject().value("order_number").toString(), ids.at(25 - from));
        QCOMPARE(data.at(0).toObject().value("status").toString(), QStringLiteral("completed"));
        QVERIFY(QDateTime::fromString(data.at(0).toObject().value("created_at").toString(), Qt::ISODate)
                    .isValid());
    }
    const QJsonObject links = answer.json.value("links").toObject();
    QCOMPARE(links.value("prev").isString(), hasPrev);
    QCOMPARE(links.value("next").isString(), hasNext);
    QVERIFY(links.value("first").toString().contains(QLatin1String("page=1")));
    QVERIFY(links.value("last").toString().contains(
        QStringLiteral("page=%1").arg(meta.value("last_page").toInt())));
    if (hasNext) {
        const QUrlQuery next(QUrl(links.value("next").toString()).query());
        QCOMPARE(next.queryItemValue("page").toInt(), meta.value("current_page").toInt() + 1);
    }
}

void TestDevService::announcements_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("platforms");
    QTest::addColumn<int>("count");

    QTest::newRow("windows") << "platform=windows" << 200 << QStringList{"windows", "all"} << 5;
    QTest::newRow("android") << "platform=android" << 200 << QStringList{"all", "android"} << 5;
    QTest::newRow("every platform") << "platform=" << 200 << QStringList{"windows", "all", "android"} << 6;
    QTest::newRow("limit") << "platform=windows&limit=2" << 200 << QStringList{"windows", "all"} << 2;
    QTest::newRow("limit not a number") << "platform=windows&limit=many" << 422 << QStringList{} << 0;
}

void TestDevService::announcements()
{
    QFETCH(QString, query);
    QFETCH(int, status);
    QFETCH(QStringList, platforms);
    QFETCH(int, count);

    // One for another platform and one newer than every seeded one.
    QVERIFY(service.addAnnouncement(
                {{"title", "Android更新"}, {"content", "安卓版更新"}, {"platform", "android"}}) > 0);
    const int newest =
        service.addAnnouncement({{"title", "维护通知"}, {"content", "今晚维护"}, {"type", "warning"}});
    QVERIFY(newest > 0);

    const Answer answer = send(QStringLiteral("GET"), QStringLiteral("announcements?") + query);
    QCOMPARE(answer.status, status);
    if (status != 200)
        return;
    const QJsonArray list = answer.json.value("data").toArray();
    QCOMPARE(list.size(), count);
    QCOMPARE(list.at(0).toObject().value("id").toInt(), newest);
    int previous = INT_MAX;
    for (const QJsonValue &value : list) {
        const QJsonObject announcement = value.toObject();
        QVERIFY(platforms.contains(announcement.value("platform").toString()));
        QVERIFY(announcement.value("id").toInt() < previous);
        previous = announcement.value("id").toInt();
        QVERIFY(!announcement.value("title").toString().isEmpty());
        QVERIFY(QDateTime::fromString(announcement.value("published_at").toString(), Qt::ISODate).isValid());
    }
}

void TestDevService::requestLogAndScripts()
{
    const QString token = signInDemo();
    service.clearRequests();

    QCOMPARE(send(QStringLiteral("GET"), QStringLiteral("servers?tier=vip"), {}, token).status, 200);
    const QString orderPath = QStringLiteral("payments/status/MV%2F1%20x");
    QCOMPARE(send(QStringLiteral("GET"), orderPath, {}, token).status, 404);
    QCOMPARE(post(QStringLiteral("heartbeat"), {{"device_id", "device-a"}}, token).status, 422);

    const QJsonArray all = service.requests();
    QCOMPARE(all.size(), 3);
    const QJsonObject servers = all.at(0).toObject();
    QCOMPARE(servers.value("method").toString(), QStringLiteral("GET"));
    QCOMPARE(servers.value("path").toString(), QStringLiteral("servers"));
    QCOMPARE(servers.value("query").toObject(), QJsonObject({{"tier", "vip"}}));
    QCOMPARE(servers.value("headers").toObject().value("authorization").toString(), "Bearer " + token);
    QCOMPARE(servers.value("headers").toObject().value("accept").toString(),
             QStringLiteral("application/json"));
    // An id sent as one percent-encoded segment is logged as it was sent.
    QCOMPARE(all.at(1).toObject().value("path").toString(), orderPath);
    QCOMPARE(service.requests(orderPath).size(), 1);
    QCOMPARE(service.requests(QStringLiteral("payments/status/MV/1 x")).size(), 0);
    QCOMPARE(service.lastRequest(QStringLiteral("heartbeat")).value("body").toString(),
             QStringLiteral("{\"device_id\":\"device-a\"}"));
    QCOMPARE(service.requests(QStringLiteral("servers")).size(), 1);

    // Scripted answers go out exactly as given, as many times as asked, then the service answers again.
    const QByteArray scripted = QByteArrayLiteral("{\"success\":false,\"message\":\"服务器维护中\"}");
    service.scriptReply(QStringLiteral("GET"), QStringLiteral("servers"), 503, scripted, 0, 2);
    QVERIFY(service.lastControlError().isEmpty());
    for (int i = 0; i < 2; ++i) {
        const Answer answer = send(QStringLiteral("GET"), QStringLiteral("servers"), {}, token);
        QCOMPARE(answer.status, 503);
        QCOMPARE(answer.body, scripted);
    }
    QCOMPARE(send(QStringLiteral("GET"), QStringLiteral("servers"), {}, token).status, 200);
    // A script for one method leaves the other alone.
    service.scriptReply(QStringLiteral("POST"), QStringLiteral("auth/me"), 500, "{}");
    QCOMPARE(send(QStringLiteral("GET"), QStringLiteral("auth/me"), {}, token).status, 200);

    service.clearRequests();
    QVERIFY(service.requests().isEmpty());
    QVERIFY(service.control(QStringLiteral("POST"), QStringLiteral("no-such-call")).isEmpty() ||
            !service.lastControlError().isEmpty());
}

void TestDevService::delayedReply()
{
    const QString token = signInDemo();
    service.scriptReply(QStringLiteral("GET"), QStringLiteral("plans"), 200, "{\"success\":true,\"data\":[]}",
                        300);
    service.scriptReply(QStringLiteral("GET"), QStringLiteral("auth/me"), 0, {}, 300);

    QElapsedTimer clock;
    clock.start();
    const Answer plans = send(QStringLiteral("GET"), QStringLiteral("plans"));
    QVERIFY(clock.elapsed() >= 290);
    QCOMPARE(plans.json.value("data").toArray().size(), 0);

    clock.restart();
    const Answer me = send(QStringLiteral("GET"), QStringLiteral("auth/me"), {}, token);
    QVERIFY(clock.elapsed() >= 290);
    QCOMPARE(me.status, 200);
    QCOMPARE(me.json.value("data").toObject().value("email").toString(), DevService::demoEmail());

    // While one answer is held back, the service answers others: the other answer comes while the held
    // one is still due, which is far longer than any answer takes.
    service.scriptReply(QStringLiteral("GET"), QStringLiteral("plans"), 200, "{\"success\":true}", 3000);
    QNetworkRequest request(QUrl(service.baseUrl() + QStringLiteral("plans")));
    QNetworkReply *slow = network.get(request);
    QTRY_COMPARE(service.requests(QStringLiteral("plans")).size(), 2);
    QCOMPARE(send(QStringLiteral("GET"), QStringLiteral("configs")).status, 200);
    QVERIFY(!slow->isFinished());
    QSignalSpy finished(slow, &QNetworkReply::finished);
    QVERIFY2(finished.wait(30000), "the held-back answer");
    QCOMPARE(slow->readAll(), QByteArrayLiteral("{\"success\":true}"));
    delete slow;

    // A client that gives up before the held-back answer is due leaves the service running.
    service.scriptReply(QStringLiteral("GET"), QStringLiteral("plans"), 200, "{}", 200);
    QNetworkReply *abandoned = network.get(request);
    QTRY_COMPARE(service.requests(QStringLiteral("plans")).size(), 3);
    abandoned->abort();
    delete abandoned;
    service.scriptReply(QStringLiteral("GET"), QStringLiteral("configs"), 0, {}, 400);
    QCOMPARE(send(QStringLiteral("GET"), QStringLiteral("configs")).status, 200);
    QCOMPARE(send(QStringLiteral("GET"), QStringLiteral("plans")).status, 200);
}

void TestDevService::stateFileAtStart_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("keptAside");

    const QByteArray lists = R"("accounts":{"accounts":[],"sessions":[]},"payments":{"payments":[]})";
    QTest::newRow("no file yet") << QByteArray() << "no state file at" << false;
    QTest::newRow("empty") << QByteArray("") << "is not a state file" << true;
    QTest::newRow("cut off") << QByteArray(R"({"version":1,"accounts":{"accounts":[{"id":1,)")
                             << "is not a state file" << true;
    QTest::newRow("another version") << "{\"version\":2," + lists + "}"
                                     << "is not a state file" << true;
    QTest::newRow("no lists") << QByteArray(R"({"version":1})") << "is not a state file" << true;
    QTest::newRow("account without e-mail")
        << QByteArray(
               R"({"version":1,"accounts":{"accounts":[{"id":1}],"sessions":[]},"payments":{"payments":[]}})")
        << "is not a state file" << true;
}

void TestDevService::stateFileAtStart()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, line);
    QFETCH(bool, keptAside);

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("state/service.json"));
    if (!content.isNull()) {
        QVERIFY(QDir().mkpath(folder.filePath(QStringLiteral("state"))));
        QVERIFY(writeFile(path, content));
    }
    DevService restarted;
    QVERIFY(restarted.start({QStringLiteral("--state"), path}));

    // One line says what the service made of the file; then it serves the demo seed.
    QTRY_VERIFY(restarted.output().count(QLatin1Char('\n')) >= 2);
    const QString said = restarted.output().section(QLatin1Char('\n'), 1, 1);
    QVERIFY2(said.startsWith(QLatin1String("state: ")) && said.contains(line) &&
                 said.contains(QLatin1String("starting from the demo seed")),
             qPrintable(said));
    const Answer login =
        post(restarted.baseUrl() + QStringLiteral("auth/login"), {{"email", DevService::demoEmail()},
                                                                  {"password", DevService::demoPassword()},
                                                                  {"device_id", "device-a"}});
    QCOMPARE(login.status, 200);

    // What was there is kept for a person to look at, never overwritten by the fresh state.
    QCOMPARE(QFile::exists(path + QStringLiteral(".broken")), keptAside);
    if (keptAside)
        QCOMPARE(readFile(path + QStringLiteral(".broken")), content);
    QTRY_COMPARE(parse(readFile(path)).value("version").toInt(), 1);
    QCOMPARE(parse(readFile(path)).value("accounts").toObject().value("sessions").toArray().size(), 1);
}

// A state file from before the demo account had VIP time (no "seed" member) is brought up to the current
// seed where its user left it as seeded; a current file is not even rewritten.
void TestDevService::stateOfAnEarlierSeed_data()
{
    QTest::addColumn<QJsonObject>("demoFields");
    QTest::addColumn<bool>("currentSeed");
    QTest::addColumn<bool>("demoVip");
    QTest::addColumn<bool>("rewritten");

    const QString past =
        QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() - 3 * 86400, Qt::UTC)
            .toString(Qt::ISODateWithMs);
    QTest::newRow("first seed, untouched") << QJsonObject() << false << true << true;
    QTest::newRow("first seed, trial taken")
        << QJsonObject{{"trial_used", true}, {"trial_expires_at", past}, {"trial_hours_total", 2}} << false
        << false << true;
    QTest::newRow("first seed, VIP run out")
        << QJsonObject{{"vip_expires_at", past}} << false << false << true;
    QTest::newRow("current seed, VIP taken away") << QJsonObject() << true << false << false;
}

void TestDevService::stateOfAnEarlierSeed()
{
    QFETCH(QJsonObject, demoFields);
    QFETCH(bool, currentSeed);
    QFETCH(bool, demoVip);
    QFETCH(bool, rewritten);

    auto account = [](int id, const QString &email, const QJsonObject &fields) {
        QJsonObject json{{"id", id},
                         {"email", email},
                         {"password", DevService::demoPassword()},
                         {"name", "Mirevo"},
                         {"status", "active"},
                         {"vip_expires_at", QJsonValue::Null},
                         {"trial_used", false},
                         {"trial_expires_at", QJsonValue::Null},
                         {"trial_hours_total", 0},
                         {"vip_trial_used", false},
                         {"created_at", "2025-01-01T00:00:00.000Z"}};
        for (auto it = fields.begin(); it != fields.end(); ++it)
            json.insert(it.key(), it.value());
        return json;
    };
    QJsonArray accounts{account(1, DevService::demoEmail(), demoFields)};
    QJsonObject accountArea{{"sessions", QJsonArray()}};
    if (currentSeed) {
        accounts.append(account(2, DevService::trialEmail(), {}));
        accountArea.insert("seed", 2);
    }
    accountArea.insert("accounts", accounts);
    const QByteArray content =
        QJsonDocument(QJsonObject{{"version", 1},
                                  {"accounts", accountArea},
                                  {"payments", QJsonObject{{"payments", QJsonArray()}}}})
            .toJson(QJsonDocument::Compact);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("service.json"));
    QVERIFY(writeFile(path, content));

    DevService restarted;
    QVERIFY(restarted.start({QStringLiteral("--state"), path}));
    QTRY_VERIFY(restarted.output().count(QLatin1Char('\n')) >= 2);
    const QString said = restarted.output().section(QLatin1Char('\n'), 1, 1);
    QVERIFY2(said.startsWith(QLatin1String("state: restored")), qPrintable(said));
    QCOMPARE(said.contains(QLatin1String("brought up to the current demo seed")), rewritten);
    QCOMPARE(readFile(path) != content, rewritten);

    for (const QString &email : {DevService::demoEmail(), DevService::trialEmail()}) {
        const Answer login =
            post(restarted.baseUrl() + QStringLiteral("auth/login"),
                 {{"email", email}, {"password", DevService::demoPassword()}, {"device_id", "d"}});
        QCOMPARE(login.status, 200);
        const QJsonObject user = login.json.value("data").toObject();
        QCOMPARE(user.value("is_vip").toBool(), email == DevService::demoEmail() && demoVip);
        // What its user made of the demo account stays.
        if (email == DevService::demoEmail()) {
            QCOMPARE(user.value("trial_used"), QJsonValue(demoFields.value("trial_used").toBool(false)));
            if (demoFields.contains("vip_expires_at"))
                QCOMPARE(
                    QDateTime::fromString(user.value("vip_expires_at").toString(), Qt::ISODate),
                    QDateTime::fromString(demoFields.value("vip_expires_at").toString(), Qt::ISODateWithMs));
        }
    }
    // The sign-ins changed the state: the file holds them now, and the current seed.
    QTRY_VERIFY(readFile(path) != content);
    QCOMPARE(parse(readFile(path)).value("accounts").toObject().value("seed").toInt(), 2);
}

void TestDevService::stateAcrossRestarts()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("service.json"));
    DevService restarted;
    QVERIFY(restarted.start({QStringLiteral("--state"), path}));
    auto call = [&](const QString &method, const QString &endpoint, const QJsonObject &body,
                    const QString &token) {
        return send(method, restarted.baseUrl() + endpoint,
                    method == QLatin1String("POST") ? QJsonDocument(body).toJson() : QByteArray(), token);
    };
    auto login = [&](const QString &email, const QString &password) {
        return call(QStringLiteral("POST"), QStringLiteral("auth/login"),
                    {{"email", email}, {"password", password}, {"device_id", "device-a"}}, {})
            .json.value("token")
            .toString();
    };

    // A registration, a sign-in with a trial and a paid order, and a sign-in that signed out again.
    const Answer registered = call(QStringLiteral("POST"), QStringLiteral("auth/register"),
                                   {{"email", "keeper@mirevo.dev"},
                                    {"password", "secret1"},
                                    {"password_confirmation", "secret1"},
                                    {"name", "Keeper"},
                                    {"device_id", "device-k"}},
                                   {});
    QCOMPARE(registered.status, 201);
    const QString keeper = registered.json.value("token").toString();
    const QString demo = login(DevService::demoEmail(), DevService::demoPassword());
    QCOMPARE(call(QStringLiteral("POST"), QStringLiteral("trial/activate-free"), {}, demo).status, 200);
    const QString orderId = call(QStringLiteral("POST"), QStringLiteral("payments/create"),
                                 {{"plan_id", 1}, {"payment_method", "alipay"}}, demo)
                                .json.value("data")
                                .toObject()
                                .value("order_id")
                                .toString();
    QVERIFY(!orderId.isEmpty());
    restarted.setPaymentStatus(orderId, QStringLiteral("completed"));
    QVERIFY(restarted.lastControlError().isEmpty());
    const QString gone = login(DevService::demoEmail(), DevService::demoPassword());
    QCOMPARE(call(QStringLiteral("POST"), QStringLiteral("auth/logout"), {}, gone).status, 200);
    const QJsonObject before =
        call(QStringLiteral("GET"), QStringLiteral("auth/me"), {}, demo).json.value("data").toObject();
    QVERIFY(before.value("is_vip").toBool());

    QVERIFY(restarted.restart());
    QTRY_VERIFY(
        restarted.output().contains(QStringLiteral("state: restored 3 accounts, 3 tokens and 1 orders")));

    // The tokens still sign in as they did, and the one signed out stays out.
    const Answer keeperMe = call(QStringLiteral("GET"), QStringLiteral("auth/me"), {}, keeper);
    QCOMPARE(keeperMe.status, 200);
    QCOMPARE(keeperMe.json.value("data").toObject().value("email").toString(),
             QStringLiteral("keeper@mirevo.dev"));
    const Answer demoMe = call(QStringLiteral("GET"), QStringLiteral("auth/me"), {}, demo);
    QCOMPARE(demoMe.status, 200);
    QCOMPARE(demoMe.json.value("data").toObject(), before);
    QCOMPARE(call(QStringLiteral("GET"), QStringLiteral("auth/me"), {}, gone).status, 401);
    QVERIFY(!login(QStringLiteral("keeper@mirevo.dev"), QStringLiteral("secret1")).isEmpty());

    // The trial was taken, the order is in the history, and new ids do not repeat old ones.
    QCOMPARE(call(QStringLiteral("POST"), QStringLiteral("trial/activate-free"), {}, demo).status, 422);
    const QJsonArray orders =
        call(QStringLiteral("GET"), QStringLiteral("orders"), {}, demo).json.value("data").toArray();
    QCOMPARE(orders.size(), 1);
    QCOMPARE(orders.at(0).toObject().value("order_number").toString(), orderId);
    QCOMPARE(orders.at(0).toObject().value("status").toString(), QStringLiteral("completed"));
    const QJsonObject second = call(QStringLiteral("POST"), QStringLiteral("payments/create"),
                                    {{"plan_id", 2}, {"payment_method", "wechat"}}, demo)
                                   .json.value("data")
                                   .toObject();
    QVERIFY(!second.value("order_id").toString().isEmpty());
    QVERIFY(second.value("order_id").toString() != orderId);
    const Answer newcomer = call(QStringLiteral("POST"), QStringLiteral("auth/register"),
                                 {{"email", "newcomer@mirevo.dev"},
                                  {"password", "secret1"},
                                  {"password_confirmation", "secret1"},
                                  {"name", "Newcomer"},
                                  {"device_id", "device-n"}},
                                 {});
    QCOMPARE(newcomer.status, 201);
    QCOMPARE(newcomer.json.value("data").toObject().value("id").toInt(), 4);
    QVERIFY(newcomer.json.value("token").toString() != keeper);
}

void TestDevService::vmessEndpoint_data()
{
    QTest::addColumn<QByteArray>("file"); // null: no such file
    QTest::addColumn<int>("exitCode");

    QJsonObject lines;
    int port = 41001;
    for (const QString &transport : QStringList{"tcp", "ws", "tcp+tls", "ws+tls"}) {
        const bool ws = transport.startsWith(QLatin1String("ws"));
        const bool tls = transport.endsWith(QLatin1String("tls"));
        lines.insert(transport, QJsonObject{{"address", "127.0.0.1"},
                                            {"port", port++},
                                            {"id", "9d0b5c3e-6f1a-4b55-9a4e-0c4f5f2d7e11"},
                                            {"aid", 0},
                                            {"net", ws ? "ws" : "tcp"},
                                            {"path", ws ? "/mirevo" : ""},
                                            {"host", ""},
                                            {"tls", tls ? "tls" : ""},
                                            {"sni", tls ? "vmess.mirevo.test" : ""}});
    }
    QJsonObject short_ = lines;
    short_.remove(QStringLiteral("ws+tls"));
    QTest::newRow("every transport") << QJsonDocument(lines).toJson() << 0;
    QTest::newRow("a transport missing") << QJsonDocument(short_).toJson() << 2;
    QTest::newRow("not JSON") << QByteArray("tcp=41001") << 2;
    QTest::newRow("no such file") << QByteArray() << 2;
}

void TestDevService::vmessEndpoint()
{
    QFETCH(QByteArray, file);
    QFETCH(int, exitCode);

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("endpoint.json"));
    if (!file.isNull())
        QVERIFY(writeFile(path, file));
    if (exitCode != 0) {
        // A demo whose servers lead nowhere is refused at start, not found out at the first connect.
        QProcess process;
        process.start(QStringLiteral(MIREVO_DEV_SERVICE_PATH), {QStringLiteral("--port"), QStringLiteral("0"),
                                                                QStringLiteral("--vmess-endpoint"), path});
        QVERIFY2(process.waitForFinished(30000), "the end of the service that refused its endpoint");
        QCOMPARE(process.exitCode(), exitCode);
        QVERIFY(process.readAllStandardOutput().isEmpty());
        QVERIFY(QString::fromUtf8(process.readAllStandardError()).contains(path));
        return;
    }

    DevService demo;
    QVERIFY(demo.start({QStringLiteral("--vmess-endpoint"), path}));
    const QJsonObject lines = parse(file);
    const QString token =
        post(demo.baseUrl() + QStringLiteral("auth/login"), {{"email", DevService::demoEmail()},
                                                             {"password", DevService::demoPassword()},
                                                             {"device_id", "device-a"}})
            .json.value("token")
            .toString();
    const QString passphrase = linkPassphrase();
    const Answer answer = send(QStringLiteral("GET"), demo.baseUrl() + QStringLiteral("servers"), {}, token);
    QCOMPARE(answer.status, 200);

    // Every seeded line, free and VIP alike, leads to the endpoint, one line per transport.
    QSet<QString> transports;
    QSet<QString> tiers;
    for (const QJsonValue &value : answer.json.value("data").toArray()) {
        const QJsonObject server = value.toObject();
        QString link = server.value("vmess_link").toString();
        if (!link.startsWith(QLatin1String("vmess://")))
            link = CryptoUtil::decryptVmessLink(link, passphrase);
        const QJsonObject json = decodeLinkJson(link);
        const QString transport =
            json.value("net").toString() + (json.value("tls").toString().isEmpty() ? "" : "+tls");
        const QJsonObject line = lines.value(transport).toObject();
        QVERIFY2(!line.isEmpty(), qPrintable(transport));
        QCOMPARE(json.value("add").toString(), line.value("address").toString());
        QCOMPARE(json.value("port").toString(), QString::number(line.value("port").toInt()));
        QCOMPARE(json.value("id").toString(), line.value("id").toString());
        QCOMPARE(json.value("path").toString(), line.value("path").toString());
        QCOMPARE(json.value("sni").toString(), line.value("sni").toString());
        QCOMPARE(server.value("port").toInt(), line.value("port").toInt());
        transports.insert(transport);
        tiers.insert(server.value("tier").toString());
    }
    QCOMPARE(transports, QSet<QString>({"tcp", "ws", "tcp+tls", "ws+tls"}));
    QCOMPARE(tiers, QSet<QString>({"free", "vip"}));
}

QTEST_MAIN(TestDevService)
#include "tst_devservice.moc"
