// The log masking, against bodies built from the input in every shape a secret can take: a member named
// after a secret (its value text, a number, a list, or an object with the secret in "value"), a list item
// naming a secret by "key" or "name" with its members in any order, a signed envelope's data; at any depth,
// among other members, with any white space, cut short anywhere, or after a page of other text.
// The check: the body with one secret and the same body with another secret of the same length in every
// secret's place must log exactly alike, so nothing of either secret survives.
#include "FuzzSupport.h"
#include "api/network/LogRedactor.h"

#include <QList>

using Tavorin::Api::Network::LogRedactor;

namespace {

const char *const secretNames[] = {"token",          "password",        "password_confirmation",
                                   "api_secret_key", "vpn_encrypt_key", "vmess_link"};
const char *const otherNames[] = {"id",          "name",    "data",    "value",     "key",   "type",
                                  "description", "message", "success", "encrypted", "items", "list"};
const char alphanumeric[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// One body written twice at once: with the secret and with its stand-in.
struct Body
{
    QByteArray withSecret;
    QByteArray withStandIn;

    void both(const QByteArray &text)
    {
        withSecret += text;
        withStandIn += text;
    }
};

class Builder
{
public:
    explicit Builder(Fuzz::Input &source) : input(source)
    {
        // Letters and digits only, so that neither secret can change how the text around it reads; the
        // stand-in differs in every place, so that any piece of the secret that survives shows.
        const int length = 4 + input.byte() % 13;
        const bool digits = input.byte() & 1;
        for (int i = 0; i < length; ++i) {
            const int k = digits ? 52 + input.byte() % 10 : input.byte() % 62;
            secret += alphanumeric[k];
            standIn += digits ? alphanumeric[52 + (k - 52 + 1) % 10] : alphanumeric[(k + 1) % 62];
        }
        numeric = digits;
    }

    Body build()
    {
        Body body;
        value(body, 0);
        return body;
    }

private:
    void space(Body &body)
    {
        static const char blanks[] = {' ', '\t', '\n', '\r'};
        const quint8 b = input.byte();
        for (int i = 0; i < (b >> 6); ++i)
            body.both(QByteArray(1, blanks[(b >> (2 * i)) & 3]));
    }

    // The secret in one body and its stand-in in the other, between the same text.
    void secretText(Body &body, const QByteArray &before, const QByteArray &after)
    {
        body.withSecret += before + secret + after;
        body.withStandIn += before + standIn + after;
    }

    // Any text as a JSON string: quotes, backslashes and control characters escaped.
    void string(Body &body)
    {
        const QByteArray raw = input.piece(12);
        QByteArray text = "\"";
        for (const char c : raw) {
            if (c == '"' || c == '\\')
                text += '\\';
            if (static_cast<unsigned char>(c) < 0x20)
                text +=
                    "\\u00" + QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
            else
                text += c;
        }
        body.both(text + '"');
    }

    void name(Body &body, const char *text)
    {
        body.both(QByteArray("\"") + text + "\"");
        space(body);
        body.both(":");
        space(body);
    }

    // The secret in one of its shapes.
    void secretValue(Body &body, int depth)
    {
        switch (input.byte() % 4) {
        case 0: // a bare number or a text
            if (numeric && (input.byte() & 1))
                secretText(body, "", "");
            else
                secretText(body, "\"", "\"");
            break;
        case 1: // a list of them
            body.both("[");
            secretValue(body, depth + 1);
            body.both(",");
            space(body);
            secretValue(body, depth + 1);
            body.both("]");
            break;
        case 2: // a configuration item: the secret in "value", described around it
            item(body, nullptr, depth);
            break;
        default: // an object holding the secret deeper down
            body.both("{");
            name(body, "value");
            secretValue(body, depth + 1);
            body.both("}");
            break;
        }
    }

    // An object with "value" holding the secret and, when named, "key" or "name" naming it, with other
    // members around them, in an order the input chooses.
    void item(Body &body, const char *secretName, int depth)
    {
        QList<int> members{0}; // 0 the value, 1 the name, 2 another member
        if (secretName)
            members << 1;
        for (int i = input.byte() % 3; i > 0; --i)
            members << 2;
        for (qsizetype i = members.size() - 1; i > 0; --i)
            members.swapItemsAt(i, input.byte() % (i + 1));
        const bool byName = input.byte() & 1;
        body.both("{");
        for (qsizetype i = 0; i < members.size(); ++i) {
            if (i > 0)
                body.both(",");
            space(body);
            if (members.at(i) == 0) {
                name(body, "value");
                secretValue(body, depth + 1);
            } else if (members.at(i) == 1) {
                name(body, byName ? "name" : "key");
                body.both(QByteArray("\"") + secretName + "\"");
            } else {
                // Never a second "key" or "name": an item has one name.
                static const char *const described[] = {"type", "description", "id", "sort"};
                name(body, described[input.byte() % 4]);
                value(body, depth + 1);
            }
        }
        body.both("}");
    }

    void envelope(Body &body)
    {
        body.both("{");
        const bool dataFirst = input.byte() & 1;
        if (dataFirst) {
            name(body, "data");
            secretText(body, "\"", "==\"");
            body.both(",");
        }
        name(body, "encrypted");
        body.both("true,");
        name(body, "signature");
        string(body);
        if (!dataFirst) {
            body.both(",");
            name(body, "data");
            secretText(body, "\"", "\"");
        }
        body.both("}");
    }

    void value(Body &body, int depth)
    {
        space(body);
        // Deep or long enough: a plain value from here on.
        const quint8 choice = depth > 6 || body.withSecret.size() > 1500 ? 5 : input.byte() % 8;
        switch (choice) {
        case 0:
        case 1: { // an object: secrets and other members mixed
            body.both("{");
            const int members = input.byte() % 5;
            for (int i = 0; i < members; ++i) {
                if (i > 0)
                    body.both(",");
                space(body);
                const quint8 kind = input.byte();
                if (kind % 3 == 0) {
                    name(body, secretNames[(kind / 3) % 6]);
                    secretValue(body, depth + 1);
                } else {
                    name(body, otherNames[(kind / 3) % 12]);
                    value(body, depth + 1);
                }
            }
            body.both("}");
            break;
        }
        case 2: { // a list
            body.both("[");
            const int elements = input.byte() % 4;
            for (int i = 0; i < elements; ++i) {
                if (i > 0)
                    body.both(",");
                value(body, depth + 1);
            }
            body.both("]");
            break;
        }
        case 3:
            item(body, secretNames[input.byte() % 6], depth);
            break;
        case 4:
            envelope(body);
            break;
        case 5:
            string(body);
            break;
        case 6:
            body.both(QByteArray::number(input.byte() - 100));
            break;
        default:
            body.both(input.byte() & 1 ? "true" : "null");
            break;
        }
        space(body);
    }

    Fuzz::Input &input;
    QByteArray secret;
    QByteArray standIn;
    bool numeric = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Whatever the body, the masking reads it to the end.
    const QByteArray raw = Fuzz::bytes(data, size);
    LogRedactor::excerpt(raw);

    Fuzz::Input input(raw);
    const quint8 frame = input.byte();
    Builder builder(input);
    Body body = builder.build();
    if (frame & 1) {
        // Cut short: a transfer that broke off.
        const qsizetype cut = input.word() % (body.withSecret.size() + 1);
        body.withSecret.truncate(cut);
        body.withStandIn.truncate(cut);
    } else if (frame & 2) {
        // Text after a complete body.
        body.both(input.piece(24));
    }
    if (frame & 4) {
        // A page around it: anything but the start of JSON.
        QByteArray page = input.piece(24);
        page.replace('{', '(').replace('[', '(');
        body.withSecret.prepend(page);
        body.withStandIn.prepend(page);
    }
    const QString logged = LogRedactor::redact(body.withSecret);
    if (logged != LogRedactor::redact(body.withStandIn))
        Fuzz::fail("a secret survives the masking", QString::fromUtf8(body.withSecret));
    return 0;
}
