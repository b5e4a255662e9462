#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace Tavorin::Api::Security {

// What the device id is derived from; separate so that the derivation can be checked exactly.
struct DeviceIdInputs
{
    QString hostName;
    QString productType;
    QString productVersion;
    QString cpuArchitecture;
    std::optional<quint32> volumeSerial;

    static DeviceIdInputs current();
};

class CryptoUtil
{
public:
    // AES-256-CBC with PKCS#7 padding; the first 16 bytes are the IV, the key is SHA-256(passphrase).
    static QByteArray aesDecrypt(const QByteArray &ivAndCiphertext, const QString &passphrase);
    static QString decryptVmessLink(const QString &encryptedLink, const QString &passphrase);
    static QString generateDeviceId();
    static QString generateDeviceId(const DeviceIdInputs &inputs);
    static QString md5Hex(const QString &text);
};

} // namespace Tavorin::Api::Security
