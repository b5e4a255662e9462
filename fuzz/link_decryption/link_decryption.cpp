// Decryption of encrypted links: whatever the link text and passphrase, no crash; and a link encrypted
// the way the service does it (AES-256-CBC, key SHA-256 of the passphrase, IV first, Base64) decrypts to
// exactly what was encrypted.
#include "FuzzSupport.h"
#include "api/security/CryptoUtil.h"

#include <QCryptographicHash>

#include <openssl/evp.h>

using Tavorin::Api::Security::CryptoUtil;

namespace {
QByteArray encrypt(const QByteArray &plain, const QByteArray &key, const QByteArray &iv)
{
    EVP_CIPHER_CTX *context = EVP_CIPHER_CTX_new();
    QByteArray out(plain.size() + 32, Qt::Uninitialized);
    int written = 0;
    int finalWritten = 0;
    auto *target = reinterpret_cast<unsigned char *>(out.data());
    const bool ok =
        EVP_EncryptInit_ex(context, EVP_aes_256_cbc(), nullptr,
                           reinterpret_cast<const unsigned char *>(key.data()),
                           reinterpret_cast<const unsigned char *>(iv.data())) == 1 &&
        EVP_EncryptUpdate(context, target, &written, reinterpret_cast<const unsigned char *>(plain.data()),
                          static_cast<int>(plain.size())) == 1 &&
        EVP_EncryptFinal_ex(context, target + written, &finalWritten) == 1;
    EVP_CIPHER_CTX_free(context);
    if (!ok)
        Fuzz::fail("the test's own encryption failed");
    out.truncate(written + finalWritten);
    return out;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::Input input(Fuzz::bytes(data, size));
    const QString passphrase = QString::fromUtf8(input.piece(40));
    QByteArray iv = input.piece(16).toByteArray();
    iv = iv.leftJustified(16, '\0', true);
    const QByteArray plain = input.rest();

    // Anything at all as link text.
    CryptoUtil::decryptVmessLink(QString::fromUtf8(plain), passphrase);
    CryptoUtil::aesDecrypt(plain, passphrase);

    if (passphrase.isEmpty() || plain.isEmpty())
        return 0;
    const QByteArray key = QCryptographicHash::hash(passphrase.toUtf8(), QCryptographicHash::Sha256);
    const QByteArray sealed = iv + encrypt(plain, key, iv);
    if (CryptoUtil::aesDecrypt(sealed, passphrase) != plain)
        Fuzz::fail("an encrypted link does not decrypt to what was encrypted");
    const QString link = QString::fromLatin1(sealed.toBase64());
    if (CryptoUtil::decryptVmessLink(link, passphrase) != QString::fromUtf8(plain))
        Fuzz::fail("a Base64 link does not decrypt to its text", link);
    return 0;
}
