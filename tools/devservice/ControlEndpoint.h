#pragma once

#include "DevReply.h"

#include <QString>

class QHttpServerRequest;

namespace MirevoDev {

class DevServiceState;
class RequestJournal;

// The control endpoint under /_control/, never under /api/v1: how tests read the request log and
// script answers, and how they set up accounts, tokens, payments, configuration, servers,
// announcements and heartbeat orders without going through a client. JSON in and out:
// {"ok": true, ...} or {"ok": false, "error": ...}.
class ControlEndpoint
{
public:
    ControlEndpoint(DevServiceState &service, RequestJournal &log) : state(service), journal(log) {}

    // path: below /_control/.
    DevReply handle(const QString &method, const QString &path, const QHttpServerRequest &request);

private:
    DevServiceState &state;
    RequestJournal &journal;
};

} // namespace MirevoDev
