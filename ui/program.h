#pragma once

#include <windows.h>


#include "failure.h"
#include "message_boxes.h"
#include "messages.h"
#include "service_control.h"

namespace tarnwick {

// The process's exit status for each way the program ends. Closing the last
// window also ends it with Done.
enum class ExitCode : UINT {
    Done = 0,           // a sequence ran to its end, or the user closed the window
    StrictFailure = 1,  // a failure was reported
    BoundReached = 2,   // a wait gave up and the user was told
};

// What the program's windows share at run time: the count of open windows,
// the one guard that lets a single event handler run at a time and none once
// the program is ending, and the one place where a handler's outcome becomes
// an ending. Owned by the entry point; there is one.
class Program {
public:
    explicit Program(MessageBoxes& boxes) : boxes_(boxes) {}
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    MessageBoxes& Boxes() { return boxes_; }

    // Top-level windows report their creation and destruction; when the last
    // one is destroyed the message loop ends, and with it the program.
    void WindowOpened() { ++openWindows_; }
    void WindowClosed();

    // True once the final report is on its way: the windows do nothing more.
    bool Ending() const { return ending_; }

    // Runs one event handler and acts on its outcome: goes on, or ends the
    // program (reporting a reached bound or a strict failure first). Does
    // nothing while another handler runs (a message box's own loop could
    // deliver a click) or once the program is ending.
    void RunHandler(FailurePlace place, FunctionRef<Outcome()> handler);

    // Reports a strict failure, then ends the program when the user closes the box.
    [[noreturn]] void EndWithStrictFailure(const Failure& failure, FailurePlace place);

private:
    [[noreturn]] void EndAfterReport(const std::wstring& text, MessageIcon icon, ExitCode code);

    MessageBoxes& boxes_;
    int openWindows_ = 0;
    bool busy_ = false;
    bool ending_ = false;
};

// Ends the process at once: no further event handler runs and the windows go
// without their close handling.
[[noreturn]] void EndProgram(ExitCode code);

// The Failure the exception being handled stands for; call it in a catch
// block. Nothing may unwind through a window procedure, so an exception that
// is not a Failure is reported like any other strict failure.
Failure FailureFromCurrentException();

}  // namespace tarnwick
