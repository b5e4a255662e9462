#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace MirevoDev {

// The two forms of a server's link: "vmess://" + Base64 of the link JSON, and the encrypted form
// Base64(IV ‖ AES-256-CBC(PKCS#7) of the plain link) with the key SHA-256(passphrase).
class VmessLinkBuilder
{
public:
    // The link JSON from a description with address/port/id/aid/net/path/host/tls/sni (and scy/type/ps);
    // every value is written as a string, as the links of the service always carry them.
    static QJsonObject linkJson(const QJsonObject &vmess, const QString &remarks);
    static QString plainLink(const QJsonObject &linkJson);
    // Empty when the passphrase is empty or the cipher fails.
    static QString encryptLink(const QString &plainLink, const QString &passphrase);
    static QByteArray aesEncrypt(const QByteArray &plain, const QByteArray &key, const QByteArray &iv);
};

} // namespace MirevoDev
