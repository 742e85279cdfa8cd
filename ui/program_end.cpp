#include "program_end.h"

#include <new>

#include "failure_win32.h"
#include "messages.h"

namespace tarnwick {

void ShowMessage(HWND owner, const std::wstring& text, UINT icon) {
    // The program ends after every box it shows, so a box that cannot be shown
    // changes nothing that follows.
    (void)MessageBoxW(owner, text.c_str(), kApplicationTitle, MB_OK | icon);
}

void EndProgram(ExitCode code) {
    ExitProcess(static_cast<UINT>(code));
}

void EndWithStrictFailure(HWND owner, const Failure& failure) {
    ShowMessage(owner, StrictFailureText(failure), MB_ICONERROR);
    EndProgram(ExitCode::StrictFailure);
}

Failure FailureFromException(const std::exception& exception) {
    if (dynamic_cast<const std::bad_alloc*>(&exception)) return FailureFromHresult(E_OUTOFMEMORY);
    return FailureFromHresult(E_UNEXPECTED);
}

}  // namespace tarnwick
