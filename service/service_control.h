#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "clock.h"
#include "computer_name.h"
#include "directory.h"
#include "failure.h"
#include "function_ref.h"
#include "iis_profile.h"
#include "main_view.h"
#include "registry.h"
#include "service_binding.h"
#include "switching.h"

namespace tarnwick {

inline constexpr std::int32_t kPollIntervalMs = 3;
// How long a status wait, or the repeated stop of IISADMIN, may take before the
// program gives up and tells the user.
inline constexpr std::chrono::milliseconds kWaitBound = std::chrono::seconds(60);

// A wait that gave up: which service did not reach which state within the
// bound (`waited` is how long it actually took, at least the bound), and the
// last failure dropped for that service, if any. A wait on a service whose
// lookup failed cannot succeed: it gives up at once, `serviceMissing` set and
// the lookup's failure as the last one dropped.
struct WaitTimeout {
    std::wstring service;
    ServiceState awaited;
    std::chrono::milliseconds bound;
    std::chrono::milliseconds waited;
    std::optional<Failure> lastIgnored;
    bool serviceMissing = false;
};

// What a sequence that ran to its end switched: which way, and the services
// it addressed that were found, the switch service first (at most three,
// the rest null).
struct Switched {
    bool on = false;
    std::array<const wchar_t*, 3> services{};
};

// What an entry point asks of the program when it returns.
struct Outcome {
    enum class Kind {
        KeepRunning,   // the window stays open for the user
        SequenceDone,  // a sequence ran to its end: the program ends (status 0)
        BoundReached,  // a wait gave up (bound reached, or service missing): tell the user, then end (status 2)
        AlreadySwitching,  // another program holds the right to switch; nothing was changed: tell the user
    };
    Kind kind = Kind::KeepRunning;
    std::optional<WaitTimeout> timeout;
    // AlreadySwitching: the automatic launch then ends (status 3); after a
    // button the window stays, and the user may try again.
    bool endsProgram = false;
    // SequenceDone: what was switched.
    std::optional<Switched> switched = std::nullopt;
};

// Added to the report of a switch service that does not exist when IIS's
// set-up key is missing too.
inline constexpr wchar_t kIisNotInstalledNote[] = L"IIS is not installed on this computer.";

// The start and stop sequences and the launch decision, for the IIS profile
// the launch decision reads from the registry before it binds. Strict
// failures are thrown as Failure; failures in ignoring mode are dropped (the
// last one per service is kept for the timeout message). Every path that may
// run a sequence takes the right to switch before its first service read.
class ServiceControl {
public:
    ServiceControl(MainView& view, ComputerNameSource& names, Directory& directory, Registry& registry,
                   Clock& clock, Switching& switching, std::chrono::milliseconds bound = kWaitBound);

    // The buttons switch with the profile the launch decision found.
    Outcome OnStartClick();
    Outcome OnStopClick();
    // Shows the window, then switches as the argument asks ("-auto" toggles,
    // "-on" and "-off" go one way), or prepares the window for the user.
    Outcome DecideAtLaunch(const std::wstring& argumentText);

    // IISADMIN, or W3SVC on IIS 7 and later: the service whose state decides
    // which way to switch, once the launch decision has read the profile.
    const wchar_t* SwitchService() const;

private:
    class Ignoring;

    ServiceBinding BindComputer();
    void LookUpAll(ServiceBinding& binding, Ignoring& ignoring);
    void LookUpStrictly(ServiceBinding& binding, Ignoring& ignoring);
    void LookUpFtpService(ServiceBinding& binding, Ignoring& ignoring);
    std::unique_ptr<DirectoryObject> LookUpSwitch(DirectoryObject& computer) const;
    std::optional<WaitTimeout> WaitForState(const std::unique_ptr<DirectoryObject>& field,
                                            const wchar_t* service, ServiceState state,
                                            Ignoring& ignoring,
                                            FunctionRef<void()> between);
    void WriteStartType(const std::unique_ptr<DirectoryObject>& field, const wchar_t* service,
                        const wchar_t* startType, Ignoring& ignoring);
    Outcome EnableAndStartServices(ServiceBinding& binding, Ignoring& ignoring);
    Outcome StopAndDisableServices(ServiceBinding& binding, Ignoring& ignoring);
    Outcome Done(ServiceBinding& binding, bool on) const;

    MainView& view_;
    ComputerNameSource& names_;
    Directory& directory_;
    Registry& registry_;
    Clock& clock_;
    Switching& switching_;
    std::chrono::milliseconds bound_;
    IisInstallation iis_;
};

}  // namespace tarnwick
