#include "system_clock_win32.h"

#include <windows.h>

#include "pause.h"

namespace tarnwick {

std::chrono::milliseconds SystemClock::Now() {
    // 64-bit ticks do not wrap, unlike GetTickCount's 49.7 days.
    return std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(GetTickCount64()));
}

void SystemClock::Pause(std::int32_t milliseconds) {
    tarnwick::Pause(milliseconds);
}

}  // namespace tarnwick
