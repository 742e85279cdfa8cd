#pragma once

// The provider's view of the test configuration under
// HKLM\SOFTWARE\TarnwickBench\Provider (layout in provider_config.h), read at
// every call so tests can change it while a program is running.

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace tarnwick::bench {

// The HRESULT injected as `value` in the subkey of `service`, or in the
// provider key itself when `service` is empty; S_OK when none is set.
HRESULT InjectedFault(const std::wstring& service, const wchar_t* value);

// Takes one injected Status failure of `service`, if any is pending: counts it
// down and returns its code; S_OK when none is pending.
HRESULT TakeStatusFault(const std::wstring& service);

// The text that a journal line gives `value`: "VT_I4:4", "VT_BSTR:\"W3SVC\"".
std::string DescribeVariant(const VARIANT& value);
std::string DescribeBstr(const wchar_t* text);

// Appends one line to the journal, if one is configured. `value` is the
// described result of a successful property read, else empty.
void Journal(const std::wstring& object, const std::wstring& member, const char* kind,
             const std::string& args, HRESULT result, const std::string& value = {});

}  // namespace tarnwick::bench
