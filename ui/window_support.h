#pragma once

// What the program's two windows do alike: measure the session's DPI, size a
// window to an exact client area and centre it, and make the fonts of the
// standard and the link look.

#include <windows.h>

#include "win32_raii.h"

namespace tarnwick {

// The session's DPI: the manifest declares the program system-DPI aware, so
// one value serves the whole run.
int ScreenDpi();

// Gives `window` the exact client size, whatever its frame and menu bar measure
// in the current theme, and centres it on the screen.
void SizeAndCentre(HWND window, int clientWidth, int clientHeight);

// The body of a window procedure for a window owned by a C++ object: the
// object passed in CreateWindowEx's last argument takes the handle into its
// `Handle` member at WM_NCCREATE and gets every message from then on through
// `Handler`. Called from the class's own static window procedure, which may
// name its private members here.
template <typename Window, UniqueHwnd Window::*Handle,
          LRESULT (Window::*Handler)(HWND, UINT, WPARAM, LPARAM)>
LRESULT RouteMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        (self->*Handle).Reset(window);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    // `self` may be deleted inside (at WM_NCDESTROY): nothing touches it afterwards.
    return (self->*Handler)(window, message, wParam, lParam);
}

// Creates a child control of `parent` with its id, in its pixel rectangle,
// and gives it `font`.
HWND CreateChild(HWND parent, int id, const wchar_t* windowClass, const wchar_t* text, DWORD style,
                 DWORD exStyle, const RECT& pixels, HFONT font);

// The standard look's font: the system's message font, the one it uses in its
// own dialogs and message boxes, in the user's size and the session's DPI.
UniqueHfont CreateStandardFont();

// The link look's font: "MS Sans Serif" 8.25 points, normal weight, underlined.
UniqueHfont CreateLinkFont(int dpi);

}  // namespace tarnwick
