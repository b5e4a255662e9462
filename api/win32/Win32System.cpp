#include "api/win32/Win32System.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <vector>

namespace Tavorin::Api::Win32 {

std::optional<std::uint32_t> volumeSerial()
{
    char volumeName[MAX_PATH + 1] = {};
    char fileSystemName[MAX_PATH + 1] = {};
    DWORD serial = 0;
    if (!GetVolumeInformationA("C:\\", volumeName, sizeof volumeName, &serial, nullptr, nullptr,
                               fileSystemName, sizeof fileSystemName))
        return std::nullopt;
    return static_cast<std::uint32_t>(serial);
}

std::optional<std::wstring> systemDirectory()
{
    std::wstring folder(MAX_PATH, L'\0');
    UINT length = GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
    if (length >= folder.size()) {
        // Too small: the answer is the size needed, terminating zero included.
        folder.resize(length);
        length = GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
    }
    if (length == 0 || length >= folder.size())
        return std::nullopt;
    folder.resize(length);
    return folder;
}

namespace {

// SYNCHRONIZE for the wait that tells a running process from one that has ended: without it every wait
// fails, and every process, this one included, would look ended.
HANDLE openToWatch(std::uint32_t pid)
{
    return OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid);
}

// A process that has ended lives on as an object while anyone holds a handle to it: not running.
bool runs(HANDLE process)
{
    return WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
}

// The SID of the user a process runs as, copied out of its token; empty when the token cannot be read.
std::vector<BYTE> userSidOf(HANDLE process)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> information(size);
    std::vector<BYTE> sid;
    if (size > 0 && GetTokenInformation(token, TokenUser, information.data(), size, &size)) {
        PSID user = reinterpret_cast<TOKEN_USER *>(information.data())->User.Sid;
        sid.resize(GetLengthSid(user));
        if (!CopySid(static_cast<DWORD>(sid.size()), sid.data(), user))
            sid.clear();
    }
    CloseHandle(token);
    return sid;
}

} // namespace

std::optional<std::uint64_t> processCreationTime(std::uint32_t pid)
{
    HANDLE process = openToWatch(pid);
    if (!process)
        return std::nullopt;
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    const bool running = runs(process);
    const bool known = GetProcessTimes(process, &created, &exited, &kernel, &user) != FALSE;
    CloseHandle(process);
    if (!running || !known)
        return std::nullopt;
    return (std::uint64_t(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

bool processExists(std::uint32_t pid)
{
    HANDLE process = openToWatch(pid);
    if (!process)
        return GetLastError() != ERROR_INVALID_PARAMETER;
    const bool running = runs(process);
    CloseHandle(process);
    return running;
}

std::vector<unsigned char> ownerOnlyDescriptor(bool folder)
{
    std::vector<BYTE> sid = userSidOf(GetCurrentProcess());
    if (sid.empty())
        return {};

    const DWORD aclSize =
        sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + static_cast<DWORD>(sid.size());
    std::vector<BYTE> aclBuffer(aclSize);
    auto *acl = reinterpret_cast<PACL>(aclBuffer.data());
    const DWORD inheritance = folder ? (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) : 0;
    if (!InitializeAcl(acl, aclSize, ACL_REVISION) ||
        !AddAccessAllowedAceEx(acl, ACL_REVISION, inheritance, FILE_ALL_ACCESS, sid.data()))
        return {};

    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return {};
    // Self-relative, so that it stands on its own once the ACL above is gone.
    DWORD size = 0;
    MakeSelfRelativeSD(&descriptor, nullptr, &size);
    std::vector<unsigned char> selfRelative(size);
    if (size == 0 || !MakeSelfRelativeSD(&descriptor, selfRelative.data(), &size))
        return {};
    return selfRelative;
}

bool makeOwnerOnly(const std::wstring &path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    std::vector<unsigned char> descriptor = ownerOnlyDescriptor((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    if (descriptor.empty())
        return false;
    // This one object's DACL is replaced, protected from the parent's entries; SetNamedSecurityInfoW
    // would also walk the whole tree below a folder to re-apply inheritance, which nothing here wants.
    return SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                            descriptor.data()) != FALSE;
}

bool pipeServerRunsAsThisUser(void *pipe)
{
    ULONG serverId = 0;
    if (!GetNamedPipeServerProcessId(static_cast<HANDLE>(pipe), &serverId))
        return false;
    HANDLE server = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, serverId);
    if (!server)
        return false;
    std::vector<BYTE> theirs = userSidOf(server);
    CloseHandle(server);
    std::vector<BYTE> ours = userSidOf(GetCurrentProcess());
    return !theirs.empty() && !ours.empty() && EqualSid(theirs.data(), ours.data());
}

} // namespace Tavorin::Api::Win32
