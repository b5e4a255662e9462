#pragma once

#include "DevReply.h"

#include <QJsonObject>
#include <QString>

namespace MirevoDev {

// The validation answer of the service: 422 with the first text as "message" and every field's texts
// under "errors".
class Validation
{
public:
    void add(const QString &field, const QString &text);
    bool failed() const { return !errors.isEmpty(); }
    DevReply reply() const;

    // A 422 on one field, for the checks that have nothing else to report.
    static DevReply single(const QString &field, const QString &text);

private:
    QJsonObject errors;
    QString first;
};

} // namespace MirevoDev
