#pragma once

#include "Accounts.h"
#include "Announcements.h"
#include "Configuration.h"
#include "DevReply.h"
#include "Heartbeats.h"
#include "OrderHistory.h"
#include "Payments.h"
#include "ServerCatalog.h"
#include "Trials.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QUrlQuery>

namespace MirevoDev {

// One request to the REST API as the handlers see it.
struct ApiCall
{
    QString method;
    QStringList segments; // the path below /api/v1/, split at "/" and percent-decoded per segment
    QUrlQuery query;
    QByteArray body;
    QString bearerToken; // empty without an "Authorization: Bearer ..." header
};

// Everything the service knows, one area each, and the REST API's routing: which endpoints exist,
// which method each takes and which need a signed-in caller.
class DevServiceState
{
public:
    DevServiceState();
    DevServiceState(const DevServiceState &) = delete;
    DevServiceState &operator=(const DevServiceState &) = delete;

    // Back to the seed: every area as at start.
    void reset();
    // http://127.0.0.1:PORT, the root of payment pages and pagination links.
    void setPublicRoot(const QString &root) { rootUrl = root; }
    QString publicRoot() const { return rootUrl; }

    DevReply handleApi(const ApiCall &call);

    Accounts &accounts() { return accountArea; }
    Configuration &configuration() { return configurationArea; }
    const Configuration &configuration() const { return configurationArea; }
    ServerCatalog &servers() { return serverArea; }
    Payments &payments() { return paymentArea; }
    Announcements &announcements() { return announcementArea; }
    Heartbeats &heartbeats() { return heartbeatArea; }

    // What a restart keeps: accounts with their trials and VIP time, tokens, and orders. The rest
    // (configuration, servers, announcements, heartbeats) starts from the seed on every start.
    QJsonObject saved() const;
    // On failure the state is partly replaced: reset() it.
    bool restore(const QJsonObject &saved, QString *error);
    // What the last restore() changed to bring a state of an earlier seed up to this one; empty for none.
    QString seedUpgrade() const { return accountArea.seedUpgrade(); }
    // "2 accounts, 3 tokens and 1 orders": what saved() holds, for a person reading the log.
    QString savedSummary() const;

private:
    QString rootUrl;
    Configuration configurationArea;
    Accounts accountArea;
    Trials trialArea;
    ServerCatalog serverArea;
    Payments paymentArea;
    OrderHistory orderArea;
    Announcements announcementArea;
    Heartbeats heartbeatArea;
};

} // namespace MirevoDev
