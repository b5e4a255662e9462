#include "api/security/SystemVolume.h"

#ifdef Q_OS_WIN
#include "api/win32/Win32System.h"
#else
#include <sys/statvfs.h>
#endif

namespace Tavorin::Api::Security {

std::optional<quint32> SystemVolume::serialNumber()
{
#ifdef Q_OS_WIN
    return Win32::volumeSerial();
#else
    // The root file system's id is derived from its superblock (the file system UUID on ext4 and
    // btrfs), so it survives reboots and differs between installations, like a volume serial.
    struct statvfs info
    {
    };
    if (statvfs("/", &info) != 0)
        return std::nullopt;
    const unsigned long long fsid = info.f_fsid;
    const quint32 folded = static_cast<quint32>(fsid ^ (fsid >> 32));
    if (folded == 0)
        return std::nullopt;
    return folded;
#endif
}

} // namespace Tavorin::Api::Security
