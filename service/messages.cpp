#include "messages.h"

#include "number_text.h"

namespace tarnwick {

namespace {
const wchar_t* StateName(ServiceState state) {
    return state == ServiceState::Stopped ? L"stopped" : L"running";
}

std::wstring FailureLine(const Failure& failure) {
    std::wstring line = L"Error " + FormatCode(failure.Code());
    if (!failure.Description().empty()) line += L": " + failure.Description();
    return line;
}
}  // namespace

std::wstring FormatCode(std::int32_t code) {
    return HexText(static_cast<std::uint32_t>(code));
}

std::wstring StrictFailureText(const Failure& failure) {
    return FailureLine(failure) + L"\n\nThe IIS services were not switched. Tarnwick will close.";
}

std::wstring TimeoutText(const WaitTimeout& timeout) {
    const auto seconds = DecimalText(static_cast<std::uint64_t>(timeout.bound.count() / 1000));
    std::wstring text = L"The service " + timeout.service + L" did not reach the state " +
                        StateName(timeout.awaited) + L" within " + seconds + L" seconds.";
    if (timeout.lastIgnored)
        text += L"\n\nThe last request for it that failed: " + FailureLine(*timeout.lastIgnored);
    text += L"\n\nThe IIS services may be left partly switched. Tarnwick will close.";
    return text;
}

}  // namespace tarnwick
