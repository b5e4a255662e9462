#include "ProcessTies.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

void ProcessTies::endWithThisProcess(QProcess &child)
{
    const pid_t self = ::getpid();
    child.setChildProcessModifier([self]() {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // This process may have died before the tie was made.
        if (::getppid() != self)
            ::_exit(1);
    });
}

void ProcessTies::quitWhenInputCloses(QCoreApplication &app)
{
    auto *watcher = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
    QObject::connect(watcher, &QSocketNotifier::activated, &app, [watcher]() {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
            watcher->setEnabled(false);
            QCoreApplication::quit();
        }
    });
}

void ProcessTies::endByClosingInput(QProcess &child, int graceMs)
{
    if (child.state() == QProcess::NotRunning)
        return;
    child.closeWriteChannel();
    if (!child.waitForFinished(graceMs)) {
        child.kill();
        child.waitForFinished(5000);
    }
}

QString ProcessTies::v2rayProgram()
{
    const QString chosen = qEnvironmentVariable("MIREVO_V2RAY");
    return chosen.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("v2ray")) : chosen;
}
