#pragma once

#include <QJsonObject>

namespace Tavorin::Api::Models {

// The "meta" block of one page of a list.
struct PaginationMeta
{
    int currentPage = 1;
    int from = 0;
    int lastPage = 1;
    int perPage = 20;
    int to = 0;
    int total = 0;

    static PaginationMeta fromJson(const QJsonObject &json);
};

} // namespace Tavorin::Api::Models
