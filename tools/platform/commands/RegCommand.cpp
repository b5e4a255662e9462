#include "Commands.h"

#include "StandinStore.h"

#include <QJsonObject>
#include <QTextStream>

#include <cstdio>

namespace Standin::Commands {

namespace {

// The one key the client writes; the stand-in keeps no other part of the registry.
const QString InternetSettingsKey =
    QStringLiteral("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings");

const QStringList KnownTypes = {QStringLiteral("REG_SZ"),        QStringLiteral("REG_MULTI_SZ"),
                                QStringLiteral("REG_EXPAND_SZ"), QStringLiteral("REG_DWORD"),
                                QStringLiteral("REG_QWORD"),     QStringLiteral("REG_BINARY"),
                                QStringLiteral("REG_NONE")};

int invalidSyntax(const QString &operation, const QString &detail = {})
{
    printError(QStringLiteral("ERROR: Invalid syntax.%1\nType \"REG %2 /?\" for usage.\n")
                   .arg(detail.isEmpty() ? QString() : QLatin1Char(' ') + detail, operation));
    return 1;
}

bool isInternetSettings(QString key)
{
    if (key.startsWith(QLatin1String("HKEY_CURRENT_USER\\"), Qt::CaseInsensitive))
        key.replace(0, 17, QStringLiteral("HKCU"));
    return key.compare(InternetSettingsKey, Qt::CaseInsensitive) == 0;
}

int unknownKey()
{
    printError(QStringLiteral("ERROR: The system was unable to find the specified registry key or value.\n"
                              "(This stand-in keeps only %1.)\n")
                   .arg(InternetSettingsKey));
    return 1;
}

// REG_DWORD data as Windows reads it: decimal, or hexadecimal after 0x, within 32 bits.
bool dwordData(const QString &text, QString *normalised)
{
    bool ok = false;
    const qulonglong value = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                                 ? text.mid(2).toULongLong(&ok, 16)
                                 : text.toULongLong(&ok, 10);
    if (!ok || value > 0xffffffffULL)
        return false;
    *normalised = QString::number(value);
    return true;
}

QString findValue(const QJsonObject &registry, const QString &name)
{
    for (auto it = registry.begin(); it != registry.end(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.key();
    }
    return {};
}

int add(const QStringList &arguments)
{
    if (arguments.size() < 2)
        return invalidSyntax(QStringLiteral("ADD"));
    QString name;
    bool haveName = false;
    QString type = QStringLiteral("REG_SZ");
    QString data;
    bool force = false;
    for (int i = 2; i < arguments.size(); ++i) {
        const QString option = arguments.at(i).toLower();
        const bool hasValue = i + 1 < arguments.size();
        if (option == QLatin1String("/v") && hasValue && !haveName) {
            name = arguments.at(++i);
            haveName = true;
        } else if (option == QLatin1String("/ve") && !haveName) {
            haveName = true;
        } else if (option == QLatin1String("/t") && hasValue) {
            type = arguments.at(++i).toUpper();
        } else if (option == QLatin1String("/d") && hasValue) {
            data = arguments.at(++i);
        } else if (option == QLatin1String("/f")) {
            force = true;
        } else {
            return invalidSyntax(QStringLiteral("ADD"));
        }
    }
    if (!isInternetSettings(arguments.at(1)))
        return unknownKey();
    if (!haveName)
        return invalidSyntax(QStringLiteral("ADD"), QStringLiteral("(Name a value with /v.)"));
    if (!KnownTypes.contains(type)) {
        printError(QStringLiteral("ERROR: Invalid syntax. Specify a valid registry type for '/t'.\n"));
        return 1;
    }
    if (type == QLatin1String("REG_DWORD") && !dwordData(data, &data)) {
        printError(QStringLiteral("ERROR: Invalid syntax. Specify valid numeric value for '/d'.\n"));
        return 1;
    }

    const QJsonObject registry = StandinStore::readState().value(QStringLiteral("registry")).toObject();
    if (!force && !findValue(registry, name).isEmpty()) {
        // Without /f the real command asks, and waits for an answer on its input.
        printOut(QStringLiteral("Value %1 exists, overwrite(Yes/No)? ").arg(name));
        QTextStream input(stdin);
        const QString answer = input.readLine().trimmed().toLower();
        if (answer != QLatin1String("yes") && answer != QLatin1String("y")) {
            printOut(QStringLiteral("The operation was canceled by the user.\n"));
            return 1;
        }
    }
    StandinStore::updateState([&](QJsonObject &state) {
        QJsonObject values = state.value(QStringLiteral("registry")).toObject();
        const QString existing = findValue(values, name);
        if (!existing.isEmpty())
            values.remove(existing);
        values.insert(name, QJsonObject{{QStringLiteral("type"), type}, {QStringLiteral("data"), data}});
        state.insert(QStringLiteral("registry"), values);
    });
    printOut(QStringLiteral("The operation completed successfully.\n"));
    return 0;
}

int query(const QStringList &arguments)
{
    if (arguments.size() != 4 || arguments.at(2).compare(QLatin1String("/v"), Qt::CaseInsensitive) != 0)
        return invalidSyntax(QStringLiteral("QUERY"));
    if (!isInternetSettings(arguments.at(1)))
        return unknownKey();
    const QJsonObject registry = StandinStore::readState().value(QStringLiteral("registry")).toObject();
    const QString name = findValue(registry, arguments.at(3));
    if (name.isEmpty()) {
        printError(
            QStringLiteral("ERROR: The system was unable to find the specified registry key or value.\n"));
        return 1;
    }
    const QJsonObject value = registry.value(name).toObject();
    const QString type = value.value(QStringLiteral("type")).toString();
    QString data = value.value(QStringLiteral("data")).toString();
    if (type == QLatin1String("REG_DWORD"))
        data = QStringLiteral("0x") + QString::number(data.toULongLong(), 16);
    printOut(QStringLiteral("\nHKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
                            "Settings\n    %1    %2    %3\n\n")
                 .arg(name, type, data));
    return 0;
}

} // namespace

int reg(const QStringList &arguments)
{
    const QString operation = arguments.value(0).toLower();
    if (operation == QLatin1String("add"))
        return add(arguments);
    if (operation == QLatin1String("query"))
        return query(arguments);
    printError(QStringLiteral("ERROR: Invalid syntax.\nType \"REG /?\" for usage.\n"));
    return 1;
}

} // namespace Standin::Commands
