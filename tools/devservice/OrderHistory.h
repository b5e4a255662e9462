#pragma once

#include "Accounts.h"
#include "DevReply.h"
#include "Payments.h"

#include <QJsonObject>
#include <QString>
#include <QUrlQuery>

namespace MirevoDev {

// An account's order history: every payment it created, whatever its status, newest first, in pages.
class OrderHistory
{
public:
    explicit OrderHistory(const Payments &source) : payments(source) {}

    // publicRoot: http://127.0.0.1:PORT, the root of the absolute page links.
    DevReply page(const Accounts::Account &account, const QUrlQuery &query, const QString &publicRoot) const;

private:
    static QJsonObject orderJson(const Payments::Payment &payment);

    const Payments &payments;
};

} // namespace MirevoDev
