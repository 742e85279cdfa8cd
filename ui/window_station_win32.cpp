#include "window_station_win32.h"

#include <windows.h>

namespace tarnwick {

bool WindowStationIsVisible() {
    const HWINSTA station = GetProcessWindowStation();
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    // Unknown, it counts as the user's: boxes are shown, as ever.
    if (!station || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed)) return true;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace tarnwick
