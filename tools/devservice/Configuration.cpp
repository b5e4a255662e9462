#include "Configuration.h"

namespace MirevoDev {

void Configuration::reset()
{
    items.clear();
    const QString text = QStringLiteral("string");
    const QString boolean = QStringLiteral("boolean");
    const QString number = QStringLiteral("number");
    put(QStringLiteral("app_name"), QStringLiteral("应用名称"), text, QStringLiteral("Mirevo加速器"));
    put(QStringLiteral("app_version"), QStringLiteral("应用版本"), text, QStringLiteral("1.0.0"));
    put(QStringLiteral("site_name"), QStringLiteral("站点名称"), text, QStringLiteral("Mirevo"));
    put(QStringLiteral("free_trial_enabled"), QStringLiteral("免费体验开关"), boolean, true);
    put(QStringLiteral("free_trial_duration"), QStringLiteral("免费体验时长(小时)"), number, 2);
    put(QStringLiteral("free_trial_max_count"), QStringLiteral("免费体验次数"), number, 1);
    put(QStringLiteral("vip_trial_enabled"), QStringLiteral("VIP体验开关"), boolean, true);
    put(QStringLiteral("vip_trial_duration"), QStringLiteral("VIP体验时长(天)"), number, 1);
    put(QStringLiteral("maintenance_mode"), QStringLiteral("维护模式"), boolean, false);
    put(QStringLiteral("enable_registration"), QStringLiteral("开放注册"), boolean, true);
    put(QStringLiteral("max_devices"), QStringLiteral("VIP最大设备数"), number, 3);
    put(QStringLiteral("free_max_devices"), QStringLiteral("免费用户最大设备数"), number, 1);
    put(QStringLiteral("vpn_encrypt_enabled"), QStringLiteral("节点链接加密"), boolean, true);
    put(QStringLiteral("vpn_encrypt_key"), QStringLiteral("节点链接密钥"), text,
        QStringLiteral("mirevo-dev-link-key"));
    put(QStringLiteral("api_encrypt_enabled"), QStringLiteral("响应签名"), boolean, false);
    put(QStringLiteral("api_secret_key"), QStringLiteral("响应签名密钥"), text,
        QStringLiteral("mirevo-dev-api-secret"));
    put(QStringLiteral("tls_cert_pinning_enabled"), QStringLiteral("证书固定"), boolean, false);
    put(QStringLiteral("tls_cert_fingerprints"), QStringLiteral("证书指纹"), text, QString());
    put(QStringLiteral("download_file_android"), QStringLiteral("Android下载"), text,
        QStringLiteral("https://download.mirevo.dev/mirevo.apk"));
    put(QStringLiteral("download_file_ios"), QStringLiteral("iOS下载"), text,
        QStringLiteral("https://download.mirevo.dev/ios"));
    put(QStringLiteral("download_file_windows"), QStringLiteral("Windows下载"), text,
        QStringLiteral("https://download.mirevo.dev/mirevo-setup.exe"));
    put(QStringLiteral("download_file_macos"), QStringLiteral("macOS下载"), text,
        QStringLiteral("https://download.mirevo.dev/mirevo.dmg"));
}

DevReply Configuration::reply() const
{
    QJsonObject data;
    for (auto it = items.cbegin(); it != items.cend(); ++it)
        data.insert(it.key(), it.value());
    return DevReply::success(QStringLiteral("获取成功"), data);
}

QJsonValue Configuration::value(const QString &key) const
{
    return items.value(key).value(QStringLiteral("value"));
}

QString Configuration::text(const QString &key) const
{
    return value(key).toString();
}

bool Configuration::flag(const QString &key) const
{
    return value(key).toBool(false);
}

int Configuration::number(const QString &key, int fallback) const
{
    const QJsonValue item = value(key);
    return item.isDouble() ? item.toInt(fallback) : fallback;
}

void Configuration::put(const QString &key, const QString &name, const QString &type, const QJsonValue &value)
{
    items.insert(key, QJsonObject{{QStringLiteral("name"), name},
                                  {QStringLiteral("description"), name},
                                  {QStringLiteral("type"), type},
                                  {QStringLiteral("value"), value}});
}

QString Configuration::set(const QString &key, const QJsonValue &value, const QString &type)
{
    if (key.isEmpty())
        return QStringLiteral("a configuration item needs a key");
    QString itemType = type;
    if (itemType.isEmpty())
        itemType = items.value(key).value(QStringLiteral("type")).toString();
    if (itemType.isEmpty()) {
        if (value.isBool())
            itemType = QStringLiteral("boolean");
        else if (value.isDouble())
            itemType = QStringLiteral("number");
        else if (value.isObject())
            itemType = QStringLiteral("json");
        else
            itemType = QStringLiteral("string");
    }
    const QString name = items.value(key).value(QStringLiteral("name")).toString(key);
    put(key, name, itemType, value);
    return {};
}

void Configuration::setEnvelope(bool enabled, const QString &secret)
{
    set(QStringLiteral("api_encrypt_enabled"), enabled, QString());
    if (!secret.isEmpty())
        set(QStringLiteral("api_secret_key"), secret, QString());
}

bool Configuration::envelopeEnabled() const
{
    return flag(QStringLiteral("api_encrypt_enabled")) && !envelopeSecret().isEmpty();
}

QString Configuration::envelopeSecret() const
{
    return text(QStringLiteral("api_secret_key"));
}

} // namespace MirevoDev
