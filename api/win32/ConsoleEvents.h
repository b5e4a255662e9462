#pragma once

namespace Tavorin::Api::Win32 {

// The console's control events (Ctrl+C, Ctrl+Break, the console closed, log-off, shutdown) turned into
// one request to quit. Plain C++ so that the Windows check can drive it without Qt.
//
// Only a process that has a console gets these: a console-subsystem build, or one that attached to a
// console. The GUI client (WIN32 subsystem) has none, so there the handler never fires. Log-off and
// shutdown come as console events to services only, and never to a process that loads user32, as
// anything with a window does: the client gets WM_QUERYENDSESSION and WM_ENDSESSION instead, inside
// which Qt emits aboutToQuit, the same teardown without this handler. Should they come, they are held
// as a close is.
//
// Windows calls the handler on a thread it creates for each event, never on the GUI thread, so the
// request only hands the quit over; what the handler then returns decides what Windows does next:
// - Ctrl+C and Ctrl+Break: true lets the process go on, and the GUI thread quits in its own time. A
//   second one while that runs answers false, and the default handler ends the process at once (as a
//   second POSIX signal does).
// - Close, log-off and shutdown: Windows ends the process as soon as the handler returns, whatever it
//   returns, and in any case after its own grace period (about five seconds for a closed console). So
//   the handler holds the process until the GUI thread reports the teardown finished (the proxy
//   switched off, the goodbye sent), at most `teardownWaitMs`, which only matters if the GUI thread is
//   stuck. If `main` returns first, the process ends with its own exit code and takes this thread along.
class ConsoleEvents
{
public:
    using QuitRequest = void (*)(unsigned long event);

    // `requestQuit` runs on the handler's thread, once, for the first event.
    static bool install(QuitRequest requestQuit, unsigned long teardownWaitMs);
    // The GUI thread's teardown is over: a held close, log-off or shutdown may go on.
    static void teardownFinished();
    static void uninstall();

    // What the handler does with one event, on the calling thread: true when it handled the event.
    static bool handle(unsigned long event);
};

} // namespace Tavorin::Api::Win32
