// The real tarnwick.exe in a window station nobody sees, as a scheduled task
// run whether the user is logged on or not: no window, no box that would wait
// for ever, the outcome in the exit status and the reports in the event log.
// Wine keeps no event log: ReportEvent writes each event to Wine's debug
// output, an "advapi" fixme line with the event's type and id followed by an
// "eventlog" line with its text. unattended_test.sh runs this suite with that
// output going to a file, which the cases read.

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

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

struct Event {
    unsigned type = 0;  // EVENTLOG_ERROR_TYPE, _WARNING_TYPE, _INFORMATION_TYPE
    unsigned id = 0;
    std::string text;  // as Wine's debug output quotes it
};

// The events written to the debug output from `offset` on.
std::vector<Event> EventsFrom(std::size_t offset) {
    const std::string output = ReadWholeFile(DebugOutput()).value_or(std::string());
    std::istringstream lines(output.substr(std::min(offset, output.size())));
    std::vector<Event> events;
    std::string line;
    while (std::getline(lines, line)) {
        // "fixme:advapi:ReportEventW (HANDLE,TYPE,CATEGORY,ID,..."
        const std::size_t call = line.find(":advapi:ReportEventW (");
        if (call != std::string::npos) {
            std::istringstream fields(line.substr(line.find('(', call) + 1));
            std::string handle, type, category, id;
            std::getline(fields, handle, ',');
            std::getline(fields, type, ',');
            std::getline(fields, category, ',');
            std::getline(fields, id, ',');
            events.push_back({static_cast<unsigned>(std::stoul(type, nullptr, 16)),
                              static_cast<unsigned>(std::stoul(id, nullptr, 16)), {}});
            continue;
        }
        // ":eventlog:ReportEventW L"text""
        const std::size_t text = line.find(":eventlog:ReportEventW ");
        if (text != std::string::npos && !events.empty())
            events.back().text = line.substr(text + std::string(":eventlog:ReportEventW ").size());
    }
    return events;
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
        const char* eventText;
    };
    HANDLE held = nullptr;
    const Case cases[] = {
        {"switching on", L"-auto", [] { ResetServices(); }, 0, 0, nullptr},
        {"nothing to do without -auto", L"", [] { ResetServices(); }, 0, EVENTLOG_INFORMATION_TYPE,
         "started without -auto where nobody can see its window"},
        {"a strict failure", L"-auto",
         [] {
             ResetServices();
             InjectBindFault(static_cast<HRESULT>(0x80070035));
         },
         1, EVENTLOG_ERROR_TYPE, "Error 0x80070035: "},
        {"IISADMIN neither stopped nor running", L"-auto",
         [] {
             ServiceBehaviour hanging;
             hanging.hangStart = true;
             ResetServices(BenchSetup().Behaving(L"IISADMIN", hanging));
             SetStartType(L"IISADMIN", SERVICE_DEMAND_START);
             if (RequestStart(L"IISADMIN") != ERROR_SUCCESS || !WaitForState(L"IISADMIN", SERVICE_START_PENDING))
                 throw std::runtime_error("IISADMIN did not start to start");
         },
         1, EVENTLOG_WARNING_TYPE, "IISADMIN was neither stopped nor running"},
        {"another program switching", L"-auto",
         [&] {
             ResetServices();
             held = CreateMutexW(nullptr, TRUE, kSwitchingMutexName);
         },
         3, EVENTLOG_INFORMATION_TYPE, "\"Another Tarnwick is switching the IIS services. Nothing was changed.\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.setUp();
        const std::wstring journal = WinBuildDir() + L"\\wine\\journal-unattended.txt";
        SetJournal(journal);
        const std::size_t offset = DebugOutputSize();
        {
            const Program program = Program::Launch(c.arguments, TarnwickExe(), kUnseenDesktop);
            // A box would wait for a user who is not there.
            EXPECT_EQ(program.WaitForExit(), c.status);
        }
        if (held) {
            CloseHandle(held);
            held = nullptr;
        }
        const std::vector<Event> events = EventsFrom(offset);
        if (c.eventType == 0) {
            EXPECT_TRUE(events.empty()) << events.size() << " events, the first: " << events.front().text;
        } else {
            EXPECT_EQ(events.size(), 1u);
            if (!events.empty()) {
                EXPECT_EQ(events[0].type, c.eventType);
                EXPECT_EQ(events[0].id, static_cast<unsigned>(TARNWICK_EVENT_REPORT));
                EXPECT_NE(events[0].text.find(c.eventText), std::string::npos) << events[0].text;
            }
        }
        if (c.status == 0 && c.eventType == 0) {
            EXPECT_EQ(QueryState(L"IISADMIN"), SERVICE_RUNNING);
            EXPECT_TRUE(WaitForState(L"W3SVC", SERVICE_RUNNING));
        } else {
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
    {
        const Program program = Program::Launch(L"-auto");
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
    const std::vector<Event> events = EventsFrom(offset);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, static_cast<unsigned>(EVENTLOG_WARNING_TYPE));
    EXPECT_EQ(events[0].id, static_cast<unsigned>(TARNWICK_EVENT_REPORT));
    EXPECT_EQ(events[0].text,
              "L\"The switch of IISADMIN and the IIS services that follow it was interrupted by the end of the "
              "session. The services may be left partly switched. Run Tarnwick again to switch them fully on or "
              "off.\"");
}

}  // namespace
}  // namespace tarnwick::bench
