#pragma once

#include <QtGlobal>

#include <optional>

namespace Tavorin::Api::Security {

// The serial number of the volume the system runs from, as the device id mixes it in.
class SystemVolume
{
public:
    static std::optional<quint32> serialNumber();
};

} // namespace Tavorin::Api::Security
