#pragma once

// The fonts of the two looks that carry text.

#include <windows.h>

#include "win32_raii.h"

namespace tarnwick {

// The standard look's font: the system's message font, the one it uses in its
// own dialogs and message boxes, in the user's size, at `dpi`.
UniqueHfont CreateStandardFont(int dpi);

// The link look's font: "MS Sans Serif" 8.25 points, normal weight, underlined.
UniqueHfont CreateLinkFont(int dpi);

}  // namespace tarnwick
