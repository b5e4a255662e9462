#pragma once

#include "api/models/User.h"
#include "vpn/VpnConnectionService.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QString>

// What the connection tests share: the connection service, an account that may connect, links to a
// local server, what the engine left in the temporary folder, and the connection service's signals
// recorded.
namespace VpnTest {

inline Tavorin::Api::Services::VpnConnectionService *service()
{
    return Tavorin::Api::Services::VpnConnectionService::instance();
}

inline Tavorin::Api::Models::User activeAccount(const QString &status = QStringLiteral("active"))
{
    Tavorin::Api::Models::User user;
    user.id = 11;
    user.email = QStringLiteral("engine@mirevo.dev");
    user.status = status;
    user.trialUsed = true;
    user.trialHoursRemaining = 1.5;
    return user;
}

// A link the core accepts; nothing is sent through it unless a test runs a server on `port`.
// `changes` replaces or adds members of the link's object.
inline QString link(const QString &security = QStringLiteral("auto"), int port = 1,
                    const QJsonObject &changes = {})
{
    QJsonObject object{{"v", "2"},
                       {"ps", "测试"},
                       {"add", "127.0.0.1"},
                       {"port", QString::number(port)},
                       {"id", "5b4a9f2e-1c3d-4e5f-8a9b-0c1d2e3f4a5b"},
                       {"aid", "0"},
                       {"scy", security},
                       {"net", "tcp"},
                       {"tls", "none"}};
    for (auto change = changes.begin(); change != changes.end(); ++change)
        object.insert(change.key(), change.value());
    return QStringLiteral("vmess://") +
           QString::fromLatin1(QJsonDocument(object).toJson(QJsonDocument::Compact).toBase64());
}

// What the engine left in the temporary folder: its configuration file or the folder holding it.
inline QStringList engineLeftovers()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::TempLocation))
        .entryList({QStringLiteral("tavorin*")}, QDir::AllEntries | QDir::System | QDir::Hidden);
}

inline QList<int> firstInts(const QSignalSpy &spy)
{
    QList<int> list;
    for (const QList<QVariant> &arguments : spy)
        list << arguments.at(0).toInt();
    return list;
}

} // namespace VpnTest
