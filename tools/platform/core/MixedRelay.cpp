#include "MixedRelay.h"

#include <QPointer>
#include <QTcpSocket>

#include <cstdio>
#include <memory>

namespace Standin {

namespace {

// What one side may hold unsent before the relay stops reading the other side, and what Qt may read
// ahead of the relay from each side: a connection then holds a few of these at most, whatever the
// speeds of its two ends, and a slow reader slows its sender down through TCP itself.
constexpr qint64 Bound = 256 * 1024;

// Moves what `from` has read to `to` while `to` has room; answers the bytes moved.
qint64 pass(QTcpSocket *from, QTcpSocket *to)
{
    qint64 moved = 0;
    while (from->bytesAvailable() > 0 && to->bytesToWrite() < Bound) {
        const QByteArray data = from->read(Bound - to->bytesToWrite());
        to->write(data);
        moved += data.size();
    }
    return moved;
}

// What is left on a side that has closed goes to the other at once: at most one read buffer more.
void passTheRest(QTcpSocket *from, QTcpSocket *to, qint64 &total)
{
    const QByteArray rest = from->readAll();
    total += rest.size();
    to->write(rest);
}

} // namespace

MixedRelay::MixedRelay(quint16 socks, quint16 http, QObject *parent)
    : QObject(parent), socksPort(socks), httpPort(http)
{
    connect(&server, &QTcpServer::newConnection, this, &MixedRelay::accept);
}

bool MixedRelay::listen(const QHostAddress &address, quint16 port)
{
    return server.listen(address, port);
}

void MixedRelay::accept()
{
    while (QTcpSocket *accepted = server.nextPendingConnection()) {
        // Each side deletes itself once closed; the other side is reached through a guard.
        QPointer<QTcpSocket> client = accepted;
        QPointer<QTcpSocket> upstream = new QTcpSocket(this);
        auto chosen = std::make_shared<bool>(false);
        client->setReadBufferSize(Bound);
        upstream->setReadBufferSize(Bound);
        ++open;

        const auto sendUp = [this, client, upstream]() {
            if (client && upstream && upstream->state() == QAbstractSocket::ConnectedState)
                upload += pass(client, upstream);
        };
        const auto sendDown = [this, client, upstream]() {
            if (client && upstream && client->state() == QAbstractSocket::ConnectedState)
                download += pass(upstream, client);
        };

        connect(client, &QTcpSocket::readyRead, this, [this, client, upstream, chosen, sendUp]() {
            // The first byte chooses the inbound; it stays in the buffer until the inbound is reached.
            char first = 0;
            if (!*chosen && upstream && client->peek(&first, 1) == 1) {
                *chosen = true;
                upstream->connectToHost(QHostAddress::LocalHost,
                                        static_cast<unsigned char>(first) == 0x05 ? socksPort : httpPort);
            }
            sendUp();
        });
        connect(upstream, &QTcpSocket::connected, this, sendUp);
        connect(upstream, &QTcpSocket::bytesWritten, this, sendUp);
        connect(upstream, &QTcpSocket::readyRead, this, sendDown);
        connect(client, &QTcpSocket::bytesWritten, this, sendDown);
        connect(upstream, &QTcpSocket::errorOccurred, this,
                [client, upstream](QAbstractSocket::SocketError error) {
                    if (error == QAbstractSocket::RemoteHostClosedError)
                        return;
                    std::fprintf(stderr, "ERROR relay to v2ray: %s\n", qPrintable(upstream->errorString()));
                    std::fflush(stderr);
                    if (upstream->state() != QAbstractSocket::ConnectedState)
                        upstream->deleteLater();
                    if (client)
                        client->disconnectFromHost();
                });
        connect(upstream, &QTcpSocket::disconnected, this, [this, client, upstream]() {
            if (client) {
                if (client->state() == QAbstractSocket::ConnectedState)
                    passTheRest(upstream, client, download);
                client->disconnectFromHost();
            }
            upstream->deleteLater();
        });
        connect(client, &QTcpSocket::disconnected, this, [this, client, upstream]() {
            --open;
            if (upstream) {
                if (upstream->state() == QAbstractSocket::ConnectedState) {
                    passTheRest(client, upstream, upload);
                    upstream->disconnectFromHost();
                } else {
                    upstream->abort();
                    upstream->deleteLater();
                }
            }
            client->deleteLater();
        });
    }
}

} // namespace Standin
