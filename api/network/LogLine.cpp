#include "api/network/LogLine.h"

#include <QtGlobal>

#include <cstdio>

namespace Tavorin::Api::Network {

namespace {

QtMessageHandler previousHandler = nullptr;

bool needsEscape(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029;
}

void escapingHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QString line = LogLine::escaped(message);
    if (previousHandler) {
        previousHandler(type, context, line);
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, line)));
    std::fflush(stderr);
}

} // namespace

QString LogLine::escaped(QStringView text)
{
    qsizetype first = 0;
    while (first < text.size() && !needsEscape(text.at(first).unicode()))
        ++first;
    if (first == text.size())
        return text.toString();
    QString result = text.left(first).toString();
    for (qsizetype i = first; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (!needsEscape(c))
            result.append(QChar(c));
        else if (c == u'\n')
            result.append(QLatin1String("\\n"));
        else if (c == u'\r')
            result.append(QLatin1String("\\r"));
        else if (c == u'\t')
            result.append(QLatin1String("\\t"));
        else if (c <= 0xff)
            result.append(QStringLiteral("\\x%1").arg(int(c), 2, 16, QLatin1Char('0')));
        else
            result.append(QStringLiteral("\\u%1").arg(int(c), 4, 16, QLatin1Char('0')));
    }
    return result;
}

void LogLine::installHandler()
{
    const QtMessageHandler before = qInstallMessageHandler(&escapingHandler);
    if (before != &escapingHandler)
        previousHandler = before;
}

} // namespace Tavorin::Api::Network
