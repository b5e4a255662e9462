#include "api/network/ApiResponse.h"

#include <QJsonArray>

namespace Tavorin::Api::Network {

bool ApiResponse::isSuccess() const
{
    if (networkError != 0 || !errorMessage.isEmpty())
        return false;
    if (statusCode < 200 || statusCode > 299)
        return false;
    const QJsonValue success = json.value(QStringLiteral("success"));
    return !(success.isBool() && !success.toBool());
}

QMap<QString, QStringList> ApiResponse::getErrors() const
{
    QMap<QString, QStringList> errors;
    if (!json.contains(QStringLiteral("errors")))
        return errors;
    const QJsonObject members = json.value(QStringLiteral("errors")).toObject();
    for (auto it = members.begin(); it != members.end(); ++it) {
        QStringList texts;
        if (it->isArray()) {
            const QJsonArray array = it->toArray();
            for (const QJsonValue &element : array)
                texts.append(element.toString());
        } else {
            texts.append(it->toString());
        }
        errors.insert(it.key(), texts);
    }
    return errors;
}

QString ApiResponse::getErrorMessage() const
{
    const QMap<QString, QStringList> errors = getErrors();
    // The first text that says something: an empty list or a non-string element would blank the message.
    for (const QStringList &texts : errors) {
        for (const QString &text : texts) {
            if (!text.isEmpty())
                return text;
        }
    }
    const QString message = json.value(QStringLiteral("message")).toString();
    if (!message.isEmpty())
        return message;
    if (!errorMessage.isEmpty() || isSuccess())
        return errorMessage;
    // A failure must always say something to the user.
    if (statusCode > 0)
        return QStringLiteral("服务器返回错误 (HTTP状态码: %1)").arg(statusCode);
    return QStringLiteral("请求失败");
}

} // namespace Tavorin::Api::Network
