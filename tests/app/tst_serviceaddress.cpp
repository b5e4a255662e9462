#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTest>

namespace {
// What scripts/run sets when the development service listens on another port than the demo was built for.
const char *const AddressVariable = "MIREVO_DEV_SERVICE_URL";
const QString Elsewhere = QStringLiteral("http://127.0.0.1:1/elsewhere/api/v1/");
} // namespace

// Which service each build of the client talks to. Each executable names its address itself: the
// client has the product's, the demo client (scripts/run) the development service's, and neither carries
// the other's. Only the demo client takes another address at run time, from the environment.
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
    QTest::addColumn<QString>("named"); // the environment's address; empty: none
    QTest::addColumn<QString>("address");
    QTest::addColumn<QStringList>("others");

    const QString product = QStringLiteral(MIREVO_API_BASE_URL);
    const QString demo = QStringLiteral(MIREVO_DEV_API_BASE_URL);
    QTest::newRow("client") << "mirevo" << QString() << product << QStringList{demo};
    QTest::newRow("client, address in the environment")
        << "mirevo" << Elsewhere << product << QStringList{demo, Elsewhere};
    QTest::newRow("demo client") << "mirevo-demo" << QString() << demo << QStringList{product};
    QTest::newRow("demo client, address in the environment")
        << "mirevo-demo" << Elsewhere << Elsewhere << QStringList{product, demo};
}

void TestServiceAddress::eachClientTalksToItsService()
{
    QFETCH(QString, program);
    QFETCH(QString, named);
    QFETCH(QString, address);
    QFETCH(QStringList, others);

    QProcess client;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QLatin1String(AddressVariable));
    if (!named.isEmpty())
        environment.insert(QLatin1String(AddressVariable), named);
    client.setProcessEnvironment(environment);
    client.setProcessChannelMode(QProcess::MergedChannels);
    client.start(QCoreApplication::applicationDirPath() + '/' + program);
    QVERIFY(client.waitForStarted());
    // Start-up fetches the service's configuration before anything else asks the service.
    const QRegularExpression request(QStringLiteral("\\[HttpClient\\] GET请求\\(无认证\\): (\\S+)"));
    QString output;
    QRegularExpressionMatch first;
    QTRY_VERIFY2_WITH_TIMEOUT(
        (output += QString::fromUtf8(client.readAll()), first = request.match(output), first.hasMatch()),
        "the client's first request", 90000);
    client.kill();
    client.waitForFinished();

    QCOMPARE(first.captured(1), address + QStringLiteral("configs"));
    for (const QString &other : others)
        QVERIFY2(!output.contains(other), qPrintable(other));
}

QTEST_MAIN(TestServiceAddress)
#include "tst_serviceaddress.moc"
