#pragma once

#include <windows.h>

#include <array>
#include <optional>

#include "failure.h"
#include "message_boxes.h"
#include "messages.h"
#include "service_control.h"
#include "switching.h"
#include "switching_lock_win32.h"
#include "unattended.h"
#include "win32_raii.h"

namespace tarnwick {

// The process's exit status for each way the program ends. Closing the last
// window also ends it with Done.
enum class ExitCode : UINT {
    Done = 0,           // a sequence ran to its end, or the user closed the window
    StrictFailure = 1,  // a failure was reported
    BoundReached = 2,   // a wait gave up and the user was told
    AlreadySwitching = 3,  // another program was switching the IIS services; nothing was changed
};

// What the program's windows share at run time: the open windows, the one
// guard that lets a single event handler run at a time and none once the
// program is ending, the right to switch the IIS services while the program
// holds it, and the one place where a handler's outcome becomes an ending.
// Owned by the entry point; there is one.
class Program final : public Switching {
public:
    // `unattended`: the process's window station is one nobody sees, so no
    // window is shown and `boxes` writes its reports somewhere else.
    // `events`: where an end of session mid-switch is recorded (none: nowhere).
    explicit Program(MessageBoxes& boxes, bool unattended = false, EventLog* events = nullptr)
        : boxes_(boxes), unattended_(unattended), events_(events) {}
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    MessageBoxes& Boxes() { return boxes_; }
    bool Unattended() const { return unattended_; }

    // Top-level windows report their creation and destruction; when the last
    // one is destroyed the message loop ends, and with it the program.
    void WindowOpened(HWND window);
    void WindowClosed(HWND window);

    // True once the final report is on its way: the windows do nothing more.
    bool Ending() const { return ending_; }
    // True while a service sequence runs: the windows take no input, refuse
    // to close, and hold a log-off or shutdown back.
    bool Sequencing() const { return sequencing_; }
    // True while a handler's service calls run on the worker thread: the
    // windows refuse to close, since the handler still uses them.
    bool Working() const { return working_; }

    // The session ends (WM_ENDSESSION): mid-switch, that is recorded as a
    // warning naming `switchService`, since the program may be ended at any
    // moment from here on.
    void SessionEnds(const std::wstring& switchService);

    // The right to switch is a named mutex that only administrators can make
    // (Win32SwitchingLock), held until the final report or the end, or given
    // back by a launch that ran no sequence.
    bool TryTake() override;
    void GiveBack() override;
    void SequenceBegins() override;

    // Runs one event handler and acts on its outcome: goes on (after telling
    // the user that another program is switching, when it is), or ends the
    // program (reporting a reached bound, another program switching or a
    // strict failure first). Does nothing while another handler runs (the
    // waits and a message box deliver messages, a click among them) or once
    // the program is ending.
    void RunHandler(FailurePlace place, FunctionRef<Outcome()> handler);
    // The same for a handler of the service control, which runs on a worker
    // thread while this one hands window messages on; what it does to the
    // windows and to the right to switch is carried back to this thread.
    // `first` runs on this thread before the worker starts.
    void RunServiceHandler(FailurePlace place, FunctionRef<Outcome()> handler, FunctionRef<void()> first);

    // Reports a strict failure, then ends the program when the user closes the box.
    [[noreturn]] void EndWithStrictFailure(const Failure& failure, FailurePlace place);
    // Gives the right to switch back, reports `text`, then ends the program
    // with `code` when the user closes the box.
    [[noreturn]] void EndAfterReport(const std::wstring& text, MessageIcon icon, ExitCode code);

private:
    // Records `text` where nobody sees the windows (the reports go to the
    // event log there), then ends the program with Done.
    [[noreturn]] void EndAfterRecord(const std::wstring& text);
    void SequenceEnded();
    [[noreturn]] void End(ExitCode code);

    MessageBoxes& boxes_;
    bool unattended_;
    // The open top-level windows: the main window and the About dialog, each
    // at most once. A fixed array: nothing is allocated in a window procedure.
    std::array<HWND, 2> windows_{};
    EventLog* events_;
    std::optional<Win32SwitchingLock> switchingRight_;  // while this program holds the right
    HWND focusBeforeSequence_ = nullptr;
    bool strangerHoldsLock_ = false;  // what the last refused TryTake found
    bool busy_ = false;
    bool working_ = false;
    bool ending_ = false;
    bool sequencing_ = false;
};

// Ends the process at once: no further event handler runs and the windows go
// without their close handling.
[[noreturn]] void EndProgram(ExitCode code);

// The Failure the exception being handled stands for; call it in a catch
// block. Nothing may unwind through a window procedure, so an exception that
// is not a Failure is reported like any other strict failure.
Failure FailureFromCurrentException();

}  // namespace tarnwick
