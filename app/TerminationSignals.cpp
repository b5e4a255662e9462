#include "app/TerminationSignals.h"

#include "app/ClientExit.h"

#include <QCoreApplication>
#include <QDebug>

#ifdef Q_OS_WIN
#include "api/win32/ConsoleEvents.h"
#else
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace Tavorin::Api {

void TerminationSignals::quitOn(int number)
{
    qWarning().noquote() << "[TerminationSignals] 收到终止信号" << number << ", 正常退出";
    ClientExit::instance()->decide(QStringLiteral("终止信号 %1").arg(number));
    QCoreApplication::quit();
}

#ifdef Q_OS_WIN

namespace {
// Longer than any grace Windows gives (it ends the process itself when that runs out); this bound only
// frees the handler's thread when the GUI thread never gets there.
constexpr unsigned long teardownWaitMs = 20000;
} // namespace

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent)
{
    Win32::ConsoleEvents::install(&TerminationSignals::requestQuit, teardownWaitMs);
}

TerminationSignals::~TerminationSignals()
{
    // The event loop has ended and aboutToQuit's teardown has run: a held close may let Windows go on.
    Win32::ConsoleEvents::teardownFinished();
    Win32::ConsoleEvents::uninstall();
}

void TerminationSignals::requestQuit(unsigned long event)
{
    // On the thread Windows made for the event: the quit itself belongs to the GUI thread.
    if (QCoreApplication *application = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            application, [event]() { quitOn(static_cast<int>(event)); }, Qt::QueuedConnection);
}

#else

namespace {

int pipeEnds[2] = {-1, -1};
const int caught[] = {SIGTERM, SIGINT, SIGHUP};

void setHandler(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : caught)
        ::sigaction(number, &action, nullptr);
}

} // namespace

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent)
{
    if (pipeEnds[0] < 0 && ::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &TerminationSignals::readPipe);
    setHandler(&TerminationSignals::handle);
}

TerminationSignals::~TerminationSignals()
{
    setHandler(SIG_DFL);
}

void TerminationSignals::handle(int signalNumber)
{
    // The code the signal interrupted may be about to read errno; a full pipe would change it.
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = savedErrno;
}

void TerminationSignals::readPipe()
{
    unsigned char byte = 0;
    if (::read(pipeEnds[0], &byte, 1) != 1)
        return;
    setHandler(SIG_DFL);
    notifier->setEnabled(false);
    quitOn(int(byte));
}

#endif

} // namespace Tavorin::Api
