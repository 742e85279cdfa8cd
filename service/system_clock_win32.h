#pragma once

#include "clock.h"

namespace tarnwick {

// The system's tick count, and Pause.
class SystemClock final : public Clock {
public:
    std::chrono::milliseconds Now() override;
    void Pause(std::int32_t milliseconds) override;
};

}  // namespace tarnwick
