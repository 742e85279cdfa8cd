#pragma once

#include <cstdint>

namespace tarnwick {

// Suspends the calling thread for `milliseconds` (none for a negative value).
// The message loop does not run meanwhile.
void Pause(std::int32_t milliseconds);

}  // namespace tarnwick
