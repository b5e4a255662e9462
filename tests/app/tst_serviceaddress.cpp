#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

// Which service each build of the client talks to. The address is linked in, one small object per
// executable: the client has the product's, the demo client (scripts/run) the development service's,
// and neither carries the other's.
class TestServiceAddress : public QObject
{
    Q_OBJECT

private slots:
    void eachClientTalksToItsService_data();
    void eachClientTalksToItsService();
};

void TestServiceAddress::eachClientTalksToItsService_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("other");

    const QString product = QStringLiteral(MIREVO_API_BASE_URL);
    const QString demo = QStringLiteral(MIREVO_DEV_API_BASE_URL);
    QTest::newRow("client") << "mirevo" << product << demo;
    QTest::newRow("demo client") << "mirevo-demo" << demo << product;
}

void TestServiceAddress::eachClientTalksToItsService()
{
    QFETCH(QString, program);
    QFETCH(QString, address);
    QFETCH(QString, other);

    QProcess client;
    client.setProcessChannelMode(QProcess::MergedChannels);
    client.start(QCoreApplication::applicationDirPath() + '/' + program);
    QVERIFY(client.waitForStarted());
    // Start-up fetches the service's configuration before anything else asks the service.
    const QRegularExpression request(QStringLiteral("\\[HttpClient\\] GET请求\\(无认证\\): (\\S+)"));
    QString output;
    QRegularExpressionMatch first;
    QTRY_VERIFY_WITH_TIMEOUT(
        (output += QString::fromUtf8(client.readAll()), first = request.match(output), first.hasMatch()),
        15000);
    client.kill();
    client.waitForFinished();

    QCOMPARE(first.captured(1), address + QStringLiteral("configs"));
    QVERIFY2(!output.contains(other), qPrintable(other));
}

QTEST_MAIN(TestServiceAddress)
#include "tst_serviceaddress.moc"
