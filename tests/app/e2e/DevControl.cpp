#include "DevControl.h"

#include "DevService.h"
#include "StandinState.h"

#include <QJsonArray>
#include <QJsonObject>

DevControl::DevControl(DevService *devService, QObject *parent) : QObject(parent), service(devService) {}

QString DevControl::demoEmail() const
{
    return DevService::demoEmail();
}

QString DevControl::demoPassword() const
{
    return DevService::demoPassword();
}

QVariantList DevControl::requests(const QString &path) const
{
    return service->requests(path).toVariantList();
}

void DevControl::clearRequests()
{
    service->clearRequests();
}

void DevControl::scriptReply(const QString &method, const QString &path, int status, const QString &body,
                             int delayMs, int times)
{
    service->scriptReply(method, path, status, body.toUtf8(), delayMs, times);
}

void DevControl::setPaymentStatus(const QString &orderId, const QString &status)
{
    service->setPaymentStatus(orderId, status);
}

void DevControl::revokeAllTokens()
{
    service->revokeAllTokens();
}

QVariantMap DevControl::setUser(const QVariantMap &fields)
{
    return service
        ->control(QStringLiteral("POST"), QStringLiteral("users"), QJsonObject::fromVariantMap(fields))
        .toVariantMap();
}

int DevControl::addServer(const QVariantMap &server)
{
    return service->addServer(QJsonObject::fromVariantMap(server));
}

QVariantMap DevControl::control(const QString &method, const QString &path, const QVariantMap &body)
{
    return service->control(method, path, QJsonObject::fromVariantMap(body)).toVariantMap();
}

void DevControl::reset()
{
    service->control(QStringLiteral("POST"), QStringLiteral("reset"));
}

QString DevControl::registryValue(const QString &name) const
{
    return StandinState::registryValue(name);
}

QString DevControl::environmentVariable(const QString &name) const
{
    return StandinState::environmentVariable(name);
}
