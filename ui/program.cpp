#include "program.h"

#include <new>

#include "failure_win32.h"

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

}  // namespace

void Program::WindowClosed() {
    if (openWindows_ > 0 && --openWindows_ == 0) PostQuitMessage(0);
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
        // The handler has returned, so its directory objects are released.
        switch (outcome.kind) {
        case Outcome::Kind::KeepRunning:
            busy_ = false;
            return;
        case Outcome::Kind::SequenceDone:
            EndProgram(ExitCode::Done);
        case Outcome::Kind::BoundReached:
            EndAfterReport(TimeoutText(outcome.timeout.value()), MessageIcon::Warning, ExitCode::BoundReached);
        }
    } catch (...) {
        // Nothing may unwind through the window procedure.
        EndWithStrictFailure(FailureFromCurrentException(), place);
    }
}

void Program::EndWithStrictFailure(const Failure& failure, FailurePlace place) {
    EndAfterReport(StrictFailureText(failure, place), MessageIcon::Error, ExitCode::StrictFailure);
}

void Program::EndAfterReport(const std::wstring& text, MessageIcon icon, ExitCode code) {
    // From here on no window reacts: the box disables them all while it is up,
    // and the guard turns away whatever still reaches a handler.
    ending_ = true;
    try {
        boxes_.Show(text, kApplicationTitle, icon);
    } catch (...) {
        // Deliberately ignored: the program ends either way, and there is no
        // other place to say so.
    }
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
