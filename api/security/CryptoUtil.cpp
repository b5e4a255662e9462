#include "api/security/CryptoUtil.h"

#include "api/security/SystemVolume.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QSysInfo>
#include <QUuid>

// Both branches answer with CryptoAPI's results; the header is plain C++ and needs nothing of Windows.
#include "api/win32/Win32Crypto.h"
#ifndef Q_OS_WIN
#include <openssl/evp.h>
#endif

#include <exception>
#include <memory>

namespace Tavorin::Api::Security {

namespace {
constexpr int ivLength = 16;

using Win32::DecryptResult;

#ifdef Q_OS_WIN
// CryptoAPI, as the client decrypts on Windows.
DecryptResult decrypt(const QByteArray &key, const QByteArray &iv, const QByteArray &ciphertext,
                      QByteArray &plain)
{
    std::string out;
    const DecryptResult result =
        Win32::aes256CbcDecrypt(key.toStdString(), iv.toStdString(), ciphertext.toStdString(), out);
    plain = QByteArray::fromStdString(out);
    return result;
}
#else
// OpenSSL stands in for CryptoAPI here, with the same results and padding rules: a length that is not a
// multiple of 16 or bad PKCS#7 padding fails the final step.
struct CipherContextFree
{
    void operator()(EVP_CIPHER_CTX *context) const { EVP_CIPHER_CTX_free(context); }
};

DecryptResult decrypt(const QByteArray &key, const QByteArray &iv, const QByteArray &ciphertext,
                      QByteArray &plain)
{
    std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> context(EVP_CIPHER_CTX_new());
    if (!context)
        return DecryptResult::NoProvider;
    if (EVP_DecryptInit_ex(context.get(), EVP_aes_256_cbc(), nullptr,
                           reinterpret_cast<const unsigned char *>(key.constData()),
                           reinterpret_cast<const unsigned char *>(iv.constData())) != 1)
        return DecryptResult::KeyRejected;
    QByteArray buffer(ciphertext.size() + ivLength, Qt::Uninitialized);
    int written = 0;
    int finalWritten = 0;
    auto *out = reinterpret_cast<unsigned char *>(buffer.data());
    if (EVP_DecryptUpdate(context.get(), out, &written,
                          reinterpret_cast<const unsigned char *>(ciphertext.constData()),
                          static_cast<int>(ciphertext.size())) != 1 ||
        EVP_DecryptFinal_ex(context.get(), out + written, &finalWritten) != 1)
        return DecryptResult::Rejected;
    buffer.truncate(written + finalWritten);
    plain = buffer;
    return DecryptResult::Decrypted;
}
#endif
} // namespace

DeviceIdInputs DeviceIdInputs::current()
{
    return {QSysInfo::machineHostName(), QSysInfo::productType(), QSysInfo::productVersion(),
            QSysInfo::currentCpuArchitecture(), SystemVolume::serialNumber()};
}

QByteArray CryptoUtil::aesDecrypt(const QByteArray &ivAndCiphertext, const QString &passphrase)
{
    if (ivAndCiphertext.size() <= ivLength) {
        qWarning() << "[CryptoUtil] 加密数据长度无效";
        return {};
    }
    const QByteArray iv = ivAndCiphertext.left(ivLength);
    const QByteArray ciphertext = ivAndCiphertext.mid(ivLength);
    const QByteArray key = QCryptographicHash::hash(passphrase.toUtf8(), QCryptographicHash::Sha256);

    QByteArray plain;
    switch (decrypt(key, iv, ciphertext, plain)) {
    case DecryptResult::Decrypted:
        return plain;
    case DecryptResult::NoProvider:
        qWarning() << "[CryptoUtil] CryptAcquireContext失败";
        break;
    case DecryptResult::KeyRejected:
        qWarning() << "[CryptoUtil] CryptImportKey失败";
        break;
    case DecryptResult::Rejected:
        qWarning() << "[CryptoUtil] CryptDecrypt失败";
        break;
    }
    return {};
}

QString CryptoUtil::decryptVmessLink(const QString &encryptedLink, const QString &passphrase)
{
    if (encryptedLink.isEmpty() || passphrase.isEmpty()) {
        qWarning() << "[CryptoUtil] 解密参数无效";
        return {};
    }
    try {
        const QByteArray data = QByteArray::fromBase64(encryptedLink.toLatin1());
        if (data.isEmpty()) {
            qWarning() << "[CryptoUtil] Base64解码失败";
            return {};
        }
        const QByteArray plain = aesDecrypt(data, passphrase);
        if (plain.isEmpty()) {
            qWarning() << "[CryptoUtil] AES解密失败";
            return {};
        }
        qDebug() << "[CryptoUtil] VMess链接解密成功";
        return QString::fromUtf8(plain);
    } catch (const std::exception &exception) {
        qWarning() << "[CryptoUtil] 解密异常:" << exception.what();
        return {};
    }
}

QString CryptoUtil::generateDeviceId()
{
    return generateDeviceId(DeviceIdInputs::current());
}

QString CryptoUtil::generateDeviceId(const DeviceIdInputs &inputs)
{
    QString text = inputs.hostName + inputs.productType + inputs.productVersion + inputs.cpuArchitecture;
    if (inputs.volumeSerial)
        text += QString::number(*inputs.volumeSerial);
    // Too little to tell machines apart: make this id unique at least.
    if (text.size() < 32)
        text += QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString id = QStringLiteral("windows_") + md5Hex(text);
    qDebug().noquote() << "[CryptoUtil] 生成设备ID:" << id;
    return id;
}

QString CryptoUtil::md5Hex(const QString &text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
}

} // namespace Tavorin::Api::Security
