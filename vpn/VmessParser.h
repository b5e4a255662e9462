#pragma once

#include "vpn/VmessConfig.h"

#include <QString>

namespace Tavorin::Api::Vpn {

// Turns "vmess://" + Base64(JSON) into a VmessConfig. Every failure is a thrown QString with a fixed
// message; nothing partial is ever returned.
class VmessParser
{
public:
    static VmessConfig parse(const QString &link);
    static VmessConfig parseJson(const QString &json);
    // Why a link's "net", "type" or "tls" (`key`) cannot be honoured with `value`.
    static QString unsupportedText(const QString &key, const QString &value);
};

} // namespace Tavorin::Api::Vpn
