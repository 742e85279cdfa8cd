#include "sys_info_win32.h"

#include <windows.h>

#include "ansi_text_win32.h"
#include "failure_win32.h"
#include "system_library_win32.h"
#include "win32_raii.h"

namespace tarnwick {

static_assert(kRegSz == REG_SZ && kRegDword == REG_DWORD);

namespace {

// A predefined root is a sign-extended 32-bit value: HKEY_LOCAL_MACHINE is
// (HKEY)(ULONG_PTR)(LONG)0x80000002.
HKEY RootHandle(RegistryRoot root) {
    return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(root)));
}

// Read rights only: nothing is written, and a user without write rights to
// the key can still read it. The 64-bit view, where IIS and the system keep
// their settings; for this 64-bit program it is the view it sees anyway.
constexpr REGSAM kReadAccess = KEY_READ | KEY_WOW64_64KEY;

// The x86 program on 64-bit Windows sees the 32-bit system folder (SysWOW64)
// where a path names System32; the tool's path read from the 64-bit view
// means the 64-bit one. While this lives, the calling thread sees the real
// folder. Without the functions (32-bit Windows, or XP x64 before SP2...)
// there is nothing to undo, and nothing changes.
class ScopedNativeSystemFolder {
public:
    ScopedNativeSystemFolder() {
        using DisableFn = BOOL(WINAPI*)(PVOID*);
        static const auto disable = NewerSystemFunction<DisableFn>(L"kernel32.dll", "Wow64DisableWow64FsRedirection");
        disabled_ = disable && disable(&previous_);
    }
    ScopedNativeSystemFolder(const ScopedNativeSystemFolder&) = delete;
    ScopedNativeSystemFolder& operator=(const ScopedNativeSystemFolder&) = delete;
    ~ScopedNativeSystemFolder() {
        using RevertFn = BOOL(WINAPI*)(PVOID);
        static const auto revert = NewerSystemFunction<RevertFn>(L"kernel32.dll", "Wow64RevertWow64FsRedirection");
        if (disabled_ && revert) (void)revert(previous_);  // deliberately ignored: nothing else to restore
    }

private:
    PVOID previous_ = nullptr;
    bool disabled_ = false;
};

}  // namespace

std::optional<RegistryValue> Win32Registry::ReadValue(RegistryRoot root, const std::wstring& keyName,
                                                      const std::wstring& valueName, std::uint32_t capacity) {
    UniqueHkey key;
    if (RegOpenKeyExA(RootHandle(root), AnsiFromWide(keyName).c_str(), 0, kReadAccess, key.Put()) != ERROR_SUCCESS)
        return std::nullopt;
    RegistryValue value;
    value.bytes.assign(capacity, '\0');
    DWORD type = 0;
    DWORD size = capacity;
    // A value longer than the buffer fails here too (ERROR_MORE_DATA).
    if (RegQueryValueExA(key.Get(), AnsiFromWide(valueName).c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(value.bytes.data()), &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.type = type;
    value.bytes.resize(size < capacity ? size : capacity);
    return value;
}

bool Win32Registry::KeyExists(RegistryRoot root, const std::wstring& keyName) {
    UniqueHkey key;
    const LSTATUS status = RegOpenKeyExA(RootHandle(root), AnsiFromWide(keyName).c_str(), 0, kReadAccess, key.Put());
    return status != ERROR_FILE_NOT_FOUND && status != ERROR_PATH_NOT_FOUND;
}

std::wstring Win32Registry::FromAnsi(std::string_view text) {
    return WideFromAnsi(text);
}

bool Win32ProgramFiles::IsNormalFile(const std::wstring& path) {
    const ScopedNativeSystemFolder native;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

void Win32ProgramFiles::Start(const ProgramStart& start) {
    // The program is named apart from the command line, so exactly that file
    // runs whatever blanks its path holds.
    std::wstring commandLine = start.commandLine;  // CreateProcessW may write to it
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started = {};
    const ScopedNativeSystemFolder native;
    if (!CreateProcessW(start.application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &started))
        throw FailureFromLastError();
    // Not waited for: the handles are only closed.
    const UniqueHandle process(started.hProcess);
    const UniqueHandle thread(started.hThread);
}

}  // namespace tarnwick
