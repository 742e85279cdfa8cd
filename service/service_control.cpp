#include "service_control.h"

#include "command_line.h"

#include <algorithm>
#include <array>
#include <cwchar>
#include <string_view>
#include <utility>
#include <vector>

namespace tarnwick {

namespace {

constexpr wchar_t kIisAdmin[] = L"IISADMIN";
constexpr wchar_t kW3Svc[] = L"W3SVC";
constexpr wchar_t kMsFtpSvc[] = L"MSFTPSVC";
constexpr wchar_t kFtpSvc[] = L"FTPSVC";

// What differs between the IIS profiles. The sequences and the launch
// decision are the same for both; W3SVC is the web service in both.
struct SwitchPlan {
    // Its Status decides the launch focus and the toggle; its start type is
    // what switching on and off writes.
    const wchar_t* switchService;
    // The FTP service's possible names, looked up in this order; the first
    // one found is the one switched.
    std::array<const wchar_t*, 2> ftpServices;
    // "-auto" ends with a report when the FTP service is missing.
    bool ftpRequiredWhenAutomatic;
    // The FTP service's start type is written along with the switch's.
    bool ftpFollowsStartType;
};

constexpr SwitchPlan kIis6Plan{kIisAdmin, {kMsFtpSvc, nullptr}, true, false};
constexpr SwitchPlan kIis7Plan{kW3Svc, {kFtpSvc, kMsFtpSvc}, false, true};

const SwitchPlan& PlanFor(IisProfile profile) {
    return profile == IisProfile::Iis7 ? kIis7Plan : kIis6Plan;
}

bool SwitchIsWeb(const SwitchPlan& plan) {
    return std::wstring_view(plan.switchService) == kW3Svc;
}

std::unique_ptr<DirectoryObject>& Field(ServiceBinding& binding, std::wstring_view service) {
    if (service == kIisAdmin) return binding.iisAdmin;
    if (service == kW3Svc) return binding.w3svc;
    if (service == kFtpSvc) return binding.ftpsvc;
    return binding.msftpsvc;
}

// A service of the binding and the name it was looked up by.
struct ServiceRef {
    std::unique_ptr<DirectoryObject>& object;
    const wchar_t* name;
};

// The FTP service that was found; when none was, the first name, whose failed
// lookup is then the failure remembered for it.
ServiceRef FtpService(ServiceBinding& binding, const SwitchPlan& plan) {
    const auto found = std::find_if(plan.ftpServices.begin(), plan.ftpServices.end(),
                                    [&](const wchar_t* name) { return name && Field(binding, name); });
    const wchar_t* name = found != plan.ftpServices.end() ? *found : plan.ftpServices[0];
    return {Field(binding, name), name};
}

// HRESULT_FROM_WIN32(ERROR_SERVICE_DOES_NOT_EXIST): the lookup found no such service.
constexpr std::int32_t kServiceDoesNotExist = static_cast<std::int32_t>(0x80070424);

// DISP_E_TYPEMISMATCH: a status that is not a whole number cannot be compared.
constexpr std::int32_t kTypeMismatch = static_cast<std::int32_t>(0x80020005);

std::unique_ptr<DirectoryObject> LookUp(DirectoryObject& computer, const wchar_t* service) {
    return computer.CallForObject(L"GetObject", {std::wstring(L"Service"), std::wstring(service)});
}

std::int32_t ReadStatus(DirectoryObject& service) {
    const DirectoryValue value = service.Get(L"Status");
    if (const auto* number = std::get_if<std::int32_t>(&value)) return *number;
    // A text holding a whole number compares as that number, as a late-bound caller sees it.
    const std::wstring& text = std::get<std::wstring>(value);
    wchar_t* end = nullptr;
    const long number = std::wcstol(text.c_str(), &end, 10);
    if (text.empty() || *end != L'\0') throw Failure(kTypeMismatch, L"Type mismatch.");
    return static_cast<std::int32_t>(number);
}

bool Is(std::int32_t status, ServiceState state) {
    return status == static_cast<std::int32_t>(state);
}

constexpr auto Start = [](DirectoryObject& service) { service.Call(L"Start"); };
constexpr auto Stop = [](DirectoryObject& service) { service.Call(L"Stop"); };

}  // namespace

// Ignoring mode: a failed step is dropped and the sequence goes on. The last
// failure dropped for each service is kept, so that a wait that gives up can
// say why the service did not get there.
class ServiceControl::Ignoring {
public:
    // Runs `step` on the service in `field`. An empty field (its lookup failed
    // earlier) makes the step fail at once; the lookup's failure stays the one
    // remembered for it.
    bool Try(const std::unique_ptr<DirectoryObject>& field, const wchar_t* service,
             FunctionRef<void(DirectoryObject&)> step) {
        if (!field) return false;
        return Try(service, [&] { step(*field); });
    }

    bool Try(const wchar_t* service, FunctionRef<void()> step) {
        try {
            step();
            return true;
        } catch (const Failure& failure) {
            // Deliberately dropped; remembered as the service's last one.
            const auto same = [&](const auto& known) { return known.first == service; };
            last_.erase(std::remove_if(last_.begin(), last_.end(), same), last_.end());
            last_.emplace_back(service, failure);
            return false;
        }
    }

    std::optional<Failure> LastFor(const wchar_t* service) const {
        const auto found =
            std::find_if(last_.begin(), last_.end(), [&](const auto& known) { return known.first == service; });
        if (found == last_.end()) return std::nullopt;
        return found->second;
    }

private:
    // A handful of services at most: a list serves as well as a map.
    std::vector<std::pair<std::wstring, Failure>> last_;
};

ServiceControl::ServiceControl(MainView& view, ComputerNameSource& names, Directory& directory,
                               Registry& registry, Clock& clock, Switching& switching,
                               std::chrono::milliseconds bound)
    : view_(view),
      names_(names),
      directory_(directory),
      registry_(registry),
      clock_(clock),
      switching_(switching),
      bound_(bound) {}

ServiceBinding ServiceControl::BindComputer() {
    std::optional<std::wstring> discarded;
    ShowComputerName(view_, names_, discarded);
    ServiceBinding binding;
    binding.computer = directory_.Bind(L"WinNT://" + view_.Label2Caption() + L",computer");
    return binding;
}

Outcome ServiceControl::OnStartClick() {
    if (!switching_.TryTake()) return {Outcome::Kind::AlreadySwitching, std::nullopt, false};
    ServiceBinding binding = BindComputer();
    Ignoring ignoring;
    LookUpAll(binding, ignoring);
    return EnableAndStartServices(binding, ignoring);
}

Outcome ServiceControl::OnStopClick() {
    if (!switching_.TryTake()) return {Outcome::Kind::AlreadySwitching, std::nullopt, false};
    ServiceBinding binding = BindComputer();
    Ignoring ignoring;
    LookUpAll(binding, ignoring);
    return StopAndDisableServices(binding, ignoring);
}

// The buttons' lookups: the switch (unless it is W3SVC), W3SVC, then the FTP
// service; a failed lookup leaves its field empty.
void ServiceControl::LookUpAll(ServiceBinding& binding, Ignoring& ignoring) {
    const SwitchPlan& plan = PlanFor(iis_.profile);
    DirectoryObject& computer = *binding.computer;
    const auto lookUp = [&](const wchar_t* service) {
        return ignoring.Try(service, [&] { Field(binding, service) = LookUp(computer, service); });
    };
    if (!SwitchIsWeb(plan)) lookUp(plan.switchService);
    lookUp(kW3Svc);
    LookUpFtpService(binding, ignoring);
}

// The lookups of a launch that switches without a user, in the same order:
// strict, but for an FTP service the profile does without.
void ServiceControl::LookUpStrictly(ServiceBinding& binding, Ignoring& ignoring) {
    const SwitchPlan& plan = PlanFor(iis_.profile);
    DirectoryObject& computer = *binding.computer;
    Field(binding, plan.switchService) = LookUpSwitch(computer);
    if (!SwitchIsWeb(plan)) binding.w3svc = LookUp(computer, kW3Svc);
    if (plan.ftpRequiredWhenAutomatic)
        Field(binding, plan.ftpServices[0]) = LookUp(computer, plan.ftpServices[0]);
    else
        LookUpFtpService(binding, ignoring);
}

// The FTP service by each of its names in turn, until one is found; the
// failed lookups are dropped.
void ServiceControl::LookUpFtpService(ServiceBinding& binding, Ignoring& ignoring) {
    DirectoryObject& computer = *binding.computer;
    const auto& names = PlanFor(iis_.profile).ftpServices;
    // The search ends at the first name found.
    (void)std::any_of(names.begin(), names.end(), [&](const wchar_t* ftp) {
        return ftp && ignoring.Try(ftp, [&] { Field(binding, ftp) = LookUp(computer, ftp); });
    });
}

std::unique_ptr<DirectoryObject> ServiceControl::LookUpSwitch(DirectoryObject& computer) const {
    try {
        return LookUp(computer, PlanFor(iis_.profile).switchService);
    } catch (const Failure& failure) {
        // Only a service that does not exist says anything about IIS being
        // installed; access denied or an RPC failure says nothing of the kind.
        if (iis_.setupKeyPresent || failure.Code() != kServiceDoesNotExist) throw;
        throw failure.WithNote(kIisNotInstalledNote);
    }
}

const wchar_t* ServiceControl::SwitchService() const {
    return PlanFor(iis_.profile).switchService;
}

Outcome ServiceControl::DecideAtLaunch(const std::wstring& argumentText) {
    view_.Show();
    // Only a launch that may switch takes the right: windows opened for the
    // user may be several.
    const LaunchMode mode = LaunchModeOf(argumentText);
    const bool automatic = mode != LaunchMode::Window;
    if (automatic && !switching_.TryTake()) return {Outcome::Kind::AlreadySwitching, std::nullopt, true};
    // Before any directory call: the profile decides which services are looked up.
    iis_ = DetectIis(registry_);
    ServiceBinding binding = BindComputer();
    std::unique_ptr<DirectoryObject>& switchService = Field(binding, PlanFor(iis_.profile).switchService);

    if (automatic) {
        Ignoring ignoring;  // used once a sequence runs; the lookups are strict
        LookUpStrictly(binding, ignoring);
        // "-on" and "-off" say which way: no status read decides.
        if (mode == LaunchMode::On) return EnableAndStartServices(binding, ignoring);
        if (mode == LaunchMode::Off) return StopAndDisableServices(binding, ignoring);
        if (Is(ReadStatus(*switchService), ServiceState::Stopped))
            return EnableAndStartServices(binding, ignoring);
        if (Is(ReadStatus(*switchService), ServiceState::Running))
            return StopAndDisableServices(binding, ignoring);
        // Neither stopped nor running: fall back to the window, still strict.
        // Nothing is being switched, so another program may.
        switching_.GiveBack();
    }

    switchService = LookUpSwitch(*binding.computer);
    if (Is(ReadStatus(*switchService), ServiceState::Stopped)) {
        view_.FocusStart();
    } else if (Is(ReadStatus(*switchService), ServiceState::Running)) {
        view_.FocusStop();
    }
    return {};
}

// Reads the service's status until it equals `state`, running `between` after
// each read that did not match (a failed read counts as not matched). Gives up
// once the bound has passed, and at once when the service was never found.
std::optional<WaitTimeout> ServiceControl::WaitForState(
    const std::unique_ptr<DirectoryObject>& field, const wchar_t* service, ServiceState state,
    Ignoring& ignoring, FunctionRef<void()> between) {
    if (!field)
        return WaitTimeout{service, state, bound_, std::chrono::milliseconds(0), ignoring.LastFor(service), true};
    const auto start = clock_.Now();
    for (;;) {
        bool reached = false;
        ignoring.Try(field, service,
                     [&](DirectoryObject& object) { reached = Is(ReadStatus(object), state); });
        if (reached) return std::nullopt;
        const auto waited = clock_.Now() - start;
        if (waited >= bound_) return WaitTimeout{service, state, bound_, waited, ignoring.LastFor(service)};
        between();
    }
}

// Stages the start type and commits it; each step may fail on its own.
void ServiceControl::WriteStartType(const std::unique_ptr<DirectoryObject>& field, const wchar_t* service,
                                    const wchar_t* startType, Ignoring& ignoring) {
    ignoring.Try(field, service, [&](DirectoryObject& s) { s.Put(L"StartType", std::wstring(startType)); });
    ignoring.Try(field, service, [](DirectoryObject& s) { s.Call(L"SetInfo"); });
}

Outcome ServiceControl::EnableAndStartServices(ServiceBinding& binding, Ignoring& ignoring) {
    switching_.SequenceBegins();
    const SwitchPlan& plan = PlanFor(iis_.profile);
    const wchar_t* switchName = plan.switchService;
    const auto& switchService = Field(binding, switchName);
    WriteStartType(switchService, switchName, kStartTypeAutomatic, ignoring);
    ignoring.Try(switchService, switchName, Start);

    if (auto timeout = WaitForState(switchService, switchName, ServiceState::Running, ignoring,
                                    [&] { clock_.Pause(kPollIntervalMs); }))
        return {Outcome::Kind::BoundReached, std::move(timeout)};

    // The services that follow the switch are asked to start but not waited for.
    const ServiceRef ftp = FtpService(binding, plan);
    if (plan.ftpFollowsStartType) WriteStartType(ftp.object, ftp.name, kStartTypeAutomatic, ignoring);
    if (!SwitchIsWeb(plan)) ignoring.Try(binding.w3svc, kW3Svc, Start);
    ignoring.Try(ftp.object, ftp.name, Start);
    return Done(binding, true);
}

Outcome ServiceControl::StopAndDisableServices(ServiceBinding& binding, Ignoring& ignoring) {
    switching_.SequenceBegins();
    const SwitchPlan& plan = PlanFor(iis_.profile);
    const ServiceRef ftp = FtpService(binding, plan);
    ignoring.Try(ftp.object, ftp.name, Stop);
    ignoring.Try(binding.w3svc, kW3Svc, Stop);

    if (auto timeout = WaitForState(binding.w3svc, kW3Svc, ServiceState::Stopped, ignoring,
                                    [&] { clock_.Pause(kPollIntervalMs); }))
        return {Outcome::Kind::BoundReached, std::move(timeout)};

    const wchar_t* switchName = plan.switchService;
    const auto& switchService = Field(binding, switchName);
    if (!SwitchIsWeb(plan)) {
        // IISADMIN is asked again until it reports stopped, with the poll's
        // pause between two requests: asked without one, the program and the
        // service manager would each take a whole processor while a dependent
        // service keeps it running.
        if (auto timeout = WaitForState(switchService, switchName, ServiceState::Stopped, ignoring, [&] {
                ignoring.Try(switchService, switchName, Stop);
                clock_.Pause(kPollIntervalMs);
            }))
            return {Outcome::Kind::BoundReached, std::move(timeout)};
    }

    // Only the switch's start type is written, and the FTP service's where it
    // follows the switch; W3SVC keeps its own unless it is the switch.
    WriteStartType(switchService, switchName, kStartTypeDisabled, ignoring);
    if (plan.ftpFollowsStartType) WriteStartType(ftp.object, ftp.name, kStartTypeDisabled, ignoring);
    return Done(binding, false);
}

// The end of a sequence, with the services it addressed that were found.
Outcome ServiceControl::Done(ServiceBinding& binding, bool on) const {
    const SwitchPlan& plan = PlanFor(iis_.profile);
    Switched switched{on, {}};
    auto next = switched.services.begin();
    const auto add = [&](const wchar_t* name) {
        if (Field(binding, name)) *next++ = name;
    };
    add(plan.switchService);
    if (!SwitchIsWeb(plan)) add(kW3Svc);
    if (const wchar_t* ftp = FtpService(binding, plan).name) add(ftp);
    Outcome outcome{Outcome::Kind::SequenceDone, std::nullopt};
    outcome.switched = switched;
    return outcome;
}

}  // namespace tarnwick
