#pragma once

// The vocabulary of both windows' control tables: what a control is, how it
// looks, and where it lies. Free of Windows headers, like the tables.

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "twips.h"

namespace tarnwick {

enum class ControlKind {
    PushButton,  // takes the focus
    Label,       // never takes the focus
    Picture,     // shows the application icon; never takes the focus
    Line,        // drawn on the window itself, under the controls
};

enum class ControlLook {
    Standard,   // the window's font, the dialog face's colours
    BlackText,  // standard, with black text
    Link,       // kLinkTextColour, the link font, underlined
    Sunken,     // the platform's sunken 3-D border
};

// The link look: 0x00BBGGRR pure blue, "MS Sans Serif" 8.25 points, normal
// weight, underlined.
inline constexpr std::uint32_t kLinkTextColour = 0x00FF0000;
inline constexpr wchar_t kLinkFontFace[] = L"MS Sans Serif";
inline constexpr int kLinkFontHundredthsOfPoint = 825;
inline constexpr int kLinkFontWeight = 400;

// Which of the system's 3-D colours a line takes where its own cannot be drawn.
enum class LineShade {
    Highlight,  // COLOR_3DHILIGHT
    Shadow,     // COLOR_3DSHADOW
};

// A line from (x1, y1) to (x2, y2) in twips, solid, in a 0x00BBGGRR colour.
struct LineSpec {
    int x1;
    int y1;
    int x2;
    int y2;
    std::uint32_t colour;
    int widthPixels;
    LineShade shade;
};

inline constexpr int kNoTabIndex = -1;

struct ControlSpec {
    const wchar_t* name;
    ControlKind kind;
    const wchar_t* text;
    TwipsRect twips;  // not for lines
    int tabIndex;     // kNoTabIndex for lines; the lowest of a push button gets the focus first
    ControlLook look;
    LineSpec line;    // lines only
};

// A position in a window's table, from the window's own enumeration of its controls.
template <typename Control>
constexpr std::size_t Index(Control control) {
    static_assert(std::is_enum_v<Control>);
    return static_cast<std::size_t>(control);
}

}  // namespace tarnwick
