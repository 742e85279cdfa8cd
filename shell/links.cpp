#include "links.h"

#include "maker.h"
#include "messages.h"

namespace tarnwick {

namespace {

// Whether the target reached a handler: through the desktop's shell when the
// program runs elevated and there is one, otherwise directly.
bool HandOver(Shell& shell, const std::wstring& target) {
    if (shell.RunsElevated()) {
        if (const auto desktop = shell.FindDesktopShell()) {
            // The desktop's shell does not report a missing handler: ask first.
            return shell.HasHandler(SchemeOf(target)) &&
                   desktop->Execute(target, kLinkWorkingDirectory, kShowNormal);
        }
    }
    return ShellSucceeded(
        shell.Execute(nullptr, std::nullopt, target, std::nullopt, kLinkWorkingDirectory, kShowNormal));
}

void Launch(Shell& shell, MessageBoxes& boxes, const std::wstring& target, const wchar_t* errorText) {
    if (!HandOver(shell, target)) boxes.Show(errorText, kApplicationTitle, MessageIcon::Error);
}

}  // namespace

std::wstring HomePageTarget() {
    return TARNWICK_WIDE(TARNWICK_MAKER_URL);
}

std::wstring InfoMailTarget() {
    return std::wstring(L"mailto:") + TARNWICK_WIDE(TARNWICK_MAKER_MAIL) + L"?subject=More Information: " + kApplicationTitle;
}

std::wstring SchemeOf(const std::wstring& target) {
    const auto colon = target.find(L':');
    return colon == std::wstring::npos ? std::wstring() : target.substr(0, colon);
}

bool ShellSucceeded(std::int64_t result) {
    // Spelled out rather than cast: converting an out-of-range value to a
    // signed type is implementation-defined before C++20.
    const std::uint32_t low = static_cast<std::uint32_t>(static_cast<std::uint64_t>(result));
    const std::int64_t asInt32 = low >= 0x80000000u ? static_cast<std::int64_t>(low) - 0x100000000LL
                                                    : static_cast<std::int64_t>(low);
    return asInt32 > 32;
}

void OpenHomePage(Shell& shell, MessageBoxes& boxes) {
    Launch(shell, boxes, HomePageTarget(), kBrowserErrorText);
}

void SendInfoMail(Shell& shell, MessageBoxes& boxes) {
    Launch(shell, boxes, InfoMailTarget(), kMailErrorText);
}

}  // namespace tarnwick
