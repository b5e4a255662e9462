#include "DevService.h"

#include "ProcessTies.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrlQuery>

namespace {
constexpr int controlTimeoutMs = 5000;
constexpr int startTimeoutMs = 60000;
} // namespace

DevService::DevService(QObject *parent) : QObject(parent)
{
    // The service's request log goes to its standard error; nobody reads it here, so it must not fill a pipe.
    process.setStandardErrorFile(QProcess::nullDevice());
}

DevService::~DevService()
{
    stop();
}

void DevService::stop()
{
    // Closing its input ends the service; a service that does not end is killed.
    ProcessTies::endByClosingInput(process, 2000);
}

bool DevService::start(const QStringList &arguments)
{
    extraArguments = arguments;
    return launch(0);
}

bool DevService::restart()
{
    stop();
    return launch(servicePort);
}

QString DevService::output()
{
    printed += process.readAllStandardOutput();
    return QString::fromUtf8(printed);
}

bool DevService::launch(quint16 port)
{
    printed.clear();
    process.start(
        QStringLiteral(MIREVO_DEV_SERVICE_PATH),
        QStringList{QStringLiteral("--port"), QString::number(port), QStringLiteral("--exit-with-stdin")} +
            extraArguments);
    if (!process.waitForStarted(startTimeoutMs)) {
        qWarning().noquote() << "[DevService] cannot start" << MIREVO_DEV_SERVICE_PATH
                             << process.errorString();
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    while (!printed.contains('\n') && clock.elapsed() < startTimeoutMs) {
        if (!process.waitForReadyRead(static_cast<int>(startTimeoutMs - clock.elapsed())))
            break;
        printed += process.readAllStandardOutput();
    }
    const QByteArray line = printed.left(printed.indexOf('\n')).trimmed();
    const QByteArray prefix = QByteArrayLiteral("listening on 127.0.0.1:");
    if (!line.startsWith(prefix)) {
        qWarning().noquote() << "[DevService] unexpected first line:" << line;
        return false;
    }
    bool ok = false;
    const uint bound = line.mid(prefix.size()).toUInt(&ok);
    if (!ok || bound == 0 || bound > 65535)
        return false;
    servicePort = static_cast<quint16>(bound);
    return true;
}

QString DevService::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/api/v1/").arg(servicePort);
}

QString DevService::demoEmail()
{
    return QStringLiteral("demo@mirevo.dev");
}

QString DevService::trialEmail()
{
    return QStringLiteral("trial@mirevo.dev");
}

QString DevService::demoPassword()
{
    return QStringLiteral("mirevo123");
}

QJsonObject DevService::control(const QString &method, const QString &path, const QJsonObject &body) const
{
    controlError.clear();
    QString relative = path;
    if (relative.startsWith(QLatin1String("/_control/")))
        relative = relative.mid(10);
    else if (relative.startsWith(QLatin1Char('/')))
        relative = relative.mid(1);
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/_control/%2").arg(servicePort).arg(relative));

    QNetworkAccessManager network;
    network.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    const QByteArray payload =
        body.isEmpty() && method == QLatin1String("GET") ? QByteArray() : QJsonDocument(body).toJson();
    QNetworkReply *reply = network.sendCustomRequest(request, method.toLatin1(), payload);

    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(controlTimeoutMs);
    loop.exec();

    QJsonObject answer;
    if (!reply->isFinished()) {
        reply->abort();
        controlError = QStringLiteral("no answer within %1 ms").arg(controlTimeoutMs);
    } else {
        const QJsonDocument document = QJsonDocument::fromJson(reply->readAll());
        answer = document.object();
        if (!answer.value(QStringLiteral("ok")).toBool()) {
            controlError = answer.value(QStringLiteral("error")).toString(reply->errorString());
            if (controlError.isEmpty())
                controlError = QStringLiteral("control call failed");
        }
    }
    delete reply;
    if (!controlError.isEmpty())
        qWarning().noquote() << "[DevService]" << method << relative << "failed:" << controlError;
    return answer;
}

QJsonArray DevService::requests(const QString &path) const
{
    QString call = QStringLiteral("requests");
    if (!path.isNull()) {
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("path"), QString::fromLatin1(QUrl::toPercentEncoding(path)));
        call += QLatin1Char('?') + query.toString(QUrl::FullyEncoded);
    }
    return control(QStringLiteral("GET"), call).value(QStringLiteral("requests")).toArray();
}

QJsonObject DevService::lastRequest(const QString &path) const
{
    const QJsonArray list = requests(path);
    return list.isEmpty() ? QJsonObject() : list.last().toObject();
}

void DevService::clearRequests()
{
    control(QStringLiteral("POST"), QStringLiteral("requests/clear"));
}

void DevService::scriptReply(const QString &method, const QString &path, int status, const QByteArray &body,
                             int delayMs, int times)
{
    control(QStringLiteral("POST"), QStringLiteral("script"),
            {{QStringLiteral("method"), method},
             {QStringLiteral("path"), path},
             {QStringLiteral("status"), status},
             {QStringLiteral("body_base64"), QString::fromLatin1(body.toBase64())},
             {QStringLiteral("delay_ms"), delayMs},
             {QStringLiteral("times"), times}});
}

void DevService::revokeToken(const QString &token)
{
    control(QStringLiteral("POST"), QStringLiteral("tokens/revoke"), {{QStringLiteral("token"), token}});
}

void DevService::revokeAllTokens()
{
    control(QStringLiteral("POST"), QStringLiteral("tokens/revoke-all"));
}

void DevService::setPaymentStatus(const QString &orderId, const QString &status)
{
    control(QStringLiteral("POST"), QStringLiteral("payments/status"),
            {{QStringLiteral("order_id"), orderId}, {QStringLiteral("status"), status}});
}

void DevService::setConfig(const QString &key, const QJsonValue &value)
{
    control(QStringLiteral("POST"), QStringLiteral("config"),
            {{QStringLiteral("key"), key}, {QStringLiteral("value"), value}});
}

void DevService::setEnvelope(bool enabled, const QString &secret)
{
    control(QStringLiteral("POST"), QStringLiteral("envelope"),
            {{QStringLiteral("enabled"), enabled}, {QStringLiteral("secret"), secret}});
}

void DevService::setHeartbeatInterval(int seconds)
{
    control(QStringLiteral("POST"), QStringLiteral("heartbeat"), {{QStringLiteral("interval"), seconds}});
}

int DevService::addServer(const QJsonObject &server)
{
    return control(QStringLiteral("POST"), QStringLiteral("servers"), server)
        .value(QStringLiteral("id"))
        .toInt();
}

QJsonArray DevService::heartbeats() const
{
    return control(QStringLiteral("GET"), QStringLiteral("heartbeats"))
        .value(QStringLiteral("heartbeats"))
        .toArray();
}

QJsonArray DevService::goodbyes() const
{
    QJsonArray said;
    const QJsonArray received = heartbeats();
    for (const QJsonValue &beat : received) {
        if (beat.toObject().value(QStringLiteral("connection_status")) == QLatin1String("disconnected"))
            said.append(beat);
    }
    return said;
}

void DevService::reset()
{
    control(QStringLiteral("POST"), QStringLiteral("reset"));
}

QJsonObject DevService::updateUser(const QJsonObject &fields)
{
    QJsonObject body = fields;
    if (!body.contains(QStringLiteral("email")))
        body.insert(QStringLiteral("email"), demoEmail());
    return control(QStringLiteral("POST"), QStringLiteral("users"), body)
        .value(QStringLiteral("user"))
        .toObject();
}

void DevService::setDeviceStatus(const QString &status, bool forceDisconnect, const QString &message,
                                 const QString &deviceId)
{
    QJsonObject body{{QStringLiteral("device_status"), status},
                     {QStringLiteral("force_disconnect"), forceDisconnect},
                     {QStringLiteral("message"), message}};
    if (!deviceId.isEmpty())
        body.insert(QStringLiteral("device_id"), deviceId);
    control(QStringLiteral("POST"), QStringLiteral("heartbeat"), body);
}

int DevService::addAnnouncement(const QJsonObject &announcement)
{
    return control(QStringLiteral("POST"), QStringLiteral("announcements"), announcement)
        .value(QStringLiteral("id"))
        .toInt();
}

QStringList DevService::addOrders(int count, const QString &status)
{
    const QJsonArray ids = control(QStringLiteral("POST"), QStringLiteral("orders"),
                                   {{QStringLiteral("email"), demoEmail()},
                                    {QStringLiteral("count"), count},
                                    {QStringLiteral("status"), status}})
                               .value(QStringLiteral("order_ids"))
                               .toArray();
    QStringList list;
    for (const QJsonValue &id : ids)
        list.append(id.toString());
    return list;
}

QJsonArray DevService::payments() const
{
    return control(QStringLiteral("GET"), QStringLiteral("payments"))
        .value(QStringLiteral("payments"))
        .toArray();
}

QJsonArray DevService::tokens() const
{
    return control(QStringLiteral("GET"), QStringLiteral("tokens")).value(QStringLiteral("tokens")).toArray();
}
