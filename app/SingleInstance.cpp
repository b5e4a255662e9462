#include "app/SingleInstance.h"

#include "api/storage/LocalStorage.h"
#include "app/ClientExit.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>
#include <QTimer>

#if defined(Q_OS_WIN)
#include "api/win32/Win32System.h"

#include <windows.h>
#elif defined(Q_OS_LINUX)
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace Tavorin::Api {

namespace {
const QString tag = QStringLiteral("[SingleInstance]");
const QByteArray activate = "activate\n";
const QByteArray done = "ok\n";

QString digestOf(const QString &folder, qsizetype digits)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha256).toHex().left(digits));
}

#if defined(Q_OS_LINUX)
// The user id of the process at the other end of a local socket; -1 when the system does not say.
qint64 peerUser(const QLocalSocket &socket)
{
    ucred credentials = {};
    socklen_t size = sizeof(credentials);
    if (::getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials,
                     &size) != 0)
        return -1;
    return credentials.uid;
}
#endif
} // namespace

SingleInstance::SingleInstance(QObject *parent) : QObject(parent) {}

SingleInstance::~SingleInstance() = default;

SingleInstance::Channel SingleInstance::channel(const QString &folder)
{
#if defined(Q_OS_WIN)
    // A pipe name is seen by the whole machine; the digest of the user's own folder keeps it theirs,
    // and the pipe admits this user alone (the server's user is checked by a second start as well).
    return {QStringLiteral("mirevo-") + digestOf(folder, 24), false};
#else
    // A socket file in the user's runtime folder, which only the user may enter.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QString path =
        (runtime.isEmpty() ? folder : runtime) + QStringLiteral("/mirevo-") + digestOf(folder, 16);
#if defined(Q_OS_LINUX)
    // A deep runtime folder (a long home, a sandbox) takes the path past what a socket's address
    // holds: an abstract name then, which anyone may reach, so both ends check the other's user.
    if (runtime.isEmpty() || QFile::encodeName(path).size() >= qsizetype(sizeof(sockaddr_un::sun_path)))
        return {QStringLiteral("mirevo-") + digestOf(folder, 24), true};
#endif
    return {path, false};
#endif
}

void SingleInstance::useChannel(QLocalSocket &socket, const Channel &channel)
{
    if (channel.abstract)
        socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.setServerName(channel.name);
}

bool SingleInstance::callerIsThisUser(const QLocalSocket &caller)
{
#if defined(Q_OS_LINUX)
    return peerUser(caller) == qint64(::geteuid());
#else
    // The pipe (Windows) admits this user alone; the socket file lies in the user's own folder.
    Q_UNUSED(caller)
    return true;
#endif
}

bool SingleInstance::listenerIsThisUser(const QLocalSocket &listener)
{
#if defined(Q_OS_WIN)
    // Anyone may create a pipe of this name first, before the client does: its server must run as
    // this user.
    return Win32::pipeServerRunsAsThisUser(reinterpret_cast<void *>(listener.socketDescriptor()));
#elif defined(Q_OS_LINUX)
    return peerUser(listener) == qint64(::geteuid());
#else
    Q_UNUSED(listener)
    return true;
#endif
}

bool SingleInstance::lockOfNobodyHere() const
{
    qint64 pid = 0;
    QString host;
    QString application;
    if (!lock->getLockInfo(&pid, &host, &application))
        return true;
    return !host.isEmpty() && host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) != 0;
}

// Removing is refused while any process still holds the file (a client of this machine that is
// just writing it, for one): only a file nobody holds goes.
bool SingleInstance::takeBackLock()
{
    if (!lock->removeStaleLockFile() || !lock->tryLock(0))
        return false;
    qWarning().noquote() << tag << "收回无人持有的锁文件:" << lock->fileName();
    return true;
}

bool SingleInstance::claim()
{
    folder = Storage::LocalStorage::folderPath();
    lock = std::make_unique<QLockFile>(folder + QStringLiteral("/tavorin_instance.lock"));
    // Held for the whole run, however long: only a holder that is gone frees it.
    lock->setStaleLockTime(0);
    const QDeadlineTimer deadline(takeoverLimitMs);
    bool announced = false;
    for (;;) {
        // A file there before a lock that is free at once was left by a run that has ended.
        const bool leftBehind = QFileInfo::exists(lock->fileName());
        if (lock->tryLock(0)) {
            if (leftBehind)
                qWarning().noquote() << tag << "收回无人持有的锁文件:" << lock->fileName();
            listen();
            return true;
        }
        const bool held = lock->error() == QLockFile::LockFailedError;
        if (held && !announced) {
            qDebug().noquote() << tag << "客户端已在运行, 显示它的窗口";
            announced = true;
        }
        const Answer answer =
            askToShow(int(qMin<qint64>(answerLimitMs, qMax<qint64>(1, deadline.remainingTime()))));
        if (answer == Answer::Shown)
            return false;
        if (answer == Answer::NotListening && !held) {
            // No lock file can be made (the settings folder cannot be created or written), so nobody
            // holds one: the client runs, as it does with settings it cannot keep. One started the same
            // way would have answered.
            qWarning().noquote() << tag << "无法创建锁文件, 照常启动:" << folder;
            listen();
            return true;
        }
        // A file cut short by a power cut, garbage, or another computer's: nobody here will ever free
        // it, and nobody answered for it.
        if (answer == Answer::NotListening && lockOfNobodyHere() && takeBackLock()) {
            listen();
            return true;
        }
        // Silent: taken but never answered, the first client hangs, and a second one must not run all the
        // same. Not listening: the holder is starting, or leaving, and this start takes over once the lock
        // is free, unless that takes too long.
        if (answer == Answer::Silent || deadline.hasExpired()) {
            qWarning().noquote() << tag << "运行中的客户端没有应答";
            return false;
        }
        QThread::msleep(50);
    }
}

void SingleInstance::listen()
{
    const Channel own = channel(folder);
    server = new QLocalServer(this);
    server->setSocketOptions(own.abstract ? QLocalServer::AbstractNamespaceOption
                                          : QLocalServer::UserAccessOption);
    // A socket file left by a run that was killed (where the name is a path): the lock shows that
    // nobody else is listening there.
    if (!own.abstract)
        QLocalServer::removeServer(own.name);
    // The backlog the system keeps for callers not yet taken: a few, as only a few are served.
    server->setMaxPendingConnections(maxCallers);
    if (!server->listen(own.name)) {
        qWarning().noquote() << tag << "无法监听:" << server->errorString();
        return;
    }
    qDebug().noquote() << tag << "监听:" << (own.abstract ? QStringLiteral("@") : QString()) + own.name;
    // A client that is leaving shows no window again: a start meanwhile waits for the lock instead,
    // and runs once this one has gone.
    connect(ClientExit::instance(), &ClientExit::decided, this, &SingleInstance::stopAnswering);
    connect(server, &QLocalServer::newConnection, this, [this]() {
        while (QLocalSocket *caller = server->nextPendingConnection())
            serve(caller);
    });
}

void SingleInstance::stopAnswering()
{
    leaving = true;
    if (!server)
        return;
    server->close();
    // A start that has already asked gets no answer either: it then waits for the lock.
    const QList<QLocalSocket *> open = server->findChildren<QLocalSocket *>();
    for (QLocalSocket *caller : open)
        caller->abort();
}

void SingleInstance::serve(QLocalSocket *caller)
{
    if (leaving || callers >= maxCallers || !callerIsThisUser(*caller)) {
        caller->abort();
        caller->deleteLater();
        return;
    }
    ++callers;
    connect(caller, &QObject::destroyed, this, [this]() { --callers; });
    connect(caller, &QLocalSocket::disconnected, caller, &QObject::deleteLater);
    // What does not fit one short request stays with the system, not with this process.
    caller->setReadBufferSize(maxRequestBytes + 1);
    QTimer::singleShot(requestLimitMs, caller, [caller]() {
        caller->abort();
        caller->deleteLater();
    });
    connect(caller, &QLocalSocket::readyRead, caller, [this, caller]() {
        if (!caller->canReadLine()) {
            if (caller->bytesAvailable() > maxRequestBytes) {
                caller->abort();
                caller->deleteLater();
            }
            return;
        }
        const QByteArray request = caller->readLine(maxRequestBytes + 1);
        if (request == activate && !leaving) {
            qDebug().noquote() << tag << "客户端再次启动, 显示窗口";
            emit activationRequested();
            caller->write(done);
        }
        caller->disconnectFromServer();
    });
}

SingleInstance::Answer SingleInstance::askToShow(int limitMs) const
{
#if defined(Q_OS_WIN)
    // Windows lets only the foreground process give the foreground away: this one, just started.
    ::AllowSetForegroundWindow(ASFW_ANY);
#endif
    const QDeadlineTimer deadline(limitMs);
    const auto remaining = [&deadline]() { return int(qMax<qint64>(1, deadline.remainingTime())); };
    QLocalSocket socket;
    useChannel(socket, channel(folder));
    socket.connectToServer();
    if (!socket.waitForConnected(remaining()))
        return Answer::NotListening;
    if (!listenerIsThisUser(socket)) {
        // Somebody else took the name: whatever they answer says nothing of this user's client.
        qWarning().noquote() << tag << "监听者不属于本用户, 不予理会";
        return Answer::NotListening;
    }
    socket.write(activate);
    socket.flush();
    while (!socket.canReadLine() && socket.bytesAvailable() <= maxRequestBytes &&
           socket.waitForReadyRead(remaining())) {
    }
    if (socket.canReadLine())
        return socket.readLine(maxRequestBytes + 1) == done ? Answer::Shown : Answer::NotListening;
    // Closed on this start without a word: the client is leaving.
    return socket.state() == QLocalSocket::ConnectedState ? Answer::Silent : Answer::NotListening;
}

} // namespace Tavorin::Api
