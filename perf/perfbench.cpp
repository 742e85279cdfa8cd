// Measures tarnwick.exe under Wine against the simulated IIS services and
// prints the results as Markdown (the body of docs/benchmarks.md):
//   perfbench.exe [--startup-runs N] [--switch-reps N] [--delay-ms N]
//                 [--startup-only yes] [--size NAME=BYTES]...
// The sizes of the executables come from the Linux side (stat). Nothing here
// asserts a figure: the targets are shown beside the results, met or missed.
// Exits with 1 when something could not be measured (the report says what and
// why).

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dll_report.h"
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

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names) text += (text.empty() ? "" : " ") + name;
    return text.empty() ? "none" : text;
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

// Tarnwick switches twice per repetition: without the stand-in provider's
// journal, as the peers switch (their ratios use these jobs), and with it, for
// the detection latency and where the overhead goes.
const std::string kTarnwick = "tarnwick.exe -auto";
const std::string kTarnwickJournal = "tarnwick.exe -auto, journal on";

struct SwitchFigures {
    std::vector<double> wall[2], services[2], overhead[2];  // [0] off, [1] on
    std::vector<double> detection, launchToBind, requests, lastCallToExit;
};

struct Results {
    std::vector<double> startup, floorStartup, shown, floorShown, bound, peakKb, floorPeakKb;
    std::optional<perf::DllReport> dlls, floorDlls;
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
    results.dlls = Attempt<perf::DllReport>("the image of tarnwick.exe", results.failures,
                                            [&] { return perf::DllReport(tarnwick.exe); });
    results.floorDlls = Attempt<perf::DllReport>("the image of floor.exe", results.failures,
                                                 [&] { return perf::DllReport(floor.exe); });
    for (int run = 0; run < options.warmUpRuns + options.startupRuns; ++run) {
        const auto ours = Attempt<perf::StartupSample>("start-up of tarnwick.exe", results.failures,
                                                       [&] { return perf::MeasureStartup(tarnwick); });
        const auto theirs = Attempt<perf::StartupSample>("start-up of the floor", results.failures,
                                                         [&] { return perf::MeasureStartup(floor); });
        if (!ours || !theirs) return;
        if (results.dlls) results.dlls->Seen("idle", ours->modules);
        if (results.floorDlls) results.floorDlls->Seen("idle", theirs->modules);
        if (run < options.warmUpRuns) continue;  // the first starts fill Wine's caches
        results.startup.push_back(ours->ms);
        results.shown.push_back(ours->shownMs);
        results.bound.push_back(ours->boundMs);
        if (ours->peakWorkingSetKb) results.peakKb.push_back(*ours->peakWorkingSetKb);
        results.floorStartup.push_back(theirs->ms);
        results.floorShown.push_back(theirs->shownMs);
        if (theirs->peakWorkingSetKb) results.floorPeakKb.push_back(*theirs->peakWorkingSetKb);
    }
}

void MeasureSwitching(const Options& options, Results& results) {
    std::fprintf(stderr, "perfbench: switching, %d repetitions\n", options.switchReps);
    const std::wstring here = ThisFolder();
    const std::wstring cmd = perf::SystemFolder() + L"cmd.exe";
    const auto script = [&](const wchar_t* name) { return L"/c \"" + here + name + L"\""; };
    results.switchers = {
        {kTarnwick, TarnwickExe(), L"-auto", L"-auto", false},
        {kTarnwickJournal, TarnwickExe(), L"-auto", L"-auto", true},
        {"sc", cmd, script(L"sc-on.cmd"), script(L"sc-off.cmd"), false},
        {"net", cmd, script(L"net-on.cmd"), script(L"net-off.cmd"), false},
    };
    // Each of Tarnwick's two kinds of job follows a peer's, so that neither
    // is always the first tarnwick.exe after the peers' cmd.exe runs.
    constexpr std::size_t kRunOrder[] = {0, 2, 1, 3};
    std::map<std::string, bool> failed;
    for (int rep = 0; rep < options.switchReps; ++rep)
        for (const std::size_t index : kRunOrder)
            for (const bool on : {true, false}) {
                const Switcher& switcher = results.switchers[index];
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
    // The rows say so too; listed here, the run also ends with status 1.
    for (const auto& [what, rate] : {std::pair{"while waiting", results.waiting ? &results.waiting->program : nullptr},
                                     std::pair{"while IISADMIN refuses to stop",
                                               results.refusedStop ? &results.refusedStop->program : nullptr}})
        if (rate && !rate->msPerSecond)
            results.failures.push_back(std::string("CPU time of tarnwick.exe ") + what + ": " + rate->notMeasured);
    if (!results.dlls) return;
    for (const auto* waiting : {&results.waiting, &results.waitingWithJournal})
        if (*waiting) results.dlls->Seen("switching on", (*waiting)->modules);
    if (results.refusedStop) results.dlls->Seen("switching off", results.refusedStop->modules);
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

std::string PerSecond(const perf::CpuRate& rate) {
    return rate.msPerSecond ? Ms(*rate.msPerSecond) + " per s" : "not measured (" + rate.notMeasured + ")";
}
// Where the program's figure came from; nothing when there is none.
std::string FromWhere(const perf::CpuRate& rate) {
    return rate.msPerSecond ? " (from " + rate.source + ")" : "";
}

// The DLLs of a report that are not Windows' own, apart from the bench's
// stand-in provider: loaded from another folder, or, never seen loaded, not in
// the system folder.
std::string NotWindowsOwn(const perf::DllReport& report) {
    const std::wstring provider = perf::StandInProviderFile();
    std::string foreign;
    for (const auto& dll : report.Dlls()) {
        const std::wstring name(dll.name.begin(), dll.name.end());
        const bool own = dll.folder.empty()
                             ? GetFileAttributesW((perf::SystemFolder() + name).c_str()) != INVALID_FILE_ATTRIBUTES
                             : !perf::WindowsOwnFolder(dll.folder).empty() || perf::SameName(dll.folder + name, provider);
        if (!own) foreign += (foreign.empty() ? "" : " ") + dll.name;
    }
    return foreign;
}

std::string DllSummary(const perf::DllReport& report) {
    std::vector<std::string> imported, delayed;
    std::size_t runTime = 0;
    for (const auto& dll : report.Dlls()) {
        if (dll.how == "imported") imported.push_back(dll.name);
        else if (dll.how == "delay-loaded") delayed.push_back(dll.name);
        else ++runTime;
    }
    return "imported: " + Joined(imported) + "; delay-loaded: " + Joined(delayed) + "; loaded at run time: " +
           (report.SeenAtAll() ? std::to_string(runTime) + " more" : "not measured");
}

void PrintSummary(const Options& options, const Results& results) {
    std::printf("## Results\n\n| Measure | Tarnwick | Compared with | Target | |\n|---|---|---|---|---|\n");

    PrintStartupRow("the window first seen visible", results.shown, results.floorShown, 1.15);
    PrintStartupRow("the window ready", results.startup, results.floorStartup, 1.25);

    for (const bool on : {true, false}) {
        const Summary ours = Summarise(FiguresOf(results, kTarnwick).overhead[on]);
        if (!ours.count) continue;
        const Summary journalled = Summarise(FiguresOf(results, kTarnwickJournal).overhead[on]);
        std::string compared;
        bool belowEveryPeer = true;
        for (const char* peer : {"sc", "net"}) {
            const Summary theirs = Summarise(FiguresOf(results, peer).overhead[on]);
            compared += std::string(compared.empty() ? "" : "; ") + peer + " " +
                        (theirs.count ? Ms(theirs.median) + " (" + Ratio(theirs.median / ours.median) + ")"
                                      : "not measured");
            belowEveryPeer = belowEveryPeer && theirs.count && ours.median < theirs.median;
        }
        std::printf("| Switching %s: overhead beyond the services' own time, median [min-max] of %zu; Tarnwick "
                    "with the stand-in provider's journal off, as the peers run (the ratios and the target use "
                    "this figure) | %s; journal on: %s | %s | under 20 ms and below every peer | %s |\n",
                    on ? "on" : "off", ours.count, MedianAndRange(ours).c_str(),
                    journalled.count ? MedianAndRange(journalled).c_str() : "not measured", compared.c_str(),
                    Verdict(ours.median < 20 && belowEveryPeer).c_str());
    }

    const Summary detection = Summarise(FiguresOf(results, kTarnwickJournal).detection);
    if (detection.count)
        std::printf("| Detection latency, median / max of %zu waits (from the journal, so with it on) | %s / %s | - | "
                    "median under 20 ms | %s |\n",
                    detection.count, Ms(detection.median).c_str(), Ms(detection.max).c_str(),
                    Verdict(detection.median < 20).c_str());
    if (results.waiting)
        std::printf("| CPU time while waiting for IISADMIN to start, journal off%s | tarnwick.exe: %s | "
                    "Wine's service manager (services.exe): %s | at most 50 ms per s | %s |\n",
                    FromWhere(results.waiting->program).c_str(), PerSecond(results.waiting->program).c_str(),
                    PerSecond(results.waiting->manager).c_str(),
                    results.waiting->program.msPerSecond
                        ? Verdict(*results.waiting->program.msPerSecond <= 50).c_str()
                        : "not measured");
    if (results.waitingWithJournal)
        std::printf("| Status reads while waiting (counted by the journal, so with it on) | %.0f per s | - | - | |\n",
                    results.waitingWithJournal->statusReadsPerSecond);
    if (results.repeatedStop)
        std::printf("| Stop requests to IISADMIN while it takes %s to stop, refused ones included (counted by the "
                    "journal, so with it on) | %zu, %zu of them refused | - | - | |\n",
                    Ms(results.repeatedStop->stopPendingMs).c_str(), results.repeatedStop->stopRequests,
                    results.repeatedStop->refusedRequests);
    if (results.refusedStop)
        std::printf("| CPU time while IISADMIN refuses to stop, over %.0f ms of repeated Stop requests, journal "
                    "off%s | tarnwick.exe: %s | Wine's service manager (services.exe): %s | - | |\n",
                    results.refusedStop->windowMs, FromWhere(results.refusedStop->program).c_str(),
                    PerSecond(results.refusedStop->program).c_str(), PerSecond(results.refusedStop->manager).c_str());

    const auto size = [&](const char* name) {
        const auto found = options.sizes.find(name);
        return found == options.sizes.end() ? -1.0 : std::atof(found->second.c_str());
    };
    // One row for each build of the program that was given: each architecture's, each compiler's.
    const double floorBytes = size("floor.exe");
    for (const auto& [name, bytes] : options.sizes) {
        if (name.rfind("tarnwick.exe", 0) != 0 || floorBytes < 0) continue;
        const double exeBytes = std::atof(bytes.c_str());
        std::printf("| Size of %s | %.0f bytes (%.1f KB) | floor %.0f bytes (%.1f KB) | at most 100 KB (102400 bytes) "
                    "| %s |\n",
                    name.c_str(), exeBytes, exeBytes / 1024, floorBytes, floorBytes / 1024,
                    Verdict(exeBytes <= 100 * 1024).c_str());
    }
    std::string foreign;
    if (results.dlls) {
        foreign = NotWindowsOwn(*results.dlls);
        std::string moments;
        for (const auto& moment : results.dlls->Moments()) moments += (moments.empty() ? "" : ", ") + moment;
        std::printf("| DLLs: imported, delay-loaded, and loaded at run time (seen loaded: %s; listed below) | %s | "
                    "floor: %s | only Windows' own (the bench's stand-in provider aside) | %s |\n",
                    moments.empty() ? "not measured" : moments.c_str(), DllSummary(*results.dlls).c_str(),
                    results.floorDlls ? DllSummary(*results.floorDlls).c_str() : "not measured",
                    results.dlls->SeenAtAll() ? Verdict(foreign.empty()).c_str() : "not measured");
    }
    const Summary peak = Summarise(results.peakKb);
    const Summary floorPeak = Summarise(results.floorPeakKb);
    if (!results.startup.empty())
        std::printf("| Peak working set, the most held resident at any moment from the start to an interactive "
                    "idle, median | %s | floor %s | - | |\n",
                    peak.count ? Format("%.0f KB", peak.median).c_str() : "not measured (GetProcessMemoryInfo answered 0)",
                    floorPeak.count ? (Format("%.0f KB", floorPeak.median) +
                                       (peak.count ? " (" + Ratio(peak.median / floorPeak.median) + ")" : ""))
                                          .c_str()
                                    : "not measured (GetProcessMemoryInfo answered 0)");
    if (!foreign.empty()) std::printf("\nDLLs not from the system folder: %s\n", foreign.c_str());
}

std::vector<std::string> AllFailures(const Results& results) {
    std::vector<std::string> failures = results.failures;
    for (const auto* report : {&results.dlls, &results.floorDlls})
        if (*report) failures.insert(failures.end(), (*report)->Failures().begin(), (*report)->Failures().end());
    return failures;
}

void PrintDlls(const Results& results) {
    if (!results.dlls) return;
    const auto& report = *results.dlls;
    std::printf("\n### DLLs of tarnwick.exe\n\nImported and delay-loaded: from the image's headers%s. Seen: "
                "the moments at which EnumProcessModulesEx listed the DLL in the process: idle (the interactive "
                "window waiting for input, after every start-up), switching on (waiting for IISADMIN to start), "
                "switching off (IISADMIN refusing to stop); \"loaded at run time\" are those the image does not "
                "name. The last column tells whether the floor had it loaded at its idle.\n\n",
                report.Image().delayFromDescriptors
                    ? " (GNU ld leaves the delay-import directory empty: the delay-loaded DLLs are those of the "
                      "delay-load descriptors found in the image)"
                    : "");
    std::printf("| DLL | How | Loaded from | Seen | In the floor too |\n|---|---|---|---|---|\n");
    const std::wstring provider = perf::StandInProviderFile();
    for (const auto& dll : report.Dlls()) {
        std::string seen;
        for (const auto& moment : dll.moments) seen += (seen.empty() ? "" : ", ") + moment;
        const std::wstring name(dll.name.begin(), dll.name.end());
        std::string from = dll.folder.empty() ? "-" : perf::WindowsOwnFolder(dll.folder);
        if (from.empty()) from = Utf8(dll.folder);
        if (!dll.folder.empty() && perf::SameName(dll.folder + name, provider))
            from += " (the bench's stand-in WinNT provider)";
        bool inFloor = false;
        if (results.floorDlls)
            for (const auto& theirs : results.floorDlls->Dlls())
                inFloor = inFloor || (!theirs.folder.empty() && perf::SameName(std::wstring(theirs.name.begin(), theirs.name.end()), name));
        std::printf("| %s | %s | %s | %s | %s |\n", dll.name.c_str(), dll.how.c_str(), from.c_str(),
                    seen.empty() ? "not seen loaded" : seen.c_str(),
                    results.floorDlls && results.floorDlls->SeenAtAll() ? (inFloor ? "yes" : "no") : "?");
    }
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
        std::printf("| Job | Wall time | Services' own time | Overhead [min-max] | Overhead vs Tarnwick's (journal off) |\n"
                    "|---|---|---|---|---|\n");
    }
    const auto& ours = FiguresOf(results, kTarnwick);
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
    const auto& journalled = FiguresOf(results, kTarnwickJournal);
    if (!journalled.launchToBind.empty())
        std::printf("\nWhere Tarnwick's overhead goes, from the journal (so with it on), medians over its %zu jobs: "
                    "process creation to the bind's return %s; the requests that make the service manager act "
                    "(SetInfo, Start, the first Stop of each service) %s; last directory call to the end of the "
                    "process %s.\n",
                    journalled.launchToBind.size(), Ms(Summarise(journalled.launchToBind).median).c_str(),
                    Ms(Summarise(journalled.requests).median).c_str(),
                    Ms(Summarise(journalled.lastCallToExit).median).c_str());
    if (results.waiting && results.waitingWithJournal) {
        const auto& withJournal = *results.waitingWithJournal;
        std::printf("\nCost of waiting: sampled over %.0f ms while IISADMIN takes %lu ms to start. With the "
                    "journal on: tarnwick.exe %s, Wine's service manager %s, over %.0f status reads per s",
                    results.waiting->windowMs, static_cast<unsigned long>(options.waitingStartDelayMs),
                    PerSecond(withJournal.program).c_str(), PerSecond(withJournal.manager).c_str(),
                    withJournal.statusReadsPerSecond);
        if (withJournal.program.msPerSecond && withJournal.statusReadsPerSecond > 0)
            std::printf(": %s of the program's CPU time per read and the pause after it",
                        Format("%.2f ms", *withJournal.program.msPerSecond / withJournal.statusReadsPerSecond).c_str());
        std::printf(".\n");
    }
    PrintDlls(results);

    const auto failures = AllFailures(results);
    if (!failures.empty()) {
        std::printf("\n### Not measured\n\n");
        for (const auto& failure : failures) std::printf("- %s\n", failure.c_str());
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
                     "[--startup-only yes] [--size NAME=BYTES]...\n");
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
        return AllFailures(results).empty() ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "perfbench: %s\n", e.what());
        return 1;
    }
}
