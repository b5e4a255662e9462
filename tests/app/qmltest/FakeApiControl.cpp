#include "FakeApiControl.h"

#include "FakeApi.h"

#include <QDebug>

namespace Tavorin::Testing {

FakeApiControl::FakeApiControl(FakeApi *fake, QObject *parent) : QObject(parent), api(fake)
{
    api->setCallObserver([this](const FakeApi::Call &call) {
        emit callsChanged();
        emit invoked(call.name, call.args);
    });
}

QVariantList FakeApiControl::calls() const
{
    QVariantList list;
    for (const FakeApi::Call &call : api->calls())
        list.append(QVariantMap{{QStringLiteral("name"), call.name}, {QStringLiteral("args"), call.args}});
    return list;
}

QStringList FakeApiControl::callNames() const
{
    QStringList names;
    for (const FakeApi::Call &call : api->calls())
        names.append(call.name);
    return names;
}

int FakeApiControl::permissionResult() const
{
    return api->permissionResult;
}

void FakeApiControl::setPermissionResult(int code)
{
    api->permissionResult = code;
    emit cannedChanged();
}

bool FakeApiControl::connectResult() const
{
    return api->connectResult;
}

void FakeApiControl::setConnectResult(bool result)
{
    api->connectResult = result;
    emit cannedChanged();
}

QString FakeApiControl::failureText() const
{
    return api->failureTextOverride;
}

void FakeApiControl::setFailureText(const QString &text)
{
    api->failureTextOverride = text;
    emit cannedChanged();
}

int FakeApiControl::callCount(const QString &name) const
{
    int count = 0;
    for (const FakeApi::Call &call : api->calls())
        count += call.name == name ? 1 : 0;
    return count;
}

QVariantList FakeApiControl::lastArgs(const QString &name) const
{
    const QList<FakeApi::Call> &all = api->calls();
    for (auto it = all.crbegin(); it != all.crend(); ++it) {
        if (it->name == name)
            return it->args;
    }
    return {};
}

void FakeApiControl::clearCalls()
{
    api->clearCalls();
    emit callsChanged();
}

void FakeApiControl::setState(const QVariantMap &values, bool notify)
{
    bool userChanged = false;
    for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
        const QString &key = it.key();
        const QVariant &value = it.value();
        if (key == QLatin1String("isLoggedIn")) {
            api->setLoggedIn(value.toBool());
            continue;
        }
        userChanged = true;
        if (key == QLatin1String("userEmail"))
            api->setUserEmail(value.toString());
        else if (key == QLatin1String("userName"))
            api->setUserName(value.toString());
        else if (key == QLatin1String("isVip"))
            api->setIsVip(value.toBool());
        else if (key == QLatin1String("vipExpiresAt"))
            api->setVipExpiresAt(value.toString());
        else if (key == QLatin1String("vipDays"))
            api->setVipDays(value.toInt());
        else if (key == QLatin1String("freeMinutes"))
            api->setFreeMinutes(value.toInt());
        else if (key == QLatin1String("canConnect"))
            api->setCanConnect(value.toBool());
        else if (key == QLatin1String("trialUsed"))
            api->setTrialUsed(value.toBool());
        else
            qWarning().noquote() << "[FakeApiControl] 未知属性:" << key;
    }
    if (!notify)
        return;
    if (userChanged)
        emit api->userInfoChanged();
    if (values.contains(QStringLiteral("isLoggedIn")))
        emit api->loginStateChanged(api->isLoggedIn());
}

void FakeApiControl::reset()
{
    api->resetUser();
    api->permissionResult = 0;
    api->connectResult = true;
    api->failureTextOverride.clear();
    emit cannedChanged();
    emit api->userInfoChanged();
    emit api->loginStateChanged(false);
    api->clearCalls();
    emit callsChanged();
}

} // namespace Tavorin::Testing
