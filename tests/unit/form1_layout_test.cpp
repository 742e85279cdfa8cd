// The main window's layout: twips to pixels, and the control table.

#include <gtest/gtest.h>

#include <string>

#include "../../ui/form1_layout.h"
#include "../../ui/frm_about1_layout.h"

namespace tarnwick {
namespace {

bool operator==(const PixelRect& a, const PixelRect& b) {
    return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
}

TEST(TwipsToPixelsTest, FifteenTwipsMakeOnePixelAt96Dpi) {
    EXPECT_EQ(TwipsToPixels(15, 96), 1);
    EXPECT_EQ(TwipsToPixels(-15, 96), -1);
    EXPECT_EQ(TwipsToPixels(0, 96), 0);
    EXPECT_EQ(TwipsToPixels(1440, 96), 96);
}

TEST(TwipsToPixelsTest, RoundsHalvesAwayFromZeroAsMulDivDoes) {
    EXPECT_EQ(TwipsToPixels(1290, 120), 108);  // 107.5
    EXPECT_EQ(TwipsToPixels(2685, 144), 269);  // 268.5
    EXPECT_EQ(TwipsToPixels(-15, 144), -2);    // -1.5
    EXPECT_EQ(TwipsToPixels(172, 96), 11);     // 11.47
    EXPECT_EQ(TwipsToPixels(1395, 96), 93);    // 93.0
}

TEST(FontPixelHeightTest, LinkFontOfEightAndAQuarterPoints) {
    EXPECT_EQ(FontPixelHeight(kLinkFontHundredthsOfPoint, 96), 11);
    EXPECT_EQ(FontPixelHeight(kLinkFontHundredthsOfPoint, 120), 14);  // 13.75
    EXPECT_EQ(FontPixelHeight(kLinkFontHundredthsOfPoint, 144), 17);  // 16.5
}

TEST(Form1LayoutTest, ControlsAt96DpiInCreationOrder) {
    const auto controls = Form1Controls(L"www.maker.example");
    EXPECT_EQ(TwipsToPixels(kForm1ClientWidth, 96), 179);
    EXPECT_EQ(TwipsToPixels(kForm1ClientHeight, 96), 86);

    const struct {
        const wchar_t* name;
        ControlKind kind;
        const wchar_t* text;
        PixelRect pixels;
        ControlLook look;
    } expected[] = {
        {L"cmdStart", ControlKind::PushButton, L"Start Web", {5, 24, 81, 33}, ControlLook::Standard},
        {L"cmdStop", ControlKind::PushButton, L"Stop Web", {93, 24, 81, 33}, ControlLook::Standard},
        {L"Label3", ControlKind::Label, L"www.maker.example", {11, 64, 156, 17}, ControlLook::Link},
        {L"Label1", ControlKind::Label, L"", {12, -1, 153, 17}, ControlLook::Standard},
        {L"Label2", ControlKind::Label, L"", {12, -1, 153, 17}, ControlLook::Standard},
    };
    ASSERT_EQ(controls.size(), std::size(expected));
    for (std::size_t i = 0; i < controls.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(std::wstring(controls[i].name), expected[i].name);
        EXPECT_EQ(controls[i].kind, expected[i].kind);
        EXPECT_EQ(std::wstring(controls[i].text), expected[i].text);
        EXPECT_TRUE(ToPixels(controls[i].twips, 96) == expected[i].pixels) << i;
        EXPECT_EQ(controls[i].look, expected[i].look);
    }
}

TEST(Form1LayoutTest, TableIndicesNameTheirControls) {
    const auto controls = Form1Controls(L"x");
    EXPECT_EQ(std::wstring(controls[Index(Form1Control::CmdStart)].name), L"cmdStart");
    EXPECT_EQ(std::wstring(controls[Index(Form1Control::CmdStop)].name), L"cmdStop");
    EXPECT_EQ(std::wstring(controls[Index(Form1Control::Label3)].name), L"Label3");
    EXPECT_EQ(std::wstring(controls[Index(Form1Control::Label1)].name), L"Label1");
    EXPECT_EQ(std::wstring(controls[Index(Form1Control::Label2)].name), L"Label2");
}

TEST(Form1LayoutTest, NameLabelsShareOneRectangleAtEveryDpi) {
    const auto controls = Form1Controls(L"x");
    for (int dpi : {96, 120, 144, 192}) {
        EXPECT_TRUE(ToPixels(controls[Index(Form1Control::Label1)].twips, dpi) == ToPixels(controls[Index(Form1Control::Label2)].twips, dpi)) << dpi;
    }
}

TEST(Form1LayoutTest, ControlsEndInsideTheClientAreaAtEveryDpi) {
    for (int dpi : {96, 120, 144, 192}) {
        const int width = TwipsToPixels(kForm1ClientWidth, dpi);
        const int height = TwipsToPixels(kForm1ClientHeight, dpi);
        for (const ControlSpec& control : Form1Controls(L"x")) {
            const PixelRect r = ToPixels(control.twips, dpi);
            EXPECT_LE(r.left + r.width, width) << dpi;
            EXPECT_LE(r.top + r.height, height) << dpi;
        }
    }
}

TEST(AboutLayoutTest, PictureBoxScalesFromItsTwipsLikeEveryControl) {
    const ControlSpec picture = AboutControls(L"t", L"s", L"m")[Index(AboutControl::PicIcon)];
    // 36 x 68 pixels at 96 DPI: the 32 x 64 picture area inside a 2-pixel border.
    EXPECT_TRUE(ToPixels(picture.twips, 96) == (PixelRect{12, 11, 36, 68}));
    EXPECT_TRUE(ToPixels(picture.twips, 144) == (PixelRect{17, 17, 54, 102}));
}

}  // namespace
}  // namespace tarnwick
