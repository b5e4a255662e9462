#pragma once

#include <QJsonArray>
#include <QString>
#include <QStringList>

// The folder where the platform stand-ins (reg, netsh, setx, tasklist, taskkill, tun2socks) keep what
// they were told, and where a test tells them to fail. The stand-ins find it through the environment
// variable MIREVO_STANDIN_STATE, or else $HOME/.mirevo-standins; each test has a HOME of its own.
class StandinState
{
public:
    static QString folder();
    static void reset();
    // Ends the core and tun2socks stand-ins that are still running, by the pid each of them recorded, and
    // waits until they are gone: a case that failed half-way leaves them holding the local ports and the
    // adapter, and the next case would trip over them. False (with a warning naming it) when one stays.
    // Call it before reset(), which takes away the pid marks.
    static bool endRunningPrograms();

    // Internet Settings values written by `reg add KEY /v NAME /t TYPE /d DATA /f` (empty when absent).
    static QString registryValue(const QString &name);
    // The WinHTTP proxy: the proxy-server value, empty after `netsh winhttp reset proxy`.
    static QString winHttpProxy();
    // A user environment variable set by `setx NAME VALUE`.
    static QString environmentVariable(const QString &name);
    // The "wintun" adapter as netsh configured it.
    static QString adapterAddress();
    static QString adapterDns();
    // The prefixes of the routes through the adapter, in the order they were added.
    static QStringList routes();
    static bool adapterExists();

    // Every command run so far, oldest first: program name, then the arguments exactly as received.
    static QList<QStringList> commandLog();

    // The next `times` runs of `program` whose arguments contain `argumentContains` (any when empty)
    // exit with `exitCode` (and print a line on standard error) without doing anything.
    // With `skip`, that many matching runs go by untouched first.
    static void failCommand(const QString &program, int exitCode, const QString &argumentContains = {},
                            int times = 1, int skip = 0);
    // The same, but the run sleeps for `seconds` before exiting non-zero.
    static void hangCommand(const QString &program, int seconds, const QString &argumentContains = {},
                            int times = 1);
    // The next core run hangs for `seconds` once its listeners are up: the system accepts connections
    // on them, nothing answers.
    static void stallCore(int seconds);
    // The next core run's controller answers every request after `delayMs`, and with `reply`:
    // "unauthorized" (401), "without totals" (200 without figures), or the true answer when empty.
    static void misbehaveController(const QString &reply, int delayMs = 0);

    // Read-backs beyond the ones above.
    static QString registryType(const QString &name); // "REG_DWORD", "REG_SZ", empty when absent
    static QString winHttpBypassList();
    // True once `setx NAME ...` ran, also with an empty value (environmentVariable then reads empty).
    static bool hasEnvironmentVariable(const QString &name);
    static QString adapterMask();
    static QString adapterAddressSource(); // "static", "dhcp", or empty while netsh never set it
    static QString adapterDnsSource();     // the same for the DNS server
    // The process ids of the running core and tun2socks stand-ins; 0 when none runs (a killed one
    // included), so a test can kill one to play a crash.
    static qint64 corePid();
    static qint64 tun2socksPid();
    // Only the commands of one program ("reg", "netsh", "xray.exe", ...).
    static QList<QStringList> commandLog(const QString &program);
    // The core stand-in's TLS client also trusts this certificate authority (PEM): the client writes
    // "insecure": false, so a test server's self-signed certificate must be trusted this way.
    static bool trustCertificate(const QString &pemFile);
};
