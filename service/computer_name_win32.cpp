#include "computer_name_win32.h"

#include <windows.h>

namespace tarnwick {

std::optional<std::wstring> Win32ComputerName::Read() {
    char buffer[256] = {};
    DWORD size = sizeof buffer;
    if (!GetComputerNameA(buffer, &size)) return std::nullopt;
    if (size == 0) return std::wstring();

    // `size` counts bytes of ANSI text. Converting exactly those bytes keeps a
    // multi-byte name whole, where cutting the converted text at `size`
    // characters could split or overrun it.
    const int bytes = static_cast<int>(size);
    const int length = MultiByteToWideChar(CP_ACP, 0, buffer, bytes, nullptr, 0);
    if (length <= 0) return std::nullopt;
    std::wstring name(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, buffer, bytes, name.data(), length) != length)
        return std::nullopt;
    return name;
}

}  // namespace tarnwick
