#pragma once

#include <QJsonObject>
#include <QString>

namespace Tavorin::Api::Models {

// The "links" block of one page of a list; a missing neighbour page reads as empty.
struct PaginationLinks
{
    QString first;
    QString last;
    QString prev;
    QString next;

    static PaginationLinks fromJson(const QJsonObject &json);
};

} // namespace Tavorin::Api::Models
