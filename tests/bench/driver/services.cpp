#include "services.h"

#include <cwchar>
#include <optional>
#include <string_view>
#include <iterator>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "failure_win32.h"
#include "provider_config.h"
#include "service_handle.h"
#include "test_data.h"
#include "win32_raii.h"

namespace tarnwick::bench {

namespace {

constexpr DWORD kPollMs = 20;

[[noreturn]] void ThrowError(const std::string& what, DWORD error) {
    throw std::runtime_error(what + " failed with error " + std::to_string(error) + ": " +
                             Utf8(SystemMessage(HRESULT_FROM_WIN32(error))));
}

[[noreturn]] void ThrowLastError(const std::string& what) { ThrowError(what, GetLastError()); }

size_t IndexOf(const std::wstring& name) {
    for (size_t i = 0; i < std::size(kBenchServiceNames); ++i)
        if (name == kBenchServiceNames[i]) return i;
    throw std::invalid_argument("not a bench service: " + Utf8(name));
}

// One service of a bench computer.
struct LaidOutService {
    const wchar_t* name;
    const wchar_t* displayName;
    const wchar_t* dependsOn;  // one service, or null
    DWORD resetStartType;
    DWORD runningStartType;  // what a setup that starts the service gives it first
};

// A computer's services, dependencies first, and the MajorVersion of its IIS
// set-up key (none: no key).
struct ComputerLayout {
    std::vector<LaidOutService> services;
    std::optional<DWORD> majorVersion;
};

const ComputerLayout& LayoutOf(BenchComputer computer) {
    constexpr DWORD kOff = SERVICE_DISABLED;
    constexpr DWORD kDemand = SERVICE_DEMAND_START;
    constexpr DWORD kAuto = SERVICE_AUTO_START;
    const LaidOutService iisAdmin{L"IISADMIN", kServiceDisplayNames[0], nullptr, kDemand, kDemand};
    const LaidOutService was{L"WAS", L"Windows Process Activation Service", nullptr, kDemand, kDemand};
    const LaidOutService w3svcOnWas{L"W3SVC", kServiceDisplayNames[1], L"WAS", kOff, kAuto};
    static const ComputerLayout iis6{{{L"IISADMIN", kServiceDisplayNames[0], nullptr, kOff, kAuto},
                                      {L"W3SVC", kServiceDisplayNames[1], L"IISADMIN", kDemand, kDemand},
                                      {L"MSFTPSVC", kServiceDisplayNames[2], L"IISADMIN", kDemand, kDemand}},
                                     std::nullopt};
    static const ComputerLayout iis70{
        {iisAdmin, was, w3svcOnWas, {L"MSFTPSVC", kServiceDisplayNames[2], L"IISADMIN", kOff, kAuto}}, 7};
    static const ComputerLayout iis10{
        {iisAdmin, was, w3svcOnWas, {L"FTPSVC", L"Microsoft FTP Service", nullptr, kOff, kAuto}}, 10};
    static const ComputerLayout iis10WithoutFtp{{was, w3svcOnWas}, 10};
    switch (computer) {
    case BenchComputer::Iis70: return iis70;
    case BenchComputer::Iis10: return iis10;
    case BenchComputer::Iis10WithoutFtp: return iis10WithoutFtp;
    case BenchComputer::Iis6: break;
    }
    return iis6;
}

constexpr wchar_t kServiceProgramValue[] = L"ServiceProgram";
constexpr wchar_t kIisSetupKey[] = L"SOFTWARE\\Microsoft\\InetStp";

UniqueServiceHandle OpenManager(DWORD access) {
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, access));
    if (!manager) ThrowLastError("OpenSCManager");
    return manager;
}

UniqueServiceHandle OpenBenchService(const std::wstring& name, DWORD access) {
    const UniqueServiceHandle manager = OpenManager(SC_MANAGER_CONNECT);
    UniqueServiceHandle service(OpenServiceW(manager.Get(), name.c_str(), access));
    if (!service) ThrowLastError("OpenService " + Utf8(name));
    return service;
}

// The double-null-terminated list of the services `name` depends on now.
std::wstring DependenciesOf(const std::wstring& name) {
    std::wstring list;
    for (const std::wstring& dependency : QueryConfig(name).dependencies) list += dependency + L'\0';
    return list + L'\0';
}

void RequireState(const std::wstring& name, DWORD state, const char* step) {
    if (!WaitForState(name, state))
        throw std::runtime_error(Utf8(name) + " did not reach state " + std::to_string(state) +
                                 " after " + step + " within " + std::to_string(kServiceTimeoutMs) +
                                 " ms; it is in state " + std::to_string(QueryState(name)));
}

void SetDword(HKEY key, const wchar_t* name, DWORD value) {
    const LSTATUS status =
        RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    if (status != ERROR_SUCCESS)
        ThrowError("RegSetValueEx " + Utf8(name), static_cast<DWORD>(status));
}

UniqueHkey CreateKey(const std::wstring& path) {
    UniqueHkey key;
    const LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                           KEY_READ | KEY_WRITE, nullptr, key.Put(), nullptr);
    if (status != ERROR_SUCCESS)
        ThrowError("RegCreateKeyEx " + Utf8(path), static_cast<DWORD>(status));
    return key;
}

std::wstring ServiceProgram() {
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof path;
    const LSTATUS status = RegGetValueW(HKEY_LOCAL_MACHINE, kBenchKey, kServiceProgramValue, RRF_RT_REG_SZ,
                                        nullptr, path, &size);
    if (status != ERROR_SUCCESS) ThrowError("RegGetValue ServiceProgram", static_cast<DWORD>(status));
    return path;
}

// Ends every bench service that is not stopped. A service that is just
// starting may not have created its quit event yet, so it is signalled again
// at every poll until it has stopped.
void StopAllServices() {
    const ULONGLONG deadline = GetTickCount64() + kServiceTimeoutMs;
    for (;;) {
        std::string running;
        for (const wchar_t* name : kBenchServiceNames) {
            if (!ServiceExists(name) || QueryState(name) == SERVICE_STOPPED) continue;
            running += " " + Utf8(name) + "=" + std::to_string(QueryState(name));
            SignalQuit(name);
        }
        if (running.empty()) return;
        if (GetTickCount64() > deadline)
            throw std::runtime_error("services did not stop within " + std::to_string(kServiceTimeoutMs) +
                                     " ms:" + running);
        Sleep(kPollMs);
    }
}

// Deletes a stopped service and waits until the manager has let it go, so
// that it can be created again.
void DeleteBenchService(const wchar_t* name) {
    {
        const UniqueServiceHandle service = OpenBenchService(name, DELETE);
        if (!DeleteService(service.Get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE)
            ThrowLastError("DeleteService " + Utf8(name));
    }
    const ULONGLONG deadline = GetTickCount64() + kServiceTimeoutMs;
    while (ServiceExists(name)) {
        if (GetTickCount64() > deadline)
            throw std::runtime_error(Utf8(name) + " was not deleted within " + std::to_string(kServiceTimeoutMs) +
                                     " ms");
        Sleep(kPollMs);
    }
}

// Creates `service` as the computer has it, or brings its configuration back.
void LayOut(SC_HANDLE manager, const LaidOutService& service, const std::wstring& program) {
    const std::wstring commandLine = L"\"" + program + L"\" " + service.name;
    std::wstring dependencies = service.dependsOn ? std::wstring(service.dependsOn) + L'\0' : std::wstring();
    dependencies += L'\0';
    UniqueServiceHandle created(CreateServiceW(manager, service.name, service.displayName, SERVICE_ALL_ACCESS,
                                               SERVICE_WIN32_OWN_PROCESS, service.resetStartType,
                                               SERVICE_ERROR_NORMAL, commandLine.c_str(), nullptr, nullptr,
                                               dependencies.c_str(), nullptr, nullptr));
    if (created) return;
    if (GetLastError() != ERROR_SERVICE_EXISTS) ThrowLastError("CreateService " + Utf8(service.name));
    const UniqueServiceHandle existing(OpenServiceW(manager, service.name, SERVICE_CHANGE_CONFIG));
    if (!existing) ThrowLastError("OpenService " + Utf8(service.name));
    if (!ChangeServiceConfigW(existing.Get(), SERVICE_WIN32_OWN_PROCESS, service.resetStartType,
                              SERVICE_ERROR_NORMAL, commandLine.c_str(), nullptr, nullptr, dependencies.c_str(),
                              nullptr, nullptr, service.displayName))
        ThrowLastError("ChangeServiceConfig " + Utf8(service.name));
}

// IIS's set-up key with `majorVersion`, or no key at all.
void SetIisSetupKey(std::optional<DWORD> majorVersion) {
    if (!majorVersion) {
        const LSTATUS status = RegDeleteTreeW(HKEY_LOCAL_MACHINE, kIisSetupKey);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            ThrowError("RegDeleteTree InetStp", static_cast<DWORD>(status));
        return;
    }
    SetDword(CreateKey(kIisSetupKey).Get(), L"MajorVersion", *majorVersion);
}

}  // namespace

BenchSetup& BenchSetup::On(BenchComputer layout) {
    computer = layout;
    return *this;
}

BenchSetup& BenchSetup::WithMajorVersion(DWORD version) {
    majorVersion = version;
    return *this;
}

BenchSetup& BenchSetup::Running(const std::wstring& name) {
    running[IndexOf(name)] = true;
    return *this;
}

BenchSetup& BenchSetup::Behaving(const std::wstring& name, const ServiceBehaviour& behaviour) {
    behaviours[IndexOf(name)] = behaviour;
    return *this;
}

bool ServiceExists(const std::wstring& name) {
    const UniqueServiceHandle manager = OpenManager(SC_MANAGER_CONNECT);
    const UniqueServiceHandle service(OpenServiceW(manager.Get(), name.c_str(), SERVICE_QUERY_STATUS));
    if (service) return true;
    if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return false;
    ThrowLastError("OpenService " + Utf8(name));
}

void InstallServices(const std::wstring& fakesvcPath) {
    const UniqueHkey key = CreateKey(kBenchKey);
    const auto bytes = static_cast<DWORD>((fakesvcPath.size() + 1) * sizeof(wchar_t));
    const LSTATUS status = RegSetValueExW(key.Get(), kServiceProgramValue, 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(fakesvcPath.c_str()), bytes);
    if (status != ERROR_SUCCESS) ThrowError("RegSetValueEx ServiceProgram", static_cast<DWORD>(status));
    ResetServices();
}

void ResetServices(const BenchSetup& setup) {
    StopAllServices();

    const ComputerLayout& layout = LayoutOf(setup.computer);
    const auto laidOut = [&](const wchar_t* name) {
        for (const LaidOutService& service : layout.services)
            if (std::wstring_view(service.name) == name) return &service;
        return static_cast<const LaidOutService*>(nullptr);
    };
    for (const wchar_t* name : kBenchServiceNames)
        if (!laidOut(name) && ServiceExists(name)) DeleteBenchService(name);
    {
        const std::wstring program = ServiceProgram();
        const UniqueServiceHandle manager = OpenManager(SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE);
        for (const LaidOutService& service : layout.services) LayOut(manager.Get(), service, program);
    }
    SetIisSetupKey(setup.majorVersion ? setup.majorVersion : layout.majorVersion);

    for (const LaidOutService& service : layout.services) SetBehaviour(service.name, {});
    SetStateLog(L"");
    ClearProviderConfig();

    for (size_t i = 0; i < kBenchServiceCount; ++i)
        if (setup.running[i] && !laidOut(kBenchServiceNames[i]))
            throw std::invalid_argument(Utf8(kBenchServiceNames[i]) + " is not a service of this computer");
    for (const LaidOutService& service : layout.services) {
        if (!setup.running[IndexOf(service.name)]) continue;
        if (service.runningStartType != service.resetStartType) SetStartType(service.name, service.runningStartType);
        StartAndWait(service.name);
    }
    for (const LaidOutService& service : layout.services)
        SetBehaviour(service.name, setup.behaviours[IndexOf(service.name)]);
}

DWORD QueryState(const std::wstring& name) {
    const UniqueServiceHandle service = OpenBenchService(name, SERVICE_QUERY_STATUS);
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(service.Get(), &status))
        ThrowLastError("QueryServiceStatus " + Utf8(name));
    return status.dwCurrentState;
}

DWORD QueryStartType(const std::wstring& name) { return QueryConfig(name).startType; }

ServiceConfig QueryConfig(const std::wstring& name) {
    const UniqueServiceHandle service = OpenBenchService(name, SERVICE_QUERY_CONFIG);
    DWORD needed = 0;
    QueryServiceConfigW(service.Get(), nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    auto* queried = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (needed == 0 || !QueryServiceConfigW(service.Get(), queried, needed, &needed))
        ThrowLastError("QueryServiceConfig " + Utf8(name));
    ServiceConfig config;
    config.type = queried->dwServiceType;
    config.startType = queried->dwStartType;
    config.binaryPath = queried->lpBinaryPathName ? queried->lpBinaryPathName : L"";
    config.displayName = queried->lpDisplayName ? queried->lpDisplayName : L"";

    const std::wstring key = L"SYSTEM\\CurrentControlSet\\Services\\" + name;
    DWORD size = 0;
    LSTATUS status = RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"DependOnService",
                                  RRF_RT_REG_MULTI_SZ, nullptr, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) return config;
    std::vector<wchar_t> list(size / sizeof(wchar_t) + 1, L'\0');
    if (status == ERROR_SUCCESS)
        status = RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"DependOnService", RRF_RT_REG_MULTI_SZ,
                              nullptr, list.data(), &size);
    if (status != ERROR_SUCCESS)
        ThrowError("RegGetValue DependOnService " + Utf8(name), static_cast<DWORD>(status));
    for (const wchar_t* entry = list.data(); *entry; entry += std::wcslen(entry) + 1)
        config.dependencies.emplace_back(entry);
    return config;
}

void SetStartType(const std::wstring& name, DWORD startType) {
    // Wine's manager drops a service's dependencies on any change that does
    // not name them, so they are named every time.
    const std::wstring dependencies = DependenciesOf(name);
    const UniqueServiceHandle service = OpenBenchService(name, SERVICE_CHANGE_CONFIG);
    if (!ChangeServiceConfigW(service.Get(), SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, nullptr,
                              nullptr, nullptr, dependencies.c_str(), nullptr, nullptr, nullptr))
        ThrowLastError("ChangeServiceConfig " + Utf8(name));
}

void SetBehaviour(const std::wstring& name, const ServiceBehaviour& behaviour) {
    const UniqueHkey key =
        CreateKey(L"SYSTEM\\CurrentControlSet\\Services\\" + name + L"\\Parameters");
    SetDword(key.Get(), L"StartDelayMs", behaviour.startDelayMs);
    SetDword(key.Get(), L"StopDelayMs", behaviour.stopDelayMs);
    SetDword(key.Get(), L"HangStart", behaviour.hangStart ? 1 : 0);
    SetDword(key.Get(), L"HangStop", behaviour.hangStop ? 1 : 0);
    SetDword(key.Get(), L"RefuseStop", behaviour.refuseStop ? 1 : 0);
    SetDword(key.Get(), L"HoldDispatch", behaviour.holdDispatch ? 1 : 0);
    // A running service reads its behaviour again when a control arrives;
    // this one makes it announce whether it still accepts the stop control.
    const DWORD state = QueryState(name);
    if (state != SERVICE_RUNNING && state != SERVICE_PAUSED) return;
    const DWORD error = RequestControl(name, SERVICE_CONTROL_INTERROGATE);
    if (error != ERROR_SUCCESS && error != ERROR_SERVICE_NOT_ACTIVE &&
        error != ERROR_SERVICE_CANNOT_ACCEPT_CTRL)
        ThrowError("ControlService(INTERROGATE) " + Utf8(name), error);
}

bool WaitForState(const std::wstring& name, DWORD state, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (QueryState(name) == state) return true;
        if (GetTickCount64() > deadline) return false;
        Sleep(kPollMs);
    }
}

DWORD RequestStart(const std::wstring& name) {
    const UniqueServiceHandle service = OpenBenchService(name, SERVICE_START);
    return StartServiceW(service.Get(), 0, nullptr) ? ERROR_SUCCESS : GetLastError();
}

DWORD RequestControl(const std::wstring& name, DWORD control) {
    const UniqueServiceHandle service =
        OpenBenchService(name, SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_INTERROGATE);
    SERVICE_STATUS status = {};
    return ControlService(service.Get(), control, &status) ? ERROR_SUCCESS : GetLastError();
}

void StartAndWait(const std::wstring& name) {
    const DWORD error = RequestStart(name);
    if (error != ERROR_SUCCESS) ThrowError("StartService " + Utf8(name), error);
    RequireState(name, SERVICE_RUNNING, "StartService");
}

void PauseAndWait(const std::wstring& name) {
    const DWORD error = RequestControl(name, SERVICE_CONTROL_PAUSE);
    if (error != ERROR_SUCCESS) ThrowError("ControlService(PAUSE) " + Utf8(name), error);
    RequireState(name, SERVICE_PAUSED, "ControlService(PAUSE)");
}

void SignalQuit(const std::wstring& name) {
    // Opening (rather than creating) the event: a service that has not created
    // it yet is signalled again on the caller's next poll.
    const std::wstring eventName = L"TarnwickBench_Quit_" + name;
    const UniqueHandle quit(OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName.c_str()));
    if (quit) SetEvent(quit.Get());
}

bool DispatchHeld(const std::wstring& name) {
    const std::wstring eventName = L"TarnwickBench_Dispatch_" + name;
    const UniqueHandle release(OpenEventW(SYNCHRONIZE, FALSE, eventName.c_str()));
    return release && WaitForSingleObject(release.Get(), 0) == WAIT_TIMEOUT;
}

void ReleaseDispatch(const std::wstring& name) {
    const std::wstring eventName = L"TarnwickBench_Dispatch_" + name;
    const UniqueHandle release(OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName.c_str()));
    if (release) SetEvent(release.Get());
}

void SetStateLog(const std::wstring& path) {
    const UniqueHkey key = CreateKey(kBenchKey);
    if (path.empty()) {
        const LSTATUS status = RegDeleteValueW(key.Get(), kStateLogValue);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            ThrowError("RegDeleteValue StateLog", static_cast<DWORD>(status));
        return;
    }
    // Empty the file first, so a test never reads an earlier run's lines.
    const HANDLE created = CreateFileW(path.c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE) ThrowLastError("CreateFile " + Utf8(path));
    const UniqueHandle emptied(created);
    const auto bytes = static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t));
    const LSTATUS status = RegSetValueExW(key.Get(), kStateLogValue, 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(path.c_str()), bytes);
    if (status != ERROR_SUCCESS) ThrowError("RegSetValueEx StateLog", static_cast<DWORD>(status));
}

std::vector<StateChange> ReadStateLog(const std::wstring& path) {
    std::vector<StateChange> changes;
    const auto content = ReadWholeFile(path);
    if (!content) return changes;
    const std::string& text = *content;

    // Only complete lines: a service may be appending one right now.
    std::string::size_type start = 0;
    for (auto end = text.find('\n'); end != std::string::npos;
         start = end + 1, end = text.find('\n', start)) {
        const std::string line = text.substr(start, end - start);
        const auto tab1 = line.find('\t');
        const auto tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos) throw std::runtime_error("malformed state log line: " + line);
        StateChange change;
        std::istringstream ms(line.substr(0, tab1));
        std::istringstream state(line.substr(tab2 + 1));
        ms.imbue(std::locale::classic());
        change.service = line.substr(tab1 + 1, tab2 - tab1 - 1);
        if (!(ms >> change.ms) || !(state >> change.state) || change.service.empty())
            throw std::runtime_error("malformed state log line: " + line);
        changes.push_back(std::move(change));
    }
    return changes;
}

}  // namespace tarnwick::bench
