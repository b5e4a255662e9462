#include "StandinStore.h"
#include "TerminationWatcher.h"
#include <QJsonObject>

#include <QCoreApplication>
#include <QMap>
#include <QUrl>

#include <cstdio>

using namespace Standin;

namespace {

int usage(const QString &problem)
{
    std::fprintf(stderr,
                 "%s\nUsage of tun2socks.exe:\n  -device string\n  -interface string\n  -proxy string\n",
                 qPrintable(problem));
    return 2;
}

int fatal(const QString &text)
{
    std::fprintf(stderr, "FATAL %s\n", qPrintable(text));
    return 1;
}

} // namespace

// tun2socks.exe -device wintun -proxy URL -interface NAME: makes the "wintun" adapter exist for the netsh
// stand-in while it runs. It forwards no packets.
int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    if (const std::optional<int> injected =
            StandinStore::enterProgram(QStringLiteral("tun2socks.exe"), arguments))
        return *injected;

    // Flags as Go's flag package reads them: -name value, --name value or -name=value.
    QMap<QString, QString> flags;
    for (int i = 0; i < arguments.size(); ++i) {
        QString flag = arguments.at(i);
        if (!flag.startsWith(QLatin1Char('-')))
            return usage(QStringLiteral("unexpected argument: %1").arg(flag));
        flag.remove(0, flag.startsWith(QLatin1String("--")) ? 2 : 1);
        QString value;
        const qsizetype equals = flag.indexOf(QLatin1Char('='));
        if (equals >= 0) {
            value = flag.mid(equals + 1);
            flag.truncate(equals);
        } else if (i + 1 < arguments.size()) {
            value = arguments.at(++i);
        } else {
            return usage(QStringLiteral("flag needs an argument: -%1").arg(flag));
        }
        if (!QStringList{"device", "proxy", "interface"}.contains(flag))
            return usage(QStringLiteral("flag provided but not defined: -%1").arg(flag));
        flags.insert(flag, value);
    }
    if (flags.value(QStringLiteral("device")) != QLatin1String("wintun"))
        return fatal(QStringLiteral("device: \"%1\" is not the wintun device")
                         .arg(flags.value(QStringLiteral("device"))));
    const QUrl proxy(flags.value(QStringLiteral("proxy")), QUrl::StrictMode);
    const QStringList schemes{"socks5", "socks4", "http", "ss", "relay"};
    if (!proxy.isValid() || !schemes.contains(proxy.scheme()) || proxy.host().isEmpty() || proxy.port() <= 0)
        return fatal(
            QStringLiteral("proxy: unsupported proxy \"%1\"").arg(flags.value(QStringLiteral("proxy"))));
    if (flags.value(QStringLiteral("interface")).isEmpty())
        return fatal(QStringLiteral("interface: missing"));

    const qint64 self = QCoreApplication::applicationPid();
    // A new Wintun adapter starts bare: whatever routes and addresses an earlier one had went away
    // with it, also when its tun2socks was killed before it could clean up.
    StandinStore::updateState([](QJsonObject &state) { state.remove(QStringLiteral("adapter")); });
    StandinStore::writePid(QStringLiteral("tun2socks"), self);
    std::printf("INFO [STACK] tun://wintun <-> %s\nINFO [DIALER] bind to interface: %s\n",
                qPrintable(proxy.toString()), qPrintable(flags.value(QStringLiteral("interface"))));
    std::fflush(stdout);

    TerminationWatcher watcher;
    QObject::connect(&watcher, &TerminationWatcher::terminationRequested, &application, [](int) {
        std::printf("INFO received signal, closing\n");
        std::fflush(stdout);
        QCoreApplication::quit();
    });
    application.exec();
    StandinStore::removePid(QStringLiteral("tun2socks"), self);
    return 0;
}
