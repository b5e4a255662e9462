// Every record reader that takes what QJsonDocument::fromJson made of a reply: the body itself, its
// "data" object and each object of a "data" list go through all of them. The signed-in user also makes
// the round trip through the settings file that a restart depends on.
#include "FuzzSupport.h"
#include "api/models/Announcement.h"
#include "api/models/ConfigItem.h"
#include "api/models/CreatePaymentData.h"
#include "api/models/CreatePaymentResponse.h"
#include "api/models/HeartbeatResponse.h"
#include "api/models/HeartbeatStats.h"
#include "api/models/Order.h"
#include "api/models/OrderListResponse.h"
#include "api/models/PaginationLinks.h"
#include "api/models/PaginationMeta.h"
#include "api/models/PaymentStatusData.h"
#include "api/models/PaymentStatusResponse.h"
#include "api/models/Server.h"
#include "api/models/SubscriptionPlan.h"
#include "api/models/SystemConfig.h"
#include "api/models/TrialStatus.h"
#include "api/models/User.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace Tavorin::Api::Models;

namespace {

bool sameMoment(const QDateTime &a, const QDateTime &b)
{
    return a.isValid() == b.isValid() && (!a.isValid() || a.toSecsSinceEpoch() == b.toSecsSinceEpoch());
}

void checkUserRoundTrip(const User &user)
{
    const User back = User::fromJson(user.toJson());
    const bool same =
        back.id == user.id && back.email == user.email && back.name == user.name &&
        back.status == user.status && back.isVip == user.isVip &&
        sameMoment(back.vipExpiresAt, user.vipExpiresAt) && back.trialUsed == user.trialUsed &&
        sameMoment(back.trialExpiresAt, user.trialExpiresAt) &&
        back.trialHoursTotal == user.trialHoursTotal && back.trialHoursUsed == user.trialHoursUsed &&
        back.trialHoursRemaining == user.trialHoursRemaining && back.isVipValid() == user.isVipValid();
    if (!same)
        Fuzz::fail("the stored user does not read back as it was",
                   QString::fromUtf8(QJsonDocument(user.toJson()).toJson(QJsonDocument::Compact)));
}

void readAll(const QJsonObject &json)
{
    checkUserRoundTrip(User::fromJson(json));
    const SystemConfig config = SystemConfig::fromJson(json);
    for (auto it = config.items.begin(); it != config.items.end(); ++it) {
        config.getBool(it.key(), false);
        config.getInt(it.key(), 0);
        config.getString(it.key(), QString());
    }
    ConfigItem::fromJson(json);
    TrialStatus::fromJson(json);
    Server::fromJson(json);
    SubscriptionPlan::fromJson(json);
    CreatePaymentData::fromJson(json);
    CreatePaymentResponse::fromJson(json);
    PaymentStatusData::fromJson(json);
    PaymentStatusResponse::fromJson(json);
    HeartbeatResponse::fromJson(json);
    HeartbeatStats::fromJson(json);
    Announcement::fromJson(json);
    Order::fromJson(json);
    OrderListResponse::fromJson(json);
    PaginationMeta::fromJson(json);
    PaginationLinks::fromJson(json);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QJsonDocument document = QJsonDocument::fromJson(Fuzz::bytes(data, size));
    if (!document.isObject())
        return 0;
    const QJsonObject body = document.object();
    readAll(body);
    const QJsonValue inner = body.value(QStringLiteral("data"));
    if (inner.isObject())
        readAll(inner.toObject());
    const QJsonArray list = inner.toArray();
    for (const QJsonValue &element : list) {
        if (element.isObject())
            readAll(element.toObject());
    }
    return 0;
}
