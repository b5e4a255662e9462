#include "DemoEndpointProcess.h"
#include "StandinState.h"
#include "StandinStore.h"

#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSslCertificate>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool accepts(const QHostAddress &address, quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(address, port);
    return socket.waitForConnected(1000);
}

} // namespace

class TestDemoEndpoint : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void servesEveryTransportOnLoopbackOnly();
    void endsWithWhoStartedIt_data();
    void endsWithWhoStartedIt();
    void aServingCertificateOutlivesARestart_data();
    void aServingCertificateOutlivesARestart();
};

void TestDemoEndpoint::init()
{
    StandinState::reset();
}

void TestDemoEndpoint::servesEveryTransportOnLoopbackOnly()
{
    QTemporaryDir folder;
    DemoEndpointProcess endpoint;
    QVERIFY(endpoint.start(folder.path()));
    const QMap<QString, quint16> ports = endpoint.ports();
    QCOMPARE(ports.keys(), QStringList({"tcp", "tcp+tls", "ws", "ws+tls"}));

    // Each inbound answers on 127.0.0.1 and on no other address of this machine, loopback aliases
    // and IPv6 included.
    for (const quint16 port : ports) {
        QVERIFY2(accepts(QHostAddress::LocalHost, port), qPrintable(QString::number(port)));
        QVERIFY(!accepts(QHostAddress(QStringLiteral("127.0.0.2")), port));
        QVERIFY(!accepts(QHostAddress::LocalHostIPv6, port));
    }

    // The development service's lines name exactly these inbounds.
    const QJsonObject lines = QJsonDocument::fromJson(readFile(endpoint.linesFile())).object();
    QCOMPARE(lines.keys(), ports.keys());
    for (auto it = ports.cbegin(); it != ports.cend(); ++it) {
        const QJsonObject line = lines.value(it.key()).toObject();
        QCOMPARE(line.value("address").toString(), QStringLiteral("127.0.0.1"));
        QCOMPARE(line.value("port").toInt(), int(it.value()));
        QCOMPARE(line.value("net").toString(), it.key().section(QLatin1Char('+'), 0, 0));
        QCOMPARE(line.value("tls").toString(), it.key().endsWith("tls") ? QStringLiteral("tls") : QString());
        QCOMPARE(line.value("id").toString(), lines.value("tcp").toObject().value("id").toString());
    }

    // The TLS inbounds' certificate names what the links ask for, and the core stand-in trusts it.
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(folder.filePath("cert.pem"));
    QCOMPARE(certificates.size(), 1);
    const auto names = certificates.first().subjectAlternativeNames();
    QVERIFY(names.values(QSsl::DnsEntry).contains(lines.value("ws+tls").toObject().value("sni").toString()));
    QVERIFY(names.values(QSsl::IpAddressEntry).contains(QStringLiteral("127.0.0.1")));
    QCOMPARE(readFile(Standin::StandinStore::trustedCertificateFile()),
             readFile(folder.filePath("cert.pem")));
}

void TestDemoEndpoint::endsWithWhoStartedIt_data()
{
    QTest::addColumn<bool>("killed");
    QTest::newRow("its input closes") << false;
    QTest::newRow("it is killed") << true;
}

void TestDemoEndpoint::endsWithWhoStartedIt()
{
    QFETCH(bool, killed);

    QTemporaryDir folder;
    DemoEndpointProcess endpoint;
    QVERIFY(endpoint.start(folder.path()));
    const QMap<QString, quint16> ports = endpoint.ports();
    QProcess &process = endpoint.process();
    if (killed)
        process.kill();
    else
        process.closeWriteChannel();
    QVERIFY(process.waitForFinished(5000));
    if (!killed)
        QCOMPARE(process.exitCode(), 0);

    // Its v2ray went with it: nothing answers on the inbounds any more.
    for (const quint16 port : ports)
        QTRY_VERIFY_WITH_TIMEOUT(!accepts(QHostAddress::LocalHost, port), 5000);
}

// The next run of the demo keeps the certificate: clients may trust it already, and a certificate made
// anew under a running demo would break the TLS lines it serves. Only one that cannot serve is made again.
void TestDemoEndpoint::aServingCertificateOutlivesARestart_data()
{
    QTest::addColumn<QString>("damage"); // to the first run's files before the second
    QTest::addColumn<bool>("kept");
    QTest::newRow("as the first run made it") << QString() << true;
    QTest::newRow("certificate not readable") << "cert.pem" << false;
    QTest::newRow("key missing") << "key.pem" << false;
}

void TestDemoEndpoint::aServingCertificateOutlivesARestart()
{
    QFETCH(QString, damage);
    QFETCH(bool, kept);

    QTemporaryDir folder;
    {
        DemoEndpointProcess first;
        QVERIFY(first.start(folder.path()));
    }
    const QByteArray certificate = readFile(folder.filePath("cert.pem"));
    const QByteArray key = readFile(folder.filePath("key.pem"));
    QVERIFY(!certificate.isEmpty() && !key.isEmpty());
    if (damage == QLatin1String("cert.pem")) {
        QFile file(folder.filePath(damage));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("-----BEGIN CERTIFICATE-----\nnot one\n-----END CERTIFICATE-----\n");
    } else if (!damage.isEmpty()) {
        QVERIFY(QFile::remove(folder.filePath(damage)));
    }

    DemoEndpointProcess second;
    QVERIFY(second.start(folder.path()));
    QCOMPARE(readFile(folder.filePath("cert.pem")) == certificate, kept);
    QCOMPARE(readFile(folder.filePath("key.pem")) == key, kept);
    QCOMPARE(QSslCertificate::fromPath(folder.filePath("cert.pem")).size(), 1);
    QCOMPARE(readFile(Standin::StandinStore::trustedCertificateFile()),
             readFile(folder.filePath("cert.pem")));
}

QTEST_MAIN(TestDemoEndpoint)
#include "tst_demoendpoint.moc"
