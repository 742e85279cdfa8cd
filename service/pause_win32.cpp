#include "pause.h"

#include <windows.h>

namespace tarnwick {

namespace {

LONGLONG Counter() {
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

// Hands every waiting message to its window; false when a quit message came,
// which is posted again for the message loop.
bool DispatchWaitingMessages() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return true;
}

}  // namespace

void Pause(std::int32_t milliseconds) {
    // Windows marks a window as not responding 5 s after its thread last
    // retrieved a message, and offers to end the program: ended mid-switch,
    // it would leave the services half switched. So the pause lasts its whole
    // time while messages are handed on as they arrive; the performance
    // counter measures it, where the tick count moves in 16 ms steps.
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    const LONGLONG end = Counter() + (milliseconds > 0 ? milliseconds : 0) * frequency.QuadPart / 1000;
    for (;;) {
        const bool quit = !DispatchWaitingMessages();
        const LONGLONG left = end - Counter();
        if (left <= 0) return;
        const auto leftMs = static_cast<DWORD>(left * 1000 / frequency.QuadPart + 1);  // rounded up
        if (quit) {
            Sleep(leftMs);  // the quit message would end every wait at once
            return;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, leftMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

}  // namespace tarnwick
