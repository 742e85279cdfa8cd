#pragma once

#include "function_ref.h"

namespace tarnwick {

// Runs `work` on a thread of its own, in a COM apartment of its own (single-
// threaded, as the directory's objects expect), and returns once it has
// ended, throwing again what it threw. A service that takes long to answer
// then keeps only that thread waiting: the calling thread, the windows' own,
// hands window messages on meanwhile (WaitHandingOnMessages, to which
// `allMessages` goes). Throws Failure when the thread cannot be started.
void RunOnWorkerThread(FunctionRef<void()> work, FunctionRef<bool()> allMessages);

}  // namespace tarnwick
