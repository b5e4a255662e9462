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

// tasklist /FI "PID eq N": the table Windows prints, one row when process N lives.
int tasklist(const QStringList &arguments)
{
    static const QRegularExpression filter(QStringLiteral("^\\s*PID\\s+eq\\s+(\\d+)\\s*$"),
                                           QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match =
        arguments.size() == 2 ? filter.match(arguments.at(1)) : QRegularExpressionMatch();
    if (arguments.size() != 2 || arguments.at(0).compare(QLatin1String("/FI"), Qt::CaseInsensitive) != 0 ||
        !match.hasMatch()) {
        printError(QStringLiteral("ERROR: Invalid argument/option - '%1'.\nType \"TASKLIST /?\" for usage.\n")
                       .arg(arguments.value(arguments.size() == 2 ? 1 : 0)));
        return 1;
    }
    const qint64 pid = match.captured(1).toLongLong();
    const QString image = StandinStore::imageName(pid);
    if (image.isEmpty()) {
        printOut(QStringLiteral("INFO: No tasks are running which match the specified criteria.\n"));
        return 0;
    }
    const QString memory = QLocale(QLocale::English).toString(residentKiB(pid)) + QStringLiteral(" K");
    printOut(
        QStringLiteral("\nImage Name                     PID Session Name        Session#    Mem Usage\n"
                       "========================= ======== ================ =========== ============\n") +
        QStringLiteral("%1%2 %3%4%5\n")
            .arg(image.left(25), -25)
            .arg(pid, 9)
            .arg(QStringLiteral("Console"), -16)
            .arg(1, 12)
            .arg(memory, 13));
    return 0;
}

} // namespace Standin::Commands
