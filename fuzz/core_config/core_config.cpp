// The proxy core's configuration, generated from a server's link fields whatever they hold: it is always
// valid JSON, and each link field stays inside its own string. The check: the configuration of the real
// fields must have exactly the shape of the configuration of placeholder fields, with each placeholder's
// place holding that field's value unchanged, and every other value the same.
#include "FuzzSupport.h"
#include "vpn/V2RayCore.h"
#include "vpn/VmessConfig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using Tavorin::Api::Vpn::V2RayCore;
using Tavorin::Api::Vpn::VmessConfig;

namespace {

// A field's text from the input: UTF-8, or UTF-16 to reach lone surrogates and every code point.
QString text(Fuzz::Input &input)
{
    const bool wide = input.byte() & 1;
    const QByteArray raw = input.piece(48).toByteArray();
    if (!wide)
        return QString::fromUtf8(raw);
    return QString(reinterpret_cast<const QChar *>(raw.constData()), raw.size() / 2);
}

struct Field
{
    QString VmessConfig::*member;
    QString placeholder;
};

const QList<Field> &freeTextFields()
{
    static const QList<Field> fields{{&VmessConfig::address, QStringLiteral("@address@")},
                                     {&VmessConfig::id, QStringLiteral("@id@")},
                                     {&VmessConfig::security, QStringLiteral("@security@")},
                                     {&VmessConfig::host, QStringLiteral("@host@")},
                                     {&VmessConfig::path, QStringLiteral("@path@")},
                                     {&VmessConfig::sni, QStringLiteral("@sni@")},
                                     {&VmessConfig::type, QStringLiteral("@type@")},
                                     {&VmessConfig::remarks, QStringLiteral("@remarks@")}};
    return fields;
}

void compare(const QJsonValue &shape, const QJsonValue &real, const VmessConfig &config, const QString &where)
{
    if (shape.type() != real.type())
        Fuzz::fail("a value changed its type", where);
    if (shape.isObject()) {
        const QJsonObject a = shape.toObject();
        const QJsonObject b = real.toObject();
        if (a.keys() != b.keys())
            Fuzz::fail("an object changed its members", where);
        for (auto it = a.begin(); it != a.end(); ++it)
            compare(*it, b.value(it.key()), config, where + QLatin1Char('.') + it.key());
    } else if (shape.isArray()) {
        const QJsonArray a = shape.toArray();
        const QJsonArray b = real.toArray();
        if (a.size() != b.size())
            Fuzz::fail("a list changed its length", where);
        for (qsizetype i = 0; i < a.size(); ++i)
            compare(a.at(i), b.at(i), config, where + QStringLiteral("[%1]").arg(i));
    } else if (shape.isString()) {
        for (const Field &field : freeTextFields()) {
            if (shape.toString() == field.placeholder) {
                // Unchanged; at most, what UTF-8 cannot hold (a lone surrogate) replaced.
                const QString value = config.*field.member;
                const QString written = real.toString();
                if (written != value && written != QString::fromUtf8(value.toUtf8()))
                    Fuzz::fail("a link field was changed on its way into the configuration", where);
                return;
            }
        }
        if (shape != real)
            Fuzz::fail("a value the link does not give changed", where);
    } else if (shape != real) {
        Fuzz::fail("a value the link does not give changed", where);
    }
}

QJsonObject parsed(const QString &configuration)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(configuration.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        Fuzz::fail("the configuration is not a JSON object", configuration.left(2000));
    return document.object();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static V2RayCore core(nullptr);
    Fuzz::Input input(Fuzz::bytes(data, size));
    VmessConfig config;
    const quint8 switches = input.byte();
    config.network = switches & 1 ? QStringLiteral("ws") : QStringLiteral("tcp");
    config.tls = switches & 2 ? QStringLiteral("tls") : QStringLiteral("none");
    config.routingMode = switches & 4 ? 0 : 1;
    config.port = input.word();
    config.alterId = int(qint8(input.byte()));
    for (const Field &field : freeTextFields())
        config.*field.member = text(input);

    // The same link with a placeholder in every field that holds text; an empty field stays empty, as
    // emptiness decides what the configuration holds.
    VmessConfig shape = config;
    for (const Field &field : freeTextFields()) {
        if (!(shape.*field.member).isEmpty())
            shape.*field.member = field.placeholder;
    }
    const QJsonObject real = parsed(core.generateConfig(config));
    compare(parsed(core.generateConfig(shape)), real, config, QStringLiteral("$"));
    return 0;
}
