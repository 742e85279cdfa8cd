#include "messages.h"

#include "number_text.h"

namespace tarnwick {

namespace {
const wchar_t* StateName(ServiceState state) {
    return state == ServiceState::Stopped ? L"stopped" : L"running";
}

std::wstring FailureLine(const Failure& failure) {
    const std::wstring& description = failure.Description();
    return L"Error " + FormatCode(failure.Code()) + L": " +
           (description.empty() ? L"Windows gives no description for this code." : description);
}

const wchar_t* Consequence(FailurePlace place) {
    switch (place) {
    case FailurePlace::Link:
        return L"The link was not opened, and the IIS services were not touched.";
    case FailurePlace::AboutDialog:
        return L"The About dialog could not do what was asked, and the IIS services were not touched.";
    case FailurePlace::Switching:
        break;
    }
    return L"The IIS services were not switched.";
}
}  // namespace

std::wstring FormatCode(std::int32_t code) {
    return HexText(static_cast<std::uint32_t>(code));
}

std::wstring StrictFailureText(const Failure& failure, FailurePlace place) {
    std::wstring text = FailureLine(failure) + L"\n\n";
    if (!failure.Note().empty()) text += failure.Note() + L"\n\n";
    return text + Consequence(place) + L" Tarnwick will close.";
}

std::wstring TimeoutText(const WaitTimeout& timeout) {
    std::wstring text;
    if (timeout.serviceMissing) {
        text = L"The service " + timeout.service + L" could not be found, so it cannot reach the state " +
               StateName(timeout.awaited) + L".";
        if (timeout.lastIgnored) text += L"\n\nLooking it up failed: " + FailureLine(*timeout.lastIgnored);
    } else {
        const auto seconds = DecimalText(static_cast<std::uint64_t>(timeout.bound.count() / 1000));
        text = L"The service " + timeout.service + L" did not reach the state " + StateName(timeout.awaited) +
               L" within " + seconds + L" seconds.";
        if (timeout.lastIgnored)
            text += L"\n\nThe last request for it that failed: " + FailureLine(*timeout.lastIgnored);
    }
    text += L"\n\nThe IIS services may be left partly switched. Tarnwick will close.";
    return text;
}

std::wstring SwitchedText(const Switched& switched) {
    std::wstring text = L"Tarnwick switched the IIS services ";
    text += switched.on ? L"on:" : L"off:";
    const wchar_t* separator = L" ";
    for (const wchar_t* service : switched.services) {
        if (!service) break;
        text += separator;
        text += service;
        separator = L", ";
    }
    return text + L".";
}

std::wstring SessionEndedMidSwitchText(const std::wstring& switchService) {
    return L"The switch of " + switchService +
           L" and the IIS services that follow it was interrupted by the end of the session. The services may "
           L"be left partly switched. Run Tarnwick again to switch them fully on or off.";
}

}  // namespace tarnwick
