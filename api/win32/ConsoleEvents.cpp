#include "api/win32/ConsoleEvents.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>

namespace Tavorin::Api::Win32 {

namespace {

std::atomic<ConsoleEvents::QuitRequest> quitRequest{nullptr};
std::atomic<unsigned long> waitMs{0};
std::atomic<bool> quitting{false};
// Made once and never closed: a handler thread may still wait on it while the process winds down.
std::atomic<HANDLE> teardownDone{nullptr};

BOOL WINAPI handlerRoutine(DWORD event)
{
    return ConsoleEvents::handle(event) ? TRUE : FALSE;
}

} // namespace

bool ConsoleEvents::install(QuitRequest requestQuit, unsigned long teardownWaitMs)
{
    if (!teardownDone.load()) {
        HANDLE created = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!created)
            return false;
        teardownDone.store(created);
    }
    ResetEvent(teardownDone.load());
    quitting.store(false);
    waitMs.store(teardownWaitMs);
    quitRequest.store(requestQuit);
    return SetConsoleCtrlHandler(&handlerRoutine, TRUE) != FALSE;
}

void ConsoleEvents::teardownFinished()
{
    if (HANDLE done = teardownDone.load())
        SetEvent(done);
}

void ConsoleEvents::uninstall()
{
    SetConsoleCtrlHandler(&handlerRoutine, FALSE);
    quitRequest.store(nullptr);
}

bool ConsoleEvents::handle(unsigned long event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        break;
    default:
        return false;
    }
    const bool first = !quitting.exchange(true);
    if (first) {
        if (QuitRequest request = quitRequest.load())
            request(event);
    }
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)
        return first;
    if (HANDLE done = teardownDone.load())
        WaitForSingleObject(done, waitMs.load());
    return true;
}

} // namespace Tavorin::Api::Win32
