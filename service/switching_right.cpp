#include "switching_right.h"

namespace tarnwick {

RightTaken TakeSwitchingRight(LockSystem& system) {
    const bool inNamespace = system.OpenAdministratorsNamespace();
    const LockOpening opening = system.OpenLock(inNamespace);
    if (opening == LockOpening::Refused) return RightTaken::HeldByStranger;
    if (opening == LockOpening::Existing && !inNamespace && !system.LockOwnedByAdministrator())
        return RightTaken::HeldByStranger;
    return system.TryAcquire() ? RightTaken::Taken : RightTaken::HeldByAnotherTarnwick;
}

}  // namespace tarnwick
