#pragma once

#include <windows.h>

#include "win32_raii.h"

namespace tarnwick {

// Loads a DLL from the system folder only, never from the program's own folder
// or the current one: the program runs with the administrator's rights, and a
// copy planted beside it must not be taken. `flags` are further
// LoadLibraryExW flags (LOAD_LIBRARY_AS_DATAFILE for message tables). An empty
// owner, with the last error set, when it cannot be loaded.
UniqueHmodule LoadFromSystemFolder(const wchar_t* name, DWORD flags = 0);

// A function of `module` by name, or null (with the last error set).
template <typename Function>
Function FindFunction(HMODULE module, const char* name) {
    const FARPROC found = module ? GetProcAddress(module, name) : nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}

}  // namespace tarnwick
