#include "switching_lock_win32.h"

#include <aclapi.h>
#include <sddl.h>

#include "failure_win32.h"
#include "newer_functions_win32.h"
#include "switching.h"
#include "system_library_win32.h"

namespace tarnwick {

namespace {

// Declared here: with _WIN32_WINNT below Vista the SDK declares none of them.
using CreateBoundaryDescriptorFn = HANDLE(WINAPI*)(LPCWSTR name, ULONG flags);
using AddSidToBoundaryDescriptorFn = BOOL(WINAPI*)(HANDLE* boundary, PSID requiredSid);
using DeleteBoundaryDescriptorFn = VOID(WINAPI*)(HANDLE boundary);
using CreatePrivateNamespaceFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES attributes, LPVOID boundary,
                                                 LPCWSTR aliasPrefix);
using OpenPrivateNamespaceFn = HANDLE(WINAPI*)(LPVOID boundary, LPCWSTR aliasPrefix);
using ClosePrivateNamespaceProc = BOOLEAN(WINAPI*)(HANDLE handle, ULONG flags);

// One of kernel32's functions that came with Vista.
template <typename Function>
Function VistaFunction(const char* name) {
    return NewerSystemFunction<Function>(L"kernel32.dll", name);
}

struct DeleteBoundaryDescriptorCall {
    void operator()(HANDLE boundary) const {
        if (const auto remove = VistaFunction<DeleteBoundaryDescriptorFn>("DeleteBoundaryDescriptor"))
            remove(boundary);
    }
};
using UniqueBoundary = UniqueResource<HANDLE, DeleteBoundaryDescriptorCall, nullptr>;

// Administrators and SYSTEM may do everything; nobody else anything.
constexpr wchar_t kAdministratorsOnly[] = L"D:P(A;;GA;;;BA)(A;;GA;;;SY)";

// A security descriptor made from SDDL, freed with LocalFree.
UniqueHlocal SecurityDescriptor(const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &made, nullptr))
        throw FailureFromLastError();
    return UniqueHlocal(made);
}

// How many times the namespace is made or opened while another program makes
// and drops it in between.
constexpr int kNamespaceAttempts = 3;

}  // namespace

void ClosePrivateNamespaceFn::operator()(HANDLE handle) const {
    if (const auto close = VistaFunction<ClosePrivateNamespaceProc>("ClosePrivateNamespace"))
        close(handle, 0);
}

Win32SwitchingLock::~Win32SwitchingLock() {
    // Should the release fail, closing the handle still frees it.
    if (acquired_) (void)ReleaseMutex(mutex_.Get());
}

bool Win32SwitchingLock::OpenAdministratorsNamespace() {
    const auto createBoundary = VistaFunction<CreateBoundaryDescriptorFn>("CreateBoundaryDescriptorW");
    const auto addSid = VistaFunction<AddSidToBoundaryDescriptorFn>("AddSIDToBoundaryDescriptor");
    const auto createNamespace = VistaFunction<CreatePrivateNamespaceFn>("CreatePrivateNamespaceW");
    const auto openNamespace = VistaFunction<OpenPrivateNamespaceFn>("OpenPrivateNamespaceW");
    if (!createBoundary || !addSid || !createNamespace || !openNamespace ||
        !VistaFunction<ClosePrivateNamespaceProc>("ClosePrivateNamespace") ||
        !VistaFunction<DeleteBoundaryDescriptorFn>("DeleteBoundaryDescriptor"))
        return false;

    UniqueBoundary boundary(createBoundary(kSwitchingNamespaceAlias, 0));
    if (!boundary) {
        if (GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) return false;
        throw FailureFromLastError();
    }
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size))
        throw FailureFromLastError();
    // The descriptor may move as it grows.
    HANDLE grown = boundary.Release();
    const BOOL added = addSid(&grown, administrators);
    boundary.Reset(grown);
    if (!added) throw FailureFromLastError();

    const UniqueHlocal descriptor = SecurityDescriptor(kAdministratorsOnly);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.Get(), FALSE};
    for (int attempt = 0; attempt < kNamespaceAttempts; ++attempt) {
        namespace_.Reset(createNamespace(&attributes, boundary.Get(), kSwitchingNamespaceAlias));
        if (namespace_) return true;
        if (GetLastError() != ERROR_ALREADY_EXISTS) throw FailureFromLastError();
        namespace_.Reset(openNamespace(boundary.Get(), kSwitchingNamespaceAlias));
        if (namespace_) return true;
        // Dropped by its last holder between the two calls: made afresh.
    }
    throw FailureFromLastError();
}

LockOpening Win32SwitchingLock::OpenLock(bool inNamespace) {
    const UniqueHlocal descriptor = SecurityDescriptor(kAdministratorsOnly);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.Get(), FALSE};
    // Only the rights to wait for the mutex, to release it and to read its
    // owner: whoever made it (the system account running a scheduled task,
    // say) grants no more than that to be asked for.
    mutex_ = OpenOrCreateMutex(&attributes, inNamespace ? kSwitchingMutexNameInNamespace : kSwitchingMutexName,
                               SYNCHRONIZE | MUTEX_MODIFY_STATE | READ_CONTROL);
    const DWORD error = GetLastError();
    if (mutex_) return error == ERROR_ALREADY_EXISTS ? LockOpening::Existing : LockOpening::Created;
    // Under the global name: an object whose DACL keeps administrators out,
    // or one of another kind.
    if (!inNamespace && (error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_HANDLE)) return LockOpening::Refused;
    throw FailureFromLastError();
}

bool Win32SwitchingLock::LockOwnedByAdministrator() {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR read = nullptr;
    const DWORD status =
        GetSecurityInfo(mutex_.Get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                        nullptr, &read);
    const UniqueHlocal descriptor(read);
    if (status != ERROR_SUCCESS) throw FailureFromHresult(HRESULT_FROM_WIN32(status));
    // Without an owner recorded it cannot be told apart; it counts as
    // another copy's, as every existing lock did before owners were read.
    if (!owner || IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsWellKnownSid(owner, WinLocalSystemSid))
        return true;

    // Made by a program of this one's own user: the owner is that user, or
    // the default owner its token gives new objects.
    HANDLE opened = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) throw FailureFromLastError();
    const UniqueHandle token(opened);
    alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    alignas(TOKEN_OWNER) BYTE defaultOwner[sizeof(TOKEN_OWNER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (!GetTokenInformation(token.Get(), TokenUser, user, sizeof user, &size) ||
        !GetTokenInformation(token.Get(), TokenOwner, defaultOwner, sizeof defaultOwner, &size))
        throw FailureFromLastError();
    return EqualSid(owner, reinterpret_cast<TOKEN_USER*>(user)->User.Sid) ||
           EqualSid(owner, reinterpret_cast<TOKEN_OWNER*>(defaultOwner)->Owner);
}

bool Win32SwitchingLock::TryAcquire() {
    switch (WaitForSingleObject(mutex_.Get(), 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // its holder was ended without giving it back: it is free
        acquired_ = true;
        return true;
    case WAIT_TIMEOUT:
        return false;
    default:
        throw FailureFromLastError();
    }
}

}  // namespace tarnwick
