#include "computer_name_win32.h"

#include <windows.h>

namespace tarnwick {

std::optional<std::wstring> Win32ComputerName::Read() {
    // Read as UTF-16: the ANSI entry point turns letters outside the system's
    // code page into question marks, which name no computer.
    wchar_t buffer[256] = {};
    DWORD size = ARRAYSIZE(buffer);
    if (!GetComputerNameW(buffer, &size)) return std::nullopt;
    return std::wstring(buffer, size);
}

}  // namespace tarnwick
