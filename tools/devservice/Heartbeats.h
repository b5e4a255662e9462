#pragma once

#include "Accounts.h"
#include "DevReply.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

namespace MirevoDev {

// Heartbeats of connected devices: each one adds the connection's traffic to its account's statistics
// and answers the next interval, the account's state and the device's standing (which may order a live
// connection to end). Keeps which devices are online for heartbeat/stats.
class Heartbeats
{
public:
    explicit Heartbeats(Accounts &accountBook) : accounts(accountBook) {}

    // Every device offline, the default interval, no device orders.
    void reset();

    DevReply beat(const Accounts::Session &session, const QJsonObject &body);
    DevReply stats() const;
    // A device that signs out is offline.
    void signedOut(const QString &deviceId);

    // Control: {interval} and/or {device_status, force_disconnect, message[, device_id]}; answers an
    // error text, empty on success.
    QString configure(const QJsonObject &settings);

private:
    struct Device
    {
        int accountId = 0;
        bool connected = false;
        qint64 lastUpload = 0;
        qint64 lastDownload = 0;
        QDateTime lastSeen;
    };
    struct DeviceOrder
    {
        QString deviceId; // empty: every device
        QString status = QStringLiteral("active");
        bool forceDisconnect = false;
        QString message;
    };

    Accounts &accounts;
    QMap<QString, Device> devices;
    QList<DeviceOrder> orders;
    int interval = 30;
};

} // namespace MirevoDev
