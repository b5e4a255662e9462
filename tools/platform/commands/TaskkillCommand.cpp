#include "Commands.h"

#include "StandinStore.h"

#include <csignal>
#include <sys/types.h>

namespace Standin::Commands {

// taskkill [/F] /PID N: /F kills outright, without it the process is asked to end.
int taskkill(const QStringList &arguments)
{
    bool force = false;
    qint64 pid = 0;
    bool valid = !arguments.isEmpty();
    for (int i = 0; valid && i < arguments.size(); ++i) {
        const QString option = arguments.at(i).toUpper();
        if (option == QLatin1String("/F") && !force) {
            force = true;
        } else if (option == QLatin1String("/PID") && pid == 0 && i + 1 < arguments.size()) {
            pid = arguments.at(++i).toLongLong(&valid);
            valid = valid && pid > 0;
        } else {
            valid = false;
        }
    }
    if (!valid || pid == 0) {
        printError(QStringLiteral("ERROR: Invalid syntax.\nType \"TASKKILL /?\" for usage.\n"));
        return 1;
    }
    const QString image = StandinStore::imageName(pid);
    if (image.isEmpty()) {
        printError(QStringLiteral("ERROR: The process \"%1\" not found.\n").arg(pid));
        return 128;
    }
    // Only the programs that stand in for Windows ones: a wrong id from the client must not take down
    // the test runner or anything else on this machine.
    if (!image.endsWith(QLatin1String(".exe"))) {
        printError(
            QStringLiteral("ERROR: The process with PID %1 could not be terminated.\nReason: Access is "
                           "denied.\n")
                .arg(pid));
        return 1;
    }
    if (::kill(static_cast<pid_t>(pid), force ? SIGKILL : SIGTERM) != 0) {
        printError(QStringLiteral("ERROR: The process with PID %1 could not be terminated.\n").arg(pid));
        return 1;
    }
    printOut(force
                 ? QStringLiteral("SUCCESS: The process with PID %1 has been terminated.\n").arg(pid)
                 : QStringLiteral("SUCCESS: Sent termination signal to the process with PID %1.\n").arg(pid));
    return 0;
}

} // namespace Standin::Commands
