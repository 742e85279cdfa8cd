#include "system_clock_win32.h"

#include "pause.h"
#include "system_library_win32.h"

namespace tarnwick {

SystemClock::GetTickCount64Fn SystemClock::SystemGetTickCount64() {
    return NewerSystemFunction<GetTickCount64Fn>(L"kernel32.dll", "GetTickCount64");
}

std::chrono::milliseconds SystemClock::Now() {
    const std::uint64_t ticks = getTickCount64_ ? getTickCount64_() : ticks_.Extend(GetTickCount());
    return std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(ticks));
}

void SystemClock::Pause(std::int32_t milliseconds) {
    tarnwick::Pause(milliseconds);
}

}  // namespace tarnwick
