#include "api/network/LogRedactor.h"

#include <QList>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace Tavorin::Api::Network {

namespace {

const QByteArray mask = QByteArrayLiteral("***");

const QStringList &secretKeys()
{
    static const QStringList keys{QStringLiteral("token"),
                                  QStringLiteral("password"),
                                  QStringLiteral("password_confirmation"),
                                  QStringLiteral("api_secret_key"),
                                  QStringLiteral("vpn_encrypt_key"),
                                  QStringLiteral("vmess_link")};
    return keys;
}

bool isSecretKey(const QString &key)
{
    return secretKeys().contains(key);
}

// Members that name a list item: {"key": "vpn_encrypt_key", "value": "..."}, in either order.
bool isItemNameKey(const QString &key)
{
    return key == QLatin1String("key") || key == QLatin1String("name");
}

// Members that describe a configuration item rather than carry its value: kept readable inside a
// secret's object ({"api_secret_key": {"name": "...", "type": "string", "value": "***"}}).
bool isDescriptiveKey(const QString &key)
{
    return isItemNameKey(key) || key == QLatin1String("type") || key == QLatin1String("description");
}

// One lexical token of a body that may be JSON, JSON cut short, or text with JSON inside.
struct Token
{
    enum Kind { String, Word, Punctuation } kind;
    qsizetype begin;
    qsizetype end;          // one past the last byte
    bool terminated = true; // strings only: false when the body ends inside it
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isStructural(char c)
{
    return c == '{' || c == '}' || c == '[' || c == ']' || c == ':' || c == ',' || c == '"';
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The text of a string token with its escapes resolved; only ever compared with member names.
QString decodeString(const QByteArray &body, const Token &token)
{
    const qsizetype last = token.terminated ? token.end - 1 : token.end;
    QByteArray utf8;
    QString text;
    for (qsizetype i = token.begin + 1; i < last; ++i) {
        const char c = body.at(i);
        if (c != '\\' || i + 1 >= last) {
            utf8.append(c);
            continue;
        }
        const char escaped = body.at(++i);
        if (escaped == 'u' && i + 4 < last) {
            int code = 0;
            for (int k = 1; k <= 4 && code >= 0; ++k) {
                const int digit = hexDigit(body.at(i + k));
                code = digit < 0 ? -1 : code * 16 + digit;
            }
            if (code >= 0) {
                text += QString::fromUtf8(utf8);
                utf8.clear();
                text += QChar(char16_t(code));
                i += 4;
                continue;
            }
        }
        utf8.append(escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped);
    }
    return text + QString::fromUtf8(utf8);
}

// Splits the body into tokens. Text before the first '{' or '[' (and between top-level values) is
// not JSON and is skipped, so that a stray quote in an HTML page cannot turn the JSON inside out.
QList<Token> tokenize(const QByteArray &body)
{
    QList<Token> tokens;
    int depth = 0;
    qsizetype i = 0;
    const qsizetype size = body.size();
    while (i < size) {
        const char c = body.at(i);
        if (depth == 0 && c != '{' && c != '[') {
            ++i;
            continue;
        }
        if (isSpace(c)) {
            ++i;
        } else if (c == '"') {
            qsizetype j = i + 1;
            while (j < size && body.at(j) != '"')
                j += body.at(j) == '\\' ? 2 : 1;
            const bool terminated = j < size;
            const qsizetype end = terminated ? j + 1 : size;
            tokens.append(Token{Token::String, i, end, terminated});
            i = end;
        } else if (isStructural(c)) {
            if (c == '{' || c == '[')
                ++depth;
            else if ((c == '}' || c == ']') && depth > 0)
                --depth;
            tokens.append(Token{Token::Punctuation, i, i + 1});
            ++i;
        } else {
            qsizetype j = i;
            while (j < size && !isSpace(body.at(j)) && !isStructural(body.at(j)))
                ++j;
            tokens.append(Token{Token::Word, i, j});
            i = j;
        }
    }
    return tokens;
}

// Walks the tokens as JSON, tolerating a body that ends anywhere, and marks every token that holds a
// secret value.
class SecretFinder
{
public:
    SecretFinder(const QByteArray &text, const QList<Token> &list)
        : body(text), tokens(list), masked(list.size(), false)
    {}

    QList<bool> run()
    {
        for (qsizetype i = 0; i < tokens.size(); ++i)
            step(i);
        // A body cut short leaves containers open: an item whose name had not arrived yet may have
        // been a secret, so its value is masked all the same.
        while (!frames.isEmpty())
            close(tokens.size(), true);
        return masked;
    }

private:
    struct Frame
    {
        bool object = false;
        bool secret = false; // everything inside belongs to a secret, its descriptive members aside
        QString key;         // object: the member whose value comes next or is being read
        bool expectKey = true;
        qsizetype keyToken = -1;
        bool named = false; // a "key"/"name" member has been read
        bool namesSecret = false;
        QList<QPair<qsizetype, qsizetype>> values; // token ranges of "value" members
        qsizetype valueStart = -1;
        // A signed envelope ({"encrypted": true, "data": Base64 of a whole body}), members in any order.
        bool envelope = false;
        bool noEnvelope = false;    // "encrypted" said, and it is not true
        QList<qsizetype> dataTexts; // string tokens of "data" members
    };

    bool valueIsSecret(const Frame &frame) const
    {
        if (!frame.object)
            return frame.secret;
        return (frame.secret && !isDescriptiveKey(frame.key)) || isSecretKey(frame.key);
    }

    bool punctuation(qsizetype i, char c) const
    {
        return tokens.at(i).kind == Token::Punctuation && body.at(tokens.at(i).begin) == c;
    }

    void step(qsizetype i)
    {
        const Token &token = tokens.at(i);
        if (frames.isEmpty()) {
            if (punctuation(i, '{') || punctuation(i, '['))
                open(i, false);
            return;
        }
        Frame &frame = frames.last();
        if (token.kind == Token::Punctuation) {
            const char c = body.at(token.begin);
            if (c == '{' || c == '[') {
                beginValue(i);
                open(i, valueIsSecret(frames.last()));
            } else if (c == '}' || c == ']') {
                close(i + 1, false);
                endValue(i + 1);
            } else if (c == ':' && frame.object && frame.keyToken >= 0) {
                frame.key = decodeString(body, tokens.at(frame.keyToken));
                frame.expectKey = false;
            } else if (c == ',') {
                frame.expectKey = frame.object;
                frame.keyToken = -1;
                frame.key.clear();
            }
            return;
        }
        if (frame.object && frame.expectKey) {
            if (token.kind == Token::String)
                frame.keyToken = i;
            return;
        }
        // A scalar value: a member's or an array element.
        beginValue(i);
        if (valueIsSecret(frame))
            masked[i] = true;
        if (frame.object && frame.key == QLatin1String("encrypted")) {
            const bool isTrue =
                token.kind == Token::Word && body.mid(token.begin, token.end - token.begin) == "true";
            // A word the body ends in may have been cut short: "t" could have been "true".
            const bool whole = token.kind == Token::String ? token.terminated : token.end < body.size();
            frame.envelope = frame.envelope || isTrue;
            frame.noEnvelope = frame.noEnvelope || (!isTrue && whole);
        }
        if (frame.object && frame.key == QLatin1String("data") && token.kind == Token::String)
            frame.dataTexts.append(i);
        if (frame.object && isItemNameKey(frame.key) && token.kind == Token::String) {
            frame.named = true;
            const QString name = decodeString(body, token);
            frame.namesSecret = frame.namesSecret || isSecretKey(name) ||
                                (!token.terminated &&
                                 std::any_of(secretKeys().begin(), secretKeys().end(),
                                             [&name](const QString &key) { return key.startsWith(name); }));
        }
        endValue(i + 1);
    }

    void open(qsizetype i, bool secret)
    {
        Frame frame;
        frame.object = punctuation(i, '{');
        frame.secret = secret;
        frames.append(frame);
    }

    // Ends the innermost container at token `end`; an item named after a secret has its "value"
    // masked, and an envelope its "data", whatever order their members came in.
    void close(qsizetype end, bool cutShort)
    {
        const Frame frame = frames.takeLast();
        if (frame.envelope || (cutShort && !frame.noEnvelope)) {
            for (const qsizetype i : frame.dataTexts)
                masked[i] = true;
        }
        if (!frame.namesSecret && !(cutShort && !frame.named))
            return;
        for (const auto &range : frame.values)
            maskRange(range.first, range.second);
        if (cutShort && frame.valueStart >= 0 && frame.key == QLatin1String("value"))
            maskRange(frame.valueStart, end);
    }

    // Marks where a member's value starts (its first token) in the object around it.
    void beginValue(qsizetype i)
    {
        Frame &frame = frames.last();
        if (frame.object && frame.valueStart < 0)
            frame.valueStart = i;
    }

    void endValue(qsizetype end)
    {
        if (frames.isEmpty())
            return;
        Frame &frame = frames.last();
        if (!frame.object || frame.valueStart < 0)
            return;
        if (frame.key == QLatin1String("value"))
            frame.values.append({frame.valueStart, end});
        frame.valueStart = -1;
    }

    void maskRange(qsizetype begin, qsizetype end)
    {
        for (qsizetype i = begin; i < end; ++i) {
            if (tokens.at(i).kind != Token::Punctuation)
                masked[i] = true;
        }
    }

    const QByteArray &body;
    const QList<Token> &tokens;
    QList<bool> masked;
    QList<Frame> frames;
};

// The bytes that hold the first `characters` characters of UTF-8 text: never a character cut in half, and
// never more than four bytes (the longest character) for each, whatever the text holds.
qsizetype headLength(const QByteArray &text, qsizetype characters)
{
    const qsizetype limit = std::min(text.size(), 4 * characters);
    qsizetype seen = 0;
    for (qsizetype i = 0; i < limit; ++i) {
        if ((static_cast<uchar>(text.at(i)) & 0xC0) != 0x80 && seen++ == characters)
            return i;
    }
    return limit;
}

} // namespace

QString LogRedactor::redact(const QByteArray &body)
{
    const QList<Token> tokens = tokenize(body);
    const QList<bool> masked = SecretFinder(body, tokens).run();
    QByteArray text;
    text.reserve(body.size());
    qsizetype copied = 0;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        if (!masked.at(i))
            continue;
        const Token &token = tokens.at(i);
        text.append(body.constData() + copied, token.begin - copied);
        text.append('"').append(mask);
        if (token.kind != Token::String || token.terminated)
            text.append('"');
        copied = token.end;
    }
    text.append(body.constData() + copied, body.size() - copied);

    // The plainest shape once more, wherever it stands, in case the text around it was too broken
    // to read as JSON.
    static const QRegularExpression member(QStringLiteral(R"RE(("(?:%1)"\s*:\s*)"(?:[^"\\]|\\.)*("?))RE")
                                               .arg(secretKeys().join(QLatin1Char('|'))));
    QString result = QString::fromUtf8(text);
    result.replace(member, QStringLiteral("\\1\"%1\\2").arg(QString::fromLatin1(mask)));
    return result;
}

QString LogRedactor::excerpt(const QByteArray &body)
{
    // Only the head is logged, so only the head is read: a reply of megabytes costs what its first
    // characters cost. The head is masked as a body cut short there, so that a secret straddling the
    // cut is masked whole, and so is a value whose item would have been named only after it.
    QString text = redact(body.first(headLength(body, excerptLength)));
    if (text.size() > excerptLength) {
        // A mask may be longer than what it replaced.
        text.truncate(excerptLength);
        if (text.back().isHighSurrogate())
            text.chop(1);
    }
    return text;
}

} // namespace Tavorin::Api::Network
