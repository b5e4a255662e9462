#include "Validation.h"

#include <QJsonArray>

namespace MirevoDev {

void Validation::add(const QString &field, const QString &text)
{
    QJsonArray texts = errors.value(field).toArray();
    texts.append(text);
    errors.insert(field, texts);
    if (first.isEmpty())
        first = text;
}

DevReply Validation::reply() const
{
    return DevReply::json(422, {{QStringLiteral("success"), false},
                                {QStringLiteral("message"), first},
                                {QStringLiteral("errors"), errors}});
}

DevReply Validation::single(const QString &field, const QString &text)
{
    Validation validation;
    validation.add(field, text);
    return validation.reply();
}

} // namespace MirevoDev
