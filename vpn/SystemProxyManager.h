#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QObject;

namespace Tavorin::Api::Vpn {

// Points the per-user Internet Settings, the WinHTTP proxy and the proxy environment variables at a
// local proxy, and back, entirely through the reg, netsh and setx commands.
class SystemProxyManager
{
public:
    static const QString &internetSettingsKey();

    // False when the URL is unusable or a registry write fails; WinHTTP and environment failures are
    // logged and passed over.
    static bool setSystemProxy(const QString &proxyUrl);
    // Best effort: every step runs whatever the earlier ones gave; false when the registry write failed
    // (WinHTTP and environment failures are logged and passed over).
    static bool clearSystemProxy();
    // The same steps without blocking: `done` gets the result from the event loop.
    static void clearSystemProxyInBackground(QObject *context, const std::function<void(bool)> &done);

    static bool setRegistryValue(const QString &key, const QString &name, const QString &value,
                                 const QString &type);
    static bool executeCommand(const QString &program, const QStringList &arguments);
    static bool setEnvironmentProxy(const QString &proxyUrl);
    static bool clearEnvironmentProxy();
    static bool importWinHttpProxyFromIe();

    // The value the registry and WinHTTP receive for a proxy URL ("socks=127.0.0.1:10315"),
    // empty when the URL is unusable.
    static QString proxyServerValue(const QString &proxyUrl);

    // Limit for each command; tests shorten it to see a hanging command given up.
    static void setCommandTimeoutMs(int milliseconds);
    static int commandTimeoutMs();
};

} // namespace Tavorin::Api::Vpn
