#include "program.h"

#include <algorithm>
#include <new>

#include "failure_win32.h"
#include "newer_functions_win32.h"
#include "switching_right.h"
#include "worker_thread_win32.h"

namespace tarnwick {

namespace {

// The wait cursor while an event handler blocks the message loop.
class WaitCursor {
public:
    WaitCursor() : previous_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    ~WaitCursor() { SetCursor(previous_ ? previous_ : LoadCursorW(nullptr, IDC_ARROW)); }

private:
    HCURSOR previous_;
};

// What Windows shows for the program when a log-off or shutdown waits for it.
constexpr wchar_t kShutdownBlockReason[] = L"Switching the IIS services";

}  // namespace

void Program::WindowOpened(HWND window) {
    const auto free = std::find(windows_.begin(), windows_.end(), nullptr);
    if (free != windows_.end()) *free = window;
}

void Program::WindowClosed(HWND window) {
    const auto found = std::find(windows_.begin(), windows_.end(), window);
    if (found == windows_.end()) return;
    *found = nullptr;
    if (std::all_of(windows_.begin(), windows_.end(), [](HWND open) { return open == nullptr; })) PostQuitMessage(0);
}

void Program::RunHandler(FailurePlace place, FunctionRef<Outcome()> handler) {
    if (busy_ || ending_) return;
    busy_ = true;
    try {
        Outcome outcome;
        {
            const WaitCursor wait;
            outcome = handler();
        }
        // The handler has returned, so its directory objects are released and
        // no service call can follow.
        switch (outcome.kind) {
        case Outcome::Kind::KeepRunning:
            SequenceEnded();
            busy_ = false;
            return;
        case Outcome::Kind::SequenceDone:
            // The windows stay inert until they go with the program. Where
            // nobody saw them, the event log keeps a trace of the switch.
            if (unattended_ && outcome.switched) EndAfterRecord(SwitchedText(*outcome.switched));
            End(ExitCode::Done);
        case Outcome::Kind::BoundReached:
            SequenceEnded();
            EndAfterReport(TimeoutText(outcome.timeout.value()), MessageIcon::Warning, ExitCode::BoundReached);
        case Outcome::Kind::AlreadySwitching: {  // no sequence began
            const wchar_t* text = strangerHoldsLock_ ? kStrangerHoldsLockText : kAlreadySwitchingText;
            if (outcome.endsProgram) EndAfterReport(text, MessageIcon::Information, ExitCode::AlreadySwitching);
            // The window stays, and the user may try again later.
            boxes_.Show(text, kApplicationTitle, MessageIcon::Information);
            busy_ = false;
            return;
        }
        }
    } catch (...) {
        // Nothing may unwind through the window procedure.
        SequenceEnded();
        EndWithStrictFailure(FailureFromCurrentException(), place);
    }
}

void Program::RunServiceHandler(FailurePlace place, FunctionRef<Outcome()> handler, FunctionRef<void()> first) {
    RunHandler(place, [&] {
        first();
        Outcome outcome;
        working_ = true;
        try {
            // Before a sequence begins, a click or a Close waits for the
            // handler's end; once it runs, the windows are inert and every
            // message goes on.
            RunOnWorkerThread([&] { outcome = handler(); }, [this] { return sequencing_; });
        } catch (...) {
            working_ = false;
            throw;
        }
        working_ = false;
        return outcome;
    });
}

void Program::SessionEnds(const std::wstring& switchService) {
    if (!sequencing_ || !events_) return;
    try {
        events_->Write(EventType::Warning, SessionEndedMidSwitchText(switchService));
    } catch (...) {
        // Deliberately ignored: the session is ending, and there is nowhere
        // else to say it.
    }
}

bool Program::TryTake() {
    if (switchingRight_) return true;
    RightTaken taken = RightTaken::HeldByAnotherTarnwick;
    try {
        taken = TakeSwitchingRight(switchingRight_.emplace());
    } catch (...) {
        switchingRight_.reset();  // whatever it opened is closed again
        throw;
    }
    strangerHoldsLock_ = taken == RightTaken::HeldByStranger;
    if (taken == RightTaken::Taken) return true;
    switchingRight_.reset();
    return false;
}

void Program::GiveBack() {
    switchingRight_.reset();
}

void Program::SequenceBegins() {
    if (sequencing_) return;
    sequencing_ = true;
    focusBeforeSequence_ = GetFocus();
    // The windows take no input, as under the final report, while the waits
    // retrieve their messages. A log-off or shutdown is held back until the
    // sequence has ended, with a reason Windows shows; without the reason
    // (a failure is ignored) Windows still waits, naming no reason.
    for (const HWND window : windows_) {
        if (!window) continue;
        EnableWindow(window, FALSE);
        (void)SetShutdownBlockReason(window, kShutdownBlockReason);
    }
}

void Program::SequenceEnded() {
    if (!sequencing_) return;
    sequencing_ = false;
    for (const HWND window : windows_) {
        if (!window) continue;
        (void)ClearShutdownBlockReason(window);  // deliberately ignored: the window goes with the program
        EnableWindow(window, TRUE);
    }
    if (focusBeforeSequence_ && IsWindow(focusBeforeSequence_)) SetFocus(focusBeforeSequence_);
}

void Program::EndWithStrictFailure(const Failure& failure, FailurePlace place) {
    EndAfterReport(StrictFailureText(failure, place), MessageIcon::Error, ExitCode::StrictFailure);
}

void Program::EndAfterReport(const std::wstring& text, MessageIcon icon, ExitCode code) {
    // From here on no window reacts: the box disables them all while it is up,
    // and the guard turns away whatever still reaches a handler. No service
    // call follows either, so another program may switch while the report
    // waits for a user who may not come back for hours.
    ending_ = true;
    GiveBack();
    try {
        boxes_.Show(text, kApplicationTitle, icon);
    } catch (...) {
        // Deliberately ignored: the program ends either way, and there is no
        // other place to say so.
    }
    End(code);
}

void Program::EndAfterRecord(const std::wstring& text) {
    ending_ = true;
    GiveBack();  // the switch is over: a scheduled run after this one may go on
    try {
        boxes_.Show(text, kApplicationTitle, MessageIcon::Information);
    } catch (...) {
        // Deliberately ignored: the services were switched, which the exit
        // status says without the record.
    }
    End(ExitCode::Done);
}

void Program::End(ExitCode code) {
    // Given back rather than left abandoned, though the next program takes an
    // abandoned one as well.
    GiveBack();
    EndProgram(code);
}

void EndProgram(ExitCode code) {
    ExitProcess(static_cast<UINT>(code));
}

Failure FailureFromCurrentException() {
    try {
        throw;
    } catch (const Failure& failure) {
        return failure;
    } catch (const std::bad_alloc&) {
        return FailureFromHresult(E_OUTOFMEMORY);
    } catch (...) {
        return FailureFromHresult(E_UNEXPECTED);
    }
}

}  // namespace tarnwick
