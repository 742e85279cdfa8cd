#pragma once

// The bench's owner of service control manager handles (the product reaches
// the services only through the directory service, so it has none).

#include <windows.h>

#include "win32_raii.h"

namespace tarnwick::bench {

struct CloseServiceHandleFn {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using UniqueServiceHandle = UniqueResource<SC_HANDLE, CloseServiceHandleFn, nullptr>;

}  // namespace tarnwick::bench
