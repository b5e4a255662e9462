#pragma once

#include <QObject>

class QSocketNotifier;

namespace Tavorin::Api {

// Being told to stop ends the client through its ordinary quit, so that the connection's teardown
// runs as when the window is closed:
// - POSIX: SIGTERM, SIGINT and SIGHUP (a shutdown, Ctrl+C, the terminal or session going away). A
//   handler may only write to a pipe; the event loop reads it.
// - Windows: log-off and shutdown reach the client's windows as WM_ENDSESSION, inside which Qt emits
//   aboutToQuit: the same teardown, with nothing of this class. What it installs, the console's control
//   handler (see ConsoleEvents), fires only in a process that has a console (a console-subsystem build,
//   or one attached to a console), for Ctrl+C, Ctrl+Break and the console closed; the GUI client has
//   none, and log-off and shutdown come as console events to services only.
// A second signal or Ctrl+C ends the process at once, as if nothing caught it.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

private:
    static void quitOn(int number);
#ifdef Q_OS_WIN
    static void requestQuit(unsigned long event);
#else
    static void handle(int signalNumber);
    void readPipe();

    QSocketNotifier *notifier = nullptr;
#endif
};

} // namespace Tavorin::Api
