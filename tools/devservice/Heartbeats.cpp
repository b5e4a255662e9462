#include "Heartbeats.h"

#include "Validation.h"
#include "WireFormat.h"

#include <QSet>

#include <algorithm>
#include <cmath>

namespace MirevoDev {

using WireFormat::integralNumber;
using WireFormat::now;

void Heartbeats::reset()
{
    devices.clear();
    orders.clear();
    interval = 30;
}

DevReply Heartbeats::beat(const Accounts::Session &session, const QJsonObject &body)
{
    Validation validation;
    const QString deviceId = body.value(QStringLiteral("device_id")).toString();
    const QString status = body.value(QStringLiteral("connection_status")).toString();
    qint64 upload = 0;
    qint64 download = 0;
    qint64 latency = 0;
    if (deviceId.isEmpty())
        validation.add(QStringLiteral("device_id"), QStringLiteral("设备ID不能为空"));
    if (status != QLatin1String("connected") && status != QLatin1String("disconnected"))
        validation.add(QStringLiteral("connection_status"), QStringLiteral("连接状态无效"));
    if (!integralNumber(body.value(QStringLiteral("upload_bytes")), &upload) || upload < 0)
        validation.add(QStringLiteral("upload_bytes"), QStringLiteral("上传流量必须是非负整数"));
    if (!integralNumber(body.value(QStringLiteral("download_bytes")), &download) || download < 0)
        validation.add(QStringLiteral("download_bytes"), QStringLiteral("下载流量必须是非负整数"));
    if (!integralNumber(body.value(QStringLiteral("latency_ms")), &latency) || latency < 0)
        validation.add(QStringLiteral("latency_ms"), QStringLiteral("延迟必须是非负整数"));
    if (validation.failed())
        return validation.reply();

    Accounts::Account *account = accounts.byId(session.accountId);
    Device &device = devices[deviceId];
    device.accountId = session.accountId;
    // The counters run per connection: the growth since the last heartbeat is what the account used.
    if (device.connected && account) {
        account->totalUpload += std::max<qint64>(0, upload - device.lastUpload);
        account->totalDownload += std::max<qint64>(0, download - device.lastDownload);
        if (device.lastSeen.isValid())
            account->totalTime += static_cast<int>(std::max<qint64>(0, device.lastSeen.secsTo(now())));
    }
    const bool connected = status == QLatin1String("connected");
    device.connected = connected;
    device.lastUpload = connected ? upload : 0;
    device.lastDownload = connected ? download : 0;
    device.lastSeen = now();

    DeviceOrder standing;
    for (const DeviceOrder &candidate : std::as_const(orders)) {
        if (candidate.deviceId.isEmpty() || candidate.deviceId == deviceId)
            standing = candidate;
    }
    if (account && account->status != QLatin1String("active")) {
        standing.status = account->status;
        standing.forceDisconnect = true;
        standing.message = QStringLiteral("账号已被停用");
    }
    // A device that signs off is still in good standing: only a live connection is ever told to end.
    if (!connected)
        standing = DeviceOrder();

    int online = 0;
    for (const Device &each : std::as_const(devices)) {
        if (each.connected)
            ++online;
    }
    const double gigabyte = 1024.0 * 1024.0 * 1024.0;
    const Accounts::Account fallback;
    const Accounts::Account &user = account ? *account : fallback;
    const double trafficGb = std::round((user.totalUpload + user.totalDownload) / gigabyte * 1000) / 1000;
    const QJsonObject data{
        {QStringLiteral("interval"), interval},
        {QStringLiteral("server_status"), QJsonObject{{QStringLiteral("status"), QStringLiteral("online")},
                                                      {QStringLiteral("current_users"), online},
                                                      {QStringLiteral("max_users"), 500},
                                                      {QStringLiteral("cpu_usage"), 23.5}}},
        {QStringLiteral("user_status"),
         QJsonObject{{QStringLiteral("is_vip"), Accounts::isVip(user)},
                     {QStringLiteral("vip_expires_at"), WireFormat::isoOrNull(user.vipExpiresAt)},
                     {QStringLiteral("total_traffic_gb"), trafficGb},
                     {QStringLiteral("today_traffic_gb"), trafficGb},
                     {QStringLiteral("trial_used"), user.trialUsed},
                     {QStringLiteral("trial_expires_at"), WireFormat::isoOrNull(user.trialExpiresAt)},
                     {QStringLiteral("trial_hours_remaining"), Accounts::trialHoursRemaining(user)}}},
        {QStringLiteral("device_status"),
         QJsonObject{{QStringLiteral("status"), standing.status},
                     {QStringLiteral("force_disconnect"), standing.forceDisconnect},
                     {QStringLiteral("message"), standing.message}}}};
    return DevReply::success(QStringLiteral("心跳成功"), data);
}

DevReply Heartbeats::stats() const
{
    int onlineDevices = 0;
    QSet<int> onlineUsers;
    for (const Device &device : devices) {
        if (device.connected) {
            ++onlineDevices;
            onlineUsers.insert(device.accountId);
        }
    }
    return DevReply::success(
        QStringLiteral("获取成功"),
        QJsonObject{{QStringLiteral("online_users"), static_cast<int>(onlineUsers.size())},
                    {QStringLiteral("online_devices"), onlineDevices}});
}

void Heartbeats::signedOut(const QString &deviceId)
{
    devices[deviceId].connected = false;
}

QString Heartbeats::configure(const QJsonObject &settings)
{
    if (settings.contains(QStringLiteral("interval"))) {
        qint64 seconds = 0;
        if (!integralNumber(settings.value(QStringLiteral("interval")), &seconds) || seconds > 86400 ||
            seconds < -86400)
            return QStringLiteral("interval must be a whole number of seconds");
        interval = static_cast<int>(seconds);
    }
    const bool touchesDevice = settings.contains(QStringLiteral("device_status")) ||
                               settings.contains(QStringLiteral("force_disconnect")) ||
                               settings.contains(QStringLiteral("message"));
    if (touchesDevice) {
        DeviceOrder order;
        order.deviceId = settings.value(QStringLiteral("device_id")).toString();
        order.status = settings.value(QStringLiteral("device_status")).toString(QStringLiteral("active"));
        order.forceDisconnect = settings.value(QStringLiteral("force_disconnect")).toBool(false);
        order.message = settings.value(QStringLiteral("message")).toString();
        orders.append(order);
    }
    return {};
}

} // namespace MirevoDev
