#pragma once

// The main window's layout as data, in twips (1/1440 inch), and its conversion
// to pixels. Free of Windows headers so that it is checked natively.

#include <array>
#include <cstdint>

namespace tarnwick {

inline constexpr int kTwipsPerInch = 1440;

namespace layout_detail {
// numerator / denominator rounded to the nearest integer, halves away from zero
// (as MulDiv rounds); denominator > 0.
constexpr int RoundedDivide(long long numerator, long long denominator) {
    return static_cast<int>(numerator >= 0 ? (numerator + denominator / 2) / denominator
                                           : -((-numerator + denominator / 2) / denominator));
}
}  // namespace layout_detail

// Pixels for `twips` at `dpi`.
constexpr int TwipsToPixels(int twips, int dpi) {
    return layout_detail::RoundedDivide(static_cast<long long>(twips) * dpi, kTwipsPerInch);
}

// The character height in pixels of a font of `hundredthsOfPoint` at `dpi`
// (a point is 1/72 inch).
constexpr int FontPixelHeight(int hundredthsOfPoint, int dpi) {
    return layout_detail::RoundedDivide(static_cast<long long>(hundredthsOfPoint) * dpi, 72 * 100);
}

struct TwipsRect {
    int left;
    int top;
    int width;
    int height;
};

struct PixelRect {
    int left;
    int top;
    int width;
    int height;
};

// Each value is converted on its own, so equal twips give equal pixels
// whatever the position.
constexpr PixelRect ToPixels(const TwipsRect& twips, int dpi) {
    return {TwipsToPixels(twips.left, dpi), TwipsToPixels(twips.top, dpi),
            TwipsToPixels(twips.width, dpi), TwipsToPixels(twips.height, dpi)};
}

enum class ControlKind {
    PushButton,  // takes the focus, in table order
    Label,       // never takes the focus
};

enum class ControlLook {
    Standard,  // the window's font and the system's dialog colours
    Link,      // kLinkTextColour, the link font, underlined
};

struct ControlSpec {
    const wchar_t* name;
    ControlKind kind;
    const wchar_t* text;
    TwipsRect twips;
    ControlLook look;
};

// Positions in Form1's table, which is also the creation order.
enum Form1Control : int { kCmdStart, kCmdStop, kLabel3, kLabel1, kLabel2, kForm1ControlCount };

inline constexpr int kForm1ClientWidth = 2685;  // twips
inline constexpr int kForm1ClientHeight = 1290;
inline constexpr wchar_t kFrmAboutText[] = L"About";

// Link look: 0x00BBGGRR pure blue, "MS Sans Serif" 8.25 points, normal weight, underlined.
inline constexpr std::uint32_t kLinkTextColour = 0x00FF0000;
inline constexpr wchar_t kLinkFontFace[] = L"MS Sans Serif";
inline constexpr int kLinkFontHundredthsOfPoint = 825;
inline constexpr int kLinkFontWeight = 400;

// Form1's controls in creation order. Label1 and Label2 share one rectangle,
// one pixel above the client area; both start empty. `makerSite` is the text
// of the link label.
constexpr std::array<ControlSpec, kForm1ControlCount> Form1Controls(const wchar_t* makerSite) {
    return {{
        {L"cmdStart", ControlKind::PushButton, L"Start Web", {75, 360, 1215, 495}, ControlLook::Standard},
        {L"cmdStop", ControlKind::PushButton, L"Stop Web", {1395, 360, 1215, 495}, ControlLook::Standard},
        {L"Label3", ControlKind::Label, makerSite, {172, 960, 2340, 255}, ControlLook::Link},
        {L"Label1", ControlKind::Label, L"", {180, -15, 2295, 255}, ControlLook::Standard},
        {L"Label2", ControlKind::Label, L"", {180, -15, 2295, 255}, ControlLook::Standard},
    }};
}

}  // namespace tarnwick
