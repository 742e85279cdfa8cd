#include "command_line.h"

namespace tarnwick {

namespace {
constexpr std::wstring_view kBlanks = L" \t";

std::wstring_view Trim(std::wstring_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::wstring_view::npos) return {};
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}
}  // namespace

std::wstring ArgumentText(std::wstring_view commandLine) {
    // The program's name ends at its closing quote when it is quoted, otherwise
    // at the first blank, as the system's own command-line parsing has it.
    std::size_t end = 0;
    if (!commandLine.empty() && commandLine.front() == L'"') {
        const auto close = commandLine.find(L'"', 1);
        end = close == std::wstring_view::npos ? commandLine.size() : close + 1;
    } else {
        end = commandLine.find_first_of(kBlanks);
        if (end == std::wstring_view::npos) end = commandLine.size();
    }
    return std::wstring(Trim(commandLine.substr(end)));
}

LaunchMode LaunchModeOf(std::wstring_view argumentText) {
    if (argumentText == L"-auto" || argumentText == L"-Auto") return LaunchMode::Toggle;
    if (argumentText == L"-on" || argumentText == L"-On") return LaunchMode::On;
    if (argumentText == L"-off" || argumentText == L"-Off") return LaunchMode::Off;
    return LaunchMode::Window;
}

}  // namespace tarnwick
