#pragma once

#include "api/network/ApiResponse.h"

#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

namespace Tavorin::Api::Network {

// The one REST client: builds requests, optionally unwraps the signed envelope, and reports
// expired logins and transport failures by signal.
class HttpClient : public QObject
{
    Q_OBJECT

public:
    // No answer of the service comes near this: the largest, a page of 100 orders or a list of servers,
    // is about 50 KB (some 1 KB per server). A reply beyond it is refused unread.
    static constexpr qint64 maxReplyBytes = 4 * 1024 * 1024;

    static HttpClient *instance();

    void get(const QString &endpoint, const ResponseCallback &completion,
             const QMap<QString, QString> &query = {});
    void getWithoutAuth(const QString &endpoint, const ResponseCallback &completion,
                        const QMap<QString, QString> &query = {});
    void post(const QString &endpoint, const QJsonObject &body, const ResponseCallback &completion);
    void postWithoutAuth(const QString &endpoint, const QJsonObject &body,
                         const ResponseCallback &completion);

    void setAuthToken(const QString &token);
    void clearAuthToken();
    QString getAuthToken() const;
    void setApiEncryption(bool enabled, const QString &secretKey);

    // Seams for tests and the development build: the built-in values come from the build settings.
    void setBaseUrl(const QString &url);
    QString getBaseUrl() const;
    void setTimeoutMs(int milliseconds);

    // Requests sent and not yet answered (their completion not yet run).
    int requestsInFlight() const { return inFlight; }

    QUrl buildUrl(const QString &endpoint, const QMap<QString, QString> &query = {}) const;

    // Whether `value` may go into a request header as it is: visible ASCII only (0x21 to 0x7E). A line
    // break would end the header and start another, or a second request; a blank or a byte beyond ASCII
    // is read differently by every server. Every value from outside (the token above all) is checked with
    // this where it enters the client, so that createRequest can take it as it is.
    static bool isHeaderSafe(const QString &value);

    // The body inside a signed envelope ({"encrypted": true, "data": Base64, "signature": hex}) when its
    // signature holds for `secretKey`; any other body unchanged. `rejected` tells an envelope whose
    // signature does not hold.
    static QByteArray unwrapEncryptedResponse(const QByteArray &body, const QString &secretKey,
                                              bool *rejected);

signals:
    void authenticationRequired();
    void networkError(const QString &errorMessage);
    // The last request in flight has been answered.
    void allRequestsFinished();

private:
    explicit HttpClient(QObject *parent = nullptr);

    struct Transfer;

    QNetworkRequest createRequest(const QUrl &url, bool withAuth) const;
    void send(QNetworkReply *reply, const ResponseCallback &completion);
    void handleReply(QNetworkReply *reply, const Transfer &transfer, const ResponseCallback &completion);
    // The client's own text for a transfer it refused itself (too large, redirected elsewhere); empty
    // for any other, which is reported with Qt's text.
    static QString refusalText(QNetworkReply *reply, const Transfer &transfer);
    // The text of any failed transfer, for the error signal and the response alike: the refusal's, the
    // client's own for a timeout, and Qt's (translated) for everything else, a real cancellation included.
    static QString failureText(QNetworkReply *reply, const Transfer &transfer);

    QNetworkAccessManager *networkManager;
    QString authToken;
    QString baseUrl;
    int timeoutMs = 30000;
    int inFlight = 0;
    bool apiEncryptEnabled = false;
    QString apiSecretKey;
};

} // namespace Tavorin::Api::Network
