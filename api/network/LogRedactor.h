#pragma once

#include <QByteArray>
#include <QString>

namespace Tavorin::Api::Network {

// Bodies are logged to help with support requests, but tokens, passwords, the service's keys and
// vmess links must never reach a log file.
class LogRedactor
{
public:
    static constexpr int excerptLength = 500;

    // The first excerptLength characters of the body with every secret value in them masked; the rest of
    // the body is not read.
    static QString excerpt(const QByteArray &body);
    static QString redact(const QByteArray &body);
};

} // namespace Tavorin::Api::Network
