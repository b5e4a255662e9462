#include "app/TerminationSignals.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace Tavorin::Api {

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
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
}

void TerminationSignals::readPipe()
{
    unsigned char byte = 0;
    if (::read(pipeEnds[0], &byte, 1) != 1)
        return;
    qWarning().noquote() << "[TerminationSignals] 收到终止信号" << int(byte) << ", 正常退出";
    setHandler(SIG_DFL);
    notifier->setEnabled(false);
    QCoreApplication::quit();
}

} // namespace Tavorin::Api
