#pragma once

#include "ControlEndpoint.h"
#include "DevReply.h"
#include "DevServiceState.h"
#include "RequestJournal.h"
#include "StateFile.h"

#include <QHttpServer>
#include <QObject>

#include <memory>

class QHttpServerRequest;
class QHttpServerResponder;

namespace MirevoDev {

// The HTTP face of the service: the REST API under /api/v1/, the payment pages under /pay/ and the
// control endpoint under /_control/. Applies the scripted answers, wraps successful answers in the
// signed envelope when the configuration asks for it, and writes the state file after every change.
class DevServiceServer : public QObject
{
    Q_OBJECT

public:
    explicit DevServiceServer(QObject *parent = nullptr);

    // The seeded lines lead to this vmess endpoint (see ServerCatalog::setEndpoint); an error text when
    // it cannot serve them.
    QString useVmessEndpoint(const QJsonObject &lines);
    // Keeps accounts, tokens, orders and trials in this file from now on, starting from what it holds;
    // answers the line that says what was found there.
    QString keepStateIn(const QString &path);

    // Binds 127.0.0.1:port (0 picks a free port); returns the bound port, 0 on failure.
    quint16 listen(quint16 port);

private:
    void dispatch(const QHttpServerRequest &request, QHttpServerResponder &&responder);
    DevReply api(const QHttpServerRequest &request, const QString &encodedPath, int *delayMs);
    DevReply payPage(const QString &method, const QStringList &segments, const QHttpServerRequest &request);
    QByteArray envelope(const QByteArray &body) const;
    static void send(QHttpServerResponder &responder, const DevReply &reply);

    QHttpServer server;
    DevServiceState state;
    RequestJournal journal;
    ControlEndpoint control{state, journal};
    std::unique_ptr<StateFile> stateFile;
    QString lastSaveError;
};

} // namespace MirevoDev
