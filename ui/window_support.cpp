#include "window_support.h"

#include "failure_win32.h"
#include "form1_layout.h"

namespace tarnwick {

int ScreenDpi() {
    const UniqueScreenDc screen(GetDC(nullptr));
    // Without a screen DC, the layout's own scale: 15 twips a pixel.
    return screen ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : USER_DEFAULT_SCREEN_DPI;
}

void SizeAndCentre(HWND window, int clientWidth, int clientHeight) {
    RECT client{};
    RECT frame{};
    if (!GetClientRect(window, &client) || !GetWindowRect(window, &frame)) throw FailureFromLastError();
    const int width = frame.right - frame.left + clientWidth - client.right;
    const int height = frame.bottom - frame.top + clientHeight - client.bottom;
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    if (!SetWindowPos(window, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE))
        throw FailureFromLastError();
}

HWND CreateChild(HWND parent, int id, const wchar_t* windowClass, const wchar_t* text, DWORD style,
                 DWORD exStyle, const RECT& pixels, HFONT font) {
    const HWND control = CreateWindowExW(
        exStyle, windowClass, text, style, pixels.left, pixels.top, pixels.right - pixels.left,
        pixels.bottom - pixels.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    if (!control) throw FailureFromLastError();
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

UniqueHfont CreateStandardFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        throw FailureFromLastError();
    UniqueHfont font(CreateFontIndirectW(&metrics.lfMessageFont));
    if (!font) throw FailureFromLastError(E_OUTOFMEMORY);
    return font;
}

UniqueHfont CreateLinkFont(int dpi) {
    LOGFONTW link{};
    link.lfHeight = -FontPixelHeight(kLinkFontHundredthsOfPoint, dpi);  // negative: character height
    link.lfWeight = kLinkFontWeight;
    link.lfUnderline = TRUE;
    link.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(link.lfFaceName, kLinkFontFace, LF_FACESIZE);
    UniqueHfont font(CreateFontIndirectW(&link));
    if (!font) throw FailureFromLastError(E_OUTOFMEMORY);
    return font;
}

}  // namespace tarnwick
