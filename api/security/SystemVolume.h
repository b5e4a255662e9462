#pragma once

#include <QtGlobal>

#include <optional>

namespace Tavorin::Api::Security {

// The serial number of the volume the system runs from, as the device id mixes it in: on Windows the
// volume whose root is "C:\\", elsewhere the root file system's id stands in for it.
class SystemVolume
{
public:
    static std::optional<quint32> serialNumber();
};

} // namespace Tavorin::Api::Security
