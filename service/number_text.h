#pragma once

#include <cstdint>
#include <string>

namespace tarnwick {

// Numbers as text without the C runtime's formatted printing, whose
// implementation would be the largest part of the program.

// 1234 -> "1234".
inline std::wstring DecimalText(std::uint64_t number) {
    std::wstring text;
    do {
        text.insert(text.begin(), static_cast<wchar_t>(L'0' + number % 10));
        number /= 10;
    } while (number != 0);
    return text;
}

// 0x80070005 -> "0x80070005": always eight upper-case digits.
inline std::wstring HexText(std::uint32_t number) {
    std::wstring text = L"0x00000000";
    for (std::size_t digit = text.size() - 1; number != 0; --digit, number >>= 4)
        text[digit] = L"0123456789ABCDEF"[number & 0xF];
    return text;
}

}  // namespace tarnwick
