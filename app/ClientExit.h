#pragma once

#include <QObject>
#include <QString>

namespace Tavorin::Api {

// The moment the client's exit is decided: its window's close (the window never refuses one), a quit,
// a termination signal, the end of the user's session. From then on the client takes its connection
// down and nothing starts anew: the connection service refuses every connect, and a second start of
// the client is no longer answered (it waits for this one to go). The teardown itself waits for the
// goodbye in a nested event loop, where any answer or timer may run: without this one moment, a
// connect asked for meanwhile started a core that the teardown then left behind, with the system
// proxy still pointed at it.
class ClientExit : public QObject
{
    Q_OBJECT

public:
    static ClientExit *instance();

    // The window whose close ends the client.
    void watchWindow(QObject *window);
    // Takes effect once; later calls do nothing.
    void decide(const QString &cause);

signals:
    // Emitted once, before anything of the teardown has run.
    void decided();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit ClientExit(QObject *parent = nullptr);

    bool decidedAlready = false;
};

} // namespace Tavorin::Api
