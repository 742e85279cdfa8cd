// The colours of the windows' texts and lines: the design's own on an
// ordinary light face, the system's in high contrast and on a dark face.

#include <gtest/gtest.h>

#include <cmath>

#include "../../ui/colours.h"
#include "../../ui/control_table.h"

namespace tarnwick {
namespace {

constexpr Colour kWhite = 0x00FFFFFF;
constexpr Colour kGrey = 0x00808080;

TEST(ContrastRatioTest, TheGammaPowerIsTheLibrarysForEveryChannelValue) {
    EXPECT_EQ(PowerTwoPointFour(0.0), 0.0);
    EXPECT_EQ(PowerTwoPointFour(1.0), 1.0);
    for (int channel = 0; channel < 256; ++channel) {
        const double x = (channel / 255.0 + 0.055) / 1.055;
        EXPECT_NEAR(PowerTwoPointFour(x), std::pow(x, 2.4), 1e-15) << channel;
    }
}

TEST(ContrastRatioTest, FollowsTheWcagFormulaWithTheBoundAtFourAndAHalf) {
    EXPECT_NEAR(ContrastRatio(kBlack, kWhite), 21.0, 1e-9);
    EXPECT_NEAR(ContrastRatio(kWhite, kBlack), 21.0, 1e-9);
    EXPECT_NEAR(ContrastRatio(kGrey, kGrey), 1.0, 1e-9);
    EXPECT_NEAR(ContrastRatio(kLinkTextColour, kWhite), 8.59, 0.01);  // pure blue
    EXPECT_NEAR(ContrastRatio(0x000000FF, kBlack), 5.25, 0.01);        // pure red: the low byte
    EXPECT_NEAR(ContrastRatio(0x0000FF00, kBlack), 15.3, 0.01);        // pure green
    EXPECT_NEAR(ContrastRatio(0x00767676, kWhite), 4.54, 0.01);        // the darkest grey that passes on white
    EXPECT_EQ(TextColour(0x00767676, 1, kWhite, false), 0x00767676u);
    EXPECT_EQ(TextColour(0x00777777, 1, kWhite, false), 1u);  // 4.48:1
}

// One row: a face, high contrast on or off, and whether the design's black
// text and blue links are kept on it. The separator goes with the black text.
struct ColourCase {
    const char* name;
    Colour face;
    bool highContrast;
    bool blackKept;
    bool blueKept;
};

TEST(TextAndLineColourTest, TheDesignWhereItCanBeReadTheSystemsElsewhere) {
    constexpr Colour kSystemText = 0x00123456;
    constexpr Colour kSystemLink = 0x00654321;
    constexpr Colour kSystemHighlight = 0x00AAAAAA;
    constexpr Colour kSystemShadow = 0x00555555;
    const ColourCase cases[] = {
        {"Windows 10 light face", 0x00F0F0F0, false, true, true},
        {"classic grey face", 0x00C0C0C0, false, true, true},  // blue at 4.7:1
        {"Wine's face", 0x00F5F5F5, false, true, true},
        {"mid grey face", 0x00777777, false, true, false},  // black at 4.7:1, blue at 1.9:1
        {"dark face", 0x00202020, false, false, false},
        {"black face", kBlack, false, false, false},
        {"High Contrast White", kWhite, true, false, false},
        {"High Contrast Black", kBlack, true, false, false},
    };
    for (const ColourCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TextColour(kBlack, kSystemText, c.face, c.highContrast), c.blackKept ? kBlack : kSystemText);
        EXPECT_EQ(TextColour(kLinkTextColour, kSystemLink, c.face, c.highContrast),
                  c.blueKept ? kLinkTextColour : kSystemLink);
        EXPECT_EQ(LineColour(kWhite, kSystemHighlight, c.face, c.highContrast),
                  c.blackKept ? kWhite : kSystemHighlight);
        EXPECT_EQ(LineColour(kGrey, kSystemShadow, c.face, c.highContrast), c.blackKept ? kGrey : kSystemShadow);
    }
}

}  // namespace
}  // namespace tarnwick
