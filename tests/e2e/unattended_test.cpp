// The real tarnwick.exe in a window station nobody sees, as a scheduled task
// run whether the user is logged on or not: no window, no box that would wait
// for ever, the outcome in the exit status and the reports in the event log.
// Wine keeps no event log, and nobody could look at that window station, so
// the suite reads Wine's debug output, which unattended_test.sh sends to a
// file, each line headed by the process and thread that wrote it:
// - ReportEvent: an "advapi" fixme line with the event's type and id, then
//   an "eventlog" line with its text, both from the reporting thread;
// - ShutdownBlockReasonCreate: a "graphics" fixme line with its reason;
// - the "win" channel: each window created (with its parent and style), shown
//   or moved with SWP_SHOWWINDOW.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

#include "held_mutex.h"
#include "program.h"
#include "provider_config.h"
#include "resource_ids.h"
#include "services.h"
#include "switching.h"
#include "test_data.h"

namespace tarnwick::bench {
namespace {

// A window station other than WinSta0: Wine, like Windows, shows none of it.
constexpr wchar_t kUnseenDesktop[] = L"TarnwickUnattended\\Default";

std::wstring DebugOutput() { return WinBuildDir() + L"\\wine\\unattended-debug.txt"; }

// "pid:tid:class:channel:function rest" (WINEDEBUG's +pid).
struct DebugLine {
    unsigned long process = 0;
    std::string thread, channel, function, rest;
};

// The lines `process` wrote from `offset` on.
std::vector<DebugLine> LinesOf(DWORD process, std::size_t offset) {
    static const std::regex format(
        R"(^([0-9a-f]+):([0-9a-f]+):(?:fixme|err|warn|trace):(\w+):(\w+) ?(.*)$)");
    const std::string output = ReadWholeFile(DebugOutput()).value_or(std::string());
    std::istringstream text(output.substr(std::min(offset, output.size())));
    std::vector<DebugLine> lines;
    std::string line;
    std::smatch fields;
    while (std::getline(text, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!std::regex_match(line, fields, format)) continue;
        DebugLine parsed{std::stoul(fields[1], nullptr, 16), fields[2], fields[3], fields[4], fields[5]};
        if (parsed.process == process) lines.push_back(std::move(parsed));
    }
    return lines;
}

// The text of the first L"..." in `text`, as Wine writes a wide string
// (debugstr_w: \n, \r, \t, \", \\ and \XXXX escaped); nullopt when there is
// none or Wine shortened it.
std::optional<std::string> WideString(const std::string& text) {
    std::size_t at = text.find("L\"");
    if (at == std::string::npos) return std::nullopt;
    std::string value;
    for (at += 2; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '"')
            return text.compare(at + 1, 3, "...") == 0 ? std::nullopt
                                                       : std::optional<std::string>(value);
        if (c != '\\' || at + 1 >= text.size()) {
            value += c;
            continue;
        }
        const char escaped = text[++at];
        if (escaped == 'n')
            value += '\n';
        else if (escaped == 'r')
            value += '\r';
        else if (escaped == 't')
            value += '\t';
        else if (escaped == '"' || escaped == '\\')
            value += escaped;
        else if (std::isxdigit(static_cast<unsigned char>(escaped)) && at + 3 < text.size()) {
            const unsigned long code = std::stoul(text.substr(at, 4), nullptr, 16);
            value += code < 0x80 ? std::string(1, static_cast<char>(code))
                                 : Utf8(std::wstring(1, static_cast<wchar_t>(code)));
            at += 3;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

struct Event {
    unsigned type = 0;  // EVENTLOG_ERROR_TYPE, _WARNING_TYPE, _INFORMATION_TYPE
    unsigned id = 0;
    std::optional<std::string> text;
};

// The events `lines` report: "ReportEventW (HANDLE,TYPE,CATEGORY,ID,...)",
// then the text from the same thread.
std::vector<Event> Events(const std::vector<DebugLine>& lines) {
    std::vector<Event> events;
    std::map<std::string, std::size_t> waiting;  // thread -> its event without text
    for (const DebugLine& line : lines) {
        if (line.function != "ReportEventW") continue;
        if (line.channel == "advapi") {
            unsigned type = 0, category = 0, id = 0;
            if (std::sscanf(line.rest.c_str(), "(%*[^,],%x,%x,%x,", &type, &category, &id) != 3)
                continue;
            waiting[line.thread] = events.size();
            events.push_back({type, id, std::nullopt});
        } else if (line.channel == "eventlog" && waiting.count(line.thread)) {
            events[waiting[line.thread]].text = WideString(line.rest);
            waiting.erase(line.thread);
        }
    }
    return events;
}

// The reasons given to ShutdownBlockReasonCreate.
std::vector<std::optional<std::string>> BlockReasons(const std::vector<DebugLine>& lines) {
    std::vector<std::optional<std::string>> reasons;
    for (const DebugLine& line : lines)
        if (line.function == "ShutdownBlockReasonCreate") reasons.push_back(WideString(line.rest));
    return reasons;
}

// The top-level windows that were made visible: created with WS_VISIBLE,
// shown with anything but SW_HIDE, or moved with SWP_SHOWWINDOW.
std::set<std::string> ShownWindows(const std::vector<DebugLine>& lines) {
    static const std::regex created(R"(style=([0-9a-f]+) .* parent=0+ )");
    static const std::regex made(R"(^hwnd (0x[0-9a-f]+) cs )");
    static const std::regex shown(R"(^hwnd=(0x[0-9a-f]+), cmd=(\d+))");
    static const std::regex placed(R"(^hwnd (0x[0-9a-f]+),.* flags ([0-9a-f]+))");
    std::map<std::string, bool> creating;  // thread -> a top-level window's style had WS_VISIBLE
    std::set<std::string> topLevel, visible;
    std::smatch fields;
    for (const DebugLine& line : lines) {
        if (line.channel != "win") continue;
        if (line.function == "WIN_CreateWindowEx" && std::regex_search(line.rest, fields, created)) {
            creating[line.thread] = (std::stoul(fields[1], nullptr, 16) & WS_VISIBLE) != 0;
        } else if (line.function == "NtUserCreateWindowEx" && creating.count(line.thread) &&
                   std::regex_search(line.rest, fields, made)) {
            topLevel.insert(fields[1]);
            if (creating[line.thread]) visible.insert(fields[1]);
            creating.erase(line.thread);
        } else if (line.function == "show_window" && std::regex_search(line.rest, fields, shown)) {
            if (topLevel.count(fields[1]) && fields[2] != "0") visible.insert(fields[1]);
        } else if (line.function == "NtUserSetWindowPos" &&
                   std::regex_search(line.rest, fields, placed)) {
            if (topLevel.count(fields[1]) && (std::stoul(fields[2], nullptr, 16) & SWP_SHOWWINDOW))
                visible.insert(fields[1]);
        }
    }
    return visible;
}

// What the system says about `code`, as the reports quote it.
std::string SystemText(DWORD code) {
    wchar_t text[512] = L"";
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  code, 0, text, 512, nullptr);
    while (length &&
           (text[length - 1] == L'\n' || text[length - 1] == L'\r' || text[length - 1] == L' '))
        --length;
    return Utf8(std::wstring(text, length));
}

std::size_t DebugOutputSize() { return ReadWholeFile(DebugOutput()).value_or(std::string()).size(); }

TEST(Unattended, NoBoxWaitsTheStatusTellsAndTheReportIsAnEvent) {
    ASSERT_TRUE(Exists(DebugOutput())) << "run this suite through unattended_test.sh";
    struct Case {
        const char* what;
        const wchar_t* arguments;
        std::function<void()> setUp;
        DWORD status;
        unsigned eventType;  // 0: no event
        std::string eventText;  // the whole of it
        DWORD switchedTo = 0;   // SERVICE_RUNNING or SERVICE_STOPPED; 0: nothing changed
    };
    HeldMutex held;
    const Case cases[] = {
        // A switch leaves one record of what it switched.
        {"switching on", L"-auto", [] { ResetServices(); }, 0, EVENTLOG_INFORMATION_TYPE,
         "Tarnwick switched the IIS services on: IISADMIN, W3SVC, MSFTPSVC.", SERVICE_RUNNING},
        {"switching off with -off", L"-off",
         [] { ResetServices(BenchSetup().Running(L"IISADMIN").Running(L"W3SVC").Running(L"MSFTPSVC")); },
         0, EVENTLOG_INFORMATION_TYPE,
         "Tarnwick switched the IIS services off: IISADMIN, W3SVC, MSFTPSVC.", SERVICE_STOPPED},
        {"nothing to do without an argument that switches", L"", [] { ResetServices(); }, 0,
         EVENTLOG_INFORMATION_TYPE,
         "Tarnwick was started without -on, -off or -auto where nobody can see its window (as a scheduled task, "
         "for example), so there was nothing for it to do. Nothing was changed. To switch the IIS services "
         "unattended, start tarnwick.exe -on, -off or -auto."},
        {"a strict failure", L"-auto",
         [] {
             ResetServices();
             InjectBindFault(static_cast<HRESULT>(0x80070035));
         },
         1, EVENTLOG_ERROR_TYPE,
         "Error 0x80070035: " + SystemText(0x80070035) +
             "\n\nThe IIS services were not switched. Tarnwick will close."},
        {"IISADMIN neither stopped nor running", L"-auto",
         [] {
             ServiceBehaviour hanging;
             hanging.hangStart = true;
             ResetServices(BenchSetup().Behaving(L"IISADMIN", hanging));
             SetStartType(L"IISADMIN", SERVICE_DEMAND_START);
             if (RequestStart(L"IISADMIN") != ERROR_SUCCESS || !WaitForState(L"IISADMIN", SERVICE_START_PENDING))
                 throw std::runtime_error("IISADMIN did not start to start");
         },
         1, EVENTLOG_WARNING_TYPE,
         "IISADMIN was neither stopped nor running (it was starting, stopping or paused), so Tarnwick could not "
         "tell which way to switch. Nothing was changed."},
        {"another program switching", L"-auto",
         [&] {
             ResetServices();
             held = HoldMutex(kSwitchingMutexName);
         },
         3, EVENTLOG_INFORMATION_TYPE,
         "Another Tarnwick is switching the IIS services. Nothing was changed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.setUp();
        const std::wstring journal = WinBuildDir() + L"\\wine\\journal-unattended.txt";
        SetJournal(journal);
        const std::size_t offset = DebugOutputSize();
        DWORD process = 0;
        {
            const Program program = Program::Launch(c.arguments, TarnwickExe(), kUnseenDesktop);
            process = program.Id();
            // A box would wait for a user who is not there.
            EXPECT_EQ(program.WaitForExit(), c.status);
        }
        held.Reset();
        const std::vector<DebugLine> lines = LinesOf(process, offset);
        ASSERT_FALSE(lines.empty()) << "nothing of the program in Wine's debug output";
        // Nobody could see a window there, nor close one.
        EXPECT_TRUE(ShownWindows(lines).empty()) << "a window was shown where nobody sees it";

        const std::vector<Event> events = Events(lines);
        if (c.eventType == 0) {
            EXPECT_TRUE(events.empty()) << events.size() << " events";
        } else {
            ASSERT_EQ(events.size(), 1u);
            EXPECT_EQ(events[0].type, c.eventType);
            EXPECT_EQ(events[0].id, static_cast<unsigned>(TARNWICK_EVENT_REPORT));
            EXPECT_EQ(events[0].text, c.eventText);
        }
        // A switch holds a log-off back, with the reason Windows shows.
        const auto reasons = BlockReasons(lines);
        if (c.switchedTo != 0) {
            EXPECT_FALSE(reasons.empty()) << "no reason given for holding a log-off back";
            for (const auto& reason : reasons)
                EXPECT_EQ(reason, std::string("Switching the IIS services"));
            EXPECT_EQ(QueryState(L"IISADMIN"), c.switchedTo);
            EXPECT_TRUE(WaitForState(L"W3SVC", c.switchedTo));
        } else {
            EXPECT_TRUE(reasons.empty()) << "a log-off held back while nothing was switched";
            // Nothing was changed.
            for (const auto& entry : ReadJournal(journal)) {
                EXPECT_NE(entry.kind, "put") << entry.object;
                EXPECT_TRUE(entry.member != "Start" && entry.member != "Stop") << entry.member;
            }
        }
        SetJournal(L"");
    }
}

// On the desktop the test sees, so that it reaches the window: a session that
// ends while a sequence runs leaves a warning behind.
TEST(Unattended, AnEndOfSessionMidSwitchIsRecordedAsAWarning) {
    ASSERT_TRUE(Exists(DebugOutput())) << "run this suite through unattended_test.sh";
    ServiceBehaviour held;
    held.holdDispatch = true;  // the sequence waits in IISADMIN's Start
    ResetServices(BenchSetup().Behaving(L"IISADMIN", held));
    const std::size_t offset = DebugOutputSize();
    DWORD process = 0;
    {
        const Program program = Program::Launch(L"-auto");
        process = program.Id();
        HWND window = nullptr;  // found by its class, which asks nothing of its thread
        const bool midSwitch =
            PollUntil([&] { return (window = FindWindowW(L"Tarnwick.Form1", nullptr)) != nullptr; },
                      kWindowTimeoutMs) &&
            PollUntil([] { return DispatchHeld(L"IISADMIN"); }, kWindowTimeoutMs);
        DWORD_PTR answer = 0;
        if (midSwitch) {
            EXPECT_TRUE(SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL,
                                            kWindowTimeoutMs, &answer));
        }
        ReleaseDispatch(L"IISADMIN");
        ASSERT_TRUE(midSwitch) << "the sequence did not wait in Start";
        EXPECT_EQ(program.WaitForExit(), 0u);  // not ended by the system here: the switch goes on
    }
    const std::vector<Event> events = Events(LinesOf(process, offset));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, static_cast<unsigned>(EVENTLOG_WARNING_TYPE));
    EXPECT_EQ(events[0].id, static_cast<unsigned>(TARNWICK_EVENT_REPORT));
    EXPECT_EQ(events[0].text,
              "The switch of IISADMIN and the IIS services that follow it was interrupted by the end of the "
              "session. The services may be left partly switched. Run Tarnwick again to switch them fully on or "
              "off.");
}

}  // namespace
}  // namespace tarnwick::bench
