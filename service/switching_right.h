#pragma once

namespace tarnwick {

// What an attempt to take the right to switch found.
enum class RightTaken {
    Taken,
    HeldByAnotherTarnwick,  // an administrator's program holds the lock
    HeldByStranger,         // a lock that no administrator made stands in the way
};

// How the lock's object could be opened.
enum class LockOpening {
    Created,   // it was made new
    Existing,  // one was there and is opened
    Refused,   // something of its name is there that this program may not use
};

// The system's side of the lock, which the Win32 adapter implements. Each
// operation throws Failure when the system refuses in a way not named here.
class LockSystem {
public:
    virtual ~LockSystem() = default;

    // Creates or opens the private namespace whose boundary holds the
    // Administrators group, in which only administrators can make the lock.
    // False where the system has no private namespaces (before Vista).
    virtual bool OpenAdministratorsNamespace() = 0;
    // Creates or opens the lock: in that namespace when it is open, otherwise
    // under its global name with a DACL that lets in administrators and
    // SYSTEM only.
    virtual LockOpening OpenLock(bool inNamespace) = 0;
    // Whether the opened lock's owner is the Administrators group, SYSTEM or
    // this program's own user (or its token's default owner); true when the
    // object records no owner.
    virtual bool LockOwnedByAdministrator() = 0;
    // Takes the opened lock without waiting; false when another program holds it.
    virtual bool TryAcquire() = 0;
};

// Takes the right to switch through `system`. Under a global name anybody may
// make the lock first, so an existing one counts only when an administrator
// owns it; in the namespace only administrators can have made it.
RightTaken TakeSwitchingRight(LockSystem& system);

}  // namespace tarnwick
