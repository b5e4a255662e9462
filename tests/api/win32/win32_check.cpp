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
#include <fstream>
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

struct DaclView
{
    bool read = false;
    bool userHasFullAccess = false;
    std::vector<std::string> others; // every other SID with an entry, LocalSystem aside
};

// Reads the DACL back. Wine keeps no DACL of its own for a file: it shows the Unix mode as entries and
// always adds one for LocalSystem, so that one is left out here; on Windows there is none to leave out.
DaclView readDacl(const std::wstring &path, const std::vector<BYTE> &user)
{
    DaclView view;
    DWORD size = 0;
    GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::vector<BYTE> descriptor(size);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL acl = nullptr;
    if (size == 0 ||
        !GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size, &size) ||
        !GetSecurityDescriptorDacl(descriptor.data(), &present, &acl, &defaulted) || !present || !acl)
        return view;
    view.read = true;
    BYTE systemSid[SECURITY_MAX_SID_SIZE];
    DWORD systemSize = sizeof systemSid;
    CreateWellKnownSid(WinLocalSystemSid, nullptr, systemSid, &systemSize);
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
        if (EqualSid(sid, const_cast<BYTE *>(user.data()))) {
            view.userHasFullAccess =
                view.userHasFullAccess || (allowed->Mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS;
        } else if (!EqualSid(sid, systemSid)) {
            LPWSTR text = nullptr;
            ConvertSidToStringSidW(sid, &text);
            view.others.push_back(text ? narrow(text) : std::string("?"));
            LocalFree(text);
        }
    }
    return view;
}

std::string describe(const DaclView &view)
{
    if (!view.read)
        return "no DACL read";
    std::string text = view.userHasFullAccess ? "user: full access" : "user: no full access";
    for (const std::string &other : view.others)
        text += ", " + other;
    return text;
}

void ownerOnly()
{
    const std::vector<BYTE> user = userSid();
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        std::wstring(temp) + L"mirevo-owner-only-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring file = folder + L"\\tavorin_settings.ini";
    CreateDirectoryW(folder.c_str(), nullptr);
    HANDLE handle =
        CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);

    struct Case
    {
        const char *name;
        std::wstring path;
    };
    const Case cases[] = {{"folder", folder}, {"file", file}};
    for (const Case &c : cases) {
        // Without this the check below could pass on a path nobody else could reach anyway.
        const DaclView before = readDacl(c.path, user);
        report(before.read && !before.others.empty(), std::string("a new ") + c.name + " is open to others",
               describe(before));
        report(makeOwnerOnly(c.path), std::string("makes the ") + c.name + " owner-only");
        const DaclView after = readDacl(c.path, user);
        report(after.read && after.userHasFullAccess && after.others.empty(),
               std::string("the ") + c.name + "'s DACL read back", describe(after));
    }
    report(!makeOwnerOnly(folder + L"\\missing"), "a missing path is refused");
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

// The run identity rests on this: a process that runs has its creation time, one that has ended none.
void processTimes()
{
    const std::optional<std::uint64_t> own = processCreationTime(GetCurrentProcessId());
    report(own.has_value() && *own > 0, "this process, running, has its creation time");
    report(processCreationTime(GetCurrentProcessId()) == own, "the creation time is the same at every look");

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    std::wstring command = L"cmd.exe /c exit 0";
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &child)) {
        report(false, "a child that has ended has no creation time", "cannot start cmd.exe");
        return;
    }
    const bool ended = WaitForSingleObject(child.hProcess, 10000) == WAIT_OBJECT_0;
    // Our handle keeps the ended child's object, and its id, alive: it must still count as ended.
    report(ended && !processCreationTime(child.dwProcessId).has_value(),
           "a child that has ended has no creation time");
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    report(!processCreationTime(0).has_value(), "process id 0 has no creation time");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: win32_check <link vectors file>\n");
        return 2;
    }
    linkVectors(argv[1]);
    malformedKeys();
    volume();
    systemFolder();
    ownerOnly();
    processTimes();
    consoleEvents();
    std::printf("wine: %d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
