#pragma once

// The measurements of the performance bench, each run against the simulated
// services of the Wine prefix. Times are QueryPerformanceCounter readings in
// milliseconds, the clock of the services' state log and of the stand-in
// provider's journal. A measurement that cannot be made (a program that does
// not show its window, a job that does not switch the services) throws
// std::runtime_error: a figure is either measured or absent, never guessed.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace tarnwick::bench::perf {

double NowMs();

// Whether this program runs under Wine (its ntdll exports wine_get_version).
bool UnderWine();

// The files of the modules (the executable and its DLLs) loaded in a process
// at one moment, by EnumProcessModulesEx, or why they could not be listed.
struct ModuleList {
    std::vector<std::wstring> files;
    std::string notListed;
};
ModuleList LoadedModules(HANDLE process);

// A process's user + kernel time per second of a sampled stretch. Under Wine
// it is read from Linux's /proc only: Wine's GetProcessTimes does not advance
// for another process while it runs, so a figure from it would be a false 0.
struct CpuRate {
    std::optional<double> msPerSecond;  // nothing: not measured
    std::string source;                 // "Linux's /proc" or "GetProcessTimes"
    std::string notMeasured;            // why, when there is no figure
};

// What one program shows when it is ready for the user: a visible top-level
// window with this caption whose keyboard focus is on the button with this text.
struct StartupSubject {
    std::wstring exe;
    std::wstring caption;
    std::wstring focusedButton;
    // tarnwick.exe: the launch decision has read IISADMIN's status (journal).
    bool waitsForDecision = false;
};

struct StartupSample {
    double ms = 0;                // process creation to ready
    double shownMs = 0;           // process creation to the window first seen visible
    double boundMs = 0;           // tarnwick.exe: process creation to the bind's return
    // GetProcessMemoryInfo's PeakWorkingSetSize once the program waits for
    // input: the most it held resident at any moment since it started (under
    // Wine, Linux's VmHWM); nothing when the call answered 0.
    std::optional<double> peakWorkingSetKb;
    ModuleList modules;  // loaded at that moment
};

// One start, measured, then closed through its Close box. The services are
// left as they are (the caller resets them once: IISADMIN stopped).
StartupSample MeasureStartup(const StartupSubject& subject);

// Switching on (IISADMIN stopped, disabled) or off (all three running), done
// by one program started with `arguments`.
struct SwitchJob {
    std::wstring exe;
    std::wstring arguments;
    bool on = true;
    bool journal = false;  // tarnwick.exe: record the directory calls too
};

struct SwitchSample {
    double wallMs = 0;     // process creation to process end
    double servicesMs = 0; // the services' own pending time on the job's path
    // Only with the journal: from a service reaching the awaited state to the
    // end of the status read that saw it (the next request follows at once).
    std::vector<double> detectionMs;
    double launchToBindMs = 0;  // process creation to the bind's return
    double requestsMs = 0;      // SetInfo, Start and the first Stop of each service
    double lastCallToExitMs = 0;
};

// Every service that a job touches takes `delayMs` to start and to stop.
SwitchSample MeasureSwitch(const SwitchJob& job, DWORD delayMs);

// The CPU time of tarnwick.exe and of Wine's service manager over one sampled
// stretch of a run, and the DLLs the program had loaded then.
struct CpuSample {
    CpuRate program;      // tarnwick.exe
    CpuRate manager;      // Wine's service manager (services.exe), from /proc only
    double windowMs = 0;  // length of the sampled stretch
    ModuleList modules;   // loaded in tarnwick.exe inside the stretch
};

struct WaitingCost : CpuSample {
    double statusReadsPerSecond = 0;  // only with the journal, which records them
};

// tarnwick.exe -auto switching on while IISADMIN takes `startDelayMs` to start;
// the CPU time and the status reads are sampled over `windowMs` inside that wait.
WaitingCost MeasureWaitingCost(DWORD startDelayMs, DWORD windowMs, bool journal);

// Counted from the journal, which the run turns on.
struct RepeatedStop {
    std::size_t stopRequests = 0;     // every Stop request to IISADMIN, refused ones included
    std::size_t refusedRequests = 0;  // those that failed
    double stopPendingMs = 0;  // IISADMIN's own stop, from its state log
};

// tarnwick.exe -auto switching off while IISADMIN takes `stopDelayMs` to stop.
RepeatedStop MeasureRepeatedStop(DWORD stopDelayMs);

using RefusedStopCost = CpuSample;

// tarnwick.exe -auto switching off, without the journal, while IISADMIN
// refuses the stop control: the CPU time over `windowMs` of its repeated Stop
// requests; then IISADMIN accepts the control again and the program ends.
RefusedStopCost MeasureRefusedStopCost(DWORD windowMs);

}  // namespace tarnwick::bench::perf
