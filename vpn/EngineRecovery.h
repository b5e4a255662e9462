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
// (EngineRecords). The commands run in the background, so the window does not wait for them; a
// connect asked for meanwhile waits for `finished`. Without a record nothing happens at all.
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

signals:
    void finished();

private:
    explicit EngineRecovery(QObject *parent = nullptr);

    void next();
    void switchProxyOff();
    void undoAdapter(const QJsonObject &record);
    void endProcess(const QString &key, const QJsonObject &record);
    void waitUntilGone(const QString &key, const QJsonObject &record, int pollsLeft);
    void forgetProcess(const QString &key, const QJsonObject &record);
    void listsImage(qint64 pid, const QString &image,
                    const std::function<void(bool found, bool known)> &answer);

    QList<std::function<void()>> steps;
    bool started = false;
    bool running = false;
    int commandTimeoutMs;
    int processEndLimitMs = 3000;
};

} // namespace Tavorin::Api::Vpn
