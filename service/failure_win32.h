#pragma once

#include <windows.h>

#include <string>

#include "failure.h"

namespace tarnwick {

// The system's text for an HRESULT (or a Win32 error), without the trailing
// line break; empty when the system has none.
std::wstring SystemMessage(HRESULT code);

// A Failure for `code` described by the system's text.
Failure FailureFromHresult(HRESULT code);

// A Failure for the calling thread's last Win32 error, or for `fallback` when
// the failed call did not set one.
Failure FailureFromLastError(HRESULT fallback = E_FAIL);

}  // namespace tarnwick
