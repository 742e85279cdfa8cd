// Reports a strict failure while a quit message is already pending, as when
// the main window is destroyed on the way to the failure.

#include <windows.h>

#include "message_boxes_win32.h"
#include "program.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    tarnwick::Win32MessageBoxes boxes;
    tarnwick::Program program(boxes);
    PostQuitMessage(0);
    program.EndWithStrictFailure(
        tarnwick::Failure(static_cast<std::int32_t>(0x80070424), L"The specified service does not exist."),
        tarnwick::FailurePlace::Switching);
}
