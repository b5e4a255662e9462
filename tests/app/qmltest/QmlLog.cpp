#include "QmlLog.h"

namespace Tavorin::Testing {

namespace {
QStringList recorded;
QmlLog *active = nullptr;
} // namespace

QmlLog::QmlLog(QObject *parent) : QObject(parent)
{
    active = this;
    previous = nullptr;
    install();
}

void QmlLog::install()
{
    // The test logger installs its own handler when a test file starts: chain onto whatever is current.
    const QtMessageHandler current = qInstallMessageHandler(&QmlLog::handler);
    if (current != &QmlLog::handler)
        previous = current;
}

QmlLog::~QmlLog()
{
    qInstallMessageHandler(previous);
    if (active == this)
        active = nullptr;
}

void QmlLog::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    recorded.append(message);
    if (active && active->previous)
        active->previous(type, context, message);
}

QStringList QmlLog::lines() const
{
    return recorded;
}

void QmlLog::clear()
{
    install();
    recorded.clear();
}

bool QmlLog::contains(const QString &fragment) const
{
    return indexOf(fragment) >= 0;
}

int QmlLog::indexOf(const QString &fragment) const
{
    for (int i = 0; i < recorded.size(); ++i) {
        if (recorded.at(i).contains(fragment))
            return i;
    }
    return -1;
}

QStringList QmlLog::linesContaining(const QString &fragment) const
{
    return recorded.filter(fragment);
}

} // namespace Tavorin::Testing
