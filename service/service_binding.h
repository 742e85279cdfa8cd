#pragma once

#include <cstdint>
#include <memory>

#include "directory.h"

namespace tarnwick {

// The directory objects one event handler works with. A service field stays
// empty when its lookup failed while failures were ignored, and when the
// computer's IIS profile does not look the service up at all.
struct ServiceBinding {
    std::unique_ptr<DirectoryObject> computer;
    std::unique_ptr<DirectoryObject> iisAdmin;
    std::unique_ptr<DirectoryObject> w3svc;
    std::unique_ptr<DirectoryObject> msftpsvc;
    std::unique_ptr<DirectoryObject> ftpsvc;  // the FTP service of IIS 7.5 and later
};

// The values of a service's "Status" that the program tests; any other value
// counts as neither.
enum class ServiceState : std::int32_t {
    Stopped = 1,
    Running = 4,
};

// Start types are written as one-character texts; the provider takes them as numbers.
inline constexpr wchar_t kStartTypeAutomatic[] = L"2";
inline constexpr wchar_t kStartTypeDisabled[] = L"4";

}  // namespace tarnwick
