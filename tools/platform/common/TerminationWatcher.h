#pragma once

#include <QObject>

class QSocketNotifier;

namespace Standin {

// Turns SIGTERM and SIGINT into a Qt signal on the event loop (a signal handler may only write to a
// pipe), so that a stand-in ends its children and removes its marks before it exits.
class TerminationWatcher : public QObject
{
    Q_OBJECT

public:
    explicit TerminationWatcher(QObject *parent = nullptr);
    ~TerminationWatcher() override;

signals:
    void terminationRequested(int signalNumber);

private:
    static void handle(int signalNumber);
    void readPipe();

    QSocketNotifier *notifier = nullptr;
};

} // namespace Standin
