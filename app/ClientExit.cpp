#include "app/ClientExit.h"

#include "vpn/VpnConnectionService.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEvent>

namespace Tavorin::Api {

ClientExit *ClientExit::instance()
{
    static ClientExit *exit = new ClientExit();
    return exit;
}

ClientExit::ClientExit(QObject *parent) : QObject(parent)
{
    // Whatever ends the event loop without passing through the window (the end of a Windows session,
    // inside which Qt emits aboutToQuit; a quit while the window is hidden) decides it too. Connected
    // first, so that the decision comes before the teardown that the connection service runs there.
    if (QCoreApplication *application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this,
                [this]() { decide(QStringLiteral("应用程序退出")); });
    connect(this, &ClientExit::decided, Services::VpnConnectionService::instance(),
            &Services::VpnConnectionService::refuseConnections);
}

void ClientExit::watchWindow(QObject *window)
{
    if (window)
        window->installEventFilter(this);
}

void ClientExit::decide(const QString &cause)
{
    if (decidedAlready)
        return;
    decidedAlready = true;
    qDebug().noquote() << "[ClientExit] 客户端退出:" << cause;
    emit decided();
}

bool ClientExit::eventFilter(QObject *watched, QEvent *event)
{
    // Before the window's own handling of the close, which takes the connection down.
    if (event->type() == QEvent::Close)
        decide(QStringLiteral("窗口关闭"));
    return QObject::eventFilter(watched, event);
}

} // namespace Tavorin::Api
