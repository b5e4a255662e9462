#pragma once

#include "DevReply.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QMap>
#include <QString>

namespace MirevoDev {

// The service's system configuration: typed items that switch features on and off and carry the keys
// of encrypted links and of the signed envelope. Every client reads them through GET configs.
class Configuration
{
public:
    Configuration() { reset(); }

    // Back to the seeded items.
    void reset();

    DevReply reply() const;

    QString text(const QString &key) const;
    bool flag(const QString &key) const;
    int number(const QString &key, int fallback) const;

    // Control: sets an item; the type stays that of the existing item unless one is given, and a new
    // item without a type takes it from its value. Answers an error text, empty on success.
    QString set(const QString &key, const QJsonValue &value, const QString &type);
    void setEnvelope(bool enabled, const QString &secret);

    // Whether successful replies travel in the signed envelope, and its secret: both are items the
    // clients read, so a client that fetched the configuration can check them.
    bool envelopeEnabled() const;
    QString envelopeSecret() const;

private:
    void put(const QString &key, const QString &name, const QString &type, const QJsonValue &value);
    QJsonValue value(const QString &key) const;

    QMap<QString, QJsonObject> items;
};

} // namespace MirevoDev
