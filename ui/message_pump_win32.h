#pragma once

#include <windows.h>

#include "function_ref.h"

namespace tarnwick {

// Hands one retrieved message to its window. Enter, Esc, Tab and Space work
// in every window of the program as in a dialog.
void DispatchProgramMessage(MSG& message);

// Returns once `object` is signalled. Meanwhile the calling thread, the
// windows' own, does nothing but hand window messages on, so that the windows
// repaint and Windows never takes them for hung. `allMessages` says at each
// turn whether every message goes on, or only paints and the messages other
// threads send: input and posted messages then wait for the message loop, as
// they would behind a handler that kept the thread. A quit message that
// arrives is posted again once the wait is over, for the message loop.
void WaitHandingOnMessages(HANDLE object, FunctionRef<bool()> allMessages);

}  // namespace tarnwick
