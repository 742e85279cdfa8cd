#pragma once

#include <cstdint>
#include <string>

#include "failure.h"
#include "service_control.h"

namespace tarnwick {

inline constexpr wchar_t kApplicationTitle[] = L"Tarnwick";

// "0x80070424": the form administrators look codes up in.
std::wstring FormatCode(std::int32_t code);

// The text of the box that reports a strict failure.
std::wstring StrictFailureText(const Failure& failure);

// The text of the box shown when a wait reached its bound.
std::wstring TimeoutText(const WaitTimeout& timeout);

}  // namespace tarnwick
