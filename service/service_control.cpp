#include "service_control.h"

#include "command_line.h"

#include <cwchar>
#include <map>
#include <utility>

namespace tarnwick {

namespace {

constexpr wchar_t kIisAdmin[] = L"IISADMIN";
constexpr wchar_t kW3Svc[] = L"W3SVC";
constexpr wchar_t kMsFtpSvc[] = L"MSFTPSVC";

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
            last_.insert_or_assign(service, failure);  // deliberately dropped
            return false;
        }
    }

    std::optional<Failure> LastFor(const wchar_t* service) const {
        const auto found = last_.find(service);
        if (found == last_.end()) return std::nullopt;
        return found->second;
    }

private:
    std::map<std::wstring, Failure> last_;
};

ServiceControl::ServiceControl(MainView& view, ComputerNameSource& names, Directory& directory,
                               Clock& clock, Switching& switching, std::chrono::milliseconds bound)
    : view_(view), names_(names), directory_(directory), clock_(clock), switching_(switching), bound_(bound) {}

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

void ServiceControl::LookUpAll(ServiceBinding& binding, Ignoring& ignoring) {
    DirectoryObject& computer = *binding.computer;
    ignoring.Try(kIisAdmin, [&] { binding.iisAdmin = LookUp(computer, kIisAdmin); });
    ignoring.Try(kW3Svc, [&] { binding.w3svc = LookUp(computer, kW3Svc); });
    ignoring.Try(kMsFtpSvc, [&] { binding.msftpsvc = LookUp(computer, kMsFtpSvc); });
}

Outcome ServiceControl::DecideAtLaunch(const std::wstring& argumentText) {
    view_.Show();
    // Only a launch that may switch takes the right: windows opened for the
    // user may be several.
    const bool automatic = IsAutomaticArgument(argumentText);
    if (automatic && !switching_.TryTake()) return {Outcome::Kind::AlreadySwitching, std::nullopt, true};
    ServiceBinding binding = BindComputer();

    if (automatic) {
        binding.iisAdmin = LookUp(*binding.computer, kIisAdmin);
        binding.w3svc = LookUp(*binding.computer, kW3Svc);
        binding.msftpsvc = LookUp(*binding.computer, kMsFtpSvc);
        if (Is(ReadStatus(*binding.iisAdmin), ServiceState::Stopped)) {
            Ignoring ignoring;
            return EnableAndStartServices(binding, ignoring);
        }
        if (Is(ReadStatus(*binding.iisAdmin), ServiceState::Running)) {
            Ignoring ignoring;
            return StopAndDisableServices(binding, ignoring);
        }
        // Neither stopped nor running: fall back to the window, still strict.
        // Nothing is being switched, so another program may.
        switching_.GiveBack();
    }

    binding.iisAdmin = LookUp(*binding.computer, kIisAdmin);
    if (Is(ReadStatus(*binding.iisAdmin), ServiceState::Stopped)) {
        view_.FocusStart();
    } else if (Is(ReadStatus(*binding.iisAdmin), ServiceState::Running)) {
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

Outcome ServiceControl::EnableAndStartServices(ServiceBinding& binding, Ignoring& ignoring) {
    switching_.SequenceBegins();
    const auto& iisAdmin = binding.iisAdmin;
    ignoring.Try(iisAdmin, kIisAdmin,
                 [](DirectoryObject& s) { s.Put(L"StartType", std::wstring(kStartTypeAutomatic)); });
    ignoring.Try(iisAdmin, kIisAdmin, [](DirectoryObject& s) { s.Call(L"SetInfo"); });
    ignoring.Try(iisAdmin, kIisAdmin, [](DirectoryObject& s) { s.Call(L"Start"); });

    if (auto timeout = WaitForState(iisAdmin, kIisAdmin, ServiceState::Running, ignoring,
                                    [&] { clock_.Pause(kPollIntervalMs); }))
        return {Outcome::Kind::BoundReached, std::move(timeout)};

    // The web and FTP services are asked to start but not waited for.
    ignoring.Try(binding.w3svc, kW3Svc, [](DirectoryObject& s) { s.Call(L"Start"); });
    ignoring.Try(binding.msftpsvc, kMsFtpSvc, [](DirectoryObject& s) { s.Call(L"Start"); });
    return {Outcome::Kind::SequenceDone, std::nullopt};
}

Outcome ServiceControl::StopAndDisableServices(ServiceBinding& binding, Ignoring& ignoring) {
    switching_.SequenceBegins();
    const auto stop = [](DirectoryObject& s) { s.Call(L"Stop"); };
    ignoring.Try(binding.msftpsvc, kMsFtpSvc, stop);
    ignoring.Try(binding.w3svc, kW3Svc, stop);

    if (auto timeout = WaitForState(binding.w3svc, kW3Svc, ServiceState::Stopped, ignoring,
                                    [&] { clock_.Pause(kPollIntervalMs); }))
        return {Outcome::Kind::BoundReached, std::move(timeout)};

    // IISADMIN is asked again until it reports stopped, with the poll's pause
    // between two requests: asked without one, the program and the service
    // manager would each take a whole processor while a dependent service
    // keeps it running.
    const auto& iisAdmin = binding.iisAdmin;
    if (auto timeout = WaitForState(iisAdmin, kIisAdmin, ServiceState::Stopped, ignoring, [&] {
            ignoring.Try(iisAdmin, kIisAdmin, stop);
            clock_.Pause(kPollIntervalMs);
        }))
        return {Outcome::Kind::BoundReached, std::move(timeout)};

    // Only IISADMIN's start type is written; W3SVC and MSFTPSVC keep theirs.
    ignoring.Try(iisAdmin, kIisAdmin,
                 [](DirectoryObject& s) { s.Put(L"StartType", std::wstring(kStartTypeDisabled)); });
    ignoring.Try(iisAdmin, kIisAdmin, [](DirectoryObject& s) { s.Call(L"SetInfo"); });
    return {Outcome::Kind::SequenceDone, std::nullopt};
}

}  // namespace tarnwick
