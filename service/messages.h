#pragma once

#include <cstdint>
#include <string>

#include "failure.h"
#include "service_control.h"

namespace tarnwick {

inline constexpr wchar_t kApplicationTitle[] = L"Tarnwick";

// The report of a program that found another one switching.
inline constexpr wchar_t kAlreadySwitchingText[] =
    L"Another Tarnwick is switching the IIS services. Nothing was changed.";

// The report of a program that found the lock to switch made by someone who
// is no administrator.
inline constexpr wchar_t kStrangerHoldsLockText[] =
    L"Tarnwick cannot switch the IIS services: a program that was not started by an administrator holds "
    L"the lock that Tarnwick switches under. Nothing was changed. Restart the computer, or end that "
    L"program, and try again.";

// The warning written when the session ended while `switchService` (with the
// services that follow it) was being switched.
std::wstring SessionEndedMidSwitchText(const std::wstring& switchService);

// Where a strict failure escaped: it decides the report's last line.
enum class FailurePlace {
    Switching,    // the launch decision or a Start Web / Stop Web click
    Link,         // opening the maker's web page or mail
    AboutDialog,  // showing the About dialog or one of its buttons
};

// "0x80070424": the form administrators look codes up in.
std::wstring FormatCode(std::int32_t code);

// The text of the box that reports a strict failure.
std::wstring StrictFailureText(const Failure& failure, FailurePlace place);

// The text of the box shown when a wait gave up.
std::wstring TimeoutText(const WaitTimeout& timeout);

// The record of a switch that ran to its end, where nobody saw the window.
std::wstring SwitchedText(const Switched& switched);

}  // namespace tarnwick
