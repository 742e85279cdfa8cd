#include "measure.h"

#include <psapi.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>

#include "program.h"
#include "provider_config.h"
#include "services.h"
#include "test_data.h"
#include "win32_raii.h"

namespace tarnwick::bench::perf {

namespace {

// Where the bench times something by looking at it, it looks every
// millisecond: finer than the driver's 20 ms, and still no busy loop competing
// with the measured program for the processor.
constexpr DWORD kFinePollMs = 1;
constexpr double kReadyTimeoutMs = 20000;
constexpr DWORD kJobTimeoutMs = 90000;

std::wstring JournalPath() { return WinBuildDir() + L"\\wine\\perf-journal.txt"; }
std::wstring StateLogPath() { return WinBuildDir() + L"\\wine\\perf-states.txt"; }

std::runtime_error Error(const std::string& what) { return std::runtime_error(what); }

UniqueHandle OpenForMeasuring(DWORD processId) {
    UniqueHandle process(
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, processId));
    if (!process) throw Error("cannot open the measured process");
    return process;
}

struct TopLevelSearch {
    DWORD processId;
    const std::wstring* caption;
    HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM param) {
    auto& search = *reinterpret_cast<TopLevelSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search.processId || !IsWindowVisible(window)) return TRUE;
    // GetWindowText reads another process's caption without sending it a
    // message, so a look never waits for a program that is busy starting.
    wchar_t text[256];
    const int length = GetWindowTextW(window, text, 256);
    wchar_t className[64];
    GetClassNameW(window, className, 64);
    if (std::wstring(text, static_cast<std::size_t>(std::max(length, 0))) == *search.caption &&
        std::wstring(className) != L"#32770") {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

HWND VisibleTopLevel(DWORD processId, const std::wstring& caption) {
    TopLevelSearch search{processId, &caption, nullptr};
    EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FocusOfThreadOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

bool IsStatusRead(const JournalEntry& entry, const wchar_t* service, std::optional<DWORD> value = {}) {
    if (entry.object != Utf8(service) || entry.member != "Status") return false;
    return !value || entry.result == "0x00000000 VT_I4:" + std::to_string(*value);
}

// The time of the first line at or after `fromMs` in which `service` reports `state`.
std::optional<double> StateReached(const std::vector<StateChange>& log, const char* service,
                                   DWORD state, double fromMs = 0) {
    for (const auto& change : log)
        if (change.service == service && change.state == state && change.ms >= fromMs) return change.ms;
    return std::nullopt;
}

// A service's own time in a pending state: from entering `pending` to reaching `final`.
double PendingTime(const std::vector<StateChange>& log, const char* service, DWORD pending,
                   DWORD final) {
    const auto entered = StateReached(log, service, pending);
    const auto left = entered ? StateReached(log, service, final, *entered) : std::nullopt;
    if (!left) throw Error(std::string("the state log lacks the pending time of ") + service);
    return *left - *entered;
}

ServiceBehaviour Delays(DWORD startDelayMs, DWORD stopDelayMs) {
    ServiceBehaviour behaviour;
    behaviour.startDelayMs = startDelayMs;
    behaviour.stopDelayMs = stopDelayMs;
    return behaviour;
}

// The /proc entry of the Unix process that runs `exe` under Wine (drive Z:
// maps the Unix root), found by its command line, whose first word is the
// program's Windows path; empty, with the reason in `why`, when there is none
// or /proc cannot be listed.
std::wstring UnixStatPath(const std::wstring& exe, std::string& why) {
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE) {
        why = "Z:\\proc cannot be listed, error " + std::to_string(GetLastError());
        return {};
    }
    std::wstring found;
    do {
        const std::wstring name = entry.cFileName;
        if (name.find_first_not_of(L"0123456789") != std::wstring::npos) continue;
        const std::string commandLine = ReadWholeFile(L"Z:\\proc\\" + name + L"\\cmdline").value_or(std::string());
        const std::string program = commandLine.substr(0, commandLine.find('\0'));
        if (!program.empty() && CompareStringOrdinal(std::wstring(program.begin(), program.end()).c_str(), -1,
                                                     exe.c_str(), -1, TRUE) == CSTR_EQUAL)
            found = L"Z:\\proc\\" + name + L"\\stat";
    } while (found.empty() && FindNextFileW(search, &entry));
    FindClose(search);
    if (found.empty()) why = "Z:\\proc lists no process running " + Utf8(exe);
    return found;
}

// utime + stime of /proc/<pid>/stat (fields 14 and 15, in 1/100 s); nothing
// when the entry cannot be read or has another format.
std::optional<double> UnixCpuMs(const std::wstring& statPath) {
    const std::string stat = ReadWholeFile(statPath).value_or(std::string());
    const std::size_t afterName = stat.rfind(')');
    if (afterName == std::string::npos) return std::nullopt;
    std::vector<std::string> fields;
    std::size_t start = afterName + 2;
    while (start < stat.size()) {
        const std::size_t end = std::min(stat.find(' ', start), stat.size());
        fields.push_back(stat.substr(start, end - start));
        start = end + 1;
    }
    if (fields.size() < 13) return std::nullopt;
    return (std::atof(fields[11].c_str()) + std::atof(fields[12].c_str())) * 10.0;
}

// The CPU time of one process over a sampled stretch: from /proc under Wine,
// else from GetProcessTimes. A reading that fails leaves the rate unmeasured,
// with the reason.
class CpuClock {
public:
    // The process `process` runs `exe` (a Windows path).
    CpuClock(HANDLE process, const std::wstring& exe) : process_(process), wine_(UnderWine()) {
        if (wine_) statPath_ = UnixStatPath(exe, why_);
    }
    // One of Wine's own programs in the system folder: under Wine only.
    static CpuClock WineProgram(const wchar_t* program) {
        wchar_t system[MAX_PATH];
        const UINT length = GetSystemDirectoryW(system, MAX_PATH);
        CpuClock clock(nullptr, std::wstring(system, length) + L"\\" + program);
        if (!clock.wine_) clock.why_ = "read only under Wine";
        return clock;
    }

    void Begin() { begin_ = Ms(); }
    CpuRate End(double windowMs) {
        const auto end = begin_ ? Ms() : std::nullopt;
        CpuRate rate;
        rate.source = wine_ ? "Linux's /proc" : "GetProcessTimes";
        if (begin_ && end) rate.msPerSecond = (*end - *begin_) * 1000.0 / windowMs;
        else rate.notMeasured = why_;
        return rate;
    }

private:
    std::optional<double> Ms() {
        if (!why_.empty()) return std::nullopt;
        if (wine_) {
            const auto ms = UnixCpuMs(statPath_);
            if (!ms) why_ = "cannot read " + Utf8(statPath_);
            return ms;
        }
        FILETIME created{}, ended{}, kernel{}, user{};
        if (!GetProcessTimes(process_, &created, &ended, &kernel, &user)) {
            why_ = "GetProcessTimes failed, error " + std::to_string(GetLastError());
            return std::nullopt;
        }
        const auto ticks = [](const FILETIME& time) {
            return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
        };
        return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;  // 100 ns units
    }

    HANDLE process_;
    bool wine_;
    std::wstring statPath_;
    std::string why_;
    std::optional<double> begin_;
};

}  // namespace

bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

ModuleList LoadedModules(HANDLE process) {
    ModuleList list;
    std::vector<HMODULE> modules(256);
    DWORD needed = 0;
    for (;;) {
        const auto bytes = static_cast<DWORD>(modules.size() * sizeof(HMODULE));
        if (!EnumProcessModulesEx(process, modules.data(), bytes, &needed, LIST_MODULES_ALL)) {
            list.notListed = "EnumProcessModulesEx failed, error " + std::to_string(GetLastError());
            return list;
        }
        if (needed <= bytes) break;
        modules.resize(needed / sizeof(HMODULE));
    }
    modules.resize(needed / sizeof(HMODULE));
    for (const HMODULE module : modules) {
        wchar_t path[MAX_PATH];
        const DWORD length = GetModuleFileNameExW(process, module, path, MAX_PATH);
        // Unloaded since the list was taken (COM frees a worker thread's
        // in-process servers when its apartment ends): no longer loaded.
        if (length == 0 && GetLastError() == ERROR_INVALID_HANDLE) continue;
        if (length == 0) {
            list.notListed = "GetModuleFileNameExW failed, error " + std::to_string(GetLastError());
            list.files.clear();
            return list;
        }
        list.files.emplace_back(path, length);
    }
    return list;
}

double NowMs() {
    LARGE_INTEGER counter{};
    LARGE_INTEGER frequency{};
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

StartupSample MeasureStartup(const StartupSubject& subject) {
    if (subject.waitsForDecision) SetJournal(JournalPath());

    StartupSample sample;
    const double launched = NowMs();
    const Program program = Program::Launch(L"", subject.exe);
    const UniqueHandle process = OpenForMeasuring(program.Id());

    HWND window = nullptr;
    HWND button = nullptr;
    double ready = 0;
    for (;;) {
        if (!window) {
            window = VisibleTopLevel(program.Id(), subject.caption);
            if (window) sample.shownMs = NowMs() - launched;
        }
        if (window && !button) button = FindWindowExW(window, nullptr, nullptr, subject.focusedButton.c_str());
        if (button && FocusOfThreadOf(window) == button) {
            ready = NowMs();
            break;
        }
        if (!program.Running() || NowMs() - launched > kReadyTimeoutMs)
            throw Error("the window of " + Utf8(subject.exe) + " did not become ready");
        Sleep(kFinePollMs);
    }

    // Showing the window already focuses "Start Web"; the program is ready once
    // the launch decision has read IISADMIN's status and kept the focus there.
    if (subject.waitsForDecision) {
        std::optional<double> decided;
        PollUntil(
            [&] {
                const auto journal = ReadJournal(JournalPath());
                for (const auto& entry : journal)
                    if (IsStatusRead(entry, L"IISADMIN")) decided = entry.ms;
                if (decided) sample.boundMs = journal.front().ms - launched;
                return decided.has_value();
            },
            static_cast<DWORD>(kReadyTimeoutMs));
        if (!decided) throw Error("tarnwick.exe did not read IISADMIN's status at launch");
        if (FocusOfThreadOf(window) != button) throw Error("the launch decision moved the focus away");
        ready = std::max(ready, *decided);
    }

    sample.ms = ready - launched;
    WaitForInputIdle(process.Get(), 10000);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (!GetProcessMemoryInfo(process.Get(), &memory, sizeof memory))
        throw Error("GetProcessMemoryInfo failed on the measured process");
    if (memory.PeakWorkingSetSize != 0)
        sample.peakWorkingSetKb = static_cast<double>(memory.PeakWorkingSetSize) / 1024.0;
    sample.modules = LoadedModules(process.Get());

    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    if (program.WaitForExit(20000) != 0u)
        throw Error(Utf8(subject.exe) + " did not end cleanly through its Close box");
    return sample;
}

SwitchSample MeasureSwitch(const SwitchJob& job, DWORD delayMs) {
    BenchSetup setup;
    for (const auto* name : kServiceNames) {
        setup.Behaving(name, Delays(delayMs, delayMs));
        if (!job.on) setup.Running(name);
    }
    ResetServices(setup);
    SetStateLog(StateLogPath());
    if (job.journal) SetJournal(JournalPath());

    SwitchSample sample;
    const double launched = NowMs();
    {
        const Program program = Program::Launch(job.arguments, job.exe);
        const auto status = program.WaitForExit(kJobTimeoutMs);
        sample.wallMs = NowMs() - launched;
        if (status != 0u) throw Error(Utf8(job.exe + L" " + job.arguments) + " failed or did not end");
    }

    const bool switched =
        job.on ? QueryState(L"IISADMIN") == SERVICE_RUNNING && QueryStartType(L"IISADMIN") == SERVICE_AUTO_START
               : QueryState(L"IISADMIN") == SERVICE_STOPPED && QueryState(L"W3SVC") == SERVICE_STOPPED &&
                     QueryStartType(L"IISADMIN") == SERVICE_DISABLED;
    if (!switched)
        throw Error(Utf8(job.exe + L" " + job.arguments) + " did not switch the services: IISADMIN state " +
                    std::to_string(QueryState(L"IISADMIN")) + ", start type " +
                    std::to_string(QueryStartType(L"IISADMIN")) + "; W3SVC state " +
                    std::to_string(QueryState(L"W3SVC")));

    // The job is done when its program ends: the awaited states must be in the
    // log by then, or the program did not wait for them.
    const auto log = ReadStateLog(StateLogPath());
    const double ended = launched + sample.wallMs;
    const auto reachedBy = [&](const char* service, DWORD state) {
        const auto reached = StateReached(log, service, state);
        if (!reached || *reached > ended)
            throw Error(Utf8(job.exe + L" " + job.arguments) + " ended before " + service + " reached state " +
                        std::to_string(state));
    };
    if (job.on) {
        reachedBy("IISADMIN", SERVICE_RUNNING);
    } else {
        reachedBy("W3SVC", SERVICE_STOPPED);
        reachedBy("IISADMIN", SERVICE_STOPPED);
    }

    // On the job's path: IISADMIN's start when switching on (W3SVC and MSFTPSVC
    // are asked to start, not waited for); W3SVC's stop, then IISADMIN's, when
    // switching off.
    sample.servicesMs = job.on ? PendingTime(log, "IISADMIN", SERVICE_START_PENDING, SERVICE_RUNNING)
                               : PendingTime(log, "W3SVC", SERVICE_STOP_PENDING, SERVICE_STOPPED) +
                                     PendingTime(log, "IISADMIN", SERVICE_STOP_PENDING, SERVICE_STOPPED);
    if (!job.journal) return sample;

    const auto journal = ReadJournal(JournalPath());
    if (journal.empty()) throw Error("the journal is empty");
    sample.launchToBindMs = journal.front().ms - launched;
    sample.lastCallToExitMs = launched + sample.wallMs - journal.back().ms;
    bool stopped[3] = {false, false, false};
    for (std::size_t i = 1; i < journal.size(); ++i) {
        const auto& entry = journal[i];
        bool request = entry.member == "SetInfo" || entry.member == "Start";
        for (std::size_t s = 0; s < 3; ++s)
            if (entry.member == "Stop" && entry.object == Utf8(kServiceNames[s]) && !stopped[s])
                request = stopped[s] = true;
        if (request) sample.requestsMs += entry.ms - journal[i - 1].ms;
    }

    const auto detect = [&](const wchar_t* service, DWORD state) {
        const auto reached = StateReached(log, Utf8(service).c_str(), state);
        if (!reached) throw Error("the state log lacks " + Utf8(service));
        for (const auto& entry : journal)
            if (entry.ms >= *reached && IsStatusRead(entry, service, state)) {
                sample.detectionMs.push_back(entry.ms - *reached);
                return;
            }
        throw Error("no status read saw " + Utf8(service) + " reach its state");
    };
    if (job.on) {
        detect(L"IISADMIN", SERVICE_RUNNING);
    } else {
        detect(L"W3SVC", SERVICE_STOPPED);
        detect(L"IISADMIN", SERVICE_STOPPED);
    }
    return sample;
}

namespace {

// The program's and the service manager's CPU time over the next `windowMs`.
CpuSample SampleCpu(HANDLE process, DWORD windowMs) {
    CpuClock cpu(process, TarnwickExe());
    CpuClock manager = CpuClock::WineProgram(L"services.exe");
    cpu.Begin();
    manager.Begin();
    const double from = NowMs();
    Sleep(windowMs);  // the sampled stretch, not a wait for something to happen
    CpuSample sample;
    sample.windowMs = NowMs() - from;
    sample.program = cpu.End(sample.windowMs);
    sample.manager = manager.End(sample.windowMs);
    sample.modules = LoadedModules(process);
    return sample;
}

}  // namespace

WaitingCost MeasureWaitingCost(DWORD startDelayMs, DWORD windowMs, bool journal) {
    ResetServices(BenchSetup().Behaving(L"IISADMIN", Delays(startDelayMs, 0)));
    SetStateLog(StateLogPath());
    if (journal) SetJournal(JournalPath());

    const Program program = Program::Launch(L"-auto");
    const UniqueHandle process = OpenForMeasuring(program.Id());
    // The wait has begun once IISADMIN reports START_PENDING: tarnwick.exe
    // asked for the start and reads its status from then on.
    if (!PollUntil([&] { return StateReached(ReadStateLog(StateLogPath()), "IISADMIN", SERVICE_START_PENDING).has_value(); },
                   kWindowTimeoutMs))
        throw Error("IISADMIN was not asked to start");

    const double from = NowMs();
    WaitingCost cost;
    static_cast<CpuSample&>(cost) = SampleCpu(process.Get(), windowMs);
    const double to = from + cost.windowMs;

    if (StateReached(ReadStateLog(StateLogPath()), "IISADMIN", SERVICE_RUNNING, 0).value_or(to + 1) <= to)
        throw Error("IISADMIN ran before the sampled stretch ended; lengthen its start delay");
    if (journal) {
        const auto journalEntries = ReadJournal(JournalPath());
        const auto reads = std::count_if(journalEntries.begin(), journalEntries.end(), [&](const JournalEntry& entry) {
            return entry.ms >= from && entry.ms <= to && IsStatusRead(entry, L"IISADMIN");
        });
        cost.statusReadsPerSecond = static_cast<double>(reads) * 1000.0 / cost.windowMs;
    }
    if (program.WaitForExit(kJobTimeoutMs) != 0u) throw Error("tarnwick.exe -auto did not switch on");
    return cost;
}

RepeatedStop MeasureRepeatedStop(DWORD stopDelayMs) {
    ResetServices(BenchSetup()
                      .Running(L"IISADMIN")
                      .Running(L"W3SVC")
                      .Running(L"MSFTPSVC")
                      .Behaving(L"IISADMIN", Delays(0, stopDelayMs)));
    SetStateLog(StateLogPath());
    SetJournal(JournalPath());
    {
        const Program program = Program::Launch(L"-auto");
        if (program.WaitForExit(kJobTimeoutMs) != 0u) throw Error("tarnwick.exe -auto did not switch off");
    }
    RepeatedStop result;
    for (const auto& entry : ReadJournal(JournalPath()))
        if (entry.object == "IISADMIN" && entry.member == "Stop") {
            ++result.stopRequests;
            if (entry.result != "0x00000000") ++result.refusedRequests;
        }
    result.stopPendingMs =
        PendingTime(ReadStateLog(StateLogPath()), "IISADMIN", SERVICE_STOP_PENDING, SERVICE_STOPPED);
    return result;
}

RefusedStopCost MeasureRefusedStopCost(DWORD windowMs) {
    ServiceBehaviour refusing;
    refusing.refuseStop = true;
    ResetServices(BenchSetup()
                      .Running(L"IISADMIN")
                      .Running(L"W3SVC")
                      .Running(L"MSFTPSVC")
                      .Behaving(L"IISADMIN", refusing));
    SetStateLog(StateLogPath());

    const Program program = Program::Launch(L"-auto");
    const UniqueHandle process = OpenForMeasuring(program.Id());
    // Once W3SVC has stopped, the program asks IISADMIN to stop until it does.
    if (!PollUntil([&] { return StateReached(ReadStateLog(StateLogPath()), "W3SVC", SERVICE_STOPPED).has_value(); },
                   kWindowTimeoutMs))
        throw Error("W3SVC did not stop");

    const RefusedStopCost cost = SampleCpu(process.Get(), windowMs);

    if (StateReached(ReadStateLog(StateLogPath()), "IISADMIN", SERVICE_STOP_PENDING).has_value())
        throw Error("IISADMIN began to stop while it should refuse");
    if (!program.Running()) throw Error("tarnwick.exe ended while IISADMIN still refused to stop");

    // IISADMIN gives in: the next Stop request stops it, and the program ends.
    SetBehaviour(L"IISADMIN", ServiceBehaviour{});
    if (program.WaitForExit(kJobTimeoutMs) != 0u) throw Error("tarnwick.exe -auto did not switch off");
    return cost;
}

}  // namespace tarnwick::bench::perf
