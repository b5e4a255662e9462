#pragma once

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

namespace Standin {

// The mixed listener: each connection goes to v2ray's socks inbound when its first byte is 0x05
// (SOCKS5), else to its http inbound; the bytes are counted in each direction. A side is read only while
// the other has room to send, so a slow reader slows its sender instead of filling the relay's memory.
class MixedRelay : public QObject
{
    Q_OBJECT

public:
    MixedRelay(quint16 socksPort, quint16 httpPort, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    QString errorString() const { return server.errorString(); }

    // Client to server, and server to client, since the core started.
    qint64 uploadTotal() const { return upload; }
    qint64 downloadTotal() const { return download; }
    int openConnections() const { return open; }

private:
    void accept();

    QTcpServer server;
    quint16 socksPort;
    quint16 httpPort;
    qint64 upload = 0;
    qint64 download = 0;
    int open = 0;
};

} // namespace Standin
