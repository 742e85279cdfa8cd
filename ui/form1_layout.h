#pragma once

// The main window's layout as data, in twips.

#include <array>

#include "control_table.h"

namespace tarnwick {

// Positions in Form1's table, which is also the creation order.
enum class Form1Control { CmdStart, CmdStop, Label3, Label1, Label2, Count };
inline constexpr std::size_t kForm1ControlCount = Index(Form1Control::Count);

inline constexpr int kForm1ClientWidth = 2685;  // twips
inline constexpr int kForm1ClientHeight = 1290;
inline constexpr wchar_t kFrmAboutText[] = L"About";

// Form1's controls in creation order. Label1 and Label2 share one rectangle,
// one pixel above the client area; both start empty. `makerSite` is the text
// of the link label.
constexpr std::array<ControlSpec, kForm1ControlCount> Form1Controls(const wchar_t* makerSite) {
    constexpr LineSpec noLine{};
    return {{
        {L"cmdStart", ControlKind::PushButton, L"Start Web", {75, 360, 1215, 495}, 0, ControlLook::Standard, noLine},
        {L"cmdStop", ControlKind::PushButton, L"Stop Web", {1395, 360, 1215, 495}, 1, ControlLook::Standard, noLine},
        {L"Label3", ControlKind::Label, makerSite, {172, 960, 2340, 255}, 4, ControlLook::Link, noLine},
        {L"Label1", ControlKind::Label, L"", {180, -15, 2295, 255}, 2, ControlLook::Standard, noLine},
        {L"Label2", ControlKind::Label, L"", {180, -15, 2295, 255}, 3, ControlLook::Standard, noLine},
    }};
}

}  // namespace tarnwick
