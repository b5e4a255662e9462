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
};

} // namespace Tavorin::Api::Vpn
