#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

namespace Tavorin::Api {

// One client per settings folder, so per user: a second start (a double click, an autostart entry)
// must not run a second engine beside the first, whose start-up repair would take the first's live
// connection for the leftovers of a dead run. The second start asks the first to come to the front
// and leaves without touching anything.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is now the client of its settings folder. False when another one runs:
    // it has been asked to show its window, and this process should end.
    bool claim();

    // Seam: how long a second start tries to reach the first.
    void setHandoverLimitMs(int milliseconds) { handoverLimitMs = milliseconds; }

signals:
    // Another start of the client asked for the window.
    void activationRequested();

private:
    void listen();
    void handOver();
    static QString serverName(const QString &folder);

    QString folder;
    std::unique_ptr<QLockFile> lock;
    QLocalServer *server = nullptr;
    int handoverLimitMs = 3000;
};

} // namespace Tavorin::Api
