// Sets a service's start type, as "sc config NAME start= auto|disabled" does
// on Windows; Wine's sc has no "config" command, and a start type written to
// the registry is not seen by Wine's running service manager.
//   set_start_type.exe NAME auto|demand|disabled
// Exits with 0, or with the Win32 error of the call that failed.

#include <windows.h>

#include <cwchar>
#include <string>

#include "service_handle.h"

namespace {

using tarnwick::bench::UniqueServiceHandle;

// The service's current dependencies (REG_MULTI_SZ, double-terminated): Wine's
// manager drops them from a change that does not name them.
std::wstring Dependencies(const wchar_t* name) {
    const std::wstring key = std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\") + name;
    DWORD size = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"DependOnService", RRF_RT_REG_MULTI_SZ,
                     nullptr, nullptr, &size) != ERROR_SUCCESS)
        return std::wstring(2, L'\0');
    std::wstring list(size / sizeof(wchar_t) + 2, L'\0');
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"DependOnService", RRF_RT_REG_MULTI_SZ,
                     nullptr, list.data(), &size) != ERROR_SUCCESS)
        return std::wstring(2, L'\0');
    return list;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    DWORD startType = 0;
    if (argc == 3 && std::wcscmp(argv[2], L"auto") == 0) startType = SERVICE_AUTO_START;
    if (argc == 3 && std::wcscmp(argv[2], L"demand") == 0) startType = SERVICE_DEMAND_START;
    if (argc == 3 && std::wcscmp(argv[2], L"disabled") == 0) startType = SERVICE_DISABLED;
    if (!startType) {
        std::fwprintf(stderr, L"usage: set_start_type.exe NAME auto|demand|disabled\n");
        return ERROR_INVALID_PARAMETER;
    }
    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return static_cast<int>(GetLastError());
    const UniqueServiceHandle service(OpenServiceW(manager.Get(), argv[1], SERVICE_CHANGE_CONFIG));
    if (!service) return static_cast<int>(GetLastError());
    const std::wstring dependencies = Dependencies(argv[1]);
    if (!ChangeServiceConfigW(service.Get(), SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, nullptr,
                              nullptr, nullptr, dependencies.c_str(), nullptr, nullptr, nullptr))
        return static_cast<int>(GetLastError());
    return 0;
}
