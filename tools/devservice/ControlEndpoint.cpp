#include "ControlEndpoint.h"

#include "DevServiceState.h"
#include "RequestJournal.h"
#include "WireFormat.h"

#include <QHttpServerRequest>
#include <QJsonArray>
#include <QUrlQuery>

namespace MirevoDev {

namespace {

// Only answers of /api/v1 may travel in the signed envelope, so these never do.
DevReply ok(QJsonObject object = {})
{
    object.insert(QStringLiteral("ok"), true);
    return DevReply::json(200, object);
}

DevReply refused(int status, const QString &error)
{
    return DevReply::json(status, {{QStringLiteral("ok"), false}, {QStringLiteral("error"), error}});
}

DevReply result(const QString &error, const QJsonObject &object = {})
{
    return error.isEmpty() ? ok(object) : refused(400, error);
}

} // namespace

DevReply ControlEndpoint::handle(const QString &method, const QString &path,
                                 const QHttpServerRequest &request)
{
    QJsonObject body;
    if (!WireFormat::parseBody(request.body(), &body))
        return refused(400, QStringLiteral("the body must be a JSON object"));
    const bool get = method == QLatin1String("GET");
    const bool post = method == QLatin1String("POST");
    auto is = [&](const char *wanted) { return path == QLatin1String(wanted); };
    auto text = [&](const char *key) { return body.value(QLatin1String(key)).toString(); };

    if (get && is("requests")) {
        const QUrlQuery query = request.query();
        std::optional<QString> wanted;
        if (query.hasQueryItem(QStringLiteral("path")))
            wanted = query.queryItemValue(QStringLiteral("path"), QUrl::FullyDecoded);
        return ok({{QStringLiteral("requests"), journal.requests(wanted)}});
    }
    if ((post && is("requests/clear")) || (method == QLatin1String("DELETE") && is("requests"))) {
        journal.clearRequests();
        return ok();
    }
    if (post && is("script")) {
        const QString scriptMethod = text("method").toUpper();
        QString scriptPath = text("path");
        const QString apiRoot = QStringLiteral("/api/v1/");
        if (scriptPath.startsWith(apiRoot))
            scriptPath = scriptPath.mid(apiRoot.size());
        if (scriptMethod.isEmpty() || scriptPath.isEmpty())
            return refused(400, QStringLiteral("a script needs a method and a path"));
        RequestJournal::Script script;
        script.status = body.value(QStringLiteral("status")).toInt(0);
        if (body.contains(QStringLiteral("body_base64")))
            script.body = QByteArray::fromBase64(text("body_base64").toLatin1());
        else
            script.body = text("body").toUtf8();
        script.delayMs = body.value(QStringLiteral("delay_ms")).toInt(0);
        script.remaining = body.value(QStringLiteral("times")).toInt(1);
        if (script.status < 0 || script.status > 599 || (script.status == 0 && script.delayMs <= 0))
            return refused(400, QStringLiteral("a script needs a status of 100..599 or a delay"));
        journal.addScript(scriptMethod, scriptPath, script);
        return ok();
    }
    if (post && is("script/clear")) {
        journal.clearScripts();
        return ok();
    }
    if (post && is("tokens/revoke"))
        return result(state.accounts().revokeToken(text("token")));
    if (post && is("tokens/revoke-all")) {
        state.accounts().revokeAllTokens();
        return ok();
    }
    if (get && is("tokens"))
        return ok({{QStringLiteral("tokens"), state.accounts().tokens()}});
    if (post && is("payments/status"))
        return result(state.payments().setStatus(text("order_id"), text("status")));
    if (get && is("payments"))
        return ok({{QStringLiteral("payments"), state.payments().list()}});
    if (post && is("config")) {
        if (!body.contains(QStringLiteral("value")))
            return refused(400, QStringLiteral("a configuration item needs a value"));
        return result(
            state.configuration().set(text("key"), body.value(QStringLiteral("value")), text("type")));
    }
    if (post && is("envelope")) {
        state.configuration().setEnvelope(body.value(QStringLiteral("enabled")).toBool(), text("secret"));
        return ok({{QStringLiteral("enabled"), state.configuration().envelopeEnabled()}});
    }
    if (post && is("heartbeat"))
        return result(state.heartbeats().configure(body));
    if (get && is("heartbeats"))
        return ok({{QStringLiteral("heartbeats"), journal.heartbeats()}});
    if (post && is("servers")) {
        int id = 0;
        const QString error = state.servers().add(body, &id);
        return result(error, {{QStringLiteral("id"), id}});
    }
    if (post && is("users")) {
        QJsonObject user;
        const QString error = state.accounts().updateUser(body, &user);
        return result(error, {{QStringLiteral("user"), user}});
    }
    if (post && is("announcements")) {
        int id = 0;
        const QString error = state.announcements().add(body, &id);
        return result(error, {{QStringLiteral("id"), id}});
    }
    if (post && is("orders")) {
        QJsonArray ids;
        const QString error = state.payments().addOrders(body, &ids);
        return result(error, {{QStringLiteral("order_ids"), ids}});
    }
    if (post && is("reset")) {
        state.reset();
        journal.clear();
        return ok();
    }
    return refused(404, QStringLiteral("unknown control call %1 /_control/%2").arg(method, path));
}

} // namespace MirevoDev
