#pragma once

#include "vpn/VmessConfig.h"

#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QString>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QTcpSocket;
class QTemporaryDir;
class QTimer;

namespace Tavorin::Api::Vpn {

// Runs the proxy core (xray.exe beside the client) with a configuration generated for one server:
// announces "connected" once its own controller answers with the secret of this run and its mixed
// listener accepts connections, reports the process's end and errors, and reads the traffic totals
// from the controller. The configuration lives in a folder only this user can enter, for one run.
class V2RayCore : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 defaultMixedPort = 10315;
    static constexpr quint16 defaultDnsPort = 16450;
    // How long a started core may take before it answers; the clock starts with its process.
    static constexpr int readinessLimitMs = 10000;
    static constexpr int readinessPollIntervalMs = 5;
    // One probe of the controller (for readiness, or a traffic read) or of the mixed listener gives up
    // after this long; a core that is merely busy answers within it.
    static constexpr int probeTimeoutMs = 1000;
    static constexpr int trafficIntervalMs = 2000;
    // So many traffic reads given up or refused in a row end the run: with the product's figures a
    // hung core is noticed within some 7 s.
    static constexpr int unansweredPollLimit = 3;

    explicit V2RayCore(QObject *parent);
    ~V2RayCore() override;

    bool start(const VmessConfig &config);
    void stop();
    QString generateConfig(const VmessConfig &config);
    // Why the configuration cannot carry this server as its link asks (a transport, a camouflage or a
    // security it does not write); empty when it can.
    static QString unsupportedSetting(const VmessConfig &config);
    // Where configuration folders are made: the system's temporary folder, or empty when it names
    // none that exists.
    static QString configurationRoot();
    // The run whose configuration folder bears this name; empty for a name of any other form.
    static QString runOfConfigurationFolder(const QString &name);

    bool isRunning() const { return running; }
    qint64 processId() const;
    QString executablePath() const;
    QString configFilePath() const { return configPath; }
    // The controller endpoint of the current (or next) run: "127.0.0.1:PORT" and its bearer secret.
    QString controllerAddress() const;
    QString controllerSecret() const { return controllerToken; }

    // The local listeners of every core in this process: the mixed proxy and the DNS listener.
    static quint16 mixedPort();
    static quint16 dnsPort();

    // Seams; the defaults are the product's.
    // Tests move the local listeners off ports that another program on the machine may hold.
    static void setLocalPorts(quint16 mixed, quint16 dns);
    void setResourcePath(const QString &path) { resourcePath = path; }
    QString getResourcePath() const { return resourcePath; }
    void setReadinessPolling(int intervalMs, int limitMs);
    void setTrafficInterval(int milliseconds);
    void setStopTimeoutMs(int milliseconds) { stopTimeoutMs = milliseconds; }

signals:
    void connected();
    void disconnected();
    void error(const QString &error);
    void trafficUpdate(qlonglong upload, qlonglong download);
    void logOutput(const QString &log);

private slots:
    void onXRayStarted();
    void onXRayFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void onXRayError(QProcess::ProcessError error);
    void onXRayStdout();
    void onXRayStderr();
    void updateTrafficStats();

private:
    void prepareController();
    bool refuseStart(const QString &message);
    bool writeConfiguration(const QString &document);
    void removeConfiguration();
    // Notes this run (its process and configuration folder) in the settings, or takes it out once
    // nothing of it is left.
    void recordRun();
    void takeBackRun();
    // GET /connections with this run's secret; `onFinished` gets the reply.
    QNetworkReply *readController(void (V2RayCore::*onFinished)(QNetworkReply *));
    void pollReadiness();
    void onControllerProbeFinished(QNetworkReply *reply);
    void onReadinessProbeConnected();
    void retryReadiness();
    void onReadinessLimitReached();
    void becomeReady();
    void cancelReadiness();
    void cancelProbes();
    void cancelTrafficRead();
    void onTrafficReply(QNetworkReply *reply);
    void onUnansweredPoll(const QString &why);

    QProcess *process;
    QTimer *trafficTimer;
    QTimer *readinessTimer;
    QTimer *readinessDeadline; // its interval is the readiness limit
    QTimer *probeTimer;
    QNetworkAccessManager *controllerClient;
    QString resourcePath;
    QString configPath;
    qint64 uploadTotal = 0;
    qint64 downloadTotal = 0;
    bool running = false;

    // One run of the process, from start() to its end.
    bool ready = false;
    bool stopRequested = false;
    bool crashReported = false;
    QElapsedTimer sinceStarted;
    std::unique_ptr<QTemporaryDir> configFolder;
    QNetworkReply *controllerProbe = nullptr;
    QTcpSocket *readinessProbe = nullptr;
    QNetworkReply *trafficReply = nullptr;
    quint16 controllerPort = 0;
    QString controllerToken;

    // Every poll is started with its own delay (the first at once), so the interval lives here.
    int pollIntervalMs = readinessPollIntervalMs;
    int stopTimeoutMs = 2000;
    int unansweredPolls = 0;
};

} // namespace Tavorin::Api::Vpn
