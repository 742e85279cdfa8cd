#pragma once

namespace tarnwick {

// The services are the computer's, not the session's: the right to switch
// them is held by one program at a time, in the global namespace.
inline constexpr wchar_t kSwitchingMutexName[] = L"Global\\Tarnwick.SwitchingIisServices";

// The computer-wide right to switch the IIS services, and the program's
// state while one of its sequences runs.
class Switching {
public:
    virtual ~Switching() = default;

    // Takes the right without waiting; false when another program holds it.
    // Taking it again while holding it succeeds. Throws Failure when the
    // system refuses.
    virtual bool TryTake() = 0;
    // Gives the right back: the launch took it, then ran no sequence.
    virtual void GiveBack() = 0;
    // A sequence begins; it lasts until the handler that runs it returns.
    virtual void SequenceBegins() = 0;
};

}  // namespace tarnwick
