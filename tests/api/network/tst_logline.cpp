#include "api/network/LogLine.h"
#include "vpn/VmessParser.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using Tavorin::Api::Network::LogLine;

namespace {
const char *childFlag = "--log";
} // namespace

// Values from links and from the service go into log messages as they are: a line break inside one
// would let it write lines that read as the client's own.
class TestLogLine : public QObject
{
    Q_OBJECT

private slots:
    void escapes_data();
    void escapes();
    void everyMessageStaysOneLine();
};

void TestLogLine::escapes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("logged");
    QTest::newRow("plain") << "[V2RayCore] 服务器: vpn.example.net:443"
                           << "[V2RayCore] 服务器: vpn.example.net:443";
    QTest::newRow("line feed") << "127.0.0.1\n[V2RayCore] forged"
                               << "127.0.0.1\\n[V2RayCore] forged";
    QTest::newRow("carriage return and tab") << "a\r\tb"
                                             << "a\\r\\tb";
    QTest::newRow("terminal escape") << "\x1b[2Jcleared"
                                     << "\\x1b[2Jcleared";
    QTest::newRow("delete and nul") << QString::fromLatin1("a\x7f", 2) + QChar(0) + "b"
                                    << "a\\x7f\\x00b";
    QTest::newRow("C1 next line") << QString("a") + QChar(0x85) + "b"
                                  << "a\\x85b";
    QTest::newRow("unicode line separator")
        << QString("a") + QChar(0x2028) + "b" + QChar(0x2029) << "a\\u2028b\\u2029";
    // Windows paths and the texts of the client stay readable.
    QTest::newRow("backslashes") << "C:\\Users\\me\\AppData"
                                 << "C:\\Users\\me\\AppData";
    QTest::newRow("chinese and emoji") << "香港 01 🇭🇰 ✅"
                                       << "香港 01 🇭🇰 ✅";
}

void TestLogLine::escapes()
{
    QFETCH(QString, text);
    QFETCH(QString, logged);
    QCOMPARE(LogLine::escaped(text), logged);
}

// Through the handler, as the client logs: a link whose address holds line breaks is logged as it
// is read, and reaches the log (here the standard error of a child program) as one line.
void TestLogLine::everyMessageStaysOneLine()
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {childFlag});
    QVERIFY2(child.waitForFinished(60000), "the end of the child that logs");
    const QStringList lines = QString::fromUtf8(child.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    const QStringList forged = lines.filter("forged");
    QCOMPARE(forged.size(), 1);
    QVERIFY2(
        forged.first().startsWith("[VmessParser] 解析成功 - 服务器: 127.0.0.1\\n[V2RayCore] forged\\r\\n"),
        qPrintable(forged.first()));
}

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], childFlag) == 0) {
        LogLine::installHandler();
        QCoreApplication application(argc, argv);
        const QJsonObject link{{"add", "127.0.0.1\n[V2RayCore] forged\r\n[V2RayCore] forged"},
                               {"port", "443"},
                               {"id", "5b4a9f2e-1c3d-4e5f-8a9b-0c1d2e3f4a5b"}};
        Tavorin::Api::Vpn::VmessParser::parse(QStringLiteral("vmess://") +
                                              QString::fromLatin1(QJsonDocument(link).toJson().toBase64()));
        return 0;
    }
    QCoreApplication application(argc, argv);
    TestLogLine test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_logline.moc"
