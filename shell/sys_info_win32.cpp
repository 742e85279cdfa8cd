#include "sys_info_win32.h"

#include <climits>

#include "failure_win32.h"
#include "shell_win32.h"
#include "win32_raii.h"

namespace tarnwick {

static_assert(kKeyRead == KEY_READ);
static_assert(kRegSz == REG_SZ && kRegDword == REG_DWORD);
static_assert(sizeof(RegistryKey) == sizeof(HKEY));

namespace {

// A predefined root is a sign-extended 32-bit value: HKEY_LOCAL_MACHINE is
// (HKEY)(ULONG_PTR)(LONG)0x80000002.
HKEY RootHandle(RegistryRoot root) {
    return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(root)));
}

HKEY KeyHandle(RegistryKey key) {
    return reinterpret_cast<HKEY>(key);
}

}  // namespace

RegistryStatus Win32Registry::OpenKey(RegistryRoot root, const std::wstring& keyName,
                                      std::uint32_t access, RegistryKey& key) {
    HKEY opened = nullptr;
    const LSTATUS status = RegOpenKeyExA(RootHandle(root), AnsiFromWide(keyName).c_str(), 0, access, &opened);
    key = reinterpret_cast<RegistryKey>(opened);
    return status;
}

RegistryStatus Win32Registry::QueryValue(RegistryKey key, const std::wstring& valueName,
                                         std::uint32_t& type, char* data, std::uint32_t& size) {
    DWORD valueType = 0;
    DWORD bytes = size;
    const LSTATUS status = RegQueryValueExA(KeyHandle(key), AnsiFromWide(valueName).c_str(), nullptr,
                                            &valueType, reinterpret_cast<BYTE*>(data), &bytes);
    type = valueType;
    size = bytes;
    return status;
}

void Win32Registry::CloseKey(RegistryKey key) {
    RegCloseKey(KeyHandle(key));  // nothing useful follows from a failed close
}

std::wstring Win32Registry::FromAnsi(std::string_view text) {
    if (text.empty()) return {};
    if (text.size() > static_cast<std::size_t>(INT_MAX)) throw FailureFromHresult(E_INVALIDARG);
    const int ansiLength = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), ansiLength, nullptr, 0);
    if (length == 0) throw FailureFromLastError();
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, text.data(), ansiLength, wide.data(), length) == 0)
        throw FailureFromLastError();
    return wide;
}

bool Win32ProgramFiles::IsNormalFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

void Win32ProgramFiles::Start(const std::wstring& path) {
    // The path is the application name, so exactly that file runs: a command
    // line alone would make CreateProcess try "C:\Program.exe" for a path with
    // blanks. The quoted copy is what the program sees as its argv[0].
    std::wstring commandLine = L"\"" + path + L"\"";  // CreateProcessW may write to it
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started))
        throw FailureFromLastError();
    // Not waited for: the handles are only closed.
    const UniqueHandle process(started.hProcess);
    const UniqueHandle thread(started.hThread);
}

bool GetKeyValue(RegistryRoot keyRoot, const std::wstring& keyName,
                 const std::wstring& subKeyRef, std::wstring& keyVal) {
    Win32Registry registry;
    Win32ProgramFiles files;
    Win32MessageBoxes boxes;
    return SysInfoLauncher(registry, files, boxes).GetKeyValue(keyRoot, keyName, subKeyRef, keyVal);
}

void StartSysInfo() {
    Win32Registry registry;
    Win32ProgramFiles files;
    Win32MessageBoxes boxes;
    SysInfoLauncher(registry, files, boxes).StartSysInfo();
}

}  // namespace tarnwick
