#include "LocalPorts.h"
#include "vpn/V2RayCore.h"
#include "vpn/VmessConfig.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using Tavorin::Api::Vpn::V2RayCore;
using Tavorin::Api::Vpn::VmessConfig;

namespace {

QJsonObject documentOf(V2RayCore &core, const VmessConfig &config)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(core.generateConfig(config).toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        qWarning() << "configuration is not JSON:" << error.errorString();
    return document.object();
}

QJsonObject proxyOutbound(const QJsonObject &document)
{
    return document.value("outbounds").toArray().at(0).toObject();
}

QString compact(const QJsonValue &value)
{
    if (value.isUndefined())
        return QStringLiteral("absent");
    return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
}

VmessConfig server()
{
    VmessConfig config;
    config.address = QStringLiteral("203.0.113.7");
    config.port = 8443;
    config.id = QStringLiteral("5b4a9f2e-1c3d-4e5f-8a9b-0c1d2e3f4a5b");
    config.alterId = 4;
    config.security = QStringLiteral("aes-128-gcm");
    return config;
}

} // namespace

class TestCoreConfig : public QObject
{
    Q_OBJECT

private slots:
    void transportAndTls_data();
    void transportAndTls();
    void routing_data();
    void routing();
    void fixedParts();
    void controllerSecretNewForEachConnection();
};

void TestCoreConfig::transportAndTls_data()
{
    QTest::addColumn<QString>("network");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("tls");
    QTest::addColumn<QString>("sni");
    QTest::addColumn<QString>("transport");
    QTest::addColumn<QString>("tlsMember");

    QTest::newRow("tcp, no tls") << "tcp"
                                 << ""
                                 << ""
                                 << "none"
                                 << ""
                                 << "absent"
                                 << "absent";
    QTest::newRow("ws, bare") << "ws"
                              << ""
                              << ""
                              << "none"
                              << ""
                              << R"({"path":"/","type":"ws"})"
                              << "absent";
    QTest::newRow("ws with path and host") << "ws"
                                           << "/v"
                                           << "h"
                                           << "none"
                                           << ""
                                           << R"({"headers":{"Host":"h"},"path":"/v","type":"ws"})"
                                           << "absent";
    QTest::newRow("WS in capitals") << "WS"
                                    << "/v"
                                    << "h"
                                    << "none"
                                    << ""
                                    << "absent"
                                    << "absent";
    QTest::newRow("grpc") << "grpc"
                          << "/v"
                          << ""
                          << "none"
                          << ""
                          << "absent"
                          << "absent";
    QTest::newRow("tls without sni") << "tcp"
                                     << ""
                                     << ""
                                     << "tls"
                                     << ""
                                     << "absent"
                                     << R"({"enabled":true,"insecure":false,"server_name":"203.0.113.7"})";
    QTest::newRow("tls with sni") << "ws"
                                  << ""
                                  << ""
                                  << "tls"
                                  << "cdn.example.org"
                                  << R"({"path":"/","type":"ws"})"
                                  << R"({"enabled":true,"insecure":false,"server_name":"cdn.example.org"})";
    QTest::newRow("TLS in capitals") << "tcp"
                                     << ""
                                     << ""
                                     << "TLS"
                                     << ""
                                     << "absent"
                                     << "absent";
    QTest::newRow("tls empty") << "tcp"
                               << ""
                               << ""
                               << ""
                               << ""
                               << "absent"
                               << "absent";
}

void TestCoreConfig::transportAndTls()
{
    QFETCH(QString, network);
    QFETCH(QString, path);
    QFETCH(QString, host);
    QFETCH(QString, tls);
    QFETCH(QString, sni);
    QFETCH(QString, transport);
    QFETCH(QString, tlsMember);

    VmessConfig config = server();
    config.network = network;
    config.path = path;
    config.host = host;
    config.tls = tls;
    config.sni = sni;
    V2RayCore core(nullptr);
    const QJsonObject proxy = proxyOutbound(documentOf(core, config));
    QCOMPARE(compact(proxy.value("transport")), transport);
    QCOMPARE(compact(proxy.value("tls")), tlsMember);
    QCOMPARE(proxy.value("type").toString(), QString("vmess"));
    QCOMPARE(proxy.value("tag").toString(), QString("proxy"));
    QCOMPARE(proxy.value("server").toString(), QString("203.0.113.7"));
    QCOMPARE(proxy.value("uuid").toString(), config.id);
    QCOMPARE(proxy.value("security").toString(), QString("aes-128-gcm"));
    // Numbers on the wire, although the link carried them as text.
    QVERIFY(proxy.value("server_port").isDouble());
    QCOMPARE(proxy.value("server_port").toInt(), 8443);
    QVERIFY(proxy.value("alter_id").isDouble());
    QCOMPARE(proxy.value("alter_id").toInt(), 4);
}

void TestCoreConfig::routing_data()
{
    QTest::addColumn<int>("routingMode");
    QTest::addColumn<QStringList>("ruleKinds");

    const QStringList global{"inbound", "port", "ip_cidr"};
    QTest::newRow("global") << 1 << global;
    QTest::newRow("any other value is global") << 7 << global;
    QTest::newRow("smart") << 0 << (global + QStringList{"domain_suffix", "ip_cidr"});
}

void TestCoreConfig::routing()
{
    QFETCH(int, routingMode);
    QFETCH(QStringList, ruleKinds);

    VmessConfig config = server();
    config.routingMode = routingMode;
    V2RayCore core(nullptr);
    const QJsonObject route = documentOf(core, config).value("route").toObject();
    const QJsonArray rules = route.value("rules").toArray();
    QStringList kinds;
    for (const QJsonValue &rule : rules) {
        const QJsonObject object = rule.toObject();
        for (const QString &key : object.keys()) {
            if (key != QLatin1String("outbound"))
                kinds << key;
        }
    }
    QCOMPARE(kinds, ruleKinds);
    QCOMPARE(route.value("final").toString(), QString("proxy"));
    QCOMPARE(route.value("auto_detect_interface").toBool(), true);
    QCOMPARE(rules.at(0).toObject().value("outbound").toString(), QString("dns-out"));
    QCOMPARE(rules.at(1).toObject().value("port").toInt(), 53);
    QCOMPARE(rules.at(2).toObject().value("ip_cidr").toArray(),
             (QJsonArray{"10.0.0.0/8", "172.16.0.0/12", "192.168.0.0/16", "127.0.0.0/8"}));
    if (routingMode == 0) {
        const QJsonArray suffixes = rules.at(3).toObject().value("domain_suffix").toArray();
        QCOMPARE(suffixes.size(), 14);
        QCOMPARE(suffixes.at(0).toString(), QString("cn"));
        QCOMPARE(suffixes.at(1).toString(), QString("com.cn"));
        const QJsonArray blocks = rules.at(4).toObject().value("ip_cidr").toArray();
        QCOMPARE(blocks.size(), 11);
        QCOMPARE(blocks.last().toString(), QString("114.114.114.114/32"));
        for (int i = 3; i < 5; ++i)
            QCOMPARE(rules.at(i).toObject().value("outbound").toString(), QString("direct"));
    }
}

void TestCoreConfig::fixedParts()
{
    V2RayCore core(nullptr);
    const QJsonObject document = documentOf(core, server());

    QCOMPARE(document.value("log").toObject(), (QJsonObject{{"level", "warning"}}));

    const QJsonArray inbounds = document.value("inbounds").toArray();
    QCOMPARE(inbounds.size(), 2);
    QCOMPARE(inbounds.at(0).toObject(), (QJsonObject{{"type", "mixed"},
                                                     {"tag", "mixed-in"},
                                                     {"listen", "127.0.0.1"},
                                                     {"listen_port", 10315},
                                                     {"sniff", true},
                                                     {"sniff_override_destination", true},
                                                     {"set_system_proxy", false}}));
    QCOMPARE(inbounds.at(1).toObject(),
             (QJsonObject{
                 {"type", "direct"}, {"tag", "dns-in"}, {"listen", "127.0.0.1"}, {"listen_port", 16450}}));

    const QJsonObject dns = document.value("dns").toObject();
    QCOMPARE(dns.value("final").toString(), QString("dns-remote"));
    QCOMPARE(dns.value("independent_cache").toBool(), true);
    // The server's own name is resolved direct, also when it is an address.
    QCOMPARE(dns.value("rules").toArray(),
             (QJsonArray{QJsonObject{{"domain", "203.0.113.7"}, {"server", "dns-direct"}}}));
    const QJsonArray servers = dns.value("servers").toArray();
    QCOMPARE(servers.size(), 4);
    const QJsonObject remote = servers.at(0).toObject();
    QCOMPARE(remote.value("tag").toString(), QString("dns-remote"));
    QVERIFY(remote.value("address").toString().startsWith("https://"));
    QVERIFY(remote.value("address").toString().endsWith("/dns-query"));
    QCOMPARE(remote.value("address_resolver").toString(), QString("dns-direct"));
    QVERIFY(!remote.contains("detour"));
    QCOMPARE(servers.at(1).toObject(), (QJsonObject{{"tag", "dns-direct"},
                                                    {"address", "223.5.5.5"},
                                                    {"address_resolver", "dns-local"},
                                                    {"detour", "direct"}}));
    QCOMPARE(servers.at(2).toObject(),
             (QJsonObject{{"tag", "dns-local"}, {"address", "223.5.5.5"}, {"detour", "direct"}}));
    QCOMPARE(servers.at(3).toObject(), (QJsonObject{{"tag", "dns-block"}, {"address", "rcode://success"}}));

    const QJsonArray outbounds = document.value("outbounds").toArray();
    QCOMPARE(outbounds.size(), 4);
    QCOMPARE(outbounds.at(1).toObject(), (QJsonObject{{"type", "dns"}, {"tag", "dns-out"}}));
    QCOMPARE(outbounds.at(2).toObject(), (QJsonObject{{"type", "direct"}, {"tag", "direct"}}));
    QCOMPARE(outbounds.at(3).toObject(), (QJsonObject{{"type", "block"}, {"tag", "block"}}));

    const QJsonObject controller = document.value("experimental").toObject().value("clash_api").toObject();
    QCOMPARE(controller.value("external_controller").toString(), core.controllerAddress());
    QVERIFY(core.controllerAddress().startsWith("127.0.0.1:"));
    QVERIFY(!core.controllerAddress().endsWith(":0"));
    QCOMPARE(controller.value("secret").toString(), core.controllerSecret());
    QVERIFY(core.controllerSecret().size() >= 32);
}

// The configuration file a start leaves behind (the core is missing here, so the start stops
// right after writing it) carries a controller secret of its own for every connection.
void TestCoreConfig::controllerSecretNewForEachConnection()
{
    // The start looks at its ports before it writes: they must be free whatever else runs here.
    LocalPorts::useFree();
    const auto productPorts =
        qScopeGuard([] { V2RayCore::setLocalPorts(V2RayCore::defaultMixedPort, V2RayCore::defaultDnsPort); });
    QTemporaryDir empty;
    V2RayCore core(nullptr);
    core.setResourcePath(empty.path());
    QSignalSpy errors(&core, &V2RayCore::error);
    QStringList secrets;
    for (int attempt = 0; attempt < 2; ++attempt) {
        QVERIFY(!core.start(server()));
        QFile file(core.configFilePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject document = QJsonDocument::fromJson(file.readAll()).object();
        secrets << document.value("experimental")
                       .toObject()
                       .value("clash_api")
                       .toObject()
                       .value("secret")
                       .toString();
    }
    const QFileInfo written(core.configFilePath());
    QCOMPARE(written.fileName(), QString("tavorin_config.json"));
    QVERIFY2(written.absolutePath().startsWith(
                 QStandardPaths::writableLocation(QStandardPaths::TempLocation) + "/tavorin-"),
             qPrintable(written.absolutePath()));
    QCOMPARE(errors.size(), 2);
    QCOMPARE(errors.at(0).at(0).toString(), "❌ XRay可执行文件不存在: " + empty.path() + "/x32/xray.exe");
    QVERIFY(!secrets.at(0).isEmpty());
    QVERIFY(secrets.at(0) != secrets.at(1));
}

QTEST_GUILESS_MAIN(TestCoreConfig)
#include "tst_coreconfig.moc"
