#include "MixedRelay.h"

#include <QPointer>
#include <QTcpSocket>

#include <cstdio>

namespace Standin {

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
        auto pending = std::make_shared<QByteArray>();
        auto chosen = std::make_shared<bool>(false);
        ++open;

        connect(client, &QTcpSocket::readyRead, this, [this, client, upstream, pending, chosen]() {
            const QByteArray data = client->readAll();
            upload += data.size();
            if (!upstream)
                return;
            if (!*chosen && !data.isEmpty()) {
                *chosen = true;
                upstream->connectToHost(QHostAddress::LocalHost,
                                        static_cast<unsigned char>(data.at(0)) == 0x05 ? socksPort
                                                                                       : httpPort);
            }
            if (upstream->state() == QAbstractSocket::ConnectedState)
                upstream->write(data);
            else
                pending->append(data);
        });
        connect(upstream, &QTcpSocket::connected, this, [upstream, pending]() {
            upstream->write(*pending);
            pending->clear();
        });
        connect(upstream, &QTcpSocket::readyRead, this, [this, client, upstream]() {
            const QByteArray data = upstream->readAll();
            download += data.size();
            if (client)
                client->write(data);
        });
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
        connect(upstream, &QTcpSocket::disconnected, this, [client, upstream]() {
            if (client)
                client->disconnectFromHost();
            upstream->deleteLater();
        });
        connect(client, &QTcpSocket::disconnected, this, [this, client, upstream]() {
            --open;
            if (upstream) {
                if (upstream->state() == QAbstractSocket::ConnectedState) {
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
