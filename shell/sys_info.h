#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "message_boxes.h"
#include "registry.h"

namespace tarnwick {

// Characters (bytes of the ANSI code page) the value buffer holds.
inline constexpr std::uint32_t kValueBufferSize = 1024;

inline constexpr wchar_t kSysInfoUnavailable[] = L"System Information Is Unavailable At This Time";

// How a program is started: the program file, and the whole command line it
// is given.
struct ProgramStart {
    std::wstring application;
    std::wstring commandLine;
};

// The start for a path text from the registry. The whole text is the command
// line. A text in double quotes names the program between them, and may go
// on with arguments; any other text is the program's path as a whole, blanks
// included, so "C:\Program Files\…" can never start "C:\Program.exe".
ProgramStart ProgramStartFor(const std::wstring& pathText);

// The program files the launcher looks at and starts.
class ProgramFiles {
public:
    virtual ~ProgramFiles() = default;

    // A normal file exists at `path`: not a folder, not hidden, not a system
    // file (read-only and archive files count).
    virtual bool IsNormalFile(const std::wstring& path) = 0;
    // Starts exactly `start.application` with `start.commandLine`, window
    // shown normally and given the focus, without waiting for it. Throws
    // Failure when it cannot start.
    virtual void Start(const ProgramStart& start) = 0;
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
    // value of zero bytes.
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
