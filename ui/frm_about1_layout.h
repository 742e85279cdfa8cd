#pragma once

// The About dialog's layout as data, in twips.

#include <array>

#include "control_table.h"

namespace tarnwick {

// Positions in the About dialog's table, which is also the creation order.
enum class AboutControl {
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
inline constexpr std::size_t kAboutControlCount = Index(AboutControl::Count);

inline constexpr wchar_t kAboutCaption[] = L"About MyApp";
inline constexpr int kAboutClientWidth = 5730;  // twips
inline constexpr int kAboutClientHeight = 3555;

// picIcon holds the application image, which declares a size of 32 x 64
// pixels, inside a 2-pixel sunken border on each side: 540 x 1020 twips. The
// image sits at the top of that area.
inline constexpr int kIconSize = 32;  // the caption's image

// The switch differs by IIS generation; the text names both and stays within
// the label's three lines at 96 DPI.
inline constexpr wchar_t kAboutDescription[] =
    L"Start Web sets IISADMIN (IIS 7+: W3SVC) to automatic and starts the IIS services; "
    L"Stop Web stops them and disables it. -auto toggles.";
// Two blanks between sentences.
inline constexpr wchar_t kAboutDisclaimer[] =
    L"This program is provided as is, without warranty of any kind.  "
    L"The maker is not liable for any damage arising from its use.";

// The About dialog's controls in creation order. `title` names the product and
// its maker, `site` and `mail` are the texts of the two links.
constexpr std::array<ControlSpec, kAboutControlCount> AboutControls(const wchar_t* title,
                                                                  const wchar_t* site,
                                                                  const wchar_t* mail) {
    constexpr LineSpec noLine{};
    constexpr TwipsRect noRect{};
    return {{
        {L"cmdSysInfo", ControlKind::PushButton, L"&System Info...", {4193, 2760, 1245, 585}, 2,
         ControlLook::Standard, noLine},
        {L"cmdOK", ControlKind::PushButton, L"OK", {4178, 1965, 1260, 585}, 1, ControlLook::Standard, noLine},
        {L"picIcon", ControlKind::Picture, L"", {173, 165, 540, 1020}, 0, ControlLook::Sunken, noLine},
        {L"lblDisclaimer", ControlKind::Label, kAboutDisclaimer, {173, 1965, 3870, 1425}, 7,
         ControlLook::BlackText, noLine},
        {L"Line1(0)", ControlKind::Line, L"", noRect, kNoTabIndex, ControlLook::Standard,
         {38, 1860, 5587, 1860, 0x00FFFFFF, 2, LineShade::Highlight}},
        {L"lblTitle", ControlKind::Label, title, {863, 165, 4845, 240}, 6, ControlLook::BlackText, noLine},
        {L"lblDescription", ControlKind::Label, kAboutDescription, {863, 1050, 4725, 690}, 5,
         ControlLook::BlackText, noLine},
        {L"Line1(1)", ControlKind::Line, L"", noRect, kNoTabIndex, ControlLook::Standard,
         {23, 1845, 5587, 1845, 0x00808080, 1, LineShade::Shadow}},
        {L"Label1", ControlKind::Label, site, {863, 465, 2415, 225}, 4, ControlLook::Link, noLine},
        {L"Label2", ControlKind::Label, mail, {863, 765, 2415, 225}, 3, ControlLook::Link, noLine},
    }};
}

}  // namespace tarnwick
