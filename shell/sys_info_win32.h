#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "sys_info.h"

namespace tarnwick {

// Registry over RegOpenKeyExA, RegQueryValueExA and RegCloseKey.
class Win32Registry : public Registry {
public:
    RegistryStatus OpenKey(RegistryRoot root, const std::wstring& keyName,
                           std::uint32_t access, RegistryKey& key) override;
    RegistryStatus QueryValue(RegistryKey key, const std::wstring& valueName,
                              std::uint32_t& type, char* data, std::uint32_t& size) override;
    void CloseKey(RegistryKey key) override;
    std::wstring FromAnsi(std::string_view text) override;
};

// ProgramFiles over GetFileAttributesW and CreateProcessW.
class Win32ProgramFiles : public ProgramFiles {
public:
    bool IsNormalFile(const std::wstring& path) override;
    void Start(const std::wstring& path) override;
};

// The launcher's routines as the About dialog calls them: with the real
// registry, program files and message boxes.
bool GetKeyValue(RegistryRoot keyRoot, const std::wstring& keyName,
                 const std::wstring& subKeyRef, std::wstring& keyVal);
void StartSysInfo();

}  // namespace tarnwick
