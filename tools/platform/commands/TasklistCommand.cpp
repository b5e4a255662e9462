#include "Commands.h"

#include "StandinStore.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>

namespace Standin::Commands {

namespace {

qint64 residentKiB(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    // procfs files report no size, so they are read whole rather than line by line up to atEnd().
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

} // namespace

// tasklist /FI "PID eq N" [/FO TABLE|CSV] [/NH]: what Windows prints, one row when process N lives.
int tasklist(const QStringList &arguments)
{
    static const QRegularExpression filter(QStringLiteral("^\\s*PID\\s+eq\\s+(\\d+)\\s*$"),
                                           QRegularExpression::CaseInsensitiveOption);
    const auto invalid = [](const QString &argument) {
        printError(QStringLiteral("ERROR: Invalid argument/option - '%1'.\nType \"TASKLIST /?\" for usage.\n")
                       .arg(argument));
        return 1;
    };
    qint64 pid = -1;
    bool csv = false;
    bool header = true;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString option = arguments.at(i).toUpper();
        if (option == QLatin1String("/FI") && i + 1 < arguments.size()) {
            const QRegularExpressionMatch match = filter.match(arguments.at(++i));
            if (!match.hasMatch())
                return invalid(arguments.at(i));
            pid = match.captured(1).toLongLong();
        } else if (option == QLatin1String("/FO") && i + 1 < arguments.size()) {
            const QString format = arguments.at(++i).toUpper();
            if (format != QLatin1String("CSV") && format != QLatin1String("TABLE"))
                return invalid(arguments.at(i));
            csv = format == QLatin1String("CSV");
        } else if (option == QLatin1String("/NH")) {
            header = false;
        } else {
            return invalid(arguments.at(i));
        }
    }
    // The stand-in keeps no process list of its own: it answers for one process only.
    if (pid < 0)
        return invalid(arguments.value(0));
    const QString image = StandinStore::imageName(pid);
    if (image.isEmpty()) {
        printOut(QStringLiteral("INFO: No tasks are running which match the specified criteria.\n"));
        return 0;
    }
    const QString memory = QLocale(QLocale::English).toString(residentKiB(pid)) + QStringLiteral(" K");
    if (csv) {
        const QString head =
            QStringLiteral("\"Image Name\",\"PID\",\"Session Name\",\"Session#\",\"Mem Usage\"\n");
        printOut((header ? head : QString()) +
                 QStringLiteral("\"%1\",\"%2\",\"Console\",\"1\",\"%3\"\n").arg(image).arg(pid).arg(memory));
        return 0;
    }
    const QString head =
        QStringLiteral("\nImage Name                     PID Session Name        Session#    Mem Usage\n"
                       "========================= ======== ================ =========== ============\n");
    printOut((header ? head : QStringLiteral("\n")) + QStringLiteral("%1%2 %3%4%5\n")
                                                          .arg(image.left(25), -25)
                                                          .arg(pid, 9)
                                                          .arg(QStringLiteral("Console"), -16)
                                                          .arg(1, 12)
                                                          .arg(memory, 13));
    return 0;
}

} // namespace Standin::Commands
