#include "window_station_win32.h"

#include <windows.h>

namespace tarnwick {

namespace {

// From Vista on, session 0 holds only services: nobody sees what is shown
// there. Before, it was the console user's own session.
bool InIsolatedSessionZero() {
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session) || session != 0) return false;
    OSVERSIONINFOEXW vista{};
    vista.dwOSVersionInfoSize = sizeof vista;
    vista.dwMajorVersion = 6;
    const DWORDLONG condition = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&vista, VER_MAJORVERSION, condition) != FALSE;
}

}  // namespace

bool WindowStationIsVisible() {
    if (InIsolatedSessionZero()) return false;
    const HWINSTA station = GetProcessWindowStation();
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    // Unknown, it counts as the user's: boxes are shown, as ever.
    if (!station || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed)) return true;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace tarnwick
