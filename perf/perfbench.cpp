// Measures tarnwick.exe under Wine against the simulated IIS services and
// prints the results as Markdown (the body of docs/benchmarks.md):
//   perfbench.exe [--startup-runs N] [--switch-reps N] [--delay-ms N]
//                 [--startup-only yes] [--size NAME=BYTES]... [--dlls NAME=LIST]...
// The sizes and blank-separated import lists of the executables come from the
// Linux side (stat, objdump). Nothing here asserts a figure: the targets are
// shown beside the results, met or missed. Exits with 1 when something could
// not be measured (the report says what and why).

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "measure.h"
#include "program.h"
#include "services.h"
#include "test_data.h"

namespace perf = tarnwick::bench::perf;
using tarnwick::bench::ResetServices;
using tarnwick::bench::TarnwickExe;
using tarnwick::bench::Utf8;

namespace {

struct Options {
    int startupRuns = 20;
    int warmUpRuns = 2;
    int switchReps = 5;
    bool startupOnly = false;  // for comparing builds: start-up and footprint only
    DWORD delayMs = 200;
    DWORD waitingStartDelayMs = 8000;
    DWORD waitingWindowMs = 5000;
    DWORD repeatedStopDelayMs = 1000;
    DWORD refusedStopWindowMs = 5000;
    std::map<std::string, std::string> sizes;  // executable name -> bytes
    std::map<std::string, std::string> dlls;   // executable name -> imported DLLs
};

struct Summary {
    std::size_t count = 0;
    double median = 0;
    double min = 0;
    double max = 0;
};

Summary Summarise(std::vector<double> values) {
    Summary summary;
    if (values.empty()) return summary;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    summary.count = n;
    summary.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    summary.min = values.front();
    summary.max = values.back();
    return summary;
}

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}
std::string Ms(double value) { return Format("%.1f ms", value); }
std::string Ratio(double value) { return Format("%.2fx", value); }
std::string MedianAndRange(const Summary& s) {
    return Ms(s.median) + " [" + Format("%.1f", s.min) + "-" + Format("%.1f", s.max) + "]";
}
std::string Verdict(bool met) { return met ? "met" : "**missed**"; }

std::wstring ThisFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring file(path, length);
    return file.substr(0, file.find_last_of(L'\\') + 1);
}

std::wstring SystemFolder() {
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    return std::wstring(path, length) + L"\\";
}

// The DLLs of a blank-separated list that the system folder does not hold.
std::string NotInSystemFolder(const std::string& list) {
    std::string missing;
    std::size_t start = 0;
    while (start < list.size()) {
        const std::size_t end = std::min(list.find(' ', start), list.size());
        const std::string dll = list.substr(start, end - start);
        start = end + 1;
        const std::wstring path = SystemFolder() + std::wstring(dll.begin(), dll.end());
        if (!dll.empty() && GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            missing += (missing.empty() ? "" : " ") + dll;
    }
    return missing;
}

// Runs `measure` and keeps what it measured; what cannot be measured is
// reported with the reason instead of ending the whole bench.
template <typename T>
std::optional<T> Attempt(const std::string& what, std::vector<std::string>& failures,
                         const std::function<T()>& measure) {
    try {
        return measure();
    } catch (const std::exception& e) {
        failures.push_back(what + ": " + e.what());
        return std::nullopt;
    }
}

// One way of switching the web server: tarnwick.exe or a peer's script.
struct Switcher {
    std::string name;
    std::wstring exe;
    std::wstring onArguments;
    std::wstring offArguments;
    bool journal;
};

struct SwitchFigures {
    std::vector<double> wall[2], services[2], overhead[2];  // [0] off, [1] on
    std::vector<double> detection, launchToBind, requests, lastCallToExit;
};

struct Results {
    std::vector<double> startup, floorStartup, shown, floorShown, bound, peakKb, floorPeakKb;
    std::vector<Switcher> switchers;
    std::map<std::string, SwitchFigures> switching;
    std::optional<perf::WaitingCost> waiting, waitingWithJournal;
    std::optional<perf::RepeatedStop> repeatedStop;
    std::optional<perf::RefusedStopCost> refusedStop;
    std::vector<std::string> failures;
};

const SwitchFigures& FiguresOf(const Results& results, const std::string& name) {
    static const SwitchFigures none;
    const auto found = results.switching.find(name);
    return found == results.switching.end() ? none : found->second;
}

// Start-up, interactive with IISADMIN stopped; the two programs take turns so
// that a disturbance of the machine hits both alike.
void MeasureStartups(const Options& options, Results& results) {
    std::fprintf(stderr, "perfbench: start-up, %d runs each\n", options.startupRuns);
    ResetServices();
    const perf::StartupSubject tarnwick{TarnwickExe(), L"Tarnwick", L"Start Web", true};
    const perf::StartupSubject floor{ThisFolder() + L"floor.exe", L"Floor", L"Button", false};
    for (int run = 0; run < options.warmUpRuns + options.startupRuns; ++run) {
        const auto ours = Attempt<perf::StartupSample>("start-up of tarnwick.exe", results.failures,
                                                       [&] { return perf::MeasureStartup(tarnwick); });
        const auto theirs = Attempt<perf::StartupSample>("start-up of the floor", results.failures,
                                                         [&] { return perf::MeasureStartup(floor); });
        if (!ours || !theirs) return;
        if (run < options.warmUpRuns) continue;  // the first starts fill Wine's caches
        results.startup.push_back(ours->ms);
        results.shown.push_back(ours->shownMs);
        results.bound.push_back(ours->boundMs);
        results.peakKb.push_back(ours->peakWorkingSetKb);
        results.floorStartup.push_back(theirs->ms);
        results.floorShown.push_back(theirs->shownMs);
        results.floorPeakKb.push_back(theirs->peakWorkingSetKb);
    }
}

void MeasureSwitching(const Options& options, Results& results) {
    std::fprintf(stderr, "perfbench: switching, %d repetitions\n", options.switchReps);
    const std::wstring here = ThisFolder();
    const std::wstring cmd = SystemFolder() + L"cmd.exe";
    const auto script = [&](const wchar_t* name) { return L"/c \"" + here + name + L"\""; };
    results.switchers = {
        {"tarnwick.exe -auto", TarnwickExe(), L"-auto", L"-auto", true},
        {"sc", cmd, script(L"sc-on.cmd"), script(L"sc-off.cmd"), false},
        {"net", cmd, script(L"net-on.cmd"), script(L"net-off.cmd"), false},
    };
    std::map<std::string, bool> failed;
    for (int rep = 0; rep < options.switchReps; ++rep)
        for (const auto& switcher : results.switchers)
            for (const bool on : {true, false}) {
                if (failed[switcher.name]) continue;
                const perf::SwitchJob job{switcher.exe, on ? switcher.onArguments : switcher.offArguments,
                                          on, switcher.journal};
                const auto sample = Attempt<perf::SwitchSample>(
                    std::string("switching ") + (on ? "on" : "off") + " with " + switcher.name,
                    results.failures, [&] { return perf::MeasureSwitch(job, options.delayMs); });
                if (!sample) {
                    failed[switcher.name] = true;
                    continue;
                }
                auto& figures = results.switching[switcher.name];
                figures.wall[on].push_back(sample->wallMs);
                figures.services[on].push_back(sample->servicesMs);
                figures.overhead[on].push_back(sample->wallMs - sample->servicesMs);
                figures.detection.insert(figures.detection.end(), sample->detectionMs.begin(),
                                         sample->detectionMs.end());
                figures.launchToBind.push_back(sample->launchToBindMs);
                figures.requests.push_back(sample->requestsMs);
                figures.lastCallToExit.push_back(sample->lastCallToExitMs);
            }
}

void MeasureWaiting(const Options& options, Results& results) {
    std::fprintf(stderr, "perfbench: cost of waiting\n");
    for (const bool journal : {false, true})
        (journal ? results.waitingWithJournal : results.waiting) = Attempt<perf::WaitingCost>(
            journal ? "status reads while waiting" : "CPU time while waiting", results.failures, [&] {
                return perf::MeasureWaitingCost(options.waitingStartDelayMs, options.waitingWindowMs, journal);
            });
    results.repeatedStop = Attempt<perf::RepeatedStop>("repeated stop", results.failures, [&] {
        return perf::MeasureRepeatedStop(options.repeatedStopDelayMs);
    });
    results.refusedStop = Attempt<perf::RefusedStopCost>("CPU time while IISADMIN refuses to stop", results.failures,
                                                         [&] { return perf::MeasureRefusedStopCost(options.refusedStopWindowMs); });
}

// One start-up row: the median against the floor's, and the target ratio.
void PrintStartupRow(const char* until, const std::vector<double>& mine, const std::vector<double>& floor,
                     double target) {
    const Summary program = Summarise(mine);
    const Summary reference = Summarise(floor);
    if (!program.count || !reference.count) return;
    const double ratio = program.median / reference.median;
    std::printf("| Start-up to %s, median [min-max] of %zu | %s | floor %s: %s | within %.2fx the floor | %s |\n",
                until, program.count, MedianAndRange(program).c_str(), MedianAndRange(reference).c_str(),
                Ratio(ratio).c_str(), target, Verdict(ratio <= target).c_str());
}

void PrintSummary(const Options& options, const Results& results) {
    std::printf("## Results\n\n| Measure | Tarnwick | Compared with | Target | |\n|---|---|---|---|---|\n");

    PrintStartupRow("the window first seen visible", results.shown, results.floorShown, 1.15);
    PrintStartupRow("the window ready", results.startup, results.floorStartup, 1.25);

    for (const bool on : {true, false}) {
        const Summary ours = Summarise(FiguresOf(results, "tarnwick.exe -auto").overhead[on]);
        if (!ours.count) continue;
        std::string compared;
        bool belowEveryPeer = true;
        for (const char* peer : {"sc", "net"}) {
            const Summary theirs = Summarise(FiguresOf(results, peer).overhead[on]);
            compared += std::string(compared.empty() ? "" : "; ") + peer + " " +
                        (theirs.count ? Ms(theirs.median) + " (" + Ratio(theirs.median / ours.median) + ")"
                                      : "not measured");
            belowEveryPeer = belowEveryPeer && theirs.count && ours.median < theirs.median;
        }
        std::printf("| Switching %s: overhead beyond the services' own time, median of %zu | %s | %s | under 20 ms and below every peer | %s |\n",
                    on ? "on" : "off", ours.count, Ms(ours.median).c_str(), compared.c_str(),
                    Verdict(ours.median < 20 && belowEveryPeer).c_str());
    }

    const Summary detection = Summarise(FiguresOf(results, "tarnwick.exe -auto").detection);
    if (detection.count)
        std::printf("| Detection latency, median / max of %zu waits | %s / %s | - | median under 20 ms | %s |\n",
                    detection.count, Ms(detection.median).c_str(), Ms(detection.max).c_str(),
                    Verdict(detection.median < 20).c_str());
    if (results.waiting)
        std::printf("| CPU time while waiting%s | %s per s waited | - | - | |\n",
                    results.waiting->cpuFromProc ? " (from Linux's /proc)" : "",
                    Ms(results.waiting->cpuMsPerSecond).c_str());
    if (results.waitingWithJournal)
        std::printf("| Status reads while waiting | %.0f per s | - | - | |\n",
                    results.waitingWithJournal->statusReadsPerSecond);
    if (results.repeatedStop)
        std::printf("| Stop requests to IISADMIN while it takes %s to stop | %zu (%zu refused) | - | - | |\n",
                    Ms(results.repeatedStop->stopPendingMs).c_str(), results.repeatedStop->stopRequests,
                    results.repeatedStop->refusedRequests);

    if (results.refusedStop) {
        const auto& refused = *results.refusedStop;
        std::printf("| CPU time while IISADMIN refuses to stop%s | %s per s | service manager: %s | - | |\n",
                    refused.cpuFromProc ? " (from Linux's /proc)" : "", Ms(refused.cpuMsPerSecond).c_str(),
                    refused.managerCpuMsPerSecond < 0 ? "not found" : (Ms(refused.managerCpuMsPerSecond) + " per s").c_str());
    }

    const auto size = [&](const char* name) {
        const auto found = options.sizes.find(name);
        return found == options.sizes.end() ? -1.0 : std::atof(found->second.c_str());
    };
    const double exeBytes = size("tarnwick.exe");
    const double floorBytes = size("floor.exe");
    if (exeBytes >= 0 && floorBytes >= 0)
        std::printf("| Size of the executable | %.0f bytes (%.1f KB) | floor %.0f bytes (%.1f KB) | under 200 KB | %s |\n",
                    exeBytes, exeBytes / 1024, floorBytes, floorBytes / 1024, Verdict(exeBytes < 200 * 1024).c_str());
    std::string foreign;
    if (options.dlls.count("tarnwick.exe")) {
        foreign = NotInSystemFolder(options.dlls.at("tarnwick.exe"));
        std::printf("| DLLs imported | %s | floor: %s | only Windows' own | %s |\n",
                    options.dlls.at("tarnwick.exe").c_str(),
                    options.dlls.count("floor.exe") ? options.dlls.at("floor.exe").c_str() : "?",
                    Verdict(foreign.empty()).c_str());
    }
    const Summary peak = Summarise(results.peakKb);
    const Summary floorPeak = Summarise(results.floorPeakKb);
    if (peak.count && floorPeak.count)
        std::printf("| Peak working set at an interactive idle, median | %.0f KB | floor %.0f KB (%s) | - | |\n",
                    peak.median, floorPeak.median, Ratio(peak.median / floorPeak.median).c_str());
    if (!foreign.empty()) std::printf("\nImports not found in the system folder: %s\n", foreign.c_str());
}

void PrintDetails(const Options& options, const Results& results) {
    if (!results.startup.empty() && !results.floorStartup.empty())
        std::printf("\n### Start-up, medians\n\nTarnwick: window first seen visible after %s, bind returned "
                    "after %s, ready (launch decision made, focus on \"Start Web\") after %s. Floor: window "
                    "first seen visible after %s, ready after %s.\n",
                    Ms(Summarise(results.shown).median).c_str(), Ms(Summarise(results.bound).median).c_str(),
                    Ms(Summarise(results.startup).median).c_str(),
                    Ms(Summarise(results.floorShown).median).c_str(),
                    Ms(Summarise(results.floorStartup).median).c_str());

    if (!results.switchers.empty()) {
        std::printf("\n### Switching, medians per job\n\nEvery service takes %lu ms to start and to stop.\n\n",
                    static_cast<unsigned long>(options.delayMs));
        std::printf("| Job | Wall time | Services' own time | Overhead [min-max] | Overhead vs Tarnwick's |\n"
                    "|---|---|---|---|---|\n");
    }
    const auto& ours = FiguresOf(results, "tarnwick.exe -auto");
    for (const bool on : {true, false})
        for (const auto& switcher : results.switchers) {
            const auto& figures = FiguresOf(results, switcher.name);
            const Summary overhead = Summarise(figures.overhead[on]);
            if (!overhead.count) continue;
            const Summary reference = Summarise(ours.overhead[on]);
            std::printf("| %s %s | %s | %s | %s | %s |\n", on ? "on:" : "off:", switcher.name.c_str(),
                        Ms(Summarise(figures.wall[on]).median).c_str(),
                        Ms(Summarise(figures.services[on]).median).c_str(), MedianAndRange(overhead).c_str(),
                        reference.count ? Ratio(overhead.median / reference.median).c_str() : "-");
        }
    if (!ours.launchToBind.empty())
        std::printf("\nWhere Tarnwick's overhead goes, medians over its %zu jobs: process creation to the bind's "
                    "return %s; the requests that make the service manager act (SetInfo, Start, the first Stop "
                    "of each service) %s; last directory call to the end of the process %s.\n",
                    ours.launchToBind.size(), Ms(Summarise(ours.launchToBind).median).c_str(),
                    Ms(Summarise(ours.requests).median).c_str(),
                    Ms(Summarise(ours.lastCallToExit).median).c_str());
    if (results.waiting && results.waitingWithJournal)
        std::printf("\nCost of waiting: sampled over %.0f ms while IISADMIN takes %lu ms to start. With the "
                    "journal on, the CPU time is %s per s.\n",
                    results.waiting->windowMs, static_cast<unsigned long>(options.waitingStartDelayMs),
                    Ms(results.waitingWithJournal->cpuMsPerSecond).c_str());

    if (!results.failures.empty()) {
        std::printf("\n### Not measured\n\n");
        for (const auto& failure : results.failures) std::printf("- %s\n", failure.c_str());
    }
}

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    if (argc % 2 == 0) return false;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring name = argv[i];
        const std::string value = Utf8(argv[i + 1]);
        const auto pair = [&](std::map<std::string, std::string>& into) {
            const auto equals = value.find('=');
            if (equals != std::string::npos) into[value.substr(0, equals)] = value.substr(equals + 1);
            return equals != std::string::npos;
        };
        if (name == L"--startup-runs") options.startupRuns = std::max(1, std::atoi(value.c_str()));
        else if (name == L"--switch-reps") options.switchReps = std::max(1, std::atoi(value.c_str()));
        else if (name == L"--delay-ms") options.delayMs = static_cast<DWORD>(std::atoi(value.c_str()));
        else if (name == L"--startup-only") options.startupOnly = value == "yes";
        else if (name == L"--size") { if (!pair(options.sizes)) return false; }
        else if (name == L"--dlls") { if (!pair(options.dlls)) return false; }
        else return false;
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: perfbench.exe [--startup-runs N] [--switch-reps N] [--delay-ms N] "
                     "[--startup-only yes] [--size NAME=BYTES]... [--dlls NAME=LIST]...\n");
        return 2;
    }
    try {
        Results results;
        MeasureStartups(options, results);
        if (!options.startupOnly) {
            MeasureSwitching(options, results);
            MeasureWaiting(options, results);
        }
        ResetServices();
        PrintSummary(options, results);
        PrintDetails(options, results);
        return results.failures.empty() ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "perfbench: %s\n", e.what());
        return 1;
    }
}
