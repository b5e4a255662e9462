#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

namespace Tavorin::Testing {

class FakeApi;

// The test side of a FakeApi, published to QML as `FakeApi` beside the fake itself as `API`:
// sets the fake's properties, reads the record of calls and sets the canned results. The signals of
// `API` are emitted from QML by calling them, e.g. `API.vpnConnected()`.
class FakeApiControl : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QVariantList calls READ calls NOTIFY callsChanged)
    Q_PROPERTY(QStringList callNames READ callNames NOTIFY callsChanged)
    Q_PROPERTY(int permissionResult READ permissionResult WRITE setPermissionResult NOTIFY cannedChanged)
    Q_PROPERTY(bool connectResult READ connectResult WRITE setConnectResult NOTIFY cannedChanged)
    Q_PROPERTY(QString failureText READ failureText WRITE setFailureText NOTIFY cannedChanged)

public:
    explicit FakeApiControl(FakeApi *api, QObject *parent = nullptr);

    // Every call so far, oldest first, each as {name, args}.
    QVariantList calls() const;
    QStringList callNames() const;

    int permissionResult() const;
    void setPermissionResult(int code);
    bool connectResult() const;
    void setConnectResult(bool result);
    QString failureText() const;
    void setFailureText(const QString &text);

    Q_INVOKABLE int callCount(const QString &name) const;
    // Arguments of the latest call of that name; an empty list when there was none.
    Q_INVOKABLE QVariantList lastArgs(const QString &name) const;
    Q_INVOKABLE void clearCalls();

    // Sets the named properties of `API` (isLoggedIn, userEmail, userName, isVip, vipExpiresAt, vipDays,
    // freeMinutes, canConnect, trialUsed). With notify, emits userInfoChanged() when a user property was
    // given and then loginStateChanged(isLoggedIn) when isLoggedIn was given, as the facade does.
    // Unknown names are a test error and are reported by a warning.
    Q_INVOKABLE void setState(const QVariantMap &values, bool notify = true);
    // Signed-out values, default canned results, no calls; announces the user change.
    Q_INVOKABLE void reset();

signals:
    void callsChanged();
    void cannedChanged();
    // Emitted synchronously inside every invokable call, after it was recorded and before it returns.
    void invoked(const QString &name, const QVariantList &args);

private:
    FakeApi *api;
};

} // namespace Tavorin::Testing
