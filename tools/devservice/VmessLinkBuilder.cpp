#include "VmessLinkBuilder.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QRandomGenerator>

#include <openssl/evp.h>

#include <memory>

namespace MirevoDev {

namespace {
QString textOf(const QJsonValue &value, const QString &fallback)
{
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        return QString::number(value.toInteger());
    if (value.isBool())
        return value.toBool() ? QStringLiteral("tls") : QString();
    return fallback;
}
} // namespace

QJsonObject VmessLinkBuilder::linkJson(const QJsonObject &vmess, const QString &remarks)
{
    QJsonObject link;
    link.insert(QStringLiteral("v"), QStringLiteral("2"));
    link.insert(QStringLiteral("ps"), textOf(vmess.value(QStringLiteral("ps")), remarks));
    link.insert(QStringLiteral("add"), textOf(vmess.value(QStringLiteral("address")), QString()));
    link.insert(QStringLiteral("port"), textOf(vmess.value(QStringLiteral("port")), QStringLiteral("443")));
    link.insert(QStringLiteral("id"), textOf(vmess.value(QStringLiteral("id")), QString()));
    link.insert(QStringLiteral("aid"), textOf(vmess.value(QStringLiteral("aid")), QStringLiteral("0")));
    link.insert(QStringLiteral("scy"), textOf(vmess.value(QStringLiteral("scy")), QStringLiteral("auto")));
    link.insert(QStringLiteral("net"), textOf(vmess.value(QStringLiteral("net")), QStringLiteral("tcp")));
    link.insert(QStringLiteral("type"), textOf(vmess.value(QStringLiteral("type")), QStringLiteral("none")));
    link.insert(QStringLiteral("host"), textOf(vmess.value(QStringLiteral("host")), QString()));
    link.insert(QStringLiteral("path"), textOf(vmess.value(QStringLiteral("path")), QString()));
    link.insert(QStringLiteral("tls"), textOf(vmess.value(QStringLiteral("tls")), QString()));
    link.insert(QStringLiteral("sni"), textOf(vmess.value(QStringLiteral("sni")), QString()));
    return link;
}

QString VmessLinkBuilder::plainLink(const QJsonObject &linkJson)
{
    const QByteArray json = QJsonDocument(linkJson).toJson(QJsonDocument::Compact);
    return QStringLiteral("vmess://") + QString::fromLatin1(json.toBase64());
}

QString VmessLinkBuilder::encryptLink(const QString &plainLink, const QString &passphrase)
{
    if (passphrase.isEmpty())
        return {};
    const QByteArray key = QCryptographicHash::hash(passphrase.toUtf8(), QCryptographicHash::Sha256);
    QByteArray iv(16, Qt::Uninitialized);
    for (char &byte : iv)
        byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
    const QByteArray cipher = aesEncrypt(plainLink.toUtf8(), key, iv);
    if (cipher.isEmpty())
        return {};
    return QString::fromLatin1((iv + cipher).toBase64());
}

QByteArray VmessLinkBuilder::aesEncrypt(const QByteArray &plain, const QByteArray &key, const QByteArray &iv)
{
    if (key.size() != 32 || iv.size() != 16)
        return {};
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(),
                                                                            &EVP_CIPHER_CTX_free);
    if (!context)
        return {};
    const auto *keyBytes = reinterpret_cast<const unsigned char *>(key.constData());
    const auto *ivBytes = reinterpret_cast<const unsigned char *>(iv.constData());
    if (EVP_EncryptInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, keyBytes, ivBytes) != 1)
        return {};
    QByteArray out(plain.size() + 16, Qt::Uninitialized);
    int written = 0;
    int finalWritten = 0;
    auto *outBytes = reinterpret_cast<unsigned char *>(out.data());
    if (EVP_EncryptUpdate(context.get(), outBytes, &written,
                          reinterpret_cast<const unsigned char *>(plain.constData()),
                          static_cast<int>(plain.size())) != 1)
        return {};
    if (EVP_EncryptFinal_ex(context.get(), outBytes + written, &finalWritten) != 1)
        return {};
    out.resize(written + finalWritten);
    return out;
}

} // namespace MirevoDev
