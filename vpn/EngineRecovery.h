#pragma once

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

namespace Tavorin::Api::Vpn {

// At start-up, takes back what an earlier run of the client left switched on because it ended
// without its teardown (killed, a power cut): the system proxy, the tunnel adapter's configuration,
// the tunnel program and the core, each only as its own record in the settings names it
// (EngineRecords), and the configuration folders of runs that have ended. What a run still alive
// owns (another process that runs the engine) is left alone. The commands run in the background,
// so the window does not wait for them; a connect asked for meanwhile waits for `finished`. With
// nothing to take back nothing happens at all.
class EngineRecovery : public QObject
{
    Q_OBJECT

public:
    static EngineRecovery *instance();

    // Once per process; later calls do nothing.
    void start();
    bool isRunning() const { return running; }

    // Seams; the defaults are the product's.
    void setCommandTimeoutMs(int milliseconds) { commandTimeoutMs = milliseconds; }
    // How long an ended process may take to disappear from the task list.
    void setProcessEndLimitMs(int milliseconds) { processEndLimitMs = milliseconds; }

    // Whether an answer of `tasklist /FO CSV /NH` has a row for process `pid` running `image`.
    static bool taskListShows(const QByteArray &answer, qint64 pid, const QString &image);
    // The data of value `name` in an answer of `reg query KEY /v NAME`; empty when it has none.
    static QString registryData(const QByteArray &answer, const QString &name);

signals:
    void finished();

private:
    explicit EngineRecovery(QObject *parent = nullptr);

    void next();
    void switchProxyOff(const QJsonObject &record);
    void undoAdapter(const QJsonObject &record);
    void endProcess(const QString &key, const QJsonObject &record);
    void waitUntilGone(const QString &key, const QJsonObject &record, int pollsLeft);
    void forgetProcess(const QString &key, const QJsonObject &record);
    void listsImage(qint64 pid, const QString &image,
                    const std::function<void(bool found, bool known)> &answer);
    void removeEndedRunsFolders();
    static QStringList endedRunsFolders();

    QList<std::function<void()>> steps;
    bool started = false;
    bool running = false;
    int commandTimeoutMs;
    int processEndLimitMs = 3000;
};

} // namespace Tavorin::Api::Vpn
