// The Windows layer under CryptoAPI and the kernel, built with mingw-w64 and run under wine by
// scripts/check-windows. Plain C++: there is no Qt for Windows on the Linux machine that runs it.
//   win32_check.exe <link vectors file>
// Prints one line per check and exits non-zero when any failed.

#include "api/win32/ConsoleEvents.h"
#include "api/win32/Win32Crypto.h"
#include "api/win32/Win32System.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h, whose types it uses.
#include <sddl.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

using namespace Tavorin::Api::Win32;

namespace {

int passed = 0;
int failed = 0;

void report(bool ok, const std::string &name, const std::string &detail = {})
{
    (ok ? passed : failed)++;
    std::printf("%s %s%s%s\n", ok ? "ok  " : "FAIL", name.c_str(), detail.empty() ? "" : ": ",
                detail.c_str());
    std::fflush(stdout);
}

std::string fromHex(const std::string &hex)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::string narrow(const std::wstring &text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    return out;
}

const char *resultName(DecryptResult result)
{
    switch (result) {
    case DecryptResult::Decrypted:
        return "decrypted";
    case DecryptResult::NoProvider:
        return "no provider";
    case DecryptResult::KeyRejected:
        return "key rejected";
    case DecryptResult::Rejected:
        return "rejected";
    }
    return "?";
}

// The vector table the Linux tests decrypt with OpenSSL, row for row.
void linkVectors(const char *path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        report(false, "link vectors", std::string("cannot read ") + path);
        return;
    }
    std::string line;
    int rows = 0;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> fields;
        std::stringstream stream(line);
        for (std::string field; std::getline(stream, field, '\t');)
            fields.push_back(field);
        if (fields.size() == 6)
            fields.emplace_back(); // a rejected row's empty plain text
        if (fields.size() != 7) {
            report(false, "link vectors", "malformed row: " + line.substr(0, 60));
            continue;
        }
        ++rows;
        const std::string &name = fields[0];
        const bool expectPlain = fields[5] == "plain";
        std::string plain = "untouched";
        const DecryptResult result =
            aes256CbcDecrypt(fromHex(fields[2]), fromHex(fields[3]), fromHex(fields[4]), plain);
        if (expectPlain)
            report(result == DecryptResult::Decrypted && plain == fields[6],
                   "CryptoAPI decrypts \"" + name + "\"",
                   std::string(resultName(result)) + ", " + std::to_string(plain.size()) + " bytes");
        else
            report(result == DecryptResult::Rejected && plain.empty(), "CryptoAPI rejects \"" + name + "\"",
                   resultName(result));
    }
    report(rows > 0, "link vectors read", std::to_string(rows) + " rows from " + path);
}

void malformedKeys()
{
    struct Case
    {
        const char *name;
        std::string key;
        std::string iv;
    };
    const std::string key(32, 'k');
    const std::string iv(16, 'i');
    const Case cases[] = {
        {"a 31-byte key", std::string(31, 'k'), iv},
        {"a 33-byte key", std::string(33, 'k'), iv},
        {"a 15-byte IV", key, std::string(15, 'i')},
    };
    for (const Case &c : cases) {
        std::string plain = "untouched";
        const DecryptResult result = aes256CbcDecrypt(c.key, c.iv, std::string(16, 'c'), plain);
        report(result == DecryptResult::KeyRejected && plain.empty(), std::string("refuses ") + c.name,
               resultName(result));
    }
}

void volume()
{
    const std::optional<std::uint32_t> first = volumeSerial();
    const std::optional<std::uint32_t> second = volumeSerial();
    report(first.has_value() && *first != 0, "volume serial of C:\\ read",
           first ? std::to_string(*first) : std::string("none"));
    report(first == second, "volume serial stable across two calls",
           second ? std::to_string(*second) : std::string("none"));
}

bool endsWithNoCase(const std::wstring &text, const std::wstring &tail)
{
    return text.size() >= tail.size() &&
           CompareStringOrdinal(text.c_str() + text.size() - tail.size(), static_cast<int>(tail.size()),
                                tail.c_str(), static_cast<int>(tail.size()), TRUE) == CSTR_EQUAL;
}

void systemFolder()
{
    const std::optional<std::wstring> folder = systemDirectory();
    report(folder && endsWithNoCase(*folder, L"\\system32"), "system folder",
           folder ? narrow(*folder) : "none");
    const std::wstring netsh = folder.value_or(L"") + L"\\netsh.exe";
    report(folder && GetFileAttributesW(netsh.c_str()) != INVALID_FILE_ATTRIBUTES, "netsh by absolute path",
           narrow(netsh));
}

std::vector<BYTE> userSid()
{
    std::vector<BYTE> sid;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return sid;
    BYTE buffer[512];
    DWORD size = 0;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) {
        PSID user = reinterpret_cast<TOKEN_USER *>(buffer)->User.Sid;
        sid.assign(static_cast<BYTE *>(user), static_cast<BYTE *>(user) + GetLengthSid(user));
    }
    CloseHandle(token);
    return sid;
}

bool underWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string sidText(PSID sid)
{
    LPWSTR text = nullptr;
    ConvertSidToStringSidW(sid, &text);
    std::string out = text ? narrow(text) : std::string("?");
    LocalFree(text);
    return out;
}

struct DaclView
{
    bool read = false;
    bool isProtected = false;
    bool userHasFullAccess = false;
    int userFlags = -1;              // the inheritance flags of the user's entry
    std::vector<std::string> others; // every other entry, LocalSystem's included
};

enum class Source {
    Descriptor, // what the layer hands to Windows: taken as it is
    Disk,       // read back from the file system: wine adds an entry of its own
};

// Wine keeps no DACL of a file: it keeps the Unix mode, and makes every DACL it reports from that mode,
// with a first entry, full access for LocalSystem, whatever was set. Read back from the disk under wine,
// that one entry is left out, since it says nothing of what was set; the descriptor the layer builds is
// where an entry for LocalSystem is seen.
DaclView viewOf(PSECURITY_DESCRIPTOR descriptor, const std::vector<BYTE> &user, Source source)
{
    DaclView view;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL acl = nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) || !present || !acl ||
        !GetSecurityDescriptorControl(descriptor, &control, &revision))
        return view;
    view.read = true;
    view.isProtected = (control & SE_DACL_PROTECTED) != 0;
    BYTE systemSid[SECURITY_MAX_SID_SIZE];
    DWORD systemSize = sizeof systemSid;
    CreateWellKnownSid(WinLocalSystemSid, nullptr, systemSid, &systemSize);
    const bool wineAddsSystem = source == Source::Disk && underWine();
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACE_HEADER *header = nullptr;
        if (!GetAce(acl, i, reinterpret_cast<void **>(&header)))
            continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            view.others.push_back("an entry of type " + std::to_string(header->AceType));
            continue;
        }
        auto *allowed = reinterpret_cast<ACCESS_ALLOWED_ACE *>(header);
        PSID sid = &allowed->SidStart;
        if (EqualSid(sid, const_cast<BYTE *>(user.data())) && view.userFlags < 0) {
            view.userHasFullAccess = (allowed->Mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS;
            view.userFlags = header->AceFlags;
        } else if (!(wineAddsSystem && i == 0 && EqualSid(sid, systemSid) &&
                     allowed->Mask == FILE_ALL_ACCESS)) {
            view.others.push_back(sidText(sid));
        }
    }
    return view;
}

DaclView readDacl(const std::wstring &path, const std::vector<BYTE> &user)
{
    DWORD size = 0;
    GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::vector<BYTE> descriptor(size);
    if (size == 0 ||
        !GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size, &size))
        return {};
    return viewOf(descriptor.data(), user, Source::Disk);
}

std::string describe(const DaclView &view)
{
    if (!view.read)
        return "no DACL read";
    std::string text = view.userHasFullAccess ? "user: full access" : "user: no full access";
    if (view.userFlags > 0)
        text += " (inheritance flags " + std::to_string(view.userFlags) + ")";
    for (const std::string &other : view.others)
        text += ", " + other;
    return text;
}

// What makeOwnerOnly hands to Windows, entry by entry: the user alone, LocalSystem and anyone else
// refused, and protected from the entries of the folder above (which the disk under wine cannot show).
void ownerOnlyDescriptors()
{
    const std::vector<BYTE> user = userSid();
    struct Case
    {
        const char *name;
        bool folder;
        int inheritance;
    };
    const Case cases[] = {
        {"folder", true, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE},
        {"file", false, 0},
    };
    for (const Case &c : cases) {
        std::vector<unsigned char> descriptor = ownerOnlyDescriptor(c.folder);
        const DaclView view =
            descriptor.empty() ? DaclView{} : viewOf(descriptor.data(), user, Source::Descriptor);
        report(view.read && view.userHasFullAccess && view.others.empty() && view.isProtected &&
                   view.userFlags == c.inheritance,
               std::string("a ") + c.name + "'s owner-only DACL grants the user alone, protected",
               describe(view) + (view.isProtected ? ", protected" : ", not protected"));
    }
}

bool writeAll(HANDLE file, const std::string &bytes)
{
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool writeNewFile(const std::wstring &path, const std::string &bytes)
{
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool written = writeAll(file, bytes);
    CloseHandle(file);
    return written;
}

// The folder, then files made in it after it was secured, each secured as the client secures it, and
// read back from the disk: nothing but the user's entry may be left. Wine applies no inheritance, so a
// new file in the secured folder starts open to others there, as on any volume that applies none: what
// the file's own DACL is for. (On NTFS it would start with the folder's entry.)
void ownerOnlyOnDisk()
{
    const std::vector<BYTE> user = userSid();
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        std::wstring(temp) + L"mirevo-owner-only-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring config = folder + L"\\tavorin_config.json";
    const std::wstring staging = config + L".AbC123";
    const std::wstring settings = folder + L"\\tavorin_settings.ini";
    const std::wstring settingsSync = settings + L".XyZ789";
    CreateDirectoryW(folder.c_str(), nullptr);
    HANDLE stagingHandle = INVALID_HANDLE_VALUE;

    struct Case
    {
        const char *name;
        std::wstring secured;                 // what makeOwnerOnly is given
        std::wstring readBack;                // where the DACL is read back
        std::function<bool()> beforeSecuring; // makes `secured`
        std::function<bool()> afterSecuring;  // what the client does next
    };
    const Case cases[] = {
        {"a new folder", folder, folder, [] { return true; }, [] { return true; }},
        // The configuration: created (the handle held, as a temporary file's is), secured, the secret
        // written, then renamed into place.
        {"a configuration file made in the secured folder", staging, config,
         [&] {
             stagingHandle = CreateFileW(staging.c_str(), GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
             return stagingHandle != INVALID_HANDLE_VALUE;
         },
         [&] {
             const bool written = writeAll(stagingHandle, "{\"secret\": \"s3cr3t\"}");
             CloseHandle(stagingHandle);
             return written && MoveFileExW(staging.c_str(), config.c_str(), 0);
         }},
        // The settings: a sync writes a new file and renames it over the secured one, whose own DACL
        // goes with it; the client secures the file after every sync.
        {"a settings file renamed over the secured one", settings, settings,
         [&] {
             return writeNewFile(settings, "[General]\n") && makeOwnerOnly(settings) &&
                    writeNewFile(settingsSync, "[General]\nauth_token=t-1\n") &&
                    MoveFileExW(settingsSync.c_str(), settings.c_str(), MOVEFILE_REPLACE_EXISTING);
         },
         [] { return true; }},
    };
    for (const Case &c : cases) {
        const bool made = c.beforeSecuring();
        // Without this the read-back below could pass on a path nobody else could reach anyway.
        const DaclView before = readDacl(c.secured, user);
        report(made && before.read && !before.others.empty(),
               std::string(c.name) + ": open to others at first", describe(before));
        report(makeOwnerOnly(c.secured) && c.afterSecuring(), std::string(c.name) + ": made owner-only");
        const DaclView after = readDacl(c.readBack, user);
        report(after.read && after.userHasFullAccess && after.others.empty(),
               std::string(c.name) + ": DACL read back, the user alone", describe(after));
    }
    report(!makeOwnerOnly(folder + L"\\missing"), "a missing path is refused");
    for (const std::wstring &file : {staging, config, settingsSync, settings})
        DeleteFileW(file.c_str());
    RemoveDirectoryW(folder.c_str());
}

std::atomic<int> quitRequests{0};
std::atomic<unsigned long> lastQuitEvent{0xffff};

void recordQuit(unsigned long event)
{
    lastQuitEvent.store(event);
    quitRequests.fetch_add(1);
}

// Windows runs the handler on a thread of its own for each event; so do these checks.
struct EventThread
{
    unsigned long event;
    bool handled = false;
    HANDLE thread = nullptr;

    explicit EventThread(unsigned long e) : event(e)
    {
        thread = CreateThread(nullptr, 0, &EventThread::run, this, 0, nullptr);
    }
    ~EventThread()
    {
        if (thread) {
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
        }
    }
    bool endsWithin(DWORD milliseconds) const
    {
        return WaitForSingleObject(thread, milliseconds) == WAIT_OBJECT_0;
    }
    static DWORD WINAPI run(void *self)
    {
        auto *me = static_cast<EventThread *>(self);
        me->handled = ConsoleEvents::handle(me->event);
        return 0;
    }
};

void consoleEvents()
{
    report(ConsoleEvents::install(&recordQuit, 3000), "console handler registered");
    {
        struct Case
        {
            const char *name;
            unsigned long event;
            bool handled;
            int quitRequests;
        };
        // One quit for the first event; a second Ctrl+C or Ctrl+Break goes to the default handler.
        const Case cases[] = {
            {"Ctrl+C asks to quit and is handled", CTRL_C_EVENT, true, 1},
            {"a second Ctrl+Break is left to the default handler", CTRL_BREAK_EVENT, false, 1},
            {"an unknown event is left alone", 3, false, 1},
        };
        for (const Case &c : cases) {
            EventThread thread(c.event);
            const bool ended = thread.endsWithin(1000);
            report(ended && thread.handled == c.handled && quitRequests.load() == c.quitRequests, c.name,
                   "returned " + std::to_string(thread.handled) + ", " + std::to_string(quitRequests.load()) +
                       " quit requests");
        }
    }
    ConsoleEvents::uninstall();

    struct HeldCase
    {
        const char *name;
        unsigned long event;
    };
    const HeldCase held[] = {
        {"closing the console", CTRL_CLOSE_EVENT},
        {"log-off", CTRL_LOGOFF_EVENT},
        {"shutdown", CTRL_SHUTDOWN_EVENT},
    };
    for (const HeldCase &c : held) {
        quitRequests.store(0);
        ConsoleEvents::install(&recordQuit, 20000);
        EventThread thread(c.event);
        const bool heldBack = !thread.endsWithin(300);
        ConsoleEvents::teardownFinished();
        const bool released = thread.endsWithin(2000);
        report(heldBack && released && thread.handled && quitRequests.load() == 1 &&
                   lastQuitEvent.load() == c.event,
               std::string(c.name) + " asks to quit and waits for the teardown",
               std::string(heldBack ? "held" : "not held") + ", " + (released ? "released" : "not released"));
        ConsoleEvents::uninstall();
    }

    // A stuck GUI thread: the handler still returns, after the bound.
    ConsoleEvents::install(&recordQuit, 200);
    EventThread stuck(CTRL_CLOSE_EVENT);
    report(stuck.endsWithin(5000) && stuck.handled, "a close without teardown returns after its bound");
    ConsoleEvents::uninstall();
}

// A child whose process object grants no one any access, as an elevated process or another user's
// looks to this one: OpenProcess is refused, while the handle CreateProcess gives the parent keeps full
// access (to end it).
bool startLocked(std::wstring command, DWORD flags, PROCESS_INFORMATION &child)
{
    SECURITY_DESCRIPTOR locked;
    ACL empty;
    if (!InitializeSecurityDescriptor(&locked, SECURITY_DESCRIPTOR_REVISION) ||
        !InitializeAcl(&empty, sizeof empty, ACL_REVISION) ||
        !SetSecurityDescriptorDacl(&locked, TRUE, &empty, FALSE))
        return false;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &locked, FALSE};
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return CreateProcessW(nullptr, command.data(), &attributes, nullptr, FALSE, flags | CREATE_NO_WINDOW,
                          nullptr, nullptr, &startup, &child) != FALSE;
}

void endChild(PROCESS_INFORMATION &child)
{
    if (!child.hProcess)
        return;
    if (WaitForSingleObject(child.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(child.hProcess, 1);
    WaitForSingleObject(child.hProcess, 5000);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    child = {};
}

// The run identity rests on this: a process that runs has its creation time; one it may not open still
// runs, so that what it left is kept; one that has ended, or an id that names none, neither.
void processTimes()
{
    const std::optional<std::uint64_t> own = processCreationTime(GetCurrentProcessId());
    report(processCreationTime(GetCurrentProcessId()) == own, "the creation time is the same at every look");

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION ended{};
    std::wstring command = L"cmd.exe /c exit 0";
    const bool endedStarted = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE,
                                             CREATE_NO_WINDOW, nullptr, nullptr, &startup, &ended) != FALSE &&
                              WaitForSingleObject(ended.hProcess, 10000) == WAIT_OBJECT_0;
    // Suspended: it stays until it is ended below.
    PROCESS_INFORMATION locked{};
    const bool lockedStarted = startLocked(L"cmd.exe /c exit 0", CREATE_SUSPENDED, locked);
    report(endedStarted && lockedStarted, "children started: one that has ended, one that may not be opened");

    struct Case
    {
        const char *name;
        DWORD pid;
        bool exists;
        bool hasTime;
    };
    const Case cases[] = {
        {"this process", GetCurrentProcessId(), true, true},
        // Our handle keeps the ended child's object, and its id, alive: it must still count as ended.
        {"a child that has ended", ended.dwProcessId, false, false},
        {"a running child this process may not open", locked.dwProcessId, true, false},
        {"process id 0", 0, false, false},
        {"an id no process has", 0x7ffffffc, false, false},
    };
    for (const Case &c : cases) {
        SetLastError(0);
        const HANDLE opened = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, c.pid);
        const DWORD openError = opened ? 0 : GetLastError();
        if (opened)
            CloseHandle(opened);
        const bool exists = processExists(c.pid);
        const bool hasTime = processCreationTime(c.pid).has_value();
        report(exists == c.exists && hasTime == c.hasTime,
               std::string(c.name) + (c.exists ? " runs" : " does not run") +
                   (c.hasTime ? " and has its creation time" : " and has no creation time"),
               std::string(exists ? "runs" : "does not run") + (hasTime ? ", creation time" : ", none") +
                   ", OpenProcess " + (opened ? "opens it" : "error " + std::to_string(openError)));
    }
    endChild(locked);
    CloseHandle(ended.hThread);
    CloseHandle(ended.hProcess);
}

const char *servePipeFlag = "--serve-pipe";

// The child's side of the pipe checks: serves one connection until the client end is closed.
int servePipe(const std::wstring &name)
{
    HANDLE server = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                     PIPE_TYPE_BYTE | PIPE_REJECT_REMOTE_CLIENTS, 1, 512, 512, 0, nullptr);
    if (server == INVALID_HANDLE_VALUE)
        return 1;
    if (ConnectNamedPipe(server, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
        char byte = 0;
        DWORD read = 0;
        while (ReadFile(server, &byte, 1, &read, nullptr)) {
        }
    }
    CloseHandle(server);
    return 0;
}

HANDLE connectPipe(const std::wstring &name, DWORD waitMs)
{
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (;;) {
        HANDLE client =
            CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (client != INVALID_HANDLE_VALUE || GetTickCount64() >= deadline)
            return client;
        // Not there yet (the child is still starting), or busy.
        if (GetLastError() == ERROR_PIPE_BUSY)
            WaitNamedPipeW(name.c_str(), 100);
        else
            Sleep(20);
    }
}

std::wstring pipeName(const wchar_t *what)
{
    return std::wstring(L"\\\\.\\pipe\\mirevo-check-") + what + L"-" + std::to_wstring(GetCurrentProcessId());
}

// Who answered the single-instance hand-over: only a server of this same user may take it.
void pipeServers()
{
    const std::wstring own = pipeName(L"own");
    HANDLE server = CreateNamedPipeW(own.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                     PIPE_TYPE_BYTE | PIPE_REJECT_REMOTE_CLIENTS, 1, 512, 512, 0, nullptr);
    HANDLE client = server == INVALID_HANDLE_VALUE ? INVALID_HANDLE_VALUE : connectPipe(own, 2000);
    ULONG serverId = 0;
    std::string seen = "no pipe";
    if (client != INVALID_HANDLE_VALUE)
        seen = GetNamedPipeServerProcessId(client, &serverId)
                   ? "GetNamedPipeServerProcessId: " + std::to_string(serverId) + ", this process " +
                         std::to_string(GetCurrentProcessId())
                   : "GetNamedPipeServerProcessId fails (not in this wine?): error " +
                         std::to_string(GetLastError());
    report(client != INVALID_HANDLE_VALUE && pipeServerRunsAsThisUser(client),
           "a pipe served by this process runs as this user", seen);
    if (client != INVALID_HANDLE_VALUE)
        CloseHandle(client);
    if (server != INVALID_HANDLE_VALUE)
        CloseHandle(server);

    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    report(event && !pipeServerRunsAsThisUser(event), "a handle that is no pipe is not taken for one");
    if (event)
        CloseHandle(event);

    // Served by a process this one may not open, as an elevated one's or another user's would be: what
    // cannot be told is not taken for this user's.
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring locked = pipeName(L"locked");
    PROCESS_INFORMATION child{};
    const bool started = startLocked(
        L"\"" + std::wstring(self) + L"\" " +
            std::wstring(servePipeFlag, servePipeFlag + std::strlen(servePipeFlag)) + L" " + locked,
        0, child);
    HANDLE lockedClient = started ? connectPipe(locked, 10000) : INVALID_HANDLE_VALUE;
    report(lockedClient != INVALID_HANDLE_VALUE && !pipeServerRunsAsThisUser(lockedClient),
           "a pipe served by a process this one may not open is not taken for this user's",
           !started                               ? "cannot start the server"
           : lockedClient == INVALID_HANDLE_VALUE ? "cannot connect"
                                                  : "");
    if (lockedClient != INVALID_HANDLE_VALUE)
        CloseHandle(lockedClient);
    endChild(child);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], servePipeFlag) == 0)
        return servePipe(std::wstring(argv[2], argv[2] + std::strlen(argv[2])));
    if (argc < 2) {
        std::fprintf(stderr, "usage: win32_check <link vectors file>\n");
        return 2;
    }
    linkVectors(argv[1]);
    malformedKeys();
    volume();
    systemFolder();
    ownerOnlyDescriptors();
    ownerOnlyOnDisk();
    processTimes();
    pipeServers();
    consoleEvents();
    std::printf("wine: %d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
