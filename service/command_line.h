#pragma once

#include <string>
#include <string_view>

namespace tarnwick {

// The argument text: what follows the program's name on the command line
// (quoted or not), with surrounding blanks and tabs removed.
std::wstring ArgumentText(std::wstring_view commandLine);

// What the argument asks of the launch: nothing (the window waits for the
// user), or a switch without a user: toggled by the switch service's state,
// or on or off whatever that state is.
enum class LaunchMode {
    Window,  // any other argument, or none
    Toggle,  // "-auto", "-Auto"
    On,      // "-on", "-On"
    Off,     // "-off", "-Off"
};

// The mode of the whole argument text, compared exactly: "-AUTO" or "/off"
// ask for nothing.
LaunchMode LaunchModeOf(std::wstring_view argumentText);

}  // namespace tarnwick
