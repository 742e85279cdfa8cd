#include "newer_functions_win32.h"

#include "system_library_win32.h"

namespace tarnwick {

CreateMutexExWFn SystemCreateMutexEx() {
    static const auto found = NewerSystemFunction<CreateMutexExWFn>(L"kernel32.dll", "CreateMutexExW");
    return found;
}

ShutdownBlockReasonCreateFn SystemShutdownBlockReasonCreate() {
    static const auto found =
        NewerSystemFunction<ShutdownBlockReasonCreateFn>(L"user32.dll", "ShutdownBlockReasonCreate");
    return found;
}

ShutdownBlockReasonDestroyFn SystemShutdownBlockReasonDestroy() {
    static const auto found =
        NewerSystemFunction<ShutdownBlockReasonDestroyFn>(L"user32.dll", "ShutdownBlockReasonDestroy");
    return found;
}

UniqueHandle OpenOrCreateMutex(SECURITY_ATTRIBUTES* attributes, const wchar_t* name, DWORD access,
                               CreateMutexExWFn createMutexEx) {
    if (createMutexEx) return UniqueHandle(createMutexEx(attributes, name, 0, access));
    // Opened first: CreateMutexW on an existing mutex asks for every right,
    // which its maker need not grant. Between a failed open and the create
    // another program may make it; the open is then tried once more.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (UniqueHandle opened{OpenMutexW(access, FALSE, name)}) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return opened;
        }
        if (GetLastError() != ERROR_FILE_NOT_FOUND) return UniqueHandle();
        UniqueHandle created(CreateMutexW(attributes, FALSE, name));
        if (!created) {
            if (GetLastError() == ERROR_ACCESS_DENIED) continue;
            return created;
        }
        const DWORD existed = GetLastError();
        UniqueHandle narrowed;
        if (!DuplicateHandle(GetCurrentProcess(), created.Get(), GetCurrentProcess(), narrowed.Put(), access, FALSE, 0))
            return UniqueHandle();
        SetLastError(existed);
        return narrowed;
    }
    return UniqueHandle();
}

bool SetShutdownBlockReason(HWND window, const wchar_t* reason, ShutdownBlockReasonCreateFn create) {
    return !create || create(window, reason);
}

bool ClearShutdownBlockReason(HWND window, ShutdownBlockReasonDestroyFn destroy) {
    return !destroy || destroy(window);
}

}  // namespace tarnwick
