// A simulated IIS service for the Wine bench. The same program is installed
// once per service name; its behaviour (delays, hangs, refusing the stop
// control) is read from the service's Parameters key each time it starts and
// each time a control arrives, so a test can reshape it between steps.
//
//   fakesvc.exe NAME     run as service NAME under the service control manager
//
// Wine's service control manager never notices a killed service process, so
// the bench never kills one: the named event TarnwickBench_Quit_<NAME> makes
// the service report SERVICE_STOPPED and end, whatever state it is in.
//
// HoldDispatch makes the program wait before it connects to the manager,
// until the named event TarnwickBench_Dispatch_<NAME> is set (or a little
// under the 10 s Wine's manager waits for it): StartService blocks meanwhile.

#include <windows.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "win32_raii.h"

namespace {

using tarnwick::UniqueHandle;
using tarnwick::UniqueHkey;

constexpr wchar_t kBenchKey[] = L"SOFTWARE\\TarnwickBench";
constexpr wchar_t kStateLogValue[] = L"StateLog";
constexpr wchar_t kQuitEventPrefix[] = L"TarnwickBench_Quit_";
constexpr wchar_t kDispatchEventPrefix[] = L"TarnwickBench_Dispatch_";
constexpr DWORD kLongestHoldMs = 9500;

struct Behaviour {
    DWORD startDelayMs = 0;
    DWORD stopDelayMs = 0;
    bool hangStart = false;
    bool hangStop = false;
    bool refuseStop = false;  // leaves SERVICE_ACCEPT_STOP out while running or paused
    bool holdDispatch = false;
};

DWORD ReadDword(HKEY key, const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(key, nullptr, name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
        return 0;  // an absent value means "no special behaviour"
    return value;
}

Behaviour ReadBehaviour(const std::wstring& name) {
    Behaviour behaviour;
    UniqueHkey key;
    const std::wstring path = L"SYSTEM\\CurrentControlSet\\Services\\" + name + L"\\Parameters";
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
        return behaviour;
    behaviour.startDelayMs = ReadDword(key.Get(), L"StartDelayMs");
    behaviour.stopDelayMs = ReadDword(key.Get(), L"StopDelayMs");
    behaviour.hangStart = ReadDword(key.Get(), L"HangStart") != 0;
    behaviour.hangStop = ReadDword(key.Get(), L"HangStop") != 0;
    behaviour.refuseStop = ReadDword(key.Get(), L"RefuseStop") != 0;
    behaviour.holdDispatch = ReadDword(key.Get(), L"HoldDispatch") != 0;
    return behaviour;
}

// The file named by the bench's StateLog value, or empty when logging is off.
std::wstring StateLogPath() {
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof path;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kBenchKey, kStateLogValue, RRF_RT_REG_SZ, nullptr, path,
                     &size) != ERROR_SUCCESS)
        return {};
    return path;
}

// Appends "<ms>\t<NAME>\t<state>" in one write, so that lines of the three
// service processes sharing the file never interleave.
void LogState(const std::wstring& name, DWORD state) {
    const std::wstring path = StateLogPath();
    if (path.empty()) return;
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    const double ms = static_cast<double>(counter.QuadPart) * 1000.0 /
                      static_cast<double>(frequency.QuadPart);
    char line[128];
    const int length = std::snprintf(line, sizeof line, "%.3f\t%ls\t%lu\n", ms, name.c_str(),
                                     static_cast<unsigned long>(state));
    if (length <= 0) return;
    const HANDLE opened = CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return;  // logging must never disturb the service
    const UniqueHandle file(opened);
    DWORD written = 0;
    WriteFile(file.Get(), line, static_cast<DWORD>(length), &written, nullptr);
}

class SimulatedService {
public:
    explicit SimulatedService(std::wstring name) : name_(std::move(name)) {}

    void Run();
    DWORD OnControl(DWORD control);

private:
    static DWORD AcceptedWhenUp(const Behaviour& behaviour) {
        return SERVICE_ACCEPT_PAUSE_CONTINUE | (behaviour.refuseStop ? 0 : SERVICE_ACCEPT_STOP);
    }
    void Report(DWORD state, DWORD accepted, DWORD waitHint = 0);
    void ReportLocked(DWORD state, DWORD accepted, DWORD waitHint);
    // False when the quit event ended the wait.
    bool WaitOrQuit(DWORD ms) const;
    // True for a stop request, false for the quit event.
    bool WaitForStopOrQuit() const;
    // A held start: true once the test has cleared HangStart, false for the
    // quit event.
    bool WaitWhileStartHeld() const;

    std::wstring name_;
    SERVICE_STATUS_HANDLE statusHandle_ = nullptr;
    UniqueHandle quit_;
    UniqueHandle stopRequested_;  // set by the control handler, acted on by Run
    std::mutex mutex_;            // the handler thread and Run both report status
    SERVICE_STATUS status_ = {};
    DWORD stopDelayMs_ = 0;
    bool hangStop_ = false;
};

void SimulatedService::ReportLocked(DWORD state, DWORD accepted, DWORD waitHint) {
    const bool changed = status_.dwCurrentState != state;
    status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status_.dwCurrentState = state;
    status_.dwControlsAccepted = accepted;
    status_.dwWin32ExitCode = NO_ERROR;
    status_.dwServiceSpecificExitCode = 0;
    status_.dwCheckPoint =
        (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) ? status_.dwCheckPoint + 1 : 0;
    status_.dwWaitHint = waitHint;
    // Log before reporting: a test that sees the new state must find its line.
    if (changed) LogState(name_, state);
    SetServiceStatus(statusHandle_, &status_);
}

void SimulatedService::Report(DWORD state, DWORD accepted, DWORD waitHint) {
    const std::lock_guard<std::mutex> lock(mutex_);
    ReportLocked(state, accepted, waitHint);
}

bool SimulatedService::WaitOrQuit(DWORD ms) const {
    return WaitForSingleObject(quit_.Get(), ms) == WAIT_TIMEOUT;
}

bool SimulatedService::WaitWhileStartHeld() const {
    constexpr DWORD kPollMs = 20;
    while (ReadBehaviour(name_).hangStart)
        if (!WaitOrQuit(kPollMs)) return false;
    return true;
}

bool SimulatedService::WaitForStopOrQuit() const {
    const HANDLE events[] = {quit_.Get(), stopRequested_.Get()};
    return WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
}

DWORD WINAPI ControlHandler(DWORD control, DWORD, void*, void* context) {
    return static_cast<SimulatedService*>(context)->OnControl(control);
}

DWORD SimulatedService::OnControl(DWORD control) {
    const Behaviour behaviour = ReadBehaviour(name_);
    const std::lock_guard<std::mutex> lock(mutex_);
    const DWORD state = status_.dwCurrentState;
    const bool up = state == SERVICE_RUNNING || state == SERVICE_PAUSED;
    switch (control) {
        case SERVICE_CONTROL_STOP:
            // Refusing is left to the accepted-controls mask: Wine's manager
            // ignores a handler's error and kills a service that is asked to
            // stop twice while it still runs.
            if (!up) return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
            stopDelayMs_ = behaviour.stopDelayMs;
            hangStop_ = behaviour.hangStop;
            ReportLocked(SERVICE_STOP_PENDING, 0, behaviour.stopDelayMs + 1000);
            SetEvent(stopRequested_.Get());
            return NO_ERROR;
        case SERVICE_CONTROL_PAUSE:
            if (!up) return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
            ReportLocked(SERVICE_PAUSED, AcceptedWhenUp(behaviour), 0);
            return NO_ERROR;
        case SERVICE_CONTROL_CONTINUE:
            if (!up) return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
            ReportLocked(SERVICE_RUNNING, AcceptedWhenUp(behaviour), 0);
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            ReportLocked(state, up ? AcceptedWhenUp(behaviour) : 0, status_.dwWaitHint);
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void SimulatedService::Run() {
    statusHandle_ = RegisterServiceCtrlHandlerExW(name_.c_str(), ControlHandler, this);
    if (!statusHandle_) return;

    const std::wstring quitName = kQuitEventPrefix + name_;
    quit_.Reset(CreateEventW(nullptr, TRUE, FALSE, quitName.c_str()));
    const bool quitExisted = GetLastError() == ERROR_ALREADY_EXISTS;
    // A handle still open elsewhere keeps an earlier signal alive; this start
    // must not end because of it.
    if (quit_ && quitExisted) ResetEvent(quit_.Get());
    stopRequested_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!quit_ || !stopRequested_) {
        Report(SERVICE_STOPPED, 0);
        return;
    }

    const Behaviour starting = ReadBehaviour(name_);
    Report(SERVICE_START_PENDING, 0, starting.startDelayMs + 1000);
    if (starting.hangStart ? WaitWhileStartHeld() : WaitOrQuit(starting.startDelayMs)) {
        // Read again: a test may have changed RefuseStop while we were starting.
        Report(SERVICE_RUNNING, AcceptedWhenUp(ReadBehaviour(name_)));
        if (WaitForStopOrQuit()) {
            DWORD delayMs;
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                delayMs = hangStop_ ? INFINITE : stopDelayMs_;
            }
            WaitOrQuit(delayMs);
        }
    }
    Report(SERVICE_STOPPED, 0);
}

void WINAPI ServiceMain(DWORD argc, wchar_t** argv) {
    if (argc < 1) return;
    SimulatedService service(argv[0]);
    service.Run();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: fakesvc.exe NAME (run by the service control manager)\n");
        return 2;
    }
    if (ReadBehaviour(argv[1]).holdDispatch) {
        const std::wstring name = kDispatchEventPrefix + std::wstring(argv[1]);
        const UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
        if (release) WaitForSingleObject(release.Get(), kLongestHoldMs);
    }
    SERVICE_TABLE_ENTRYW table[] = {{argv[1], ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : static_cast<int>(GetLastError());
}
