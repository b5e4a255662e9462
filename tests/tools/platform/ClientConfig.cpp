#include "ClientConfig.h"

#include "LocalPorts.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace ClientConfig {

namespace {

QJsonValue changedValue(const QJsonValue &current, QStringList keys, const QJsonValue &value)
{
    const QString key = keys.takeFirst();
    if (current.isArray()) {
        QJsonArray array = current.toArray();
        const int index = key.toInt();
        if (keys.isEmpty()) {
            if (value.isUndefined())
                array.removeAt(index);
            else
                array.replace(index, value);
        } else {
            array.replace(index, changedValue(array.at(index), keys, value));
        }
        return array;
    }
    QJsonObject object = current.toObject();
    if (keys.isEmpty()) {
        if (value.isUndefined())
            object.remove(key);
        else
            object.insert(key, value);
    } else {
        object.insert(key, changedValue(object.value(key), keys, value));
    }
    return object;
}

} // namespace

QJsonObject document()
{
    QFile file(QStringLiteral(MIREVO_PLATFORM_TEST_DATA "/client-config.json"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing %s", qPrintable(file.fileName()));
    // The client's listeners, and the core's controller, on ports nothing else on the machine holds.
    QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    root = changed(root, QStringLiteral("inbounds/0/listen_port"), LocalPorts::mixed());
    root = changed(root, QStringLiteral("inbounds/1/listen_port"), LocalPorts::dns());
    return changed(root, QStringLiteral("experimental/clash_api/external_controller"),
                   QStringLiteral("127.0.0.1:%1").arg(LocalPorts::spare()));
}

QJsonObject changed(const QJsonObject &root, const QString &path, const QJsonValue &value)
{
    return changedValue(root, path.split(QLatin1Char('/')), value).toObject();
}

QJsonObject forLink(const QJsonObject &link, quint16 controllerPort, const QString &secret)
{
    QJsonObject proxy{
        {QStringLiteral("type"), QStringLiteral("vmess")},
        {QStringLiteral("tag"), QStringLiteral("proxy")},
        {QStringLiteral("server"), link.value(QStringLiteral("add")).toString()},
        {QStringLiteral("server_port"), link.value(QStringLiteral("port")).toString().toInt()},
        {QStringLiteral("uuid"), link.value(QStringLiteral("id")).toString()},
        {QStringLiteral("security"), link.value(QStringLiteral("scy")).toString(QStringLiteral("auto"))},
        {QStringLiteral("alter_id"), link.value(QStringLiteral("aid")).toString().toInt()}};
    if (link.value(QStringLiteral("net")).toString() == QLatin1String("ws")) {
        const QString path = link.value(QStringLiteral("path")).toString();
        QJsonObject transport{{QStringLiteral("type"), QStringLiteral("ws")},
                              {QStringLiteral("path"), path.isEmpty() ? QStringLiteral("/") : path}};
        const QString host = link.value(QStringLiteral("host")).toString();
        if (!host.isEmpty())
            transport.insert(QStringLiteral("headers"), QJsonObject{{QStringLiteral("Host"), host}});
        proxy.insert(QStringLiteral("transport"), transport);
    }
    if (link.value(QStringLiteral("tls")).toString() == QLatin1String("tls")) {
        const QString sni = link.value(QStringLiteral("sni")).toString();
        proxy.insert(QStringLiteral("tls"),
                     QJsonObject{{QStringLiteral("enabled"), true},
                                 {QStringLiteral("server_name"),
                                  sni.isEmpty() ? link.value(QStringLiteral("add")).toString() : sni},
                                 {QStringLiteral("insecure"), false}});
    }
    QJsonObject root = changed(document(), QStringLiteral("outbounds/0"), proxy);
    root = changed(root, QStringLiteral("dns/rules/0/domain"), link.value(QStringLiteral("add")));
    return changed(root, QStringLiteral("experimental/clash_api"),
                   QJsonObject{{QStringLiteral("external_controller"),
                                QStringLiteral("127.0.0.1:%1").arg(controllerPort)},
                               {QStringLiteral("secret"), secret}});
}

QString write(const QJsonObject &root, const QString &name)
{
    const QString path = QDir::tempPath() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        qFatal("cannot write %s", qPrintable(path));
    file.write(QJsonDocument(root).toJson(QJsonDocument::Indented));
    return path;
}

} // namespace ClientConfig
