#pragma once

#include <QJsonObject>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace Tavorin::Api::Vpn {

// The TUN connection mode: tun2socks.exe creates the "wintun" adapter and forwards it to the local
// SOCKS5 endpoint; netsh gives the adapter its address, DNS server and the routes that send all IPv4
// traffic into it. Whatever was configured is taken back, also after a failed start.
class Tun2SocksManager : public QObject
{
    Q_OBJECT

public:
    struct InterfaceInfo
    {
        QString name; // the system name (on Windows the adapter's own name, as netsh and tun2socks use it)
        bool loopback = false;
        bool up = false;
    };
    // The first interface that is up, not loopback and not a wintun adapter; "以太网" when none is.
    static QString choosePhysicalInterface(const QList<InterfaceInfo> &interfaces);

    // The netsh arguments that take the adapter's configuration back, one step each.
    static QStringList deleteRouteArguments(const QString &prefix);
    static QStringList dnsToDhcpArguments();
    static QStringList addressToDhcpArguments();

    explicit Tun2SocksManager(QObject *parent);
    ~Tun2SocksManager() override;

    bool start(const QString &proxyUrl);
    void stop();

    bool isRunning() const { return running; }
    qint64 processId() const { return process->processId(); }
    QStringList routePrefixes() const { return routes; }

    // Seams; the defaults are the product's.
    void setResourcePath(const QString &path) { resourcePath = path; }
    QString getResourcePath() const { return resourcePath; }
    // The wait for the adapter to appear after tun2socks started (2000 ms).
    void setAdapterWaitMs(int milliseconds) { adapterWaitMs = milliseconds; }
    void setCommandTimeoutMs(int milliseconds) { commandTimeoutMs = milliseconds; }
    // The polite stop before the kill (3000 ms).
    void setStopTimeoutMs(int milliseconds) { stopTimeoutMs = milliseconds; }

signals:
    void started();
    void stopped();
    void error(const QString &error);
    void logOutput(const QString &log);

private slots:
    void onTun2SocksStarted();
    void onTun2SocksFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void onTun2SocksError(QProcess::ProcessError error);
    void onTun2SocksStdout();
    void onTun2SocksStderr();

private:
    bool startTun2SocksProcess(const QString &proxyUrl);
    void stopTun2SocksProcess();
    bool configureWintunAddress();
    bool configureWintunDns();
    bool addRoutes();
    void clearRoutes();
    void clearWintunConfig();
    QString detectPhysicalInterface();
    bool executeCommand(const QString &program, const QStringList &arguments);
    void undoConfiguration();
    // Notes a change to the adapter in the settings before it is made.
    void recordAdapter(const QString &member, const QJsonValue &value);
    void forgetAdapter();

    QProcess *process;
    QString resourcePath;
    bool running = false;
    QStringList routes;

    // What this tunnel changed on the adapter, so that it can be taken back whatever happened since.
    bool addressConfigured = false;
    bool dnsConfigured = false;
    QStringList routesAdded;
    QJsonObject adapterRecord;
    bool stopRequested = false;

    int adapterWaitMs = 2000;
    int commandTimeoutMs = 10000;
    int stopTimeoutMs = 3000;
};

} // namespace Tavorin::Api::Vpn
