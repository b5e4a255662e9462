#include "OrderHistory.h"

#include "Validation.h"
#include "WireFormat.h"

#include <QJsonArray>

#include <algorithm>

namespace MirevoDev {

namespace {

QString statusText(const QString &status)
{
    if (status == QLatin1String("pending"))
        return QStringLiteral("待支付");
    if (status == QLatin1String("completed") || status == QLatin1String("paid"))
        return QStringLiteral("已完成");
    if (status == QLatin1String("cancelled"))
        return QStringLiteral("已取消");
    if (status == QLatin1String("refunded"))
        return QStringLiteral("已退款");
    if (status == QLatin1String("failed"))
        return QStringLiteral("支付失败");
    return status;
}

QString methodText(const QString &method)
{
    if (method == QLatin1String("alipay"))
        return QStringLiteral("支付宝");
    if (method == QLatin1String("wechat"))
        return QStringLiteral("微信支付");
    return method;
}

QJsonValue numberOrNull(bool null, qint64 number)
{
    return null ? QJsonValue(QJsonValue::Null) : QJsonValue(number);
}

} // namespace

QJsonObject OrderHistory::orderJson(const Payments::Payment &payment)
{
    using WireFormat::isoOrNull;
    return {{QStringLiteral("id"), payment.id},
            {QStringLiteral("order_number"), payment.orderId},
            {QStringLiteral("plan_name"), payment.planName},
            {QStringLiteral("plan_days"), payment.planDays},
            {QStringLiteral("amount"), payment.amount},
            {QStringLiteral("payment_currency"), payment.currency},
            {QStringLiteral("payment_method"), payment.method},
            {QStringLiteral("payment_method_text"), methodText(payment.method)},
            {QStringLiteral("provider_code"), payment.provider},
            {QStringLiteral("provider_name"),
             payment.provider == QLatin1String("ciyun") ? QStringLiteral("慈云支付") : payment.provider},
            {QStringLiteral("third_party_order_id"), WireFormat::textOrNull(payment.thirdPartyOrderId)},
            {QStringLiteral("payment_id"), QStringLiteral("PAY%1").arg(payment.id, 8, 10, QLatin1Char('0'))},
            {QStringLiteral("status"), payment.status},
            {QStringLiteral("status_text"), statusText(payment.status)},
            {QStringLiteral("created_at"), isoOrNull(payment.createdAt)},
            {QStringLiteral("paid_at"), isoOrNull(payment.paidAt)},
            {QStringLiteral("updated_at"), isoOrNull(payment.updatedAt)}};
}

DevReply OrderHistory::page(const Accounts::Account &account, const QUrlQuery &query,
                            const QString &publicRoot) const
{
    int page = 1;
    int perPage = 20;
    Validation validation;
    if (!WireFormat::queryInteger(query, QStringLiteral("page"), 1, &page) || page < 1)
        validation.add(QStringLiteral("page"), QStringLiteral("页码必须是大于0的整数"));
    if (!WireFormat::queryInteger(query, QStringLiteral("per_page"), 20, &perPage) || perPage < 1 ||
        perPage > 100)
        validation.add(QStringLiteral("per_page"), QStringLiteral("每页数量必须在1到100之间"));
    if (validation.failed())
        return validation.reply();

    // Newest first, as an order history reads.
    QList<const Payments::Payment *> mine;
    const QList<Payments::Payment> &all = payments.all();
    for (auto it = all.crbegin(); it != all.crend(); ++it) {
        if (it->accountId == account.id)
            mine.append(&*it);
    }
    const int total = static_cast<int>(mine.size());
    const int lastPage = std::max(1, (total + perPage - 1) / perPage);
    const qint64 firstIndex = static_cast<qint64>(page - 1) * perPage;
    QJsonArray data;
    for (qint64 i = firstIndex; i < total && i < firstIndex + perPage; ++i)
        data.append(orderJson(*mine.at(static_cast<int>(i))));
    const bool empty = data.isEmpty();

    auto pageUrl = [&](int number) -> QJsonValue {
        return QStringLiteral("%1/api/v1/orders?page=%2&per_page=%3")
            .arg(publicRoot)
            .arg(number)
            .arg(perPage);
    };
    const QJsonObject meta{{QStringLiteral("current_page"), page},
                           {QStringLiteral("from"), numberOrNull(empty, firstIndex + 1)},
                           {QStringLiteral("last_page"), lastPage},
                           {QStringLiteral("path"), publicRoot + QStringLiteral("/api/v1/orders")},
                           {QStringLiteral("per_page"), perPage},
                           {QStringLiteral("to"), numberOrNull(empty, firstIndex + data.size())},
                           {QStringLiteral("total"), total}};
    const QJsonObject links{
        {QStringLiteral("first"), pageUrl(1)},
        {QStringLiteral("last"), pageUrl(lastPage)},
        {QStringLiteral("prev"),
         page > 1 ? pageUrl(std::min(page - 1, lastPage)) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("next"), page < lastPage ? pageUrl(page + 1) : QJsonValue(QJsonValue::Null)}};
    return DevReply::json(200, {{QStringLiteral("success"), true},
                                {QStringLiteral("message"), QStringLiteral("获取成功")},
                                {QStringLiteral("data"), data},
                                {QStringLiteral("meta"), meta},
                                {QStringLiteral("links"), links}});
}

} // namespace MirevoDev
