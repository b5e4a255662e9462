#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Tavorin::Api::Win32 {

// The serial number of the volume whose root is "C:\" (GetVolumeInformationA); none when there is no
// such volume.
std::optional<std::uint32_t> volumeSerial();

// The system folder (…\System32), so that the system's own programs are started by absolute path and a
// program of the same name in the application's folder or the current folder is never picked instead.
std::optional<std::wstring> systemDirectory();

// When the process `pid` was created (FILETIME ticks: 100 ns since 1601, wall-clock time, so no two runs
// share it, across reboots too), while it runs; none for a process that has ended or cannot be opened.
std::optional<std::uint64_t> processCreationTime(std::uint32_t pid);

// Whether a process with the id `pid` is still running. One that this process may not open counts as
// running (an elevated one, another user's: OpenProcess refuses it with "access denied", which says
// that it is there); only an id that names no process ("invalid parameter") and a process that has
// ended do not, the latter even while a handle keeps its object and its id alive.
bool processExists(std::uint32_t pid);

// The security descriptor makeOwnerOnly sets, self-relative: a DACL of one entry, full access for the
// user this process runs as, protected from the entries of the folder above; for a folder the entry is
// inherited by what is created in it later. Empty when the user cannot be read from this process's
// token.
std::vector<unsigned char> ownerOnlyDescriptor(bool folder);

// Gives an existing folder or file the DACL of ownerOnlyDescriptor. False when the path is missing or
// the DACL cannot be set.
bool makeOwnerOnly(const std::wstring &path);

// Whether the server end of the connected named pipe `pipe` belongs to a process that runs as the same
// user as this one. False whenever that cannot be told: `pipe` is no pipe, or the server's process or
// its token cannot be opened (an elevated process, another user's).
bool pipeServerRunsAsThisUser(void *pipe);

} // namespace Tavorin::Api::Win32
