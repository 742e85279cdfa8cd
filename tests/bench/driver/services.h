#pragma once

// The simulated IIS services of the Wine bench, as the Windows tests see them:
// putting them into a known state, shaping how they behave, and reading what
// they did.
//
// Each service is C:\TarnwickBench\fakesvc.exe installed as an own-process
// service. Which services exist, and what they depend on, is the layout of
// the computer the bench stands for (BenchComputer): by default an IIS 6
// computer, whose W3SVC and MSFTPSVC depend on IISADMIN, with no IIS set-up
// key; the IIS 7.0 and IIS 10 computers add WAS (W3SVC then depends on it),
// FTPSVC, and HKLM\SOFTWARE\Microsoft\InetStp MajorVersion. The service
// control manager is Wine's, so its rules are real: a
// disabled service does not start (1058), starting a running one fails (1056),
// stopping a stopped one fails (1062), any control to a STOP_PENDING service
// fails (1061). Where Wine differs from Windows:
// - It enforces no dependency: W3SVC starts while IISADMIN is stopped, and
//   IISADMIN stops while W3SVC runs (Windows refuses that with 1051); nor does
//   it start one: W3SVC starts while WAS stays stopped (Windows starts WAS).
// - A stop request to a START_PENDING service fails with 1052 (Windows: 1061).
// - It ignores a control handler's error and kills a service that is asked to
//   stop a second time while it still runs; so the simulated service refuses
//   the stop only through its accepted controls (1052 on both systems).
// - StartService returns once the service program runs; a status read right
//   after gives START_PENDING, or already RUNNING when there is no delay.
//
// Every wait polls with a bound. Failures of the bench itself (a service that
// does not reach a state in time, a registry or service call that fails) throw
// std::runtime_error with a message that names the service and the step.

#include <windows.h>

#include <cstddef>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick::bench {

// Compare names by content: each translation unit may hold its own copy of
// these literals.
// Every service the bench can install; the IIS 6 computer's three come first.
inline constexpr const wchar_t* kBenchServiceNames[] = {L"IISADMIN", L"W3SVC", L"MSFTPSVC", L"WAS", L"FTPSVC"};
inline constexpr std::size_t kBenchServiceCount = std::size(kBenchServiceNames);
// The services of the IIS 6 computer.
inline constexpr const wchar_t* kServiceNames[] = {L"IISADMIN", L"W3SVC", L"MSFTPSVC"};
inline constexpr const wchar_t* kServiceDisplayNames[] = {
    L"IIS Admin Service", L"World Wide Web Publishing Service", L"FTP Publishing Service"};

// Start types after ResetServices on the IIS 6 computer: IISADMIN disabled (a
// computer whose web server is off), the other two started on demand. On the
// IIS 7.0 and 10 computers W3SVC and the FTP service are disabled instead, and
// IISADMIN and WAS started on demand.
inline constexpr DWORD kResetStartTypeIisAdmin = SERVICE_DISABLED;
inline constexpr DWORD kResetStartTypeOthers = SERVICE_DEMAND_START;

// The computers the bench can stand for.
enum class BenchComputer {
    Iis6,            // IISADMIN; W3SVC and MSFTPSVC depend on it; no InetStp key
    Iis70,           // IISADMIN, WAS, W3SVC (on WAS), MSFTPSVC (on IISADMIN); MajorVersion 7
    Iis10,           // IISADMIN (the compatibility feature), WAS, W3SVC (on WAS), FTPSVC; MajorVersion 10
    Iis10WithoutFtp, // WAS, W3SVC (on WAS); MajorVersion 10
};

// Bound of the waits the helpers below make on their own.
inline constexpr DWORD kServiceTimeoutMs = 20000;

// HKLM\SOFTWARE\TarnwickBench: StateLog (REG_SZ) names the file the services
// append their state changes to.
inline constexpr wchar_t kBenchKey[] = L"SOFTWARE\\TarnwickBench";
inline constexpr wchar_t kStateLogValue[] = L"StateLog";

// How one simulated service behaves. It reads this from the DWORD values of
// HKLM\SYSTEM\CurrentControlSet\Services\<NAME>\Parameters (StartDelayMs,
// StopDelayMs, HangStart, HangStop, RefuseStop, HoldDispatch) each time it
// starts, while a start is held (HangStart), and each time a control arrives.
struct ServiceBehaviour {
    DWORD startDelayMs = 0;  // time in START_PENDING before RUNNING
    DWORD stopDelayMs = 0;   // time in STOP_PENDING before STOPPED
    bool hangStart = false;  // stays START_PENDING until reset, or runs once cleared
    bool hangStop = false;   // a stop request leaves it STOP_PENDING until reset
    bool refuseStop = false; // does not accept the stop control (1052), stays up
    // The service program waits before it connects to the manager, so that
    // StartService itself blocks, until ReleaseDispatch (at most 9.5 s).
    bool holdDispatch = false;
};

// The services' state before a test, for ResetServices:
//   ResetServices(BenchSetup().Running(L"IISADMIN").Behaving(L"W3SVC", {3000}));
struct BenchSetup {
    // The computer the bench stands for (the IIS 6 one unless given).
    BenchSetup& On(BenchComputer layout);
    // Writes this MajorVersion to IIS's set-up key instead of the computer's own.
    BenchSetup& WithMajorVersion(DWORD version);
    // Starts `name` after the reset and waits until it is RUNNING; services
    // start in the computer's order (dependencies first) and before any
    // behaviour is written, so a setup never hangs on them. A started switch
    // (IISADMIN on IIS 6, else W3SVC and the FTP service) is set to automatic
    // first, as switching the web server on leaves it.
    BenchSetup& Running(const std::wstring& name);
    // Gives `name` this behaviour once the started services run.
    BenchSetup& Behaving(const std::wstring& name, const ServiceBehaviour& behaviour);

    BenchComputer computer = BenchComputer::Iis6;
    std::optional<DWORD> majorVersion;  // the computer's own when not given
    // Both in the order of kBenchServiceNames.
    ServiceBehaviour behaviours[kBenchServiceCount];
    bool running[kBenchServiceCount] = {};
};

// Whether the bench's service `name` exists now.
bool ServiceExists(const std::wstring& name);

// Records `fakesvcPath` (a Windows path) as the services' program, then
// resets the bench to the IIS 6 computer, creating its services or bringing
// their configuration back. Used once per session to prepare the Wine prefix.
void InstallServices(const std::wstring& fakesvcPath);

// Brings the services into a known state: ends every bench service that is
// not stopped through its quit event and waits until all are STOPPED, makes
// the services of `setup.computer` exist with their dependencies and reset
// start types (and no others), writes IIS's set-up key, writes the default
// behaviour, turns the state log off, removes the stand-in provider's
// configuration (HKLM\SOFTWARE\TarnwickBench\Provider), then applies `setup`.
void ResetServices(const BenchSetup& setup = {});

// Current state (SERVICE_STOPPED = 1 ... SERVICE_PAUSED = 7) and start type.
DWORD QueryState(const std::wstring& name);
DWORD QueryStartType(const std::wstring& name);

struct ServiceConfig {
    DWORD type = 0;
    DWORD startType = 0;
    std::wstring binaryPath;
    std::wstring displayName;
    // From the DependOnService registry value: Wine's QueryServiceConfig
    // always reports an empty list.
    std::vector<std::wstring> dependencies;
};
ServiceConfig QueryConfig(const std::wstring& name);

void SetStartType(const std::wstring& name, DWORD startType);

// Writes all five Parameters values of `name`. A running or paused service is
// interrogated afterwards, so that a change of refuseStop shows at once.
void SetBehaviour(const std::wstring& name, const ServiceBehaviour& behaviour);

// Polls until `name` is in `state`; false when `timeoutMs` passed first.
bool WaitForState(const std::wstring& name, DWORD state, DWORD timeoutMs = kServiceTimeoutMs);

// Ask the service control manager to start `name`, or to send it `control`
// (SERVICE_CONTROL_STOP, _PAUSE, ...), without waiting; the Win32 error, or
// ERROR_SUCCESS.
DWORD RequestStart(const std::wstring& name);
DWORD RequestControl(const std::wstring& name, DWORD control);

// Start (or pause) the service and wait until it is RUNNING (PAUSED); throw
// when the request fails or the state is not reached within kServiceTimeoutMs.
void StartAndWait(const std::wstring& name);
void PauseAndWait(const std::wstring& name);

// Signals the service's quit event (TarnwickBench_Quit_<NAME>): it reports
// STOPPED and ends whatever state it is in. Returns at once.
void SignalQuit(const std::wstring& name);

// Whether the program of `name` started with holdDispatch waits for its
// release now; and the release.
bool DispatchHeld(const std::wstring& name);
void ReleaseDispatch(const std::wstring& name);

// One line of the state log: "<ms>\t<NAME>\t<state>", where ms is a
// QueryPerformanceCounter reading in milliseconds (the clock of the stand-in
// provider's journal). A service writes the line before it reports the state,
// so a state a test has read is always in the log already.
struct StateChange {
    double ms = 0;
    std::string service;
    DWORD state = 0;
};

// Points the state log at `path` and empties that file; an empty path turns
// the log off.
void SetStateLog(const std::wstring& path);

// The state log's lines as written so far; empty when the file does not exist.
// Throws std::runtime_error on a malformed line.
std::vector<StateChange> ReadStateLog(const std::wstring& path);

}  // namespace tarnwick::bench
