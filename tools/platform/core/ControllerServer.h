#pragma once

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

#include <functional>

namespace Standin {

// The controller endpoint of the core: GET /connections answers the traffic totals, for a caller that
// presents "Authorization: Bearer SECRET" (anyone when the secret is empty).
class ControllerServer : public QObject
{
    Q_OBJECT

public:
    using Totals = std::function<QPair<qint64, qint64>()>; // upload, download

    ControllerServer(const QString &secret, Totals totals, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    // A controller that answers late, or wrongly: "unauthorized" (401 to everyone), "without totals"
    // (200 without figures), or the true answer when `reply` is empty.
    void misbehave(const QString &reply, int delayMs);
    QString errorString() const { return server.errorString(); }

private:
    void accept();
    QByteArray answer(const QByteArray &head) const;

    QTcpServer server;
    QString secret;
    Totals totals;
    QString wrongReply;
    int replyDelayMs = 0;
};

} // namespace Standin
