// The log masking, against bodies built from the input in every shape a secret can take: a member named
// after a secret (its value text, a number, a list, or an object with the secret in "value"), a list item
// naming a secret by "key" or "name" with its members in any order, a signed envelope's data; at any depth,
// among other members, with any white space, cut short anywhere, or after a page of other text.
// The check: the body with one secret and the same body with another secret of the same length in every
// secret's place must mask exactly alike, whole and in the logged excerpt (a secret may straddle its
// edge), so nothing of either secret survives.
// AddressSanitizer keeps the call stack of every allocation for good, one copy of each distinct stack. The
// builder recurses along paths the input chooses, so an allocation inside it made new stacks on almost
// every input (some 30 KB each, until the fuzzer ran out of memory): nothing is allocated while building,
// both bodies are reserved once beforehand, at most maxBody bytes each.
#include "FuzzSupport.h"
#include "api/network/LogRedactor.h"

#include <algorithm>
#include <array>
#include <charconv>

using Tavorin::Api::Network::LogRedactor;

namespace {

const char *const secretNames[] = {"token",          "password",        "password_confirmation",
                                   "api_secret_key", "vpn_encrypt_key", "vmess_link"};
const char *const otherNames[] = {"id",          "name",    "data",    "value",     "key",   "type",
                                  "description", "message", "success", "encrypted", "items", "list"};
const char alphanumeric[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// One body written twice at once: with the secret and with its stand-in. Both always have the same length,
// so that what goes beyond maxBody is dropped from both alike: a body cut short there.
struct Body
{
    static constexpr qsizetype maxBody = 16 * 1024;

    QByteArray withSecret;
    QByteArray withStandIn;

    Body()
    {
        withSecret.reserve(maxBody);
        withStandIn.reserve(maxBody);
    }

    void both(QByteArrayView text) { write(text, text); }
    void both(char c) { both(QByteArrayView(&c, 1)); }
    void write(QByteArrayView secretText, QByteArrayView standInText)
    {
        const qsizetype room = maxBody - withSecret.size();
        withSecret.append(secretText.first(std::min(room, secretText.size())));
        withStandIn.append(standInText.first(std::min(room, standInText.size())));
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
            body.both(blanks[(b >> (2 * i)) & 3]);
    }

    // The secret in one body and its stand-in in the other, between the same text.
    void secretText(Body &body, const char *before, const char *after)
    {
        body.both(before);
        body.write(secret, standIn);
        body.both(after);
    }

    // Any text as a JSON string: quotes, backslashes and control characters escaped.
    void string(Body &body)
    {
        static const char hex[] = "0123456789abcdef";
        body.both('"');
        for (const char c : input.piece(12)) {
            const auto code = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\')
                body.both('\\');
            if (code < 0x20) {
                const char escaped[] = {'\\', 'u', '0', '0', hex[code >> 4], hex[code & 15]};
                body.both(QByteArrayView(escaped, sizeof escaped));
            } else {
                body.both(c);
            }
        }
        body.both('"');
    }

    void name(Body &body, const char *text)
    {
        body.both('"');
        body.both(text);
        body.both('"');
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
        std::array<int, 4> members{0}; // 0 the value, 1 the name, 2 another member
        int count = 1;
        if (secretName)
            members[count++] = 1;
        for (int i = input.byte() % 3; i > 0; --i)
            members[count++] = 2;
        for (int i = count - 1; i > 0; --i)
            std::swap(members[i], members[input.byte() % (i + 1)]);
        const bool byName = input.byte() & 1;
        body.both("{");
        for (int i = 0; i < count; ++i) {
            if (i > 0)
                body.both(",");
            space(body);
            if (members[i] == 0) {
                name(body, "value");
                secretValue(body, depth + 1);
            } else if (members[i] == 1) {
                name(body, byName ? "name" : "key");
                body.both('"');
                body.both(secretName);
                body.both('"');
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
        case 6: {
            char digits[4];
            const auto end = std::to_chars(digits, digits + sizeof digits, input.byte() - 100).ptr;
            body.both(QByteArrayView(digits, end - digits));
            break;
        }
        default:
            body.both(input.byte() & 1 ? "true" : "null");
            break;
        }
        space(body);
    }

    Fuzz::Input &input;
    QByteArray secret; // made before building: its allocation is not in the recursion
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
        QByteArray page = input.piece(24).toByteArray();
        page.replace('{', '(').replace('[', '(');
        body.withSecret.prepend(page);
        body.withStandIn.prepend(page);
    }
    if (LogRedactor::redact(body.withSecret) != LogRedactor::redact(body.withStandIn))
        Fuzz::fail("a secret survives the masking", QString::fromUtf8(body.withSecret));
    if (LogRedactor::excerpt(body.withSecret) != LogRedactor::excerpt(body.withStandIn))
        Fuzz::fail("a secret survives in the logged excerpt", QString::fromUtf8(body.withSecret));
    return 0;
}
