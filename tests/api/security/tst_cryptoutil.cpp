#include "api/security/CryptoUtil.h"

#include "LogCapture.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <openssl/evp.h>

using Tavorin::Api::Security::CryptoUtil;
using Tavorin::Api::Security::DeviceIdInputs;

namespace {

// Encrypts the way the service does: Base64(IV || AES-256-CBC(PKCS#7)), key = SHA-256(passphrase).
QString encryptLink(const QString &plain, const QString &passphrase, QByteArray iv = {})
{
    if (iv.isEmpty()) {
        iv.resize(16);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(iv.data()), 4);
    }
    const QByteArray key = QCryptographicHash::hash(passphrase.toUtf8(), QCryptographicHash::Sha256);
    const QByteArray input = plain.toUtf8();
    QByteArray out(input.size() + 32, Qt::Uninitialized);
    int written = 0;
    int last = 0;
    EVP_CIPHER_CTX *context = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(context, EVP_aes_256_cbc(), nullptr,
                       reinterpret_cast<const unsigned char *>(key.constData()),
                       reinterpret_cast<const unsigned char *>(iv.constData()));
    EVP_EncryptUpdate(context, reinterpret_cast<unsigned char *>(out.data()), &written,
                      reinterpret_cast<const unsigned char *>(input.constData()),
                      static_cast<int>(input.size()));
    EVP_EncryptFinal_ex(context, reinterpret_cast<unsigned char *>(out.data()) + written, &last);
    EVP_CIPHER_CTX_free(context);
    out.truncate(written + last);
    return QString::fromLatin1((iv + out).toBase64());
}

} // namespace

class TestCryptoUtil : public QObject
{
    Q_OBJECT

private slots:
    void linkVectors_data();
    void linkVectors();
    void roundTrip_data();
    void roundTrip();
    void rejects_data();
    void rejects();
    void deviceId_data();
    void deviceId();
    void deviceIdOfThisMachineIsStable();
    void md5Hex_data();
    void md5Hex();
};

void TestCryptoUtil::linkVectors_data()
{
    // The same table the Windows check decrypts through CryptoAPI (scripts/check-windows).
    QTest::addColumn<QString>("passphrase");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("ivAndCiphertext");
    QTest::addColumn<bool>("plain");
    QTest::addColumn<QString>("text");

    QFile file(QStringLiteral(MIREVO_LINK_VECTORS));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    int rows = 0;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> fields = line.split('\t');
        QVERIFY2(fields.size() == 7 || (fields.size() == 6 && fields[5] == "rejected"), line.constData());
        QVERIFY2(fields[5] == "plain" || fields[5] == "rejected", line.constData());
        QTest::newRow(fields[0].constData()) << QString::fromUtf8(fields[1]) << QByteArray::fromHex(fields[2])
                                             << QByteArray::fromHex(fields[3] + fields[4])
                                             << (fields[5] == "plain") << QString::fromUtf8(fields.value(6));
        ++rows;
    }
    QVERIFY(rows > 0);
}

void TestCryptoUtil::linkVectors()
{
    QFETCH(QString, passphrase);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, ivAndCiphertext);
    QFETCH(bool, plain);
    QFETCH(QString, text);
    // The Windows check takes the key from the table: it must be the one the passphrase gives.
    QCOMPARE(QCryptographicHash::hash(passphrase.toUtf8(), QCryptographicHash::Sha256).toHex(), key.toHex());
    LogCapture log;
    const QString link = QString::fromLatin1(ivAndCiphertext.toBase64());
    QCOMPARE(CryptoUtil::decryptVmessLink(link, passphrase), text);
    if (plain)
        QCOMPARE(log.lines(), QStringList{"[CryptoUtil] VMess链接解密成功"});
    else
        QCOMPARE(log.lines(), (QStringList{"[CryptoUtil] CryptDecrypt失败", "[CryptoUtil] AES解密失败"}));
}

void TestCryptoUtil::roundTrip_data()
{
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("passphrase");
    QTest::newRow("ascii") << "vmess://eyJhZGQiOiIxLjIuMy40In0="
                           << "secret";
    QTest::newRow("exactly one block") << "vmess://0123456"
                                       << "k";
    QTest::newRow("chinese remarks") << "vmess://{\"ps\":\"香港 IPLC 专线\"}"
                                     << "密钥短语";
    QTest::newRow("emoji remarks") << "vmess://{\"ps\":\"🇯🇵 东京 01\"}"
                                   << "p@ss word";
    QTest::newRow("long link") << QString("vmess://") + QString(600, QLatin1Char('x')) << "k2";
}

void TestCryptoUtil::roundTrip()
{
    QFETCH(QString, plain);
    QFETCH(QString, passphrase);
    QCOMPARE(CryptoUtil::decryptVmessLink(encryptLink(plain, passphrase), passphrase), plain);
}

void TestCryptoUtil::rejects_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("passphrase");
    QTest::addColumn<QStringList>("warnings");

    const QString sixteenBytes = QString::fromLatin1(QByteArray(16, 'a').toBase64());
    const QString notBlockAligned = QString::fromLatin1(QByteArray(16 + 20, 'a').toBase64());
    // With this IV and key the last block of the wrong key's output never has valid padding.
    const QString otherKey = encryptLink(QStringLiteral("vmess://abc"), QStringLiteral("right"),
                                         QByteArray::fromHex("000102030405060708090a0b0c0d0e0f"));

    QTest::newRow("empty passphrase")
        << encryptLink("vmess://x", "k") << QString() << QStringList{"[CryptoUtil] 解密参数无效"};
    QTest::newRow("empty link") << QString() << "k" << QStringList{"[CryptoUtil] 解密参数无效"};
    QTest::newRow("nothing Base64 in it") << "!!!!"
                                          << "k" << QStringList{"[CryptoUtil] Base64解码失败"};
    QTest::newRow("only an IV") << sixteenBytes << "k"
                                << QStringList{"[CryptoUtil] 加密数据长度无效", "[CryptoUtil] AES解密失败"};
    QTest::newRow("length not a multiple of 16")
        << notBlockAligned << "k" << QStringList{"[CryptoUtil] CryptDecrypt失败", "[CryptoUtil] AES解密失败"};
    QTest::newRow("another passphrase")
        << otherKey << "wrong" << QStringList{"[CryptoUtil] CryptDecrypt失败", "[CryptoUtil] AES解密失败"};
}

void TestCryptoUtil::rejects()
{
    QFETCH(QString, link);
    QFETCH(QString, passphrase);
    QFETCH(QStringList, warnings);
    LogCapture log;
    QVERIFY(CryptoUtil::decryptVmessLink(link, passphrase).isEmpty());
    QCOMPARE(log.lines(), warnings);
}

void TestCryptoUtil::deviceId_data()
{
    QTest::addColumn<QString>("hostName");
    QTest::addColumn<int>("serial"); // -1: no volume
    QTest::addColumn<bool>("stable");
    QTest::addColumn<QString>("hashedText");

    // 2 + 7 ("windows") + 2 + 6 + 10 = 27 characters: too short, a random UUID is mixed in.
    QTest::newRow("short host, ten-digit serial") << "ab" << 1234567890 << false << QString();
    // 15 + 7 + 2 + 6 + 10 = 40 characters: stable.
    QTest::newRow("fifteen-character host")
        << "desktop-123abcd" << 1234567890 << true << "desktop-123abcdwindows10x86_641234567890";
    // Without a volume the serial is simply missing: 15 + 15 = 30, so a UUID joins it.
    QTest::newRow("no volume, short") << "desktop-123abcd" << -1 << false << QString();
    QTest::newRow("no volume, long host")
        << "workstation-0123456789" << -1 << true << "workstation-0123456789windows10x86_64";
}

void TestCryptoUtil::deviceId()
{
    QFETCH(QString, hostName);
    QFETCH(int, serial);
    QFETCH(bool, stable);
    QFETCH(QString, hashedText);

    DeviceIdInputs inputs{hostName, QStringLiteral("windows"), QStringLiteral("10"), QStringLiteral("x86_64"),
                          serial < 0 ? std::nullopt : std::optional<quint32>(quint32(serial))};
    const QString first = CryptoUtil::generateDeviceId(inputs);
    const QString second = CryptoUtil::generateDeviceId(inputs);
    QVERIFY(QRegularExpression(QStringLiteral("^windows_[0-9a-f]{32}$")).match(first).hasMatch());
    QCOMPARE(first == second, stable);
    if (stable)
        QCOMPARE(first, QStringLiteral("windows_") + CryptoUtil::md5Hex(hashedText));
}

void TestCryptoUtil::deviceIdOfThisMachineIsStable()
{
    // This machine has a host name and a root volume, so its id must not change between calls.
    const DeviceIdInputs inputs = DeviceIdInputs::current();
    QVERIFY(inputs.volumeSerial.has_value());
    if (QString(inputs.hostName + inputs.productType + inputs.productVersion + inputs.cpuArchitecture +
                QString::number(*inputs.volumeSerial))
            .size() >= 32)
        QCOMPARE(CryptoUtil::generateDeviceId(), CryptoUtil::generateDeviceId());
}

void TestCryptoUtil::md5Hex_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hex");
    QTest::newRow("zero bytes") << QString() << "d41d8cd98f00b204e9800998ecf8427e";
    QTest::newRow("ascii") << "abc"
                           << "900150983cd24fb0d6963f7d28e17f72";
    QTest::newRow("utf-8 of chinese") << "中文"
                                      << "a7bac2239fcdcb3a067903d8077c4a07";
}

void TestCryptoUtil::md5Hex()
{
    QFETCH(QString, text);
    QTEST(CryptoUtil::md5Hex(text), "hex");
}

QTEST_GUILESS_MAIN(TestCryptoUtil)
#include "tst_cryptoutil.moc"
