#include "Payments.h"

#include "PaymentQrCode.h"
#include "Validation.h"
#include "WireFormat.h"

#include <QUrl>
#include <QUrlQuery>

#include <limits>

namespace MirevoDev {

using WireFormat::isoOrNull;
using WireFormat::now;
using WireFormat::textOrNull;

namespace {

const QStringList statuses = {QStringLiteral("pending"), QStringLiteral("completed"),
                              QStringLiteral("paid"),    QStringLiteral("cancelled"),
                              QStringLiteral("failed"),  QStringLiteral("refunded")};

bool isPaid(const QString &status)
{
    return status == QLatin1String("completed") || status == QLatin1String("paid");
}

} // namespace

void Payments::reset()
{
    planList.clear();
    payments.clear();
    nextPaymentId = 1;
    orderSequence = 0;

    const struct
    {
        const char *name;
        const char *description;
        int days;
        double price;
    } seeds[] = {{"月度会员", "30天VIP，畅享全部节点", 30, 15.0},
                 {"季度会员", "90天VIP，比月付更划算", 90, 40.0},
                 {"年度会员", "365天VIP，最受欢迎", 365, 128.0}};
    const QDateTime created = now().addDays(-60);
    for (const auto &seed : seeds) {
        Plan plan;
        plan.id = static_cast<int>(planList.size()) + 1;
        plan.name = QString::fromUtf8(seed.name);
        plan.description = QString::fromUtf8(seed.description);
        plan.days = seed.days;
        plan.price = seed.price;
        plan.sortOrder = plan.id;
        plan.createdAt = created;
        planList.append(plan);
    }
}

DevReply Payments::plans() const
{
    QJsonArray list;
    for (const Plan &plan : planList) {
        list.append(
            QJsonObject{{QStringLiteral("id"), plan.id},
                        {QStringLiteral("name"), plan.name},
                        {QStringLiteral("description"), plan.description},
                        {QStringLiteral("days"), plan.days},
                        {QStringLiteral("days_text"), QStringLiteral("%1天").arg(plan.days)},
                        {QStringLiteral("price"), plan.price},
                        {QStringLiteral("currency"), plan.currency},
                        {QStringLiteral("formatted_price"), QStringLiteral("¥%1").arg(plan.price, 0, 'f', 2)},
                        {QStringLiteral("is_active"), true},
                        {QStringLiteral("sort_order"), plan.sortOrder},
                        {QStringLiteral("created_at"), WireFormat::iso(plan.createdAt)},
                        {QStringLiteral("updated_at"), WireFormat::iso(plan.createdAt)}});
    }
    return DevReply::success(QStringLiteral("获取成功"), list);
}

const Payments::Plan *Payments::planById(int id) const
{
    for (const Plan &plan : planList) {
        if (plan.id == id)
            return &plan;
    }
    return nullptr;
}

const Payments::Payment *Payments::byOrderId(const QString &orderId) const
{
    for (const Payment &payment : payments) {
        if (payment.orderId == orderId)
            return &payment;
    }
    return nullptr;
}

Payments::Payment *Payments::byOrderId(const QString &orderId)
{
    return const_cast<Payment *>(std::as_const(*this).byOrderId(orderId));
}

Payments::Payment &Payments::append(int accountId, const Plan &plan, const QString &method)
{
    ++orderSequence;
    Payment payment;
    payment.id = nextPaymentId++;
    payment.orderId = QStringLiteral("MV%1%2")
                          .arg(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss")))
                          .arg(orderSequence, 6, 10, QLatin1Char('0'));
    payment.accountId = accountId;
    payment.planId = plan.id;
    payment.planName = plan.name;
    payment.planDays = plan.days;
    payment.amount = plan.price;
    payment.currency = plan.currency;
    payment.method = method;
    payment.provider = QStringLiteral("ciyun");
    payment.createdAt = now();
    payment.updatedAt = payment.createdAt;
    payments.append(payment);
    return payments.last();
}

DevReply Payments::create(const Accounts::Session &session, const QJsonObject &body,
                          const QString &publicRoot)
{
    Validation validation;
    qint64 planId = 0;
    const Plan *plan = nullptr;
    if (!body.contains(QStringLiteral("plan_id")))
        validation.add(QStringLiteral("plan_id"), QStringLiteral("请选择套餐"));
    else if (!WireFormat::integralNumber(body.value(QStringLiteral("plan_id")), &planId) || planId < 1 ||
             planId > std::numeric_limits<int>::max() || !(plan = planById(static_cast<int>(planId))))
        validation.add(QStringLiteral("plan_id"), QStringLiteral("套餐不存在"));
    const QString method = body.value(QStringLiteral("payment_method")).toString();
    if (method.isEmpty())
        validation.add(QStringLiteral("payment_method"), QStringLiteral("请选择支付方式"));
    else if (method != QLatin1String("alipay") && method != QLatin1String("wechat"))
        validation.add(QStringLiteral("payment_method"), QStringLiteral("不支持的支付方式"));
    if (validation.failed())
        return validation.reply();

    Payment &payment = append(session.accountId, *plan, method);
    payment.provider = body.value(QStringLiteral("payment_provider")).toString(QStringLiteral("ciyun"));
    payment.deviceId = body.value(QStringLiteral("device_id")).toString(session.deviceId);

    const QString url = QStringLiteral("%1/pay/%2/qr.png").arg(publicRoot, payment.orderId);
    return DevReply::success(QStringLiteral("订单创建成功"),
                             QJsonObject{{QStringLiteral("order_id"), payment.orderId},
                                         {QStringLiteral("payment_url"), url},
                                         {QStringLiteral("amount"), payment.amount},
                                         {QStringLiteral("plan_name"), payment.planName},
                                         {QStringLiteral("plan_days"), payment.planDays}});
}

QJsonObject Payments::statusJson(const Payment &payment)
{
    return {{QStringLiteral("order_id"), payment.orderId},
            {QStringLiteral("status"), payment.status},
            {QStringLiteral("amount"), payment.amount},
            {QStringLiteral("plan_name"), payment.planName},
            {QStringLiteral("plan_days"), payment.planDays},
            {QStringLiteral("payment_method"), payment.method},
            {QStringLiteral("third_party_order_id"), textOrNull(payment.thirdPartyOrderId)},
            {QStringLiteral("created_at"), isoOrNull(payment.createdAt)},
            {QStringLiteral("paid_at"), isoOrNull(payment.paidAt)}};
}

DevReply Payments::status(const Accounts::Account &account, const QString &orderId) const
{
    const Payment *payment = byOrderId(orderId);
    // Another account's order is as unknown as one that does not exist.
    if (!payment || payment->accountId != account.id)
        return DevReply::failure(404, QStringLiteral("订单不存在"));
    return DevReply::success(QStringLiteral("查询成功"), statusJson(*payment));
}

void Payments::markPaid(Payment &payment, const QDateTime &at)
{
    payment.paidAt = at;
    payment.thirdPartyOrderId = QStringLiteral("CY%1").arg(payment.orderId.mid(2));
}

void Payments::applyStatus(Payment &payment, const QString &status)
{
    Accounts::Account *account = accounts.byId(payment.accountId);
    const bool wasPaid = isPaid(payment.status);
    const bool nowPaid = isPaid(status);
    const QDateTime current = now();
    if (!wasPaid && nowPaid) {
        markPaid(payment, current);
        if (account)
            Accounts::extendVip(*account, payment.planDays);
    } else if (wasPaid && status == QLatin1String("refunded") && account && account->vipExpiresAt.isValid()) {
        account->vipExpiresAt = account->vipExpiresAt.addDays(-payment.planDays);
    }
    payment.status = status;
    payment.updatedAt = current;
}

QString Payments::setStatus(const QString &orderId, const QString &status)
{
    Payment *payment = byOrderId(orderId);
    if (!payment)
        return QStringLiteral("no payment with order id %1").arg(orderId);
    if (!statuses.contains(status))
        return QStringLiteral("unknown payment status %1 (known: %2)").arg(status, statuses.join(", "));
    if (payment->status == status)
        return {};
    // An order moves on once: from pending to an end word, or from paid to refunded.
    const bool fromPending = payment->status == QLatin1String("pending");
    const bool refund = isPaid(payment->status) && status == QLatin1String("refunded");
    if (!fromPending && !refund)
        return QStringLiteral("order %1 cannot move from %2 to %3").arg(orderId, payment->status, status);
    applyStatus(*payment, status);
    return {};
}

QJsonArray Payments::list() const
{
    QJsonArray list;
    for (const Payment &payment : payments) {
        QJsonObject json = statusJson(payment);
        json.insert(QStringLiteral("email"), accounts.emailOf(payment.accountId));
        json.insert(QStringLiteral("device_id"), payment.deviceId);
        json.insert(QStringLiteral("payment_provider"), payment.provider);
        list.append(json);
    }
    return list;
}

QString Payments::addOrders(const QJsonObject &request, QJsonArray *orderIds)
{
    const QString email = request.value(QStringLiteral("email")).toString(Accounts::demoEmail());
    const Accounts::Account *account = accounts.byEmail(email);
    if (!account)
        return QStringLiteral("no account %1").arg(email);
    const int count = request.value(QStringLiteral("count")).toInt(1);
    if (count < 1 || count > 1000)
        return QStringLiteral("count must lie in 1..1000");
    const Plan *plan = planById(request.value(QStringLiteral("plan_id")).toInt(1));
    if (!plan)
        return QStringLiteral("no such plan");
    const QString status = request.value(QStringLiteral("status")).toString(QStringLiteral("completed"));
    if (!statuses.contains(status))
        return QStringLiteral("unknown payment status %1").arg(status);
    const QString method = request.value(QStringLiteral("payment_method")).toString(QStringLiteral("alipay"));
    for (int i = 0; i < count; ++i) {
        Payment &payment = append(account->id, *plan, method);
        if (isPaid(status))
            markPaid(payment, payment.createdAt);
        payment.status = status;
        orderIds->append(payment.orderId);
    }
    return {};
}

DevReply Payments::page(const QString &orderId) const
{
    DevReply reply;
    reply.contentType = QByteArrayLiteral("text/html; charset=utf-8");
    const Payment *payment = byOrderId(orderId);
    if (!payment) {
        reply.status = 404;
        reply.body = QByteArrayLiteral("<!DOCTYPE html><html><body><p>订单不存在</p></body></html>\n");
        return reply;
    }
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(orderId));
    reply.body = PaymentQrCode::paymentPage(payment->orderId, payment->planName, payment->amount,
                                            payment->status, QStringLiteral("/pay/%1/qr.png").arg(encoded),
                                            QStringLiteral("/pay/%1/confirm").arg(encoded));
    return reply;
}

DevReply Payments::qr(const QString &orderId, const QString &publicRoot) const
{
    if (!byOrderId(orderId))
        return DevReply::failure(404, QStringLiteral("订单不存在"));
    DevReply reply;
    reply.contentType = QByteArrayLiteral("image/png");
    reply.body = PaymentQrCode::png(
        QStringLiteral("%1/pay/%2").arg(publicRoot, QString::fromLatin1(QUrl::toPercentEncoding(orderId))));
    if (reply.body.isEmpty())
        return DevReply::failure(500, QStringLiteral("二维码生成失败"));
    return reply;
}

DevReply Payments::confirm(const QString &orderId, const QByteArray &formBody)
{
    const QUrlQuery form(QString::fromUtf8(formBody));
    const QString status = form.queryItemValue(QStringLiteral("status"), QUrl::FullyDecoded);
    if (status != QLatin1String("completed") && status != QLatin1String("cancelled"))
        return DevReply::failure(422, QStringLiteral("无效的操作"));
    const QString error = setStatus(orderId, status);
    if (!error.isEmpty())
        return DevReply::failure(409, error);
    return page(orderId);
}

QJsonObject Payments::saved() const
{
    using WireFormat::storedTime;
    QJsonArray list;
    for (const Payment &payment : payments) {
        list.append(QJsonObject{{QStringLiteral("id"), payment.id},
                                {QStringLiteral("order_id"), payment.orderId},
                                {QStringLiteral("account_id"), payment.accountId},
                                {QStringLiteral("plan_id"), payment.planId},
                                {QStringLiteral("plan_name"), payment.planName},
                                {QStringLiteral("plan_days"), payment.planDays},
                                {QStringLiteral("amount"), payment.amount},
                                {QStringLiteral("currency"), payment.currency},
                                {QStringLiteral("method"), payment.method},
                                {QStringLiteral("provider"), payment.provider},
                                {QStringLiteral("device_id"), payment.deviceId},
                                {QStringLiteral("status"), payment.status},
                                {QStringLiteral("third_party_order_id"), payment.thirdPartyOrderId},
                                {QStringLiteral("created_at"), storedTime(payment.createdAt)},
                                {QStringLiteral("paid_at"), storedTime(payment.paidAt)},
                                {QStringLiteral("updated_at"), storedTime(payment.updatedAt)}});
    }
    return {{QStringLiteral("payments"), list},
            {QStringLiteral("next_payment_id"), nextPaymentId},
            {QStringLiteral("order_sequence"), orderSequence}};
}

bool Payments::restore(const QJsonObject &saved, QString *error)
{
    using WireFormat::restoredTime;
    const QJsonValue list = saved.value(QStringLiteral("payments"));
    if (!list.isArray()) {
        *error = QStringLiteral("no payment list");
        return false;
    }
    QList<Payment> restored;
    int highestId = 0;
    for (const QJsonValue &value : list.toArray()) {
        const QJsonObject json = value.toObject();
        Payment payment;
        payment.id = json.value(QStringLiteral("id")).toInt();
        payment.orderId = json.value(QStringLiteral("order_id")).toString();
        payment.status = json.value(QStringLiteral("status")).toString();
        if (payment.id <= 0 || payment.orderId.isEmpty() || !statuses.contains(payment.status)) {
            *error = QStringLiteral("a payment without id, order id or status");
            return false;
        }
        payment.accountId = json.value(QStringLiteral("account_id")).toInt();
        payment.planId = json.value(QStringLiteral("plan_id")).toInt();
        payment.planName = json.value(QStringLiteral("plan_name")).toString();
        payment.planDays = json.value(QStringLiteral("plan_days")).toInt();
        payment.amount = json.value(QStringLiteral("amount")).toDouble();
        payment.currency = json.value(QStringLiteral("currency")).toString(QStringLiteral("CNY"));
        payment.method = json.value(QStringLiteral("method")).toString();
        payment.provider = json.value(QStringLiteral("provider")).toString();
        payment.deviceId = json.value(QStringLiteral("device_id")).toString();
        payment.thirdPartyOrderId = json.value(QStringLiteral("third_party_order_id")).toString();
        payment.createdAt = restoredTime(json.value(QStringLiteral("created_at")));
        payment.paidAt = restoredTime(json.value(QStringLiteral("paid_at")));
        payment.updatedAt = restoredTime(json.value(QStringLiteral("updated_at")));
        highestId = std::max(highestId, payment.id);
        restored.append(payment);
    }
    payments = restored;
    nextPaymentId = std::max(highestId + 1, saved.value(QStringLiteral("next_payment_id")).toInt());
    orderSequence = std::max(0, saved.value(QStringLiteral("order_sequence")).toInt());
    return true;
}

} // namespace MirevoDev
