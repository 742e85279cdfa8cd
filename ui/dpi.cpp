#include "dpi.h"

#include "failure_win32.h"
#include "system_library_win32.h"
#include "win32_raii.h"

namespace tarnwick {

namespace {

// A function of user32 that older systems lack, or null there.
template <typename Function>
Function User32Function(const char* name) {
    return NewerSystemFunction<Function>(L"user32.dll", name);
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);

}  // namespace

int SystemDpi() {
    const UniqueScreenDc screen(GetDC(nullptr));
    // Without a screen DC, the layout's own scale: 15 twips a pixel.
    return screen ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : kDefaultDpi;
}

int WindowDpi(HWND window) {
    static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    const UINT dpi = getDpiForWindow ? getDpiForWindow(window) : 0;
    return dpi ? static_cast<int>(dpi) : SystemDpi();
}

int MetricForDpi(int index, int dpi) {
    static const auto getSystemMetricsForDpi = User32Function<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
    return getSystemMetricsForDpi ? getSystemMetricsForDpi(index, static_cast<UINT>(dpi)) : GetSystemMetrics(index);
}

RECT FrameForClient(const RECT& client, DWORD style, bool menu, DWORD exStyle, int dpi) {
    static const auto adjustForDpi = User32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
    RECT frame = client;
    const BOOL adjusted = adjustForDpi ? adjustForDpi(&frame, style, menu, exStyle, static_cast<UINT>(dpi))
                                       : AdjustWindowRectEx(&frame, style, menu, exStyle);
    if (!adjusted) throw FailureFromLastError();
    return frame;
}

LOGFONTW MessageFontForDpi(int dpi) {
    static const auto parametersForDpi = User32Function<SystemParametersInfoForDpiFn>("SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    const BOOL read =
        parametersForDpi
            ? parametersForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, static_cast<UINT>(dpi))
            : SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    if (!read) throw FailureFromLastError();
    return metrics.lfMessageFont;
}

}  // namespace tarnwick
