#pragma once

#include <QJsonObject>
#include <QMetaType>
#include <QString>

namespace Tavorin::Api::Models {

// One VIP plan as the service lists it; sort order and the active flag are carried, not applied.
struct SubscriptionPlan
{
    int id = 0;
    QString name;
    QString description;
    int days = 0;
    QString daysText;
    double price = 0;
    QString currency;
    QString formattedPrice;
    bool isActive = true;
    int sortOrder = 0;
    QString createdAt;
    QString updatedAt;

    static SubscriptionPlan fromJson(const QJsonObject &json);
};

} // namespace Tavorin::Api::Models

Q_DECLARE_METATYPE(Tavorin::Api::Models::SubscriptionPlan)
