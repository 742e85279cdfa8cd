#pragma once

// The About dialog's layout as data, in twips (1/1440 inch). Free of Windows
// headers, like the main window's.

#include <array>
#include <cstddef>
#include <cstdint>

#include "form1_layout.h"

namespace tarnwick {

enum class AboutControlKind {
    PushButton,  // takes the focus
    Label,       // never takes the focus
    Picture,     // shows the application icon; never takes the focus
    Line,        // drawn on the dialog itself, under the controls
};

enum class AboutLook {
    Standard,   // the window's font and the system's dialog colours
    BlackText,  // standard, with black text
    Link,       // kLinkTextColour, the link font, underlined, the hand cursor
    Sunken,     // the platform's sunken 3-D border
};

// A line from (x1, y1) to (x2, y2) in twips, solid, in a 0x00BBGGRR colour.
struct LineSpec {
    int x1;
    int y1;
    int x2;
    int y2;
    std::uint32_t colour;
    int widthPixels;
};

inline constexpr int kNoTabIndex = -1;

struct AboutControlSpec {
    const wchar_t* name;
    AboutControlKind kind;
    const wchar_t* text;
    TwipsRect twips;  // not for lines
    int tabIndex;     // kNoTabIndex for lines
    AboutLook look;
    LineSpec line;    // lines only
};

// Positions in the About dialog's table, which is also the creation order.
enum class AboutControl : int {
    CmdSysInfo,
    CmdOK,
    PicIcon,
    LblDisclaimer,
    Line1Member0,
    LblTitle,
    LblDescription,
    Line1Member1,
    Label1,
    Label2,
    Count,
};
inline constexpr std::size_t kAboutControlCount = static_cast<std::size_t>(AboutControl::Count);
constexpr std::size_t Index(AboutControl control) { return static_cast<std::size_t>(control); }

inline constexpr wchar_t kAboutCaption[] = L"About MyApp";
inline constexpr int kAboutClientWidth = 5730;  // twips
inline constexpr int kAboutClientHeight = 3555;

// picIcon sizes itself to its picture: the 32 x 32 application image, which
// declares a size of 32 x 64 pixels, inside a 2-pixel sunken border on each
// side. The image sits at the top of that area.
inline constexpr int kPictureWidth = 32;
inline constexpr int kPictureHeight = 64;
inline constexpr int kIconSize = 32;
inline constexpr int kSunkenBorder = 2;

inline constexpr wchar_t kAboutDescription[] =
    L"Start Web enables IISADMIN and starts the IIS services; Stop Web stops them and disables IISADMIN. "
    L"With -auto, a shortcut toggles them.";
// Two blanks between sentences.
inline constexpr wchar_t kAboutDisclaimer[] =
    L"This program is provided as is, without warranty of any kind.  "
    L"The maker is not liable for any damage arising from its use.";

// The About dialog's controls in creation order. `title` names the product and
// its maker, `site` and `mail` are the texts of the two links.
constexpr std::array<AboutControlSpec, kAboutControlCount> AboutControls(const wchar_t* title,
                                                                         const wchar_t* site,
                                                                         const wchar_t* mail) {
    constexpr LineSpec noLine{};
    constexpr TwipsRect noRect{};
    return {{
        {L"cmdSysInfo", AboutControlKind::PushButton, L"&System Info...", {4193, 2760, 1245, 585}, 2,
         AboutLook::Standard, noLine},
        {L"cmdOK", AboutControlKind::PushButton, L"OK", {4178, 1965, 1260, 585}, 1, AboutLook::Standard, noLine},
        {L"picIcon", AboutControlKind::Picture, L"", {173, 165, 540, 1020}, 0, AboutLook::Sunken, noLine},
        {L"lblDisclaimer", AboutControlKind::Label, kAboutDisclaimer, {173, 1965, 3870, 1425}, 7,
         AboutLook::BlackText, noLine},
        {L"Line1(0)", AboutControlKind::Line, L"", noRect, kNoTabIndex, AboutLook::Standard,
         {38, 1860, 5587, 1860, 0x00FFFFFF, 2}},
        {L"lblTitle", AboutControlKind::Label, title, {863, 165, 4845, 240}, 6, AboutLook::BlackText, noLine},
        {L"lblDescription", AboutControlKind::Label, kAboutDescription, {863, 1050, 4725, 690}, 5,
         AboutLook::BlackText, noLine},
        {L"Line1(1)", AboutControlKind::Line, L"", noRect, kNoTabIndex, AboutLook::Standard,
         {23, 1845, 5587, 1845, 0x00808080, 1}},
        {L"Label1", AboutControlKind::Label, site, {863, 465, 2415, 225}, 4, AboutLook::Link, noLine},
        {L"Label2", AboutControlKind::Label, mail, {863, 765, 2415, 225}, 3, AboutLook::Link, noLine},
    }};
}

}  // namespace tarnwick
