#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// What every fuzz target shares: a QCoreApplication for the code that wants one, the log silenced (the
// code under test logs on every input), and a way to stop on a broken promise with the input kept.
namespace Fuzz {

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
}

// Reads an input piece by piece; past the end every piece is empty or zero.
class Input
{
public:
    explicit Input(const QByteArray &input) : data(input) {}

    bool atEnd() const { return position >= data.size(); }
    quint8 byte() { return atEnd() ? 0 : static_cast<quint8>(data.at(position++)); }
    // Two bytes, the first the high one; read in that order, whatever the compiler's order of operands.
    quint16 word()
    {
        const quint16 high = byte();
        return quint16(high << 8 | byte());
    }
    // Up to `maxLength` bytes, as many as the next byte says: a view into the input, valid while it lives,
    // so that reading a piece allocates nothing.
    QByteArrayView piece(int maxLength)
    {
        const int length = maxLength > 0 ? byte() % (maxLength + 1) : 0;
        const QByteArrayView result =
            QByteArrayView(data).sliced(position).first(std::min<qsizetype>(length, data.size() - position));
        position += result.size();
        return result;
    }
    QByteArray rest()
    {
        const QByteArray result = data.mid(position);
        position = data.size();
        return result;
    }

private:
    QByteArray data;
    qsizetype position = 0;
};

[[noreturn]] inline void fail(const char *what, const QString &detail = {})
{
    std::fprintf(stderr, "fuzz finding: %s\n%s\n", what, detail.toUtf8().constData());
    std::abort();
}

} // namespace Fuzz
