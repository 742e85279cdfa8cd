#include "failure_win32.h"

#include "system_library_win32.h"
#include "win32_raii.h"

namespace tarnwick {

namespace {

// The text of `code` in the message table of `module` (the system's when null).
std::wstring TableText(HMODULE module, HRESULT code) {
    UniqueHlocal buffer;
    const DWORD source = module ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | source | FORMAT_MESSAGE_IGNORE_INSERTS, module,
                       static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(buffer.Put()), 0, nullptr);
    if (length == 0 || !buffer) return std::wstring();
    std::wstring text(static_cast<const wchar_t*>(buffer.Get()), length);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text;
}

}  // namespace

std::wstring SystemMessage(HRESULT code) {
    return TableText(nullptr, code);
}

std::wstring Win32MessageTables::System(std::int32_t code) {
    return SystemMessage(static_cast<HRESULT>(code));
}

std::wstring Win32MessageTables::DirectoryService(std::int32_t code) {
    // Only its resources are wanted: loaded as a data file, none of its code runs.
    const UniqueHmodule activeDs = LoadFromSystemFolder(L"activeds.dll", LOAD_LIBRARY_AS_DATAFILE);
    return activeDs ? TableText(activeDs.Get(), static_cast<HRESULT>(code)) : std::wstring();
}

Failure FailureFromHresult(HRESULT code) {
    Win32MessageTables tables;
    return Failure(static_cast<std::int32_t>(code), DescribeCode(static_cast<std::int32_t>(code), tables));
}

Failure FailureFromLastError(HRESULT fallback) {
    // Some calls fail without setting the last error; "success" must not be
    // what the user is told then.
    const DWORD error = GetLastError();
    return FailureFromHresult(error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : fallback);
}

}  // namespace tarnwick
