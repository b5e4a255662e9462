#include "Commands.h"

#include "StandinStore.h"

#include <QJsonObject>

namespace Standin::Commands {

// setx NAME VALUE: one user environment variable; an empty VALUE empties it.
int setx(const QStringList &arguments)
{
    if (arguments.size() != 2 || arguments.at(0).isEmpty() || arguments.at(0).startsWith(QLatin1Char('/'))) {
        printError(QStringLiteral("ERROR: Invalid syntax.\nType \"SETX /?\" for usage.\n"));
        return 1;
    }
    const QString name = arguments.at(0);
    StandinStore::updateState([&](QJsonObject &state) {
        QJsonObject environment = state.value(QStringLiteral("environment")).toObject();
        // Windows variable names ignore letter case: HTTP_PROXY replaces http_proxy.
        for (const QString &key : environment.keys()) {
            if (key.compare(name, Qt::CaseInsensitive) == 0)
                environment.remove(key);
        }
        environment.insert(name, arguments.at(1));
        state.insert(QStringLiteral("environment"), environment);
    });
    printOut(QStringLiteral("\nSUCCESS: Specified value was saved.\n"));
    return 0;
}

} // namespace Standin::Commands
