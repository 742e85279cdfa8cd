#include "links.h"

#include <initializer_list>

#include "maker.h"
#include "messages.h"

namespace tarnwick {

namespace {

// Whether the target reached a handler: directly when the program runs with
// the user's own rights; elevated, only through the desktop's shell, since a
// handler started directly would run as administrator (without a desktop
// shell: Explorer not running or restarting, or a replacement shell).
bool HandOver(Shell& shell, const std::wstring& target) {
    if (!shell.RunsElevated())
        return ShellSucceeded(
            shell.Execute(nullptr, std::nullopt, target, std::nullopt, kLinkWorkingDirectory, kShowNormal));
    const auto desktop = shell.FindDesktopShell();
    // The desktop's shell does not report a missing handler: ask first.
    return desktop && HasHandler(shell, SchemeOf(target)) &&
           desktop->Execute(target, kLinkWorkingDirectory, kShowNormal);
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

bool HasHandler(Shell& shell, const std::wstring& scheme) {
    for (const auto lookup : {Shell::Lookup::Protocol, Shell::Lookup::ProtocolKey})
        for (const auto kind : {Shell::Association::Command, Shell::Association::DelegateExecute,
                                Shell::Association::AppId})
            if (shell.HasAssociation(scheme, kind, lookup)) return true;
    return false;
}

std::optional<std::uint32_t> RetryRejectedCallAfter(bool retryLater, std::uint32_t elapsedMs) {
    if (!retryLater || elapsedMs >= kBusyShellBoundMs) return std::nullopt;
    return kBusyShellRetryMs;
}

void OpenHomePage(Shell& shell, MessageBoxes& boxes) {
    Launch(shell, boxes, HomePageTarget(), kBrowserErrorText);
}

void SendInfoMail(Shell& shell, MessageBoxes& boxes) {
    Launch(shell, boxes, InfoMailTarget(), kMailErrorText);
}

}  // namespace tarnwick
