#pragma once

#include <QJsonObject>
#include <QString>
#include <QVariant>

namespace Tavorin::Api::Models {

// One named, typed item of the service's system configuration. The value is converted by the
// item's type word: "boolean" → bool, "number" → double, "json" → QJsonObject, anything else → text.
struct ConfigItem
{
    QVariant value;
    QString name;
    QString description;
    QString type;

    static ConfigItem fromJson(const QJsonObject &item);
};

} // namespace Tavorin::Api::Models
