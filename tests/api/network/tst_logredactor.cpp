#include "api/network/LogRedactor.h"

#include <QTest>

#include <cstring>

#if defined(Q_OS_WIN)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

using Tavorin::Api::Network::LogRedactor;

class TestLogRedactor : public QObject
{
    Q_OBJECT

private slots:
    void masksSecrets_data();
    void masksSecrets();
    void excerptIsLimited();
    void excerptOfALargeBody_data();
    void excerptOfALargeBody();
};

namespace {

// `size` bytes of which only the first `readable` may be read: the rest lies in pages the process may not
// touch, so that a read of any of them ends the test with a crash.
class GuardedMemory
{
public:
    GuardedMemory(qsizetype readable, qsizetype size)
    {
#if defined(Q_OS_WIN)
        SYSTEM_INFO system;
        ::GetSystemInfo(&system);
        const qsizetype page = system.dwPageSize;
#else
        const qsizetype page = ::sysconf(_SC_PAGESIZE);
#endif
        const qsizetype open = (readable + page - 1) / page * page;
        length = open + (size - readable + page - 1) / page * page + page;
#if defined(Q_OS_WIN)
        void *pages = ::VirtualAlloc(nullptr, SIZE_T(length), MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
        DWORD previous = 0;
        if (pages && ::VirtualProtect(pages, SIZE_T(open), PAGE_READWRITE, &previous))
            base = static_cast<char *>(pages);
#else
        void *pages = ::mmap(nullptr, size_t(length), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (pages != MAP_FAILED && ::mprotect(pages, size_t(open), PROT_READ | PROT_WRITE) == 0)
            base = static_cast<char *>(pages);
#endif
        // The readable bytes end where the first page that may not be touched begins.
        start = base ? base + open - readable : nullptr;
    }
    ~GuardedMemory()
    {
        if (!base)
            return;
#if defined(Q_OS_WIN)
        ::VirtualFree(base, 0, MEM_RELEASE);
#else
        ::munmap(base, size_t(length));
#endif
    }
    GuardedMemory(const GuardedMemory &) = delete;
    GuardedMemory &operator=(const GuardedMemory &) = delete;

    char *data() const
    {
        return start;
    }

private:
    char *base = nullptr;
    char *start = nullptr;
    qsizetype length = 0;
};

} // namespace

void TestLogRedactor::masksSecrets_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("secrets");
    QTest::addColumn<QStringList>("kept");

    QTest::newRow("login body") << QByteArray(
                                       R"({"email":"a@b.c","password":"hunter2","device_id":"windows_1"})")
                                << QStringList{"hunter2"} << QStringList{"a@b.c", "windows_1"};
    QTest::newRow("registration") << QByteArray(
                                         R"({"password":"p1","password_confirmation":"p2","name":"小明"})")
                                  << QStringList{"p1", "p2"} << QStringList{"小明"};
    QTest::newRow("token at root") << QByteArray(R"({"success":true,"token":"eyJ.abc.def","data":{"id":1}})")
                                   << QStringList{"eyJ.abc.def"} << QStringList{"\"id\":1"};
    QTest::newRow("config items")
        << QByteArray(
               R"({"data":[{"key":"vpn_encrypt_key","value":"pass-phrase"},{"key":"api_secret_key","value":"s3cr3t"},{"key":"site_name","value":"Mirevo"}]})")
        << QStringList{"pass-phrase", "s3cr3t"} << QStringList{"Mirevo"};
    QTest::newRow("config as object")
        << QByteArray(R"({"data":{"vpn_encrypt_key":"pp","api_secret_key":"ss"}})")
        << QStringList{"\"pp\"", "\"ss\""} << QStringList{};
    QTest::newRow("links in a server list")
        << QByteArray(R"({"data":[{"id":1,"name":"香港","vmess_link":"vmess://eyJhZGQiOiIxLjIuMy40In0="}]})")
        << QStringList{"eyJhZGQiOiIxLjIuMy40In0="} << QStringList{"香港"};
    QTest::newRow("not JSON") << QByteArray(R"(<html>{"token":"abc123","password": "pw\"x"}</html>)")
                              << QStringList{"abc123", "pw"} << QStringList{"<html>"};
    QTest::newRow("cut-off JSON") << QByteArray(R"({"token":"abcdef)") << QStringList{"abcdef"}
                                  << QStringList{};
    QTest::newRow("cut-off config item") << QByteArray(R"([{"key":"vpn_encrypt_key","value":"abcdef)")
                                         << QStringList{"abcdef"} << QStringList{"vpn_encrypt_key"};
    // The configuration as the service sends it: items keyed by name, each value in its "value".
    QTest::newRow("config items keyed by name")
        << QByteArray(R"({"success":true,"data":{"api_secret_key":{"name":"响应签名密钥","type":"string",)"
                      R"("value":"sig-SECRET"},"vpn_encrypt_key":{"type":"string","value":"link-SECRET"},)"
                      R"("site_name":{"type":"string","value":"Mirevo"}}})")
        << QStringList{"SECRET"} << QStringList{"响应签名密钥", "Mirevo", "api_secret_key"};
    QTest::newRow("config items keyed by name, cut off")
        << QByteArray(
               R"({"data":{"app_name":{"value":"Mirevo"},"api_secret_key":{"type":"string","value":"sig-SEC)")
        << QStringList{"sig-SEC"} << QStringList{"Mirevo"};
    QTest::newRow("list item with the value first")
        << QByteArray(
               R"({"data":[{"value":"first-SECRET","key":"api_secret_key"},{"value":"kept","key":"x"}]})")
        << QStringList{"SECRET"} << QStringList{"kept"};
    QTest::newRow("list item named, value first, cut before its name")
        << QByteArray(
               R"([{"value":"kept","key":"site_name"},{"type":"string","value":"cut-SECRET","key":"vpn_enc)")
        << QStringList{"cut-SECRET"} << QStringList{"kept"};
    QTest::newRow("list item named by name")
        << QByteArray(R"([{"name":"vpn_encrypt_key","value":"named-SECRET"}])") << QStringList{"SECRET"}
        << QStringList{};
    QTest::newRow("deep and pretty printed")
        << QByteArray(
               "{\n  \"a\": {\"b\": [ {\"c\": {\"api_secret_key\" :\n {\"value\" : \"deep-SECRET\"}}} ]},\n"
               "  \"vmess_link\":\t\"vmess://link-SECRET\"\n}")
        << QStringList{"SECRET"} << QStringList{"\"a\""};
    QTest::newRow("values that are not text")
        << QByteArray(R"({"token":987654321,"api_secret_key":{"type":"json","value":{"k":"obj-SECRET"}},)"
                      R"("password":["list-SECRET"],"vpn_encrypt_key":{"type":"number","value":1234567}})")
        << QStringList{"987654321", "SECRET", "1234567"} << QStringList{};
    QTest::newRow("escaped quotes inside a secret")
        << QByteArray(R"({"password":"a\"b-SECRET\\","next":"kept"})") << QStringList{"SECRET"}
        << QStringList{"kept"};
    // An envelope the client did not open carries a whole body, token and all, in Base64.
    QTest::newRow("signed envelope")
        << QByteArray(R"({"data":"eyJ0b2tlbiI6InRvay0xMjMifQ==","encrypted":true,"signature":"0cc175b9"})")
        << QStringList{"eyJ0b2tlbiI6InRvay0xMjMifQ"} << QStringList{"0cc175b9"};
    QTest::newRow("signed envelope cut off") << QByteArray(R"({"data":"eyJ0b2tlbiI6InRvay0xMjMifQ==","encry)")
                                             << QStringList{"eyJ0b2tlbiI6InRvay0xMjMifQ"} << QStringList{};
    QTest::newRow("signed envelope cut inside its true")
        << QByteArray("{\"data\":\"2222==\",\"encrypted\"\t:\tt") << QStringList{"2222"} << QStringList{};
    QTest::newRow("data that is no envelope")
        << QByteArray(R"({"data":"plain text","encrypted":false,"more":{"data":"kept too"}})")
        << QStringList{} << QStringList{"plain text", "kept too"};
    // An excerpt of the middle of a body: no container opens before the secret.
    QTest::newRow("body cut before its start")
        << QByteArray(R"(ame":"x","token" : "mid-SECRET","password":"cut-SECRET\"ed","id":2})")
        << QStringList{"SECRET", "ed\""} << QStringList{"\"id\":2", "\"token\" : \"***\""};
    QTest::newRow("page with a stray quote before the JSON")
        << QByteArray(R"(<p>it"s down</p>{"data":{"api_secret_key":{"value":"html-SECRET"}}}</p>)")
        << QStringList{"SECRET"} << QStringList{"it\"s down"};
}

void TestLogRedactor::masksSecrets()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, secrets);
    QFETCH(QStringList, kept);
    const QString text = LogRedactor::redact(body);
    for (const QString &secret : secrets)
        QVERIFY2(!text.contains(secret), qPrintable(text));
    for (const QString &value : kept)
        QVERIFY2(text.contains(value), qPrintable(text));
}

void TestLogRedactor::excerptIsLimited()
{
    // The token's value straddles the cut: masking must happen before cutting, or its head leaks.
    const QByteArray body =
        "{\"padding\":\"" + QByteArray(470, 'x') + "\",\"token\":\"" + QByteArray(40, 't') + "\"}";
    const QString excerpt = LogRedactor::excerpt(body);
    QVERIFY(excerpt.size() <= LogRedactor::excerptLength);
    QVERIFY2(!excerpt.contains(QStringLiteral("tttt")), qPrintable(excerpt));

    const QByteArray longBody = "{\"content\":\"" + QByteArray(2000, 'y') + "\"}";
    QCOMPARE(LogRedactor::excerpt(longBody).size(), LogRedactor::excerptLength);
}

void TestLogRedactor::excerptOfALargeBody_data()
{
    QTest::addColumn<QByteArray>("open"); // the body's start, before the filling text
    QTest::addColumn<QString>("fill");    // one character, repeated up to just before the excerpt's edge
    QTest::addColumn<QByteArray>("lead"); // what comes between the filling and the secret
    QTest::addColumn<QByteArray>("close");

    QTest::newRow("token") << QByteArray(R"({"message":")") << "a" << QByteArray(R"(","token":")")
                           << QByteArray(R"(")");
    QTest::newRow("item value, named after the edge")
        << QByteArray(R"({"message":")") << "a" << QByteArray(R"(","items":[{"type":"string","value":")")
        << QByteArray(R"(","key":"vpn_encrypt_key"}])");
    QTest::newRow("envelope data, marked after the edge")
        << QByteArray(R"({"signature":")") << "a" << QByteArray(R"(","data":")")
        << QByteArray(R"(","encrypted":true)");
    // The edge counts characters, not bytes: the Chinese text before the secret is three times as long.
    QTest::newRow("password after Chinese text")
        << QByteArray(R"({"message":")") << "中" << QByteArray(R"(","password":")") << QByteArray(R"(")");
    // The edge cuts a value that only one of the two ways of finding secrets sees: a text in a list is
    // found by reading the JSON alone, a member of a page that is no JSON by its plain shape alone.
    QTest::newRow("token in a list") << QByteArray(R"({"message":")") << "a" << QByteArray(R"(","token":[")")
                                     << QByteArray(R"("])");
    QTest::newRow("password in a page that is no JSON")
        << QByteArray("<p>") << "a" << QByteArray(R"( "password":")") << QByteArray(R"("</p>)");
}

// A reply of megabytes (a long server list, say) is logged by its head only: the head is masked, a secret
// that straddles its edge included, and nothing after the head is read. The body's bytes beyond its head
// (and the character after it) lie in memory that may not be touched.
void TestLogRedactor::excerptOfALargeBody()
{
    QFETCH(QByteArray, open);
    QFETCH(QString, fill);
    QFETCH(QByteArray, lead);
    QFETCH(QByteArray, close);

    const QByteArray secret = "SECRET-7f3a9c2e5d";
    const qsizetype fillCount = LogRedactor::excerptLength - 10 - open.size() - lead.size();
    const QByteArray head = open + fill.repeated(fillCount).toUtf8() + lead;
    const QByteArray start = head + secret + close + R"(,"servers":[)";
    const qsizetype readable = QString::fromUtf8(start).left(LogRedactor::excerptLength + 1).toUtf8().size();
    const qsizetype size = 4 * 1024 * 1024;
    GuardedMemory memory(readable, size);
    QVERIFY(memory.data());
    std::memcpy(memory.data(), start.constData(), size_t(readable));
    const QByteArray body = QByteArray::fromRawData(memory.data(), size);

    const QString excerpt = LogRedactor::excerpt(body);
    QVERIFY(excerpt.size() <= LogRedactor::excerptLength);
    QVERIFY2(excerpt.startsWith(QString::fromUtf8(head)), qPrintable(excerpt));
    for (qsizetype i = 0; i + 4 <= secret.size(); ++i)
        QVERIFY2(!excerpt.contains(QString::fromLatin1(secret.mid(i, 4))), qPrintable(excerpt));
    QVERIFY2(excerpt.contains(QStringLiteral("***")), qPrintable(excerpt));
}

QTEST_GUILESS_MAIN(TestLogRedactor)
#include "tst_logredactor.moc"
