#pragma once

#include <cstdint>

namespace tarnwick {

// Suspends the calling thread for `milliseconds` (none for a negative value).
// The sequences run on a worker thread, so the windows' thread goes on
// handing messages on meanwhile.
void Pause(std::int32_t milliseconds);

}  // namespace tarnwick
