#pragma once

#include <windows.h>

#include "switching_right.h"
#include "win32_raii.h"

namespace tarnwick {

// Where the lock lives from Vista on: the private namespace of this alias,
// and the lock's name inside it.
inline constexpr wchar_t kSwitchingNamespaceAlias[] = L"Tarnwick";
inline constexpr wchar_t kSwitchingMutexNameInNamespace[] = L"Tarnwick\\SwitchingIisServices";

// The namespace's handle, closed through the function looked up at run time.
struct ClosePrivateNamespaceFn {
    void operator()(HANDLE handle) const;
};
using UniquePrivateNamespace = UniqueResource<HANDLE, ClosePrivateNamespaceFn, nullptr>;

// LockSystem over the Win32 calls: a mutex in a private namespace whose
// boundary holds the Administrators group, or under the global name with an
// explicit DACL where the system has no private namespaces. The namespace's
// functions are looked up at run time, since Windows XP and Server 2003 have
// none. Whatever it opened stays open until it is destroyed; having acquired
// the mutex, it gives it back then.
class Win32SwitchingLock final : public LockSystem {
public:
    Win32SwitchingLock() = default;
    Win32SwitchingLock(const Win32SwitchingLock&) = delete;
    Win32SwitchingLock& operator=(const Win32SwitchingLock&) = delete;
    ~Win32SwitchingLock() override;

    bool OpenAdministratorsNamespace() override;
    LockOpening OpenLock(bool inNamespace) override;
    bool LockOwnedByAdministrator() override;
    bool TryAcquire() override;

private:
    UniquePrivateNamespace namespace_;  // kept open while the mutex is: its name lives there
    UniqueHandle mutex_;
    bool acquired_ = false;
};

}  // namespace tarnwick
