// mirevo-dev-service: the Mirevo REST service for development and tests.
//
//   mirevo-dev-service --port N [--state FILE] [--vmess-endpoint FILE] [--exit-with-stdin]
//                                                        (N = 0 picks a free port)
//
// --state keeps accounts, tokens, orders and trials in FILE across runs (without it everything lives in
// memory): read at start, written after every change. A missing file or one that is not a state file
// starts from the demo seed; a file of an earlier seed gets what this seed adds where nobody changed it
// (the demo account's VIP time, the trial account); a line on standard output says which.
// --vmess-endpoint names the JSON file of a local vmess endpoint (tools/demoendpoint writes it), one line
// per transport ("tcp", "ws", "tcp+tls", "ws+tls") with address, port, id, aid, net, path, host, tls
// and sni; the seeded servers then lead there instead of to made-up hosts.
// --exit-with-stdin ends the service when its standard input reaches end of file, so a service started by
// a test or a script does not outlive it.
// Listens on 127.0.0.1 only. The first line on standard output is "listening on 127.0.0.1:PORT", then
// the state file's line; request log lines go to standard error. Seeded accounts, both with the password
// mirevo123: demo@mirevo.dev with 30 days of VIP, and trial@mirevo.dev, a new account with its free trial
// still to take.
//
// How this service behaves where the client leaves it open:
// - Frame: every answer of /api/v1 is JSON with "success" and "message"; data under "data". Failures carry
//   "success": false. Validation failures are 422 with {"success","message","errors":{field:[texts]}}, the
//   first text doubling as "message". Unknown paths are 404, a known path with another method 405, a POST
//   body that is not a JSON object 400.
// - Authorisation: a bearer token per sign-in or registration. A missing, unknown or revoked token is 401 on
//   every endpoint that needs a signed-in caller (everything but auth/login, auth/register, configs, plans
//   and announcements). A suspended or banned account gets 403 on those endpoints (sign-out and auth/me
//   excepted; its "connected" heartbeats are answered with device_status = the account status,
//   force_disconnect true and "账号已被停用", so a running connection is ended). Wrong credentials are a 422
//   on "email", never a 401, because a 401 tells a client that its token died. Sign-out revokes the token it
//   was sent with. Device limits ("max_devices") are published, not enforced: a test stands for a sign-in
//   elsewhere by revoking tokens through the control endpoint.
// - Dates: ISO 8601 in UTC with "Z", whole seconds (2026-01-31T08:00:00Z); a date that is not set is null.
// - Registration answers 201 with the same members as a sign-in and signs the new account in; it needs a
//   valid, unused e-mail, a password of at least 6 characters equal to "password_confirmation", a name of
//   1 to 50 characters and a device id; "reffer_code" may be null, empty, or the "referral_code" of an
//   account (the demo account's is MIREVO2026), any other code is 422. Closed registration is 403.
// - Trials: the free trial lasts "free_trial_duration" hours and is granted once; the VIP trial adds
//   "vip_trial_duration" days of VIP once. A second activation is 422, a switched-off trial 403.
//   "is_vip" is true exactly while "vip_expires_at" lies in the future.
// - Servers: every entry carries its link; the service does not withhold VIP links (the client decides with
//   "can_connect", true for free servers and, for VIP servers, for VIP accounts). An entry marked encrypted
//   is sent in the encrypted form while "vpn_encrypt_enabled" is true and "vpn_encrypt_key" is set (a new
//   random IV on every answer); otherwise plain. An unknown tier word gives an empty list; an unknown or
//   non-numeric server id is 404.
// - Payments: methods "alipay" and "wechat"; the order id is "MV" + UTC time + a sequence number.
//   "payment_url" is http://127.0.0.1:PORT/pay/<order_id>/qr.png, a PNG QR code of the payment page
//   http://127.0.0.1:PORT/pay/<order_id>. Status words: "pending", then "completed" (or its synonym "paid"),
//   "cancelled" or "failed"; a paid order may become "refunded". The status moves only as the control
//   endpoint (or the payment page's buttons) directs, once from pending and once from paid to refunded.
//   Payment adds the plan's days to the VIP time (from its current end while VIP, else from now); a refund
//   takes them off again. Another account's order is 404.
// - Orders: every payment created is an order of the history, whatever its status, newest first. Pages are
//   "page" >= 1 and "per_page" 1..100 (defaults 1 and 20), other values 422. "meta" has current_page, from,
//   last_page, path, per_page, to, total ("from"/"to" null on an empty page); "links" has absolute URLs
//   for first and last, and null for prev on the first page and for next on the last.
// - Heartbeats: "device_id", "connection_status" ("connected" or "disconnected") and three non-negative
//   whole numbers are required (422 otherwise). The answer has "interval" (30 s unless the control endpoint
//   set another), "server_status" (the service as a whole: the body names no server), "user_status" and
//   "device_status". A "disconnected" heartbeat answers "active" without force_disconnect: the device is in
//   good standing, it only went offline; only a live connection is ever told to end. Device limits,
//   "maintenance_mode" and the trial and VIP clocks end no connection by themselves: the client judges
//   its rights from "user_status". Traffic counters are per connection; their growth is added to the
//   account's statistics. heartbeat/stats counts devices whose last heartbeat was "connected", and their
//   distinct accounts.
// - Announcements: newest first; "platform" keeps those for that platform and those for "all" (no platform:
//   all of them); "limit" > 0 cuts the list; a limit that is not a whole number >= 0 is 422.
// - Signed envelope: while "api_encrypt_enabled" is true and "api_secret_key" set, every 2xx answer of the
//   service's own except the configuration is sent as {"encrypted":true,"data":Base64(body),
//   "signature":md5hex(data + secret)}. The configuration travels plain because it is how a client learns
//   the secret; error answers travel plain because clients read their messages unwrapped. Scripted replies
//   go out exactly as scripted.
//
// Control endpoint (JSON in and out, {"ok":true,...} or {"ok":false,"error":...}), never under /api/v1:
//   GET  /_control/requests[?path=P]   request log: method, path (below /api/v1/, percent-encoding as sent),
//                                      query, headers (lower-case names), body
//   POST /_control/requests/clear
//   POST /_control/script              {method, path, status, body | body_base64, delay_ms, times}; status 0
//                                      with a delay delays the service's own answer; times <= 0: until
//                                      cleared
//   POST /_control/script/clear
//   GET  /_control/tokens
//   POST /_control/tokens/revoke       {token}
//   POST /_control/tokens/revoke-all
//   GET  /_control/payments
//   POST /_control/payments/status     {order_id, status}
//   POST /_control/config              {key, value[, type]}
//   POST /_control/envelope            {enabled, secret}
//   POST /_control/heartbeat           {interval} and/or
//                                      {device_status, force_disconnect, message[, device_id]}
//   GET  /_control/heartbeats          the bodies of every heartbeat received
//   POST /_control/servers             {name, country_code, tier, requires_vip, encrypted,
//                                      vmess: {address, port, id, aid, net, path, host, tls, sni}} -> {id}
//   POST /_control/users               {email[, create, password, name, status, referral_code, vip_days,
//                                       vip_expires_at, trial_hours, trial_used, vip_trial_used]} -> {user}
//   POST /_control/announcements       {title, content, type, platform} -> {id}
//   POST /_control/orders              {email, count, status, plan_id, payment_method} -> {order_ids}
//   POST /_control/reset               back to the seeded state (also in the state file); log, heartbeats
//                                      and scripts emptied
//
// The service's areas, one class each: Accounts (sign-in, registration, tokens), Configuration and
// Trials, ServerCatalog, Payments and OrderHistory, Announcements, Heartbeats; DevServiceState routes
// the API to them, ControlEndpoint and RequestJournal serve the tests, StateFile keeps what a restart
// keeps, DevServiceServer is the HTTP face.

#include "DevServiceServer.h"
#include "ProcessTies.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("mirevo-dev-service"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Mirevo development service on 127.0.0.1"));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("TCP port, 0 for a free one"),
                                        QStringLiteral("port"), QStringLiteral("0"));
    parser.addOption(portOption);
    const QCommandLineOption stdinOption(QStringLiteral("exit-with-stdin"),
                                         QStringLiteral("Quit when standard input is closed"));
    parser.addOption(stdinOption);
    const QCommandLineOption stateOption(
        QStringLiteral("state"), QStringLiteral("Keep accounts, tokens, orders and trials in this file"),
        QStringLiteral("file"));
    parser.addOption(stateOption);
    const QCommandLineOption endpointOption(
        QStringLiteral("vmess-endpoint"),
        QStringLiteral("The seeded servers lead to this local vmess endpoint"), QStringLiteral("file"));
    parser.addOption(endpointOption);
    parser.process(app);

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        std::fprintf(stderr, "invalid --port value\n");
        return 2;
    }

    MirevoDev::DevServiceServer server;
    if (parser.isSet(endpointOption)) {
        QFile file(parser.value(endpointOption));
        QJsonParseError error;
        const QJsonDocument document =
            QJsonDocument::fromJson(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(), &error);
        const QString problem = !file.isOpen() ? file.errorString()
                                : error.error != QJsonParseError::NoError
                                    ? error.errorString()
                                    : server.useVmessEndpoint(document.object());
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "cannot use the vmess endpoint %s: %s\n", qPrintable(file.fileName()),
                         qPrintable(problem));
            return 2;
        }
    }
    QString stateLine;
    if (parser.isSet(stateOption))
        stateLine = server.keepStateIn(parser.value(stateOption));

    const quint16 bound = server.listen(static_cast<quint16>(port));
    if (bound == 0) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1:%u\n", port);
        return 1;
    }
    std::printf("listening on 127.0.0.1:%u\n", static_cast<unsigned>(bound));
    if (!stateLine.isEmpty())
        std::printf("%s\n", qPrintable(stateLine));
    std::fflush(stdout);

    if (parser.isSet(stdinOption))
        ProcessTies::quitWhenInputCloses(app);
    return app.exec();
}
