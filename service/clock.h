#pragma once

#include <chrono>
#include <cstdint>

namespace tarnwick {

// Time as the service sequences see it: a monotonic reading for their bounds,
// and the pause between two status reads.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::chrono::milliseconds Now() = 0;
    virtual void Pause(std::int32_t milliseconds) = 0;
};

}  // namespace tarnwick
