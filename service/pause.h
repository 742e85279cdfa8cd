#pragma once

#include <cstdint>

namespace tarnwick {

// Waits `milliseconds` (none for a negative value). The calling thread is the
// windows' own: meanwhile it hands the window messages that arrive to their
// windows, so that they repaint and Windows never takes them for hung. A quit
// message stays for the message loop.
void Pause(std::int32_t milliseconds);

}  // namespace tarnwick
