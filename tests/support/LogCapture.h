#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects every line the code under test logs while it is alive, and still prints them.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const;
    bool contains(const QString &fragment) const;
    QString joined() const { return lines().join(QLatin1Char('\n')); }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);
    QtMessageHandler previous;
};
