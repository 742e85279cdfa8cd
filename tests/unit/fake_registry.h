#pragma once

#include <cstdint>
#include <cwchar>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry.h"

namespace tarnwick::testing {

struct StoredValue {
    std::uint32_t type;
    std::string bytes;
};

// Bytes as the registry keeps them: `text` with a terminating NUL counted.
inline StoredValue String(const std::string& text) {
    return {kRegSz, text + std::string(1, '\0')};
}

// A 32-bit number as the registry keeps it, little-endian.
inline StoredValue Dword(std::uint32_t number) {
    std::string bytes;
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((number >> shift) & 0xFFu);
    return {kRegDword, bytes};
}

// A registry of keys below HKEY_LOCAL_MACHINE that answers as the real one
// does (nothing for a missing key or value, or a value longer than the
// buffer), and logs every read.
class FakeRegistry : public Registry {
public:
    explicit FakeRegistry(std::vector<std::wstring>& log) : log_(log) {}

    std::optional<RegistryValue> ReadValue(RegistryRoot root, const std::wstring& keyName,
                                           const std::wstring& valueName, std::uint32_t capacity) override {
        log_.push_back(L"read " + Hex(root) + L" " + keyName + L" " + valueName);
        capacities.push_back(capacity);
        const auto key = keys.find(keyName);
        if (root != kHkeyLocalMachine || key == keys.end()) return std::nullopt;
        const auto found = key->second.find(valueName);
        if (found == key->second.end() || found->second.bytes.size() > capacity) return std::nullopt;
        return RegistryValue{found->second.type, found->second.bytes};
    }

    bool KeyExists(RegistryRoot root, const std::wstring& keyName) override {
        log_.push_back(L"key? " + Hex(root) + L" " + keyName);
        return root == kHkeyLocalMachine && keys.count(keyName) != 0;
    }

    // Stands in for the ANSI code page with Latin-1: every byte, NULs included, one character.
    std::wstring FromAnsi(std::string_view text) override {
        std::wstring wide;
        for (const char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
        return wide;
    }

    std::map<std::wstring, std::map<std::wstring, StoredValue>> keys;
    std::vector<std::uint32_t> capacities;

private:
    static std::wstring Hex(std::uint32_t number) {
        wchar_t text[16];
        std::swprintf(text, 16, L"%X", number);
        return text;
    }

    std::vector<std::wstring>& log_;
};

}  // namespace tarnwick::testing
