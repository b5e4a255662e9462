#include "Commands.h"

#include "StandinStore.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>

namespace Standin::Commands {

namespace {

const QString AdapterName = QStringLiteral("wintun");

int notFound(const QStringList &arguments)
{
    printError(
        QStringLiteral("The following command was not found: %1.\n").arg(arguments.join(QLatin1Char(' '))));
    return 1;
}

int parameterIncorrect(const QString &detail)
{
    printError(QStringLiteral("The parameter is incorrect. (%1)\n").arg(detail));
    return 1;
}

bool is(const QString &argument, const char *word)
{
    return argument.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

bool matches(const QStringList &arguments, std::initializer_list<const char *> words)
{
    if (arguments.size() < qsizetype(words.size()))
        return false;
    int i = 0;
    for (const char *word : words) {
        if (!is(arguments.at(i++), word))
            return false;
    }
    return true;
}

// `text` is one value in double quotes, the quotes part of the argument: "wintun" gives wintun.
bool unquote(const QString &text, QString *value)
{
    if (text.size() < 2 || !text.startsWith(QLatin1Char('"')) || !text.endsWith(QLatin1Char('"')))
        return false;
    *value = text.mid(1, text.size() - 2);
    return !value->contains(QLatin1Char('"'));
}

// Splits tag=value; an argument without '=' has an empty tag.
QPair<QString, QString> tagged(const QString &argument)
{
    const qsizetype equals = argument.indexOf(QLatin1Char('='));
    if (equals <= 0)
        return {QString(), argument};
    return {argument.left(equals).toLower(), argument.mid(equals + 1)};
}

bool isIpv4(const QString &text)
{
    QHostAddress address;
    return address.setAddress(text) && address.protocol() == QAbstractSocket::IPv4Protocol &&
           address.toString() == text;
}

bool isMask(const QString &text)
{
    if (!isIpv4(text))
        return false;
    const quint32 bits = QHostAddress(text).toIPv4Address();
    const quint32 inverted = ~bits;
    return (inverted & (inverted + 1)) == 0; // ones, then zeros
}

// A network prefix a.b.c.d/n with no host bits set.
bool isPrefix(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('/'));
    if (parts.size() != 2 || !isIpv4(parts.at(0)))
        return false;
    bool ok = false;
    const int length = parts.at(1).toInt(&ok);
    if (!ok || length < 0 || length > 32 || parts.at(1) != QString::number(length))
        return false;
    const quint32 address = QHostAddress(parts.at(0)).toIPv4Address();
    const quint32 hostMask = length == 32 ? 0 : (0xffffffffu >> length);
    return (address & hostMask) == 0;
}

QString showWinHttp(const QJsonObject &winHttp)
{
    const QString proxy = winHttp.value(QStringLiteral("proxy")).toString();
    if (proxy.isEmpty())
        return QStringLiteral(
            "\nCurrent WinHTTP proxy settings:\n\n    Direct access (no proxy server).\n\n");
    const QString bypass = winHttp.value(QStringLiteral("bypass")).toString();
    return QStringLiteral("\nCurrent WinHTTP proxy settings:\n\n    Proxy Server(s) :  %1\n    Bypass List   "
                          "  :  %2\n\n")
        .arg(proxy, bypass.isEmpty() ? QStringLiteral("(none)") : bypass);
}

QJsonObject setWinHttp(const QString &proxy, const QString &bypass)
{
    QJsonObject winHttp;
    StandinStore::updateState([&](QJsonObject &state) {
        if (proxy.isEmpty())
            state.remove(QStringLiteral("winhttp"));
        else
            state.insert(QStringLiteral("winhttp"),
                         QJsonObject{{QStringLiteral("proxy"), proxy}, {QStringLiteral("bypass"), bypass}});
        winHttp = state.value(QStringLiteral("winhttp")).toObject();
    });
    return winHttp;
}

int winHttp(const QStringList &arguments)
{
    if (matches(arguments, {"winhttp", "reset", "proxy"}) && arguments.size() == 3) {
        printOut(showWinHttp(setWinHttp({}, {})));
        return 0;
    }
    if (matches(arguments, {"winhttp", "show", "proxy"}) && arguments.size() == 3) {
        printOut(showWinHttp(StandinStore::readState().value(QStringLiteral("winhttp")).toObject()));
        return 0;
    }
    if (matches(arguments, {"winhttp", "import", "proxy"})) {
        if (arguments.size() != 4 ||
            tagged(arguments.at(3)) != qMakePair(QStringLiteral("source"), QStringLiteral("ie")))
            return notFound(arguments);
        // The user's Internet Settings, as the registry holds them: a proxy only while it is enabled.
        const QJsonObject registry = StandinStore::readState().value(QStringLiteral("registry")).toObject();
        const auto value = [&](const char *name) {
            return registry.value(QLatin1String(name)).toObject().value(QStringLiteral("data")).toString();
        };
        const bool enabled = value("ProxyEnable") == QLatin1String("1");
        const QJsonObject result = enabled && !value("ProxyServer").isEmpty()
                                       ? setWinHttp(value("ProxyServer"), value("ProxyOverride"))
                                       : setWinHttp({}, {});
        printOut(showWinHttp(result));
        return 0;
    }
    if (matches(arguments, {"winhttp", "set", "proxy"})) {
        QString proxy;
        QString bypass;
        bool haveProxy = false;
        for (int i = 3; i < arguments.size(); ++i) {
            const auto [tag, text] = tagged(arguments.at(i));
            QString value;
            if (!unquote(text, &value))
                return parameterIncorrect(
                    QStringLiteral("%1: the value must stand in double quotes").arg(arguments.at(i)));
            if (tag == QLatin1String("proxy-server") && !haveProxy) {
                proxy = value;
                haveProxy = true;
            } else if (tag == QLatin1String("bypass-list") && bypass.isEmpty()) {
                bypass = value;
            } else {
                return notFound(arguments);
            }
        }
        if (proxy.isEmpty())
            return parameterIncorrect(QStringLiteral("proxy-server is required"));
        printOut(showWinHttp(setWinHttp(proxy, bypass)));
        return 0;
    }
    return notFound(arguments);
}

// The adapter exists while the tun2socks stand-in that made it is alive.
bool adapterPresent()
{
    return StandinStore::livePid(QStringLiteral("tun2socks"), QStringLiteral("tun2socks.exe")) > 0;
}

int noAdapter()
{
    printError(QStringLiteral("The filename, directory name, or volume label syntax is incorrect.\n"));
    return 1;
}

// The adapter's name, given as name="wintun" (tagged) or "wintun" (positional).
bool adapterArgument(const QString &argument, bool tagRequired)
{
    const auto [tag, text] = tagged(argument);
    if (tag.isEmpty() ? tagRequired : (tag != QLatin1String("name") && tag != QLatin1String("interface")))
        return false;
    QString name;
    return unquote(text, &name) && name.compare(AdapterName, Qt::CaseInsensitive) == 0;
}

void updateAdapter(const std::function<void(QJsonObject &)> &change)
{
    StandinStore::updateState([&](QJsonObject &state) {
        QJsonObject adapter = state.value(QStringLiteral("adapter")).toObject();
        change(adapter);
        state.insert(QStringLiteral("adapter"), adapter);
    });
}

// set address name="wintun" source=static addr=A mask=M | set address name="wintun" source=dhcp
int setAddress(const QStringList &arguments)
{
    if (arguments.size() < 6 || !adapterArgument(arguments.at(4), true))
        return notFound(arguments);
    QMap<QString, QString> values;
    for (int i = 5; i < arguments.size(); ++i) {
        const auto [tag, value] = tagged(arguments.at(i));
        if (tag.isEmpty() || values.contains(tag))
            return notFound(arguments);
        values.insert(tag, value);
    }
    const QString source = values.take(QStringLiteral("source")).toLower();
    if (source == QLatin1String("dhcp") && values.isEmpty()) {
        if (!adapterPresent())
            return noAdapter();
        updateAdapter([](QJsonObject &adapter) {
            adapter.insert(QStringLiteral("addressSource"), QStringLiteral("dhcp"));
            adapter.remove(QStringLiteral("address"));
            adapter.remove(QStringLiteral("mask"));
        });
        printOut(QStringLiteral("\n"));
        return 0;
    }
    if (source != QLatin1String("static") || values.keys() != QStringList{"addr", "mask"})
        return notFound(arguments);
    if (!isIpv4(values.value(QStringLiteral("addr"))) || !isMask(values.value(QStringLiteral("mask"))))
        return parameterIncorrect(QStringLiteral("address or mask"));
    if (!adapterPresent())
        return noAdapter();
    updateAdapter([&](QJsonObject &adapter) {
        adapter.insert(QStringLiteral("addressSource"), QStringLiteral("static"));
        adapter.insert(QStringLiteral("address"), values.value(QStringLiteral("addr")));
        adapter.insert(QStringLiteral("mask"), values.value(QStringLiteral("mask")));
    });
    printOut(QStringLiteral("\n"));
    return 0;
}

// set dnsservers name="wintun" static address=D register=none validate=no | ... dhcp
int setDns(const QStringList &arguments)
{
    if (arguments.size() < 6 || !adapterArgument(arguments.at(4), true))
        return notFound(arguments);
    QString source = arguments.at(5);
    if (tagged(source).first == QLatin1String("source"))
        source = tagged(source).second;
    source = source.toLower();
    QMap<QString, QString> values;
    for (int i = 6; i < arguments.size(); ++i) {
        const auto [tag, value] = tagged(arguments.at(i));
        if (tag.isEmpty() || values.contains(tag))
            return notFound(arguments);
        values.insert(tag, value.toLower());
    }
    if (source == QLatin1String("dhcp") && values.isEmpty()) {
        if (!adapterPresent())
            return noAdapter();
        updateAdapter([](QJsonObject &adapter) {
            adapter.insert(QStringLiteral("dnsSource"), QStringLiteral("dhcp"));
            adapter.remove(QStringLiteral("dns"));
        });
        printOut(QStringLiteral("\n"));
        return 0;
    }
    const QStringList allowed{QStringLiteral("address"), QStringLiteral("register"),
                              QStringLiteral("validate")};
    for (const QString &tag : values.keys()) {
        if (!allowed.contains(tag))
            return notFound(arguments);
    }
    const QString address = values.value(QStringLiteral("address"));
    const QString registration = values.value(QStringLiteral("register"), QStringLiteral("primary"));
    const QString validate = values.value(QStringLiteral("validate"), QStringLiteral("yes"));
    if (source != QLatin1String("static") || !isIpv4(address) ||
        !QStringList{"none", "primary", "both"}.contains(registration) ||
        !QStringList{"yes", "no"}.contains(validate))
        return parameterIncorrect(QStringLiteral("source, address, register or validate"));
    if (!adapterPresent())
        return noAdapter();
    updateAdapter([&](QJsonObject &adapter) {
        adapter.insert(QStringLiteral("dnsSource"), QStringLiteral("static"));
        adapter.insert(QStringLiteral("dns"), address);
    });
    printOut(QStringLiteral("\n"));
    return 0;
}

// add route PREFIX "wintun" NEXTHOP metric=N | delete route PREFIX "wintun" [NEXTHOP]
int route(const QStringList &arguments, bool adding)
{
    QString prefix;
    QString nextHop;
    QString metric;
    bool haveAdapter = false;
    int position = 0;
    for (int i = 4; i < arguments.size(); ++i) {
        const auto [tag, value] = tagged(arguments.at(i));
        const QString slot =
            tag.isEmpty() ? QStringList{"prefix", "interface", "nexthop"}.value(position++) : tag;
        if (slot == QLatin1String("prefix") && prefix.isEmpty()) {
            prefix = value;
        } else if (slot == QLatin1String("interface") && !haveAdapter) {
            if (!adapterArgument(tag.isEmpty() ? value : arguments.at(i), false))
                return parameterIncorrect(
                    QStringLiteral("%1: the interface is \"wintun\" in double quotes").arg(value));
            haveAdapter = true;
        } else if (slot == QLatin1String("nexthop") && nextHop.isEmpty()) {
            nextHop = value;
        } else if (slot == QLatin1String("metric") && adding && metric.isEmpty()) {
            metric = value;
        } else {
            return notFound(arguments);
        }
    }
    if (!haveAdapter || !isPrefix(prefix))
        return parameterIncorrect(QStringLiteral("prefix and interface are required"));
    bool metricOk = true;
    const int metricValue = metric.isEmpty() ? 0 : metric.toInt(&metricOk);
    if ((!nextHop.isEmpty() && !isIpv4(nextHop)) || !metricOk || metricValue < 0)
        return parameterIncorrect(QStringLiteral("nexthop or metric"));
    if (!adapterPresent())
        return noAdapter();

    bool known = false;
    updateAdapter([&](QJsonObject &adapter) {
        QJsonArray routes = adapter.value(QStringLiteral("routes")).toArray();
        for (qsizetype i = 0; i < routes.size(); ++i) {
            if (routes.at(i).toObject().value(QStringLiteral("prefix")).toString() == prefix) {
                known = true;
                if (!adding)
                    routes.removeAt(i);
                break;
            }
        }
        if (adding && !known)
            routes.append(QJsonObject{{QStringLiteral("prefix"), prefix},
                                      {QStringLiteral("nexthop"), nextHop},
                                      {QStringLiteral("metric"), metricValue}});
        adapter.insert(QStringLiteral("routes"), routes);
    });
    if (adding && known) {
        printError(QStringLiteral("The object already exists.\n"));
        return 1;
    }
    if (!adding && !known) {
        printError(QStringLiteral("Element not found.\n"));
        return 1;
    }
    printOut(QStringLiteral("Ok.\n\n"));
    return 0;
}

} // namespace

int netsh(const QStringList &arguments)
{
    if (matches(arguments, {"winhttp"}))
        return winHttp(arguments);
    if (matches(arguments, {"interface", "ipv4", "set", "address"}))
        return setAddress(arguments);
    if (matches(arguments, {"interface", "ipv4", "set", "dnsservers"}))
        return setDns(arguments);
    if (matches(arguments, {"interface", "ipv4", "add", "route"}))
        return route(arguments, true);
    if (matches(arguments, {"interface", "ipv4", "delete", "route"}))
        return route(arguments, false);
    return notFound(arguments);
}

} // namespace Standin::Commands
