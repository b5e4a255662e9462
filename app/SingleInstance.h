#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;

namespace Tavorin::Api {

// One client per settings folder, so per user: a second start (a double click, an autostart entry)
// must not run a second engine beside the first, whose start-up repair would take the first's live
// connection for the leftovers of a dead run. The second start asks the first to come to the front
// and leaves without touching anything.
//
// The hand-over channel belongs to its user: a socket file in the user's own runtime folder (an
// abstract socket name where that path is too long, with the peer's user checked on both sides), a
// pipe on Windows that admits the user alone and whose server a second start checks. Each caller
// gets one short line within a short while, and only a few callers are served at once, so that
// nobody can make the client hold on to memory or descriptors.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is now the client of its settings folder. False when another one runs:
    // it has been asked to show its window, and this process should end.
    bool claim();

    // The longest request a caller may send, its line end included, and how long it may take.
    static constexpr int maxRequestBytes = 64;
    static constexpr int requestLimitMs = 1000;
    // Callers served at once; any beyond are closed on arrival.
    static constexpr int maxCallers = 8;

signals:
    // Another start of the client asked for the window.
    void activationRequested();

private:
    enum class Answer { Shown, Silent, NotListening };
    struct Channel
    {
        QString name;
        bool abstract = false; // a Linux abstract socket name, not a path
    };

    void listen();
    void serve(QLocalSocket *caller);
    void stopAnswering();
    Answer askToShow(int limitMs) const;
    // Whether the lock's file was left by nobody this machine runs: it cannot be read, or it names
    // another machine (a settings folder copied from another computer).
    bool lockOfNobodyHere() const;
    bool takeBackLock();
    static Channel channel(const QString &folder);
    static void useChannel(QLocalSocket &socket, const Channel &channel);
    // The other end of a connection runs as this process's user.
    static bool callerIsThisUser(const QLocalSocket &caller);
    static bool listenerIsThisUser(const QLocalSocket &listener);

    // How long a client that has taken the request may take to answer it.
    static constexpr int answerLimitMs = 3000;
    // How long a second start waits for a holder of the lock that does not listen: one that is still
    // starting, or one that is leaving and may take its connection down first (the goodbye, the
    // proxy's and the core's stops).
    static constexpr int takeoverLimitMs = 15000;

    QString folder;
    std::unique_ptr<QLockFile> lock;
    QLocalServer *server = nullptr;
    int callers = 0;
    bool leaving = false;
};

} // namespace Tavorin::Api
