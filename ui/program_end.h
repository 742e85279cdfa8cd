#pragma once

#include <windows.h>

#include <exception>
#include <string>

#include "failure.h"

namespace tarnwick {

// The process's exit status for each way the program ends. Closing the last
// window also ends it with Done.
enum class ExitCode : UINT {
    Done = 0,           // a sequence ran to its end, or the user closed the window
    StrictFailure = 1,  // a failure was reported
    BoundReached = 2,   // a wait gave up and the user was told
};

// The program's message box: caption "Tarnwick", one OK button, `icon`.
void ShowMessage(HWND owner, const std::wstring& text, UINT icon);

// Ends the process at once: no further event handler runs and the windows go
// without their close handling.
[[noreturn]] void EndProgram(ExitCode code);

// Reports a strict failure, then ends the program when the user closes the box.
[[noreturn]] void EndWithStrictFailure(HWND owner, const Failure& failure);

// A Failure for an exception that is not one: nothing may unwind through a
// window procedure, so these are reported like any other strict failure.
Failure FailureFromException(const std::exception& exception);

}  // namespace tarnwick
