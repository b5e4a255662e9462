#include "api/network/HttpClient.h"

#include "BuildConfig.h"
#include "api/network/LogRedactor.h"
#include "api/security/CryptoUtil.h"

#include <QDebug>
#include <QJsonDocument>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrlQuery>

#include <algorithm>
#include <memory>

namespace Tavorin::Api::Network {

namespace {

QJsonObject parseObject(const QByteArray &body, bool *notAnObject)
{
    *notAnObject = false;
    if (body.isEmpty())
        return {};
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        *notAnObject = true;
        return {};
    }
    return document.object();
}

QString errorName(QNetworkReply::NetworkError code)
{
    const char *name = QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(code);
    return name ? QString::fromLatin1(name) : QString::number(code);
}

const QString redirectRefused = QStringLiteral("服务器重定向到其他地址，已拒绝");
const QString replyTooLarge = QStringLiteral("响应数据过大");
const QString timedOut = QStringLiteral("请求超时");

} // namespace

// What one reply has delivered so far.
struct HttpClient::Transfer
{
    QByteArray body;
    bool tooLarge = false;
    bool timedOut = false;

    // Reads what has arrived, one byte past the limit at most; false once the body is beyond it, which
    // drops the body.
    bool take(QNetworkReply *reply)
    {
        if (!tooLarge) {
            body.append(reply->read(maxReplyBytes - body.size() + 1));
            tooLarge = body.size() > maxReplyBytes;
        }
        if (tooLarge)
            body.clear();
        return !tooLarge;
    }
};

HttpClient *HttpClient::instance()
{
    static HttpClient *client = new HttpClient();
    return client;
}

HttpClient::HttpClient(QObject *parent)
    : QObject(parent), networkManager(new QNetworkAccessManager(this)),
      baseUrl(BuildConfig::apiBaseUrl())
{}

void HttpClient::get(const QString &endpoint, const ResponseCallback &completion,
                     const QMap<QString, QString> &query)
{
    const QUrl url = buildUrl(endpoint, query);
    qDebug().noquote() << "[HttpClient] GET请求:" << url.toString();
    send(networkManager->get(createRequest(url, true)), completion);
}

void HttpClient::getWithoutAuth(const QString &endpoint, const ResponseCallback &completion,
                                const QMap<QString, QString> &query)
{
    const QUrl url = buildUrl(endpoint, query);
    qDebug().noquote() << "[HttpClient] GET请求(无认证):" << url.toString();
    send(networkManager->get(createRequest(url, false)), completion);
}

void HttpClient::post(const QString &endpoint, const QJsonObject &body, const ResponseCallback &completion)
{
    const QUrl url = buildUrl(endpoint);
    const QByteArray data = QJsonDocument(body).toJson(QJsonDocument::Compact);
    qDebug().noquote() << "[HttpClient] POST请求:" << url.toString();
    qDebug().noquote() << "[HttpClient] 请求体:" << LogRedactor::excerpt(data);
    send(networkManager->post(createRequest(url, true), data), completion);
}

void HttpClient::postWithoutAuth(const QString &endpoint, const QJsonObject &body,
                                 const ResponseCallback &completion)
{
    const QUrl url = buildUrl(endpoint);
    qDebug().noquote() << "[HttpClient] POST请求(无认证):" << url.toString();
    send(networkManager->post(createRequest(url, false), QJsonDocument(body).toJson(QJsonDocument::Compact)),
         completion);
}

void HttpClient::setAuthToken(const QString &token)
{
    authToken = token;
    qDebug() << "[HttpClient] 设置认证Token";
}

void HttpClient::clearAuthToken()
{
    authToken.clear();
    qDebug() << "[HttpClient] 清除认证Token";
}

QString HttpClient::getAuthToken() const
{
    return authToken;
}

void HttpClient::setApiEncryption(bool enabled, const QString &secretKey)
{
    apiEncryptEnabled = enabled;
    apiSecretKey = secretKey;
    qDebug().noquote() << "[HttpClient] API加密:" << (enabled ? "已启用" : "已禁用");
}

void HttpClient::setBaseUrl(const QString &url)
{
    baseUrl = url;
}

QString HttpClient::getBaseUrl() const
{
    return baseUrl;
}

void HttpClient::setTimeoutMs(int milliseconds)
{
    timeoutMs = milliseconds;
}

QUrl HttpClient::buildUrl(const QString &endpoint, const QMap<QString, QString> &query) const
{
    QString text = baseUrl;
    if (!text.endsWith(QLatin1Char('/')))
        text += QLatin1Char('/');
    text += endpoint.startsWith(QLatin1Char('/')) ? endpoint.mid(1) : endpoint;
    QUrl url(text, QUrl::TolerantMode);
    if (!query.isEmpty()) {
        QUrlQuery items;
        for (auto it = query.begin(); it != query.end(); ++it)
            items.addQueryItem(it.key(), it.value());
        url.setQuery(items);
    }
    return url;
}

bool HttpClient::isHeaderSafe(const QString &value)
{
    return std::all_of(value.begin(), value.end(),
                       [](QChar c) { return c.unicode() >= 0x21 && c.unicode() <= 0x7E; });
}

QNetworkRequest HttpClient::createRequest(const QUrl &url, bool withAuth) const
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setRawHeader("Accept", "application/json");
    request.setRawHeader("X-Device-Type", "windows");
    request.setRawHeader("X-App-Version", "1.0.0");
    // The token passed isHeaderSafe where it came in: at sign-in, registration or from the settings file.
    if (withAuth && !authToken.isEmpty())
        request.setRawHeader("Authorization", QStringLiteral("Bearer %1").arg(authToken).toUtf8());
    // The body (a password) and the token go nowhere but where they were sent: a redirect is followed
    // only within the same scheme, host and port.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    return request;
}

QString HttpClient::refusalText(QNetworkReply *reply, const Transfer &transfer)
{
    if (transfer.tooLarge)
        return replyTooLarge;
    if (reply->error() == QNetworkReply::InsecureRedirectError)
        return redirectRefused;
    return {};
}

QString HttpClient::failureText(QNetworkReply *reply, const Transfer &transfer)
{
    if (const QString refusal = refusalText(reply, transfer); !refusal.isEmpty())
        return refusal;
    return transfer.timedOut ? timedOut : reply->errorString();
}

void HttpClient::send(QNetworkReply *reply, const ResponseCallback &completion)
{
    // The body is collected as it arrives: an aborted transfer (the timeout) discards what the reply
    // still buffers, and the part that did arrive belongs to the response. Neither Qt's buffer nor
    // ours ever holds more than the limit.
    reply->setReadBufferSize(maxReplyBytes);
    ++inFlight;
    auto transfer = std::make_shared<Transfer>();
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply, transfer]() {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maxReplyBytes) {
            transfer->tooLarge = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::readyRead, this, [reply, transfer]() {
        if (!transfer->take(reply))
            reply->abort();
    });
    // The transfer timeout is the client's own: Qt ends a transfer that timed out exactly as one that was
    // cancelled, and the user must not be told that they cancelled it. Any data moving restarts it.
    if (timeoutMs > 0) {
        auto *idle = new QTimer(reply);
        idle->setSingleShot(true);
        idle->setInterval(timeoutMs);
        connect(idle, &QTimer::timeout, reply, [reply, transfer]() {
            transfer->timedOut = true;
            reply->abort();
        });
        const auto moved = [idle]() { idle->start(); };
        connect(reply, &QNetworkReply::metaDataChanged, idle, moved);
        connect(reply, &QNetworkReply::downloadProgress, idle, moved);
        connect(reply, &QNetworkReply::uploadProgress, idle, moved);
        connect(reply, &QNetworkReply::finished, idle, &QTimer::stop);
        idle->start();
    }
    connect(reply, &QNetworkReply::finished, this, [this, reply, transfer, completion]() {
        transfer->take(reply);
        handleReply(reply, *transfer, completion);
        // Counted as done once its completion has run: whoever waits for quiet (leaving the client)
        // waits for what the answers set off as well.
        if (--inFlight == 0)
            emit allRequestsFinished();
    });
    connect(reply, &QNetworkReply::errorOccurred, this,
            [this, reply, transfer](QNetworkReply::NetworkError code) {
                if (code == QNetworkReply::NoError)
                    return;
                const QString text = failureText(reply, *transfer);
                qWarning().noquote() << "[HttpClient] 网络错误:" << errorName(code) << text;
                emit networkError(text);
            });
}

void HttpClient::handleReply(QNetworkReply *reply, const Transfer &transfer,
                             const ResponseCallback &completion)
{
    ApiResponse response;
    QByteArray body = transfer.body;
    bool notAnObject = false;
    if (const QString refusal = refusalText(reply, transfer); !refusal.isEmpty()) {
        // Refused before its body was read: no reply at all as far as the services are concerned.
        qWarning().noquote() << "[HttpClient] 请求失败:" << refusal;
        response.networkError =
            reply->error() != QNetworkReply::NoError ? reply->error() : QNetworkReply::OperationCanceledError;
        response.errorMessage = refusal;
    } else if (reply->error() != QNetworkReply::NoError) {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QString text = failureText(reply, transfer);
        qWarning().noquote() << "[HttpClient] 请求失败, HTTP状态码:" << status;
        qWarning().noquote() << "[HttpClient] 错误:" << text;
        qWarning().noquote() << "[HttpClient] 响应数据:" << LogRedactor::excerpt(body);
        if (status > 0) {
            response.rawData = body;
            response.statusCode = status;
            response.json = parseObject(body, &notAnObject);
            // An HTTP error status is the whole story; a transfer that broke off after a good
            // status line is a transport failure and must not pass for a success.
            if (status < 400) {
                response.networkError = reply->error();
                response.errorMessage = text;
            }
        } else {
            response.networkError = reply->error();
            response.errorMessage = text;
        }
    } else {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        bool rejected = false;
        if (apiEncryptEnabled && !apiSecretKey.isEmpty())
            body = unwrapEncryptedResponse(body, apiSecretKey, &rejected);
        response.statusCode = status;
        if (rejected) {
            response.errorMessage = QStringLiteral("响应签名验证失败");
        } else {
            response.rawData = body;
            response.json = parseObject(body, &notAnObject);
            if (notAnObject)
                response.errorMessage = QStringLiteral("响应数据格式错误");
        }
        qDebug().noquote() << "[HttpClient] 响应成功, HTTP状态码:" << status;
        // A rejected envelope is not logged: its data member is the Base64 of the real body.
        if (rejected)
            qDebug().noquote() << "[HttpClient] 响应数据:" << body.size() << "字节 (签名无效)";
        else
            qDebug().noquote() << "[HttpClient] 响应数据:" << LogRedactor::excerpt(body);
    }

    if (response.statusCode == 401) {
        qWarning() << "[HttpClient] Token无效，需要重新登录";
        emit authenticationRequired();
    }
    if (completion)
        completion(response);
    reply->deleteLater();
}

QByteArray HttpClient::unwrapEncryptedResponse(const QByteArray &body, const QString &secretKey,
                                               bool *rejected)
{
    *rejected = false;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return body;
    const QJsonObject envelope = document.object();
    const QJsonValue encrypted = envelope.value(QStringLiteral("encrypted"));
    if (!encrypted.isBool() || !encrypted.toBool())
        return body;
    const QString data = envelope.value(QStringLiteral("data")).toString();
    const QString signature = envelope.value(QStringLiteral("signature")).toString();
    if (data.isEmpty())
        return body;
    if (signature == Security::CryptoUtil::md5Hex(data + secretKey)) {
        qDebug() << "[HttpClient] API响应解密成功";
        return QByteArray::fromBase64(data.toUtf8());
    }
    qWarning() << "[HttpClient] API响应签名验证失败";
    *rejected = true;
    return body;
}

} // namespace Tavorin::Api::Network
