#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sys_info.h"

namespace tarnwick {

// Registry over RegOpenKeyExA, RegQueryValueExA and RegCloseKey, in the 64-bit view.
class Win32Registry final : public Registry {
public:
    std::optional<RegistryValue> ReadValue(RegistryRoot root, const std::wstring& keyName,
                                           const std::wstring& valueName, std::uint32_t capacity) override;
    bool KeyExists(RegistryRoot root, const std::wstring& keyName) override;
    std::wstring FromAnsi(std::string_view text) override;
};

// ProgramFiles over GetFileAttributesW and CreateProcessW.
class Win32ProgramFiles final : public ProgramFiles {
public:
    bool IsNormalFile(const std::wstring& path) override;
    void Start(const ProgramStart& start) override;
};

}  // namespace tarnwick
