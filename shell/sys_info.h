#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "message_boxes.h"

namespace tarnwick {

// Registry values in the form the Windows headers give them, so this code
// builds without them; the Win32 adapter checks that they agree.
using RegistryRoot = std::uint32_t;     // a predefined root, as its 32-bit handle value
using RegistryKey = std::uintptr_t;     // an opened key; 0 is no key
using RegistryStatus = std::int32_t;    // 0 is success, otherwise a Win32 error
inline constexpr RegistryRoot kHkeyLocalMachine = 0x80000002u;
inline constexpr std::uint32_t kKeyRead = 0x20019u;  // read rights only: nothing is written
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegDword = 4;

// Characters (bytes of the ANSI code page) the value buffer holds.
inline constexpr std::uint32_t kValueBufferSize = 1024;

inline constexpr wchar_t kSysInfoUnavailable[] = L"System Information Is Unavailable At This Time";

// The registry as its ANSI entry points see it: names are converted to the
// ANSI code page on the way in, and values come back as the bytes stored.
class Registry {
public:
    virtual ~Registry() = default;

    // Opens `keyName` below `root`; on success `key` is the opened key.
    virtual RegistryStatus OpenKey(RegistryRoot root, const std::wstring& keyName,
                                   std::uint32_t access, RegistryKey& key) = 0;
    // Reads value `valueName` into `data` (capacity `size` bytes); `size`
    // becomes the number of bytes stored, `type` the value's type.
    virtual RegistryStatus QueryValue(RegistryKey key, const std::wstring& valueName,
                                      std::uint32_t& type, char* data, std::uint32_t& size) = 0;
    virtual void CloseKey(RegistryKey key) = 0;
    // Text in the ANSI code page back to Unicode.
    virtual std::wstring FromAnsi(std::string_view text) = 0;
};

// The program files the launcher looks at and starts.
class ProgramFiles {
public:
    virtual ~ProgramFiles() = default;

    // A normal file exists at `path`: not a folder, not hidden, not a system
    // file (read-only and archive files count).
    virtual bool IsNormalFile(const std::wstring& path) = 0;
    // Starts exactly the program file `path`, window shown normally and given
    // the focus, without waiting for it. Throws Failure when it cannot start.
    virtual void Start(const std::wstring& path) = 0;
};

// Finds the system information tool through the registry and starts it.
class SysInfoLauncher {
public:
    SysInfoLauncher(Registry& registry, ProgramFiles& files, MessageBoxes& boxes)
        : registry_(registry), files_(files), boxes_(boxes) {}

    // Reads one value as text into `keyVal`: a string as stored (less a
    // terminating NUL counted in its size), a 32-bit number in decimal; a value
    // of any other type leaves `keyVal` as it was. Returns false, with `keyVal`
    // empty, when the key or the value cannot be read. Throws Failure for a
    // value of zero bytes. The key is closed on every way out.
    bool GetKeyValue(RegistryRoot keyRoot, const std::wstring& keyName,
                     const std::wstring& subKeyRef, std::wstring& keyVal);

    // Starts the program that "SOFTWARE\Microsoft\Shared Tools\MSINFO" PATH
    // names, or else MSINFO32.EXE in the folder that "SOFTWARE\Microsoft\Shared
    // Tools Location" MSINFO names; any failure on the way shows the
    // unavailable message instead, and the program goes on.
    void StartSysInfo();

private:
    Registry& registry_;
    ProgramFiles& files_;
    MessageBoxes& boxes_;
};

}  // namespace tarnwick
