#pragma once

#include <windows.h>

#include <string>

#include "code_description.h"
#include "failure.h"

namespace tarnwick {

// The system's text for an HRESULT (or a Win32 error), without the trailing
// line break; empty when the system has none.
std::wstring SystemMessage(HRESULT code);

// The system's message table, and the directory service's in activeds.dll.
class Win32MessageTables final : public MessageTables {
public:
    std::wstring System(std::int32_t code) override;
    std::wstring DirectoryService(std::int32_t code) override;
};

// A Failure for `code` with the description users are shown for it.
Failure FailureFromHresult(HRESULT code);

// A Failure for the calling thread's last Win32 error, or for `fallback` when
// the failed call did not set one.
Failure FailureFromLastError(HRESULT fallback = E_FAIL);

}  // namespace tarnwick
