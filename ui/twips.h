#pragma once

// Twips (1/1440 inch), the unit of every window's layout, and their
// conversion to pixels. Free of Windows headers so that it is checked natively.

namespace tarnwick {

inline constexpr int kTwipsPerInch = 1440;

namespace twips_detail {
// numerator / denominator rounded to the nearest integer, halves away from zero
// (as MulDiv rounds); denominator > 0.
constexpr int RoundedDivide(long long numerator, long long denominator) {
    return static_cast<int>(numerator >= 0 ? (numerator + denominator / 2) / denominator
                                           : -((-numerator + denominator / 2) / denominator));
}
}  // namespace twips_detail

// Pixels for `twips` at `dpi`.
constexpr int TwipsToPixels(int twips, int dpi) {
    return twips_detail::RoundedDivide(static_cast<long long>(twips) * dpi, kTwipsPerInch);
}

// The character height in pixels of a font of `hundredthsOfPoint` at `dpi`
// (a point is 1/72 inch).
constexpr int FontPixelHeight(int hundredthsOfPoint, int dpi) {
    return twips_detail::RoundedDivide(static_cast<long long>(hundredthsOfPoint) * dpi, 72 * 100);
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

}  // namespace tarnwick
