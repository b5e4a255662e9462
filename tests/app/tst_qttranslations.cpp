#include "api/network/HttpClient.h"
#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QLocale>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTranslator>

#include <memory>
#include <optional>

using Tavorin::Api::installQtTranslations;
using Tavorin::Api::Network::ApiResponse;
using Tavorin::Api::Network::HttpClient;

namespace {
enum class Failure { Refused, TimedOut, Cancelled };
} // namespace
Q_DECLARE_METATYPE(Failure)

// Qt writes the text of a failed request itself, and the screens show that text: with Qt's translations
// installed it reads in the user's language, or in the client's Chinese where Qt has none for it. A timeout
// is the client's own word, the same in every language: Qt would call it a cancellation.
class TestQtTranslations : public QObject
{
    Q_OBJECT

private slots:
    void networkErrorsInTheUsersLanguage_data();
    void networkErrorsInTheUsersLanguage();
};

void TestQtTranslations::networkErrorsInTheUsersLanguage_data()
{
    QTest::addColumn<QString>("locale"); // empty: the system locale, de_DE (see main)
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zh_CN, refused") << "zh_CN" << Failure::Refused << "连接被拒绝";
    QTest::newRow("zh_CN, timed out") << "zh_CN" << Failure::TimedOut << "请求超时";
    QTest::newRow("zh_CN, cancelled") << "zh_CN" << Failure::Cancelled << "操作被取消";
    QTest::newRow("system locale de_DE, refused") << "" << Failure::Refused << "Verbindung verweigert";
    QTest::newRow("de_DE, timed out") << "de_DE" << Failure::TimedOut << "请求超时";
    QTest::newRow("de_DE, cancelled") << "de_DE" << Failure::Cancelled << "Operation abgebrochen";
    QTest::newRow("zh_HK, not shipped: zh_CN") << "zh_HK" << Failure::Refused << "连接被拒绝";
    QTest::newRow("C locale: zh_CN") << "C" << Failure::Cancelled << "操作被取消";
    QTest::newRow("en_US: Qt's English") << "en_US" << Failure::Refused << "Connection refused";
}

void TestQtTranslations::networkErrorsInTheUsersLanguage()
{
    QFETCH(QString, locale);
    QFETCH(Failure, failure);
    QFETCH(QString, expected);

    const std::unique_ptr<QTranslator> translator(installQtTranslations(
        *QCoreApplication::instance(), locale.isEmpty() ? QLocale::system() : QLocale(locale)));

    // A refused connection: nothing listens on the port any more. A timeout: a server that accepts the
    // connection and never answers. A cancellation (a sign-out or quit ending a request): the same server,
    // and the request aborted while it waits.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const quint16 port = server.serverPort();
    if (failure == Failure::Refused)
        server.close();

    HttpClient *client = HttpClient::instance();
    client->setBaseUrl(QStringLiteral("http://127.0.0.1:%1/api/v1/").arg(port));
    client->setTimeoutMs(failure == Failure::TimedOut ? 200 : 30000);
    QSignalSpy errors(client, &HttpClient::networkError);
    std::optional<ApiResponse> seen;
    client->getWithoutAuth(QStringLiteral("system/config"),
                           [&seen](const ApiResponse &response) { seen = response; });
    if (failure == Failure::Cancelled) {
        QTRY_VERIFY(server.hasPendingConnections());
        const QList<QNetworkReply *> waiting = client->findChildren<QNetworkReply *>();
        QCOMPARE(waiting.size(), 1);
        waiting.first()->abort();
    }
    QTRY_VERIFY(seen.has_value());

    QCOMPARE(seen->getErrorMessage(), expected);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.first().first().toString(), expected);
}

int main(int argc, char *argv[])
{
    // The system locale of a German desktop, whatever the shell that runs the test uses.
    qputenv("LANG", "de_DE.UTF-8");
    qunsetenv("LC_ALL");
    qunsetenv("LC_MESSAGES");
    qunsetenv("LANGUAGE");
    QCoreApplication application(argc, argv);
    TestQtTranslations test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_qttranslations.moc"
