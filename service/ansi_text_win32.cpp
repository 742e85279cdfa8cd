#include "ansi_text_win32.h"

#include <windows.h>

#include <climits>

#include "failure_win32.h"

namespace tarnwick {

namespace {
int Length(std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX)) throw FailureFromHresult(E_INVALIDARG);
    return static_cast<int>(size);
}
}  // namespace

std::string AnsiFromWide(std::wstring_view text) {
    if (text.empty()) return {};
    const int wideLength = Length(text.size());
    const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (length == 0) throw FailureFromLastError();
    std::string ansi(static_cast<std::size_t>(length), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, text.data(), wideLength, ansi.data(), length, nullptr, nullptr) == 0)
        throw FailureFromLastError();
    return ansi;
}

std::wstring WideFromAnsi(std::string_view text) {
    if (text.empty()) return {};
    const int ansiLength = Length(text.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), ansiLength, nullptr, 0);
    if (length == 0) throw FailureFromLastError();
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, text.data(), ansiLength, wide.data(), length) == 0)
        throw FailureFromLastError();
    return wide;
}

}  // namespace tarnwick
