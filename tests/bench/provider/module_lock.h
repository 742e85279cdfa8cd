#pragma once

namespace tarnwick::bench {

// Counts live objects and server locks so DllCanUnloadNow can answer.
void LockModule();
void UnlockModule();

}  // namespace tarnwick::bench
