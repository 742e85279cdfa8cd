#pragma once

// The DPI a window is drawn at, and the system's measures for it. Where the
// system knows a DPI per monitor (Windows 10 1607 and later, with the
// manifest's per-monitor awareness), these give the window's own; elsewhere
// the session's DPI, which is then the only one. The newer calls are looked
// up at run time, so that the program still starts on XP and Server 2003.

#include <windows.h>

namespace tarnwick {

// The DPI the layout is designed at (USER_DEFAULT_SCREEN_DPI, which the
// headers declare only for Vista and later).
inline constexpr int kDefaultDpi = 96;

// The messages of a window whose DPI changes (Windows 8.1 and 10 1703 on),
// which the headers declare only for those: WM_DPICHANGED and
// WM_GETDPISCALEDSIZE. Older systems never send them.
inline constexpr UINT kWmDpiChanged = 0x02E0;
inline constexpr UINT kWmGetDpiScaledSize = 0x02E4;

// The DPI of the session, which system-aware programs use everywhere.
int SystemDpi();

// The DPI `window` is drawn at.
int WindowDpi(HWND window);

// GetSystemMetrics for `dpi`.
int MetricForDpi(int index, int dpi);

// The window rectangle around a client area of `client` at `dpi`, as
// AdjustWindowRectEx gives it. Throws Failure when the system refuses.
RECT FrameForClient(const RECT& client, DWORD style, bool menu, DWORD exStyle, int dpi);

// The system's message font (the one of its own dialogs and message boxes),
// in the user's size, at `dpi`. Throws Failure when the system refuses.
LOGFONTW MessageFontForDpi(int dpi);

}  // namespace tarnwick
