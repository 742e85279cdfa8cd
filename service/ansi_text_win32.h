#pragma once

#include <string>
#include <string_view>

namespace tarnwick {

// Between Unicode and the system's ANSI code page, for the "A" entry points
// the program calls by name. Both throw Failure when the system cannot
// convert the text.
std::string AnsiFromWide(std::wstring_view text);
std::wstring WideFromAnsi(std::string_view text);

}  // namespace tarnwick
