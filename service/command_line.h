#pragma once

#include <string>
#include <string_view>

namespace tarnwick {

// The argument text: what follows the program's name on the command line
// (quoted or not), with surrounding blanks and tabs removed.
std::wstring ArgumentText(std::wstring_view commandLine);

// True only for "-auto" and "-Auto", compared exactly.
bool IsAutomaticArgument(std::wstring_view argumentText);

}  // namespace tarnwick
