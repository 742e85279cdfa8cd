#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// A predefined registry root, as its 32-bit handle value.
using RegistryRoot = std::uint32_t;
inline constexpr RegistryRoot kHkeyLocalMachine = 0x80000002u;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegDword = 4;

// One registry value as stored: its type and the bytes its size counts.
struct RegistryValue {
    std::uint32_t type = 0;
    std::string bytes;
};

// The registry as its ANSI entry points see it, in the 64-bit view: names are
// converted to the ANSI code page on the way in, and values come back as the
// bytes stored.
class Registry {
public:
    virtual ~Registry() = default;

    // Reads value `valueName` of key `keyName` below `root`, with read rights
    // only, into a buffer of `capacity` bytes. Nothing when the key or the
    // value cannot be read, a value longer than the buffer included.
    virtual std::optional<RegistryValue> ReadValue(RegistryRoot root, const std::wstring& keyName,
                                                   const std::wstring& valueName, std::uint32_t capacity) = 0;
    // False only when the key is known not to exist; a key that exists but
    // cannot be opened counts as existing.
    virtual bool KeyExists(RegistryRoot root, const std::wstring& keyName) = 0;
    // Text in the ANSI code page back to Unicode.
    virtual std::wstring FromAnsi(std::string_view text) = 0;
};

}  // namespace tarnwick
