#pragma once

#include <windows.h>

#include "win32_raii.h"

namespace tarnwick {

// Calls of functions that came with Vista, each with what older Windows offers
// in their place. The newer one is looked up by name at run time (see
// NewerSystemFunction); the parameters that take it let a test hand in null.

using CreateMutexExWFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPCWSTR, DWORD, DWORD);
using ShutdownBlockReasonCreateFn = BOOL(WINAPI*)(HWND, LPCWSTR);
using ShutdownBlockReasonDestroyFn = BOOL(WINAPI*)(HWND);

CreateMutexExWFn SystemCreateMutexEx();
ShutdownBlockReasonCreateFn SystemShutdownBlockReasonCreate();
ShutdownBlockReasonDestroyFn SystemShutdownBlockReasonDestroy();

// The named mutex `name`, created unowned with `attributes` when it does not
// exist yet, through a handle with no more than `access`: whoever made it may
// grant no more. Before Vista: opened with `access`, else created and the
// handle narrowed to `access`. On success the last error is
// ERROR_ALREADY_EXISTS when the mutex was there before, as CreateMutexExW
// leaves it; on failure the owner is empty, with the last error set.
UniqueHandle OpenOrCreateMutex(SECURITY_ATTRIBUTES* attributes, const wchar_t* name, DWORD access,
                               CreateMutexExWFn createMutexEx = SystemCreateMutexEx());

// The reason Windows shows while `window` holds a log-off or shutdown back,
// and its removal. Before Vista there is none to show: the window's FALSE
// answer to WM_QUERYENDSESSION holds the log-off back alone, and these do
// nothing. False when the reason could not be set or removed.
bool SetShutdownBlockReason(HWND window, const wchar_t* reason,
                            ShutdownBlockReasonCreateFn create = SystemShutdownBlockReasonCreate());
bool ClearShutdownBlockReason(HWND window,
                              ShutdownBlockReasonDestroyFn destroy = SystemShutdownBlockReasonDestroy());

}  // namespace tarnwick
