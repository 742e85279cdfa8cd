#pragma once

#include "registry.h"

namespace tarnwick {

// Which generation of IIS the computer runs, and with it which services make
// up the web server.
enum class IisProfile {
    // IIS 5.1 and 6.0: the web and FTP services (W3SVC, MSFTPSVC) depend on
    // IISADMIN, so IISADMIN is the switch, and disabling it keeps the web
    // server off across restarts.
    Iis6,
    // IIS 7 to 10: W3SVC depends on WAS, not on IISADMIN; W3SVC is the switch
    // and its start type is written. The FTP service (FTPSVC, or IIS 7.0's
    // MSFTPSVC) follows it when the computer has one. WAS and IISADMIN are
    // never touched: other software may rely on them.
    Iis7,
};

// What the program learns of IIS's set-up before it binds to the computer.
struct IisInstallation {
    IisProfile profile = IisProfile::Iis6;
    // IIS's set-up key exists. Without it a missing IISADMIN most likely means
    // that IIS is not installed at all.
    bool setupKeyPresent = true;
};

inline constexpr wchar_t kIisSetupKey[] = L"SOFTWARE\\Microsoft\\InetStp";
inline constexpr wchar_t kIisMajorVersionValue[] = L"MajorVersion";

// Reads IIS's major version from its set-up key. A REG_DWORD of 7 or more
// chooses the IIS 7 profile; anything else (no key, no value, a value that
// cannot be read, another type, an older version) keeps the IIS 6 one.
IisInstallation DetectIis(Registry& registry);

}  // namespace tarnwick
