#include "app/SingleInstance.h"

#include "api/storage/LocalStorage.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDebug>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

#if defined(Q_OS_WIN)
#include <windows.h>
#endif

namespace Tavorin::Api {

namespace {
const QString tag = QStringLiteral("[SingleInstance]");
const QByteArray activate = "activate\n";
const QByteArray done = "ok\n";
} // namespace

SingleInstance::SingleInstance(QObject *parent) : QObject(parent) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName(const QString &folder)
{
    const QString digest = QString::fromLatin1(
        QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha256).toHex().left(24));
#if defined(Q_OS_WIN) || defined(Q_OS_LINUX)
    // A pipe name (Windows) or an abstract socket name (Linux) is seen by the whole machine; the digest
    // of the user's own folder keeps it theirs. Neither is a path, whose length a deep home would
    // take past what a socket's address holds.
    return QStringLiteral("mirevo-") + digest;
#else
    // A socket file in the user's runtime folder: the temporary folder may be shared, or missing.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return (runtime.isEmpty() ? folder : runtime) + QStringLiteral("/mirevo-") + digest;
#endif
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
        if (lock->tryLock(0)) {
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
    server = new QLocalServer(this);
#if defined(Q_OS_LINUX)
    server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
#else
    server->setSocketOptions(QLocalServer::UserAccessOption);
#endif
    const QString name = serverName(folder);
    // A socket file left by a run that was killed (where the name is a path): the lock shows that
    // nobody else is listening there.
    QLocalServer::removeServer(name);
    if (!server->listen(name)) {
        qWarning().noquote() << tag << "无法监听:" << server->errorString();
        return;
    }
    // A client that is leaving shows no window again: a start meanwhile waits for the lock instead,
    // and runs once this one has gone.
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, server, &QLocalServer::close);
    connect(server, &QLocalServer::newConnection, this, [this]() {
        while (QLocalSocket *socket = server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, socket, [this, socket]() {
                if (!socket->canReadLine())
                    return;
                if (socket->readLine() == activate) {
                    qDebug().noquote() << tag << "客户端再次启动, 显示窗口";
                    emit activationRequested();
                }
                socket->write(done);
                socket->disconnectFromServer();
            });
        }
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
#if defined(Q_OS_LINUX)
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
#endif
    socket.connectToServer(serverName(folder));
    if (!socket.waitForConnected(remaining()))
        return Answer::NotListening;
    socket.write(activate);
    socket.flush();
    while (!socket.canReadLine() && socket.waitForReadyRead(remaining())) {
    }
    if (socket.canReadLine())
        return Answer::Shown;
    // Closed on this start without a word: the client is leaving.
    return socket.state() == QLocalSocket::ConnectedState ? Answer::Silent : Answer::NotListening;
}

} // namespace Tavorin::Api
