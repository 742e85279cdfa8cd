#include "message_boxes_win32.h"

#include <windows.h>

#include "failure_win32.h"

namespace tarnwick {

namespace {
UINT IconFlag(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Error:
        return MB_ICONERROR;
    case MessageIcon::Warning:
        return MB_ICONWARNING;
    case MessageIcon::Information:
        return MB_ICONINFORMATION;
    case MessageIcon::None:
        break;
    }
    return 0;
}
}  // namespace

void Win32MessageBoxes::Show(const std::wstring& text, const std::wstring& caption, MessageIcon icon) {
    // A quit message already posted (the last window was destroyed just now)
    // would end the box's own loop the moment it opens. It waits in here
    // while the box is up and is posted again afterwards.
    MSG quit{};
    const bool quitPending = PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
    const int answer = MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_TASKMODAL | IconFlag(icon));
    const DWORD error = GetLastError();
    if (quitPending) PostQuitMessage(static_cast<int>(quit.wParam));
    // The answer carries nothing, OK being the only button; 0 means no box was shown.
    if (answer == 0) {
        SetLastError(error);
        throw FailureFromLastError();
    }
}

}  // namespace tarnwick
