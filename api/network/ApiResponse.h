#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

namespace Tavorin::Api::Network {

// One finished request as the services see it.
struct ApiResponse
{
    QByteArray rawData;
    int statusCode = 0;
    QJsonObject json;
    int networkError = 0;
    // Empty unless something other than the HTTP status went wrong: the transfer itself failed,
    // the body is not a JSON object, or a signed envelope did not verify.
    QString errorMessage;

    bool isSuccess() const;
    QMap<QString, QStringList> getErrors() const;
    QString getErrorMessage() const;
};

using ResponseCallback = std::function<void(const ApiResponse &response)>;

} // namespace Tavorin::Api::Network
