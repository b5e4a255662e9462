#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// Configuration documents in the form the client writes for its proxy core (data/client-config.json
// is one, in smart mode), for feeding the core stand-in.
namespace ClientConfig {

// The listeners and the controller stand on LocalPorts' ports instead of fixed ones.
QJsonObject document();
// `path` names a member by keys and array indexes, "outbounds/0/server_port"; an undefined value
// removes the member.
QJsonObject changed(const QJsonObject &root, const QString &path, const QJsonValue &value);
// The document for a vmess link's JSON object, as the client turns the link into its outbound.
QJsonObject forLink(const QJsonObject &link, quint16 controllerPort, const QString &secret);
// Writes the document (indented, as the client does) into the temporary folder; returns the path.
QString write(const QJsonObject &root, const QString &name = QStringLiteral("tavorin_config.json"));

} // namespace ClientConfig
