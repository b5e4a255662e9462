#include "LogCapture.h"

namespace {
QStringList *capturedLines = nullptr;
QtMessageHandler chained = nullptr;
} // namespace

LogCapture::LogCapture()
{
    capturedLines = new QStringList();
    previous = qInstallMessageHandler(&LogCapture::handler);
    chained = previous;
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(previous);
    delete capturedLines;
    capturedLines = nullptr;
}

QStringList LogCapture::lines() const
{
    return capturedLines ? *capturedLines : QStringList();
}

bool LogCapture::contains(const QString &fragment) const
{
    const QStringList all = lines();
    for (const QString &line : all) {
        if (line.contains(fragment))
            return true;
    }
    return false;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (capturedLines)
        capturedLines->append(message);
    if (chained)
        chained(type, context, message);
}
