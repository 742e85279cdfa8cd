#include "message_pump_win32.h"

#include <optional>

namespace tarnwick {

void DispatchProgramMessage(MSG& message) {
    const HWND root = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (root && IsDialogMessageW(root, &message)) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

void WaitHandingOnMessages(HANDLE object, FunctionRef<bool()> allMessages) {
    std::optional<int> quit;  // ends the message loop, not the wait
    for (;;) {
        const bool all = allMessages();
        const DWORD woke = MsgWaitForMultipleObjectsEx(1, &object, INFINITE, all ? QS_ALLINPUT : QS_SENDMESSAGE | QS_PAINT,
                                                       MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0 + 1) {
            MSG message{};
            while (PeekMessageW(&message, nullptr, 0, 0, all ? PM_REMOVE : PM_REMOVE | PM_QS_SENDMESSAGE | PM_QS_PAINT)) {
                if (message.message == WM_QUIT)
                    quit = static_cast<int>(message.wParam);
                else
                    DispatchProgramMessage(message);
            }
            continue;
        }
        // Should the wait itself fail, the object is still waited for, only
        // without messages: returning early would let its user run on.
        if (woke != WAIT_OBJECT_0) WaitForSingleObject(object, INFINITE);
        break;
    }
    // Waiting for messages, the thread counted as responding however long
    // none came; no longer waiting, it counts from the last one it took. One
    // looked at now keeps what follows (the end of the program, say) from
    // finding it idle for seconds.
    MSG next{};
    (void)PeekMessageW(&next, nullptr, 0, 0, PM_NOREMOVE);
    if (quit) PostQuitMessage(*quit);
}

}  // namespace tarnwick
