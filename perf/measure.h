#pragma once

// The measurements of the performance bench, each run against the simulated
// services of the Wine prefix. Times are QueryPerformanceCounter readings in
// milliseconds, the clock of the services' state log and of the stand-in
// provider's journal. A measurement that cannot be made (a program that does
// not show its window, a job that does not switch the services) throws
// std::runtime_error: a figure is either measured or absent, never guessed.

#include <windows.h>

#include <string>
#include <vector>

namespace tarnwick::bench::perf {

double NowMs();

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
    double peakWorkingSetKb = 0;  // once the program waits for input
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

struct WaitingCost {
    double cpuMsPerSecond = 0;    // user + kernel time of tarnwick.exe per second waited
    double statusReadsPerSecond = 0;
    double windowMs = 0;          // length of the sampled stretch
    bool cpuFromProc = false;     // read from Linux's /proc: Wine's GetProcessTimes had none
};

// tarnwick.exe -auto switching on while IISADMIN takes `startDelayMs` to start;
// the CPU time and the status reads are sampled over `windowMs` inside that wait.
WaitingCost MeasureWaitingCost(DWORD startDelayMs, DWORD windowMs, bool journal);

struct RepeatedStop {
    std::size_t stopRequests = 0;
    std::size_t refusedRequests = 0;
    double stopPendingMs = 0;  // IISADMIN's own stop, from its state log
};

// tarnwick.exe -auto switching off while IISADMIN takes `stopDelayMs` to stop.
RepeatedStop MeasureRepeatedStop(DWORD stopDelayMs);

struct RefusedStopCost {
    double cpuMsPerSecond = 0;         // tarnwick.exe, user + kernel time per second sampled
    double managerCpuMsPerSecond = -1; // Wine's service manager (services.exe); -1: not found in /proc
    double windowMs = 0;
    bool cpuFromProc = false;
};

// tarnwick.exe -auto switching off while IISADMIN refuses the stop control:
// the CPU time over `windowMs` of its repeated Stop requests; then IISADMIN
// accepts the control again and the program ends.
RefusedStopCost MeasureRefusedStopCost(DWORD windowMs);

}  // namespace tarnwick::bench::perf
