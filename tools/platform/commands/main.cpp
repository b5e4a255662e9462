#include "Commands.h"

#include "StandinStore.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

using namespace Standin;

namespace Standin::Commands {

void printOut(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void printError(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stderr);
    std::fflush(stderr);
}

} // namespace Standin::Commands

// One program under five names: what it does depends on the name it was started by.
int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QString program = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
    const QStringList arguments = application.arguments().mid(1);

    struct Entry
    {
        const char *name;
        int (*run)(const QStringList &);
    };
    static const Entry entries[] = {{"reg", Commands::reg},
                                    {"netsh", Commands::netsh},
                                    {"setx", Commands::setx},
                                    {"tasklist", Commands::tasklist},
                                    {"taskkill", Commands::taskkill}};
    for (const Entry &entry : entries) {
        if (!StandinStore::sameProgram(program, QLatin1String(entry.name)))
            continue;
        if (const std::optional<int> injected =
                StandinStore::enterProgram(QLatin1String(entry.name), arguments))
            return *injected;
        return entry.run(arguments);
    }
    Commands::printError(
        QStringLiteral("%1: not a stand-in name (reg, netsh, setx, tasklist, taskkill)\n").arg(program));
    return 127;
}
