#include "vpn/VmessParser.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using Tavorin::Api::Vpn::VmessConfig;
using Tavorin::Api::Vpn::VmessParser;

namespace {

QString linkOf(const QByteArray &json, const QString &scheme = QStringLiteral("vmess://"))
{
    return scheme + QString::fromLatin1(json.toBase64());
}

QByteArray objectText(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

const QJsonObject minimal{
    {"add", "vpn.example.net"}, {"port", "443"}, {"id", "5b4a9f2e-1c3d-4e5f-8a9b-0c1d2e3f4a5b"}};

QJsonObject with(QJsonObject object, const QString &key, const QJsonValue &value)
{
    if (value.isUndefined())
        object.remove(key);
    else
        object.insert(key, value);
    return object;
}

} // namespace

class TestVmessParser : public QObject
{
    Q_OBJECT

private slots:
    void rejects_data();
    void rejects();
    void reads_data();
    void reads();
    void defaultsForEverythingNotGiven();
};

void TestVmessParser::rejects_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("message");

    const QString format = QStringLiteral("无效的VMess链接格式");
    QTest::newRow("scheme alone") << "vmess://" << format;
    QTest::newRow("other scheme") << linkOf(objectText(minimal), "vless://") << format;
    QTest::newRow("empty") << "" << format;
    QTest::newRow("nothing decodable") << "vmess://!!!!"
                                       << "Base64解码失败";
    QTest::newRow("not json") << linkOf("hello there") << "无效的JSON格式";
    QTest::newRow("array at top level") << linkOf("[1,2,3]") << "无效的JSON格式";
    QTest::newRow("no id") << linkOf(objectText(with(minimal, "id", QJsonValue::Undefined)))
                           << "缺少必需字段（add/port/id）";
    QTest::newRow("no port") << linkOf(objectText(with(minimal, "port", QJsonValue::Undefined)))
                             << "缺少必需字段（add/port/id）";
    QTest::newRow("address a number") << linkOf(objectText(with(minimal, "add", 17))) << "服务器地址为空";
    QTest::newRow("port a json number") << linkOf(objectText(with(minimal, "port", 443))) << "端口号无效";
    QTest::newRow("port 70000") << linkOf(objectText(with(minimal, "port", "70000"))) << "端口号无效";
    QTest::newRow("port 0") << linkOf(objectText(with(minimal, "port", "0"))) << "端口号无效";
    QTest::newRow("port letters") << linkOf(objectText(with(minimal, "port", "https"))) << "端口号无效";
    QTest::newRow("id empty") << linkOf(objectText(with(minimal, "id", ""))) << "UUID为空";
    QTest::newRow("id null") << linkOf(objectText(with(minimal, "id", QJsonValue::Null))) << "UUID为空";
    // How the core talks to the server must be text: read as the default, a list or an object would
    // connect in a way the server does not speak.
    QTest::newRow("net a list") << linkOf(objectText(with(minimal, "net", QJsonArray{"grpc"})))
                                << "不支持的传输协议 (net): [\"grpc\"]";
    QTest::newRow("net an object") << linkOf(objectText(with(minimal, "net", QJsonObject{{"grpc", 1}})))
                                   << "不支持的传输协议 (net): {\"grpc\":1}";
    QTest::newRow("net a number") << linkOf(objectText(with(minimal, "net", 5)))
                                  << "不支持的传输协议 (net): 5";
    QTest::newRow("type a list") << linkOf(objectText(with(minimal, "type", QJsonArray{"http"})))
                                 << "不支持的伪装类型 (type): [\"http\"]";
    QTest::newRow("type an object") << linkOf(objectText(with(minimal, "type", QJsonObject{{"http", 1}})))
                                    << "不支持的伪装类型 (type): {\"http\":1}";
    QTest::newRow("type a number") << linkOf(objectText(with(minimal, "type", 2)))
                                   << "不支持的伪装类型 (type): 2";
    QTest::newRow("tls a list") << linkOf(objectText(with(minimal, "tls", QJsonArray{"reality"})))
                                << "不支持的传输层安全 (tls): [\"reality\"]";
    QTest::newRow("tls an object") << linkOf(objectText(with(minimal, "tls", QJsonObject{{"reality", 1}})))
                                   << "不支持的传输层安全 (tls): {\"reality\":1}";
    QTest::newRow("tls a number") << linkOf(objectText(with(minimal, "tls", 1)))
                                  << "不支持的传输层安全 (tls): 1";
    QTest::newRow("tls a boolean") << linkOf(objectText(with(minimal, "tls", true)))
                                   << "不支持的传输层安全 (tls): true";
    // Validation order: an empty address is reported before a bad port.
    QTest::newRow("address before port")
        << linkOf(objectText(with(with(minimal, "add", ""), "port", "0"))) << "服务器地址为空";
}

void TestVmessParser::rejects()
{
    QFETCH(QString, link);
    QFETCH(QString, message);
    try {
        VmessParser::parse(link);
        QFAIL("the link was accepted");
    } catch (const QString &thrown) {
        QCOMPARE(thrown, message);
    }
}

void TestVmessParser::reads_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("alterId");
    QTest::addColumn<QString>("network");
    QTest::addColumn<QString>("tls");
    QTest::addColumn<QString>("remarks");

    const QByteArray text = objectText(minimal);
    QTest::newRow("minimal") << linkOf(text) << "vpn.example.net" << 443 << 0 << "tcp"
                             << "none"
                             << "";
    QTest::newRow("capital scheme") << linkOf(text, "VMESS://") << "vpn.example.net" << 443 << 0 << "tcp"
                                    << "none"
                                    << "";
    QTest::newRow("aid as text") << linkOf(objectText(with(minimal, "aid", "2"))) << "vpn.example.net" << 443
                                 << 2 << "tcp"
                                 << "none"
                                 << "";
    QTest::newRow("aid as number") << linkOf(objectText(with(minimal, "aid", 2))) << "vpn.example.net" << 443
                                   << 0 << "tcp"
                                   << "none"
                                   << "";
    QTest::newRow("net null") << linkOf(objectText(with(minimal, "net", QJsonValue::Null)))
                              << "vpn.example.net" << 443 << 0 << "tcp"
                              << "none"
                              << "";
    QJsonObject full = minimal;
    full.insert("port", "8443");
    full.insert("net", "ws");
    full.insert("tls", "tls");
    full.insert("ps", "香港 01 🇭🇰");
    QTest::newRow("full, non-ASCII remarks")
        << linkOf(objectText(full)) << "vpn.example.net" << 8443 << 0 << "ws"
        << "tls"
        << "香港 01 🇭🇰";

    // Links pasted from mail or chat: line breaks and blanks inside the Base64 part are skipped.
    QString broken = linkOf(text);
    broken.insert(20, QStringLiteral("\r\n"));
    broken.insert(40, QStringLiteral("  "));
    QTest::newRow("line break and blanks") << broken << "vpn.example.net" << 443 << 0 << "tcp"
                                           << "none"
                                           << "";
    // Base64 without its padding is completed before the second try.
    QString unpadded = linkOf(objectText(with(minimal, "ps", "x")));
    while (unpadded.endsWith(QLatin1Char('=')))
        unpadded.chop(1);
    QTest::newRow("padding missing") << unpadded << "vpn.example.net" << 443 << 0 << "tcp"
                                     << "none"
                                     << "x";
}

void TestVmessParser::reads()
{
    QFETCH(QString, link);
    QFETCH(QString, address);
    QFETCH(int, port);
    QFETCH(int, alterId);
    QFETCH(QString, network);
    QFETCH(QString, tls);
    QFETCH(QString, remarks);
    const VmessConfig config = VmessParser::parse(link);
    QCOMPARE(config.address, address);
    QCOMPARE(config.port, port);
    QCOMPARE(config.alterId, alterId);
    QCOMPARE(config.network, network);
    QCOMPARE(config.tls, tls);
    QCOMPARE(config.remarks, remarks);
    QCOMPARE(config.id, QString("5b4a9f2e-1c3d-4e5f-8a9b-0c1d2e3f4a5b"));
}

void TestVmessParser::defaultsForEverythingNotGiven()
{
    const VmessConfig config = VmessParser::parseJson(QString::fromUtf8(objectText(minimal)));
    QCOMPARE(config.security, QString("auto"));
    QCOMPARE(config.type, QString("none"));
    QCOMPARE(config.host, QString());
    QCOMPARE(config.path, QString());
    QCOMPARE(config.sni, QString());
    QCOMPARE(config.routingMode, 1);
}

QTEST_GUILESS_MAIN(TestVmessParser)
#include "tst_vmessparser.moc"
