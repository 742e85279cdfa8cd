#pragma once

// Which colour a text or a line of the windows is drawn in: the design's own
// where it can be read, the user's system colour where it cannot (a high
// contrast theme, or a dark dialog face). Free of Windows headers so that the
// decision is checked natively.

#include <cstdint>

namespace tarnwick {

// A colour as 0x00BBGGRR, the platform's COLORREF order.
using Colour = std::uint32_t;

inline constexpr Colour kBlack = 0x00000000;

// The least contrast ratio of ordinary text against its background (WCAG 2, 1.4.3).
inline constexpr double kMinimumTextContrast = 4.5;

// x to the power 2.4 for x in [0, 1]: x squared times the square of its fifth
// root, found by Newton's method, to the last bit or so. The C library's pow
// would add some 3 KB to the program for these few colours. Started above the
// root, each step comes down towards it; the loop ends when a step no longer does.
inline double PowerTwoPointFour(double x) {
    if (x <= 0.0) return 0.0;
    double root = 1.0;
    for (int step = 0; step < 64; ++step) {
        const double fourth = root * root * root * root;
        const double next = root - (fourth * root - x) / (5.0 * fourth);
        if (next >= root) break;
        root = next;
    }
    return x * x * root * root;
}

// The relative luminance of an sRGB colour (WCAG 2): 0 for black, 1 for white.
inline double RelativeLuminance(Colour colour) {
    const auto linear = [](unsigned channel) {
        const double c = channel / 255.0;
        return c <= 0.03928 ? c / 12.92 : PowerTwoPointFour((c + 0.055) / 1.055);
    };
    return 0.2126 * linear(colour & 0xFF) + 0.7152 * linear((colour >> 8) & 0xFF) +
           0.0722 * linear((colour >> 16) & 0xFF);
}

// From 1 (the same luminance) to 21 (black on white), whichever is lighter.
inline double ContrastRatio(Colour a, Colour b) {
    const double la = RelativeLuminance(a);
    const double lb = RelativeLuminance(b);
    return la > lb ? (la + 0.05) / (lb + 0.05) : (lb + 0.05) / (la + 0.05);
}

// The colour a text is drawn in on `face`: the design's `specified` colour
// while high contrast is off and it can be read there, else the system's
// `fallback` for that kind of text (COLOR_BTNTEXT, COLOR_HOTLIGHT).
inline Colour TextColour(Colour specified, Colour fallback, Colour face, bool highContrast) {
    return !highContrast && ContrastRatio(specified, face) >= kMinimumTextContrast ? specified : fallback;
}

// The colour a line of an etched separator is drawn in. Its white and grey
// are not read but seen as a pair on a light face, so they keep the design's
// colours exactly as long as the design's black text does, and otherwise take
// the system's 3-D colours (COLOR_3DHILIGHT, COLOR_3DSHADOW) with the rest of
// the window.
inline Colour LineColour(Colour specified, Colour fallback, Colour face, bool highContrast) {
    const bool blackTextKept = !highContrast && ContrastRatio(kBlack, face) >= kMinimumTextContrast;
    return blackTextKept ? specified : fallback;
}

}  // namespace tarnwick
