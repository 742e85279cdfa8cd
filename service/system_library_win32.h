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

// A function of a system DLL that every process of the program has loaded
// (kernel32, user32), by name; null on a Windows that lacks it. The program
// starts on XP and Server 2003, so whatever came later is reached this way and
// never imported: the loader would refuse to start the program there.
template <typename Function>
Function NewerSystemFunction(const wchar_t* module, const char* name) {
    return FindFunction<Function>(GetModuleHandleW(module), name);
}

}  // namespace tarnwick
