#include "computer_name_win32.h"

#include <windows.h>

#include "ansi_text_win32.h"
#include "failure.h"

namespace tarnwick {

std::optional<std::wstring> Win32ComputerName::Read() {
    char buffer[256] = {};
    DWORD size = sizeof buffer;
    if (!GetComputerNameA(buffer, &size)) return std::nullopt;

    // `size` counts bytes of ANSI text. Converting exactly those bytes keeps a
    // multi-byte name whole, where cutting the converted text at `size`
    // characters could split or overrun it.
    try {
        return WideFromAnsi(std::string_view(buffer, size));
    } catch (const Failure&) {
        return std::nullopt;  // deliberately: a name that cannot be converted counts as unread
    }
}

}  // namespace tarnwick
