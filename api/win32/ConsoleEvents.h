#pragma once

namespace Tavorin::Api::Win32 {

// The console's control events (Ctrl+C, Ctrl+Break, the console closed, log-off, shutdown) turned into
// one request to quit. Plain C++ so that the Windows check can drive it without Qt.
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
// A process with windows gets log-off and shutdown as WM_QUERYENDSESSION and WM_ENDSESSION instead,
// which Qt turns into aboutToQuit: the same teardown, without this handler.
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
