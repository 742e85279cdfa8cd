#pragma once

// A mutex this thread holds as another program would hold the switching
// right: given back and closed when the object goes, also when a check fails
// halfway, so that no later case finds it taken.

#include <windows.h>

#include "win32_raii.h"

namespace tarnwick::bench {

struct ReleaseAndCloseMutexFn {
    void operator()(HANDLE mutex) const {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
};
using HeldMutex = UniqueResource<HANDLE, ReleaseAndCloseMutexFn, nullptr>;

// Creates `name` already owned by the calling thread; empty when that fails.
inline HeldMutex HoldMutex(const wchar_t* name) {
    return HeldMutex(CreateMutexW(nullptr, TRUE, name));
}

}  // namespace tarnwick::bench
