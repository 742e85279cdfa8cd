#pragma once

#include <windows.h>

#include "clock.h"
#include "tick_count.h"

namespace tarnwick {

// The system's tick count, and Pause.
class SystemClock final : public Clock {
public:
    using GetTickCount64Fn = ULONGLONG(WINAPI*)();

    // `getTickCount64`: null before Vista, where GetTickCount is carried on past its wrap.
    explicit SystemClock(GetTickCount64Fn getTickCount64 = SystemGetTickCount64()) : getTickCount64_(getTickCount64) {}

    std::chrono::milliseconds Now() override;
    void Pause(std::int32_t milliseconds) override;

    static GetTickCount64Fn SystemGetTickCount64();

private:
    GetTickCount64Fn getTickCount64_;
    WrapSafeTicks ticks_;
};

}  // namespace tarnwick
