// What every reply goes through before a service sees it: the signed envelope and ApiResponse's verdict
// and error text. The input is a reply body as it came (with a secret to check envelopes against), and
// the payload of an envelope signed as the service signs it, which must come out exactly, while the same
// envelope with its signature changed must be refused.
#include "FuzzSupport.h"
#include "api/network/ApiResponse.h"
#include "api/network/HttpClient.h"
#include "api/security/CryptoUtil.h"

#include <QJsonDocument>

using Tavorin::Api::Network::ApiResponse;
using Tavorin::Api::Network::HttpClient;
using Tavorin::Api::Security::CryptoUtil;

namespace {

void judge(const QByteArray &body, int status, int networkError)
{
    ApiResponse response;
    response.rawData = body;
    response.statusCode = status;
    response.networkError = networkError;
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (document.isObject())
        response.json = document.object();
    const bool success = response.isSuccess();
    const bool expected = networkError == 0 && status >= 200 && status <= 299 &&
                          response.json.value(QStringLiteral("success")) != QJsonValue(false) &&
                          response.errorMessage.isEmpty();
    if (success != expected)
        Fuzz::fail("isSuccess disagrees with its rule", QString::fromUtf8(body));
    response.getErrors();
    response.getErrorMessage();
}

QByteArray envelope(const QString &data, const QString &signature)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("encrypted"), true},
                                     {QStringLiteral("data"), data},
                                     {QStringLiteral("signature"), signature}})
        .toJson(QJsonDocument::Compact);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::Input input(Fuzz::bytes(data, size));
    const int status = 100 + input.byte() * 2;
    const int networkError = input.byte() % 4 == 0 ? input.byte() : 0;
    const QString secret = QString::fromUtf8(input.piece(24));
    const QByteArray body = input.rest();

    bool rejected = false;
    const QByteArray opened = HttpClient::unwrapEncryptedResponse(body, secret, &rejected);
    if (rejected && opened != body)
        Fuzz::fail("a refused envelope is not handed on as it came", QString::fromUtf8(body));
    judge(body, status, networkError);
    judge(opened, status, networkError);

    // The body as the payload of an envelope signed with the secret.
    if (secret.isEmpty() || body.isEmpty())
        return 0;
    const QString payload = QString::fromLatin1(body.toBase64());
    const QString signature = CryptoUtil::md5Hex(payload + secret);
    const QByteArray unwrapped =
        HttpClient::unwrapEncryptedResponse(envelope(payload, signature), secret, &rejected);
    if (rejected || unwrapped != body)
        Fuzz::fail("a signed envelope does not give back its payload", payload);
    QString forged = signature;
    forged[int(body.at(0) & 31)] =
        forged.at(int(body.at(0) & 31)) == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
    const QByteArray refused = envelope(payload, forged);
    if (HttpClient::unwrapEncryptedResponse(refused, secret, &rejected) != refused || !rejected)
        Fuzz::fail("an envelope with a wrong signature is opened", forged);
    return 0;
}
