#pragma once

#include <QObject>

class QSocketNotifier;

namespace Tavorin::Api {

// SIGTERM, SIGINT and SIGHUP (a shutdown, Ctrl+C, the terminal or session going away) end the client
// through its ordinary quit, so that the connection's teardown runs as when the window is closed.
// A handler may only write to a pipe; the event loop reads it. A second signal ends the process at
// once, as if nothing caught it.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

private:
    static void handle(int signalNumber);
    void readPipe();

    QSocketNotifier *notifier = nullptr;
};

} // namespace Tavorin::Api
