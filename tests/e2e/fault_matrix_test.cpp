// The real tarnwick.exe under Wine against faults of the directory provider
// and of the simulated services, one row per fault: where the program is
// entered, what the user sees, the exit status, the services afterwards, and
// every directory call it made. Rows that reach the 60-second bound of a wait
// cost a minute each, so only the few that matter do.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "failure_win32.h"
#include "program.h"
#include "provider_config.h"
#include "services.h"

namespace tarnwick::bench {
namespace {

constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005);
constexpr HRESULT kServiceDoesNotExist = static_cast<HRESULT>(0x80070424);
constexpr HRESULT kNoSuchDomain = static_cast<HRESULT>(0x8007054B);
constexpr HRESULT kRpcUnavailable = static_cast<HRESULT>(0x800706BA);
constexpr HRESULT kDependentsRunning = static_cast<HRESULT>(0x8007041B);
constexpr HRESULT kCannotAcceptControl = static_cast<HRESULT>(0x8007041C);

// --- The journal, as a sequence of calls --------------------------------------

// One directory call as a row names it: the object and the member, with the
// arguments where they matter (the service looked up, the start type written).
std::string Token(const JournalEntry& entry) {
    std::string token = entry.object + " " + entry.member;
    if (entry.kind == "put" || entry.member == "GetObject") token += " " + entry.args;
    if (entry.kind == "names") token += " (unknown name)";
    return token;
}

const std::string kBind = "bind OpenDSObject";
std::string Lookup(const std::string& service) {
    return "computer GetObject VT_BSTR:\"Service\",VT_BSTR:\"" + service + "\"";
}
std::string Status(const std::string& service) { return service + " Status"; }
std::string Call(const std::string& service, const std::string& member) { return service + " " + member; }
std::string PutStartType(const std::string& value) { return "IISADMIN StartType VT_BSTR:\"" + value + "\""; }

// The calls with every repetition folded into one: a polled read ("Status
// Status ...") and the repeated stop ("Status Stop Status Stop ... Status")
// read the same however often the loop went round, while a call that should
// not be there still shows.
std::vector<std::string> Folded(const std::vector<JournalEntry>& journal) {
    std::vector<std::string> calls;
    for (const auto& entry : journal) {
        calls.push_back(Token(entry));
        const std::size_t n = calls.size();
        if (n >= 2 && calls[n - 1] == calls[n - 2]) {
            calls.pop_back();
        } else if (n >= 4 && calls[n - 1] == calls[n - 3] && calls[n - 2] == calls[n - 4]) {
            calls.resize(n - 2);
        }
    }
    return calls;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The launch without the automatic argument: IISADMIN alone is looked up and read.
const std::vector<std::string> kPlainLaunch = {kBind, Lookup("IISADMIN"), Status("IISADMIN")};
// "-auto": all three are looked up, then IISADMIN is read.
const std::vector<std::string> kAutoLaunch = {kBind, Lookup("IISADMIN"), Lookup("W3SVC"), Lookup("MSFTPSVC"),
                                              Status("IISADMIN")};
// Either button binds again and looks up all three.
const std::vector<std::string> kButton = {kBind, Lookup("IISADMIN"), Lookup("W3SVC"), Lookup("MSFTPSVC")};
const std::vector<std::string> kEnableAndStartUpToTheWait = {PutStartType("2"), Call("IISADMIN", "SetInfo"),
                                                             Call("IISADMIN", "Start"), Status("IISADMIN")};
const std::vector<std::string> kStopUpToTheW3svcWait = {Call("MSFTPSVC", "Stop"), Call("W3SVC", "Stop"),
                                                        Status("W3SVC")};
const std::vector<std::string> kRepeatedIisAdminStop = {Status("IISADMIN"), Call("IISADMIN", "Stop"),
                                                        Status("IISADMIN")};
const std::vector<std::string> kDisable = {PutStartType("4"), Call("IISADMIN", "SetInfo")};

// --- The rows -----------------------------------------------------------------------

enum class Entry { NoArgument, Auto, StartWeb, StopWeb };

const char* Describe(Entry entry) {
    switch (entry) {
        case Entry::NoArgument: return "no argument";
        case Entry::Auto: return "-auto";
        case Entry::StartWeb: return "Start Web";
        case Entry::StopWeb: return "Stop Web";
    }
    return "?";
}

// A message box as the user saw it: caption "Tarnwick" and one OK button
// always; this icon; these texts somewhere in it, and not those; and, when
// given, the system's own description of that code.
struct BoxSeen {
    BoxIcon icon;
    std::vector<std::wstring> contains;
    std::vector<std::wstring> lacks;
    HRESULT described = S_OK;
};

struct ServiceAfter {
    const wchar_t* name;
    DWORD state;
};

// A call that must have failed with this result at least once.
struct FailedCall {
    std::string token;
    std::string result;
};

struct Row {
    const char* name;
    BenchSetup setup;                    // the services before the program starts
    std::function<void()> prepare;       // more of that, when a setup cannot say it
    Entry entry;
    std::function<void()> fault;         // injected just before the entry point runs
    std::optional<BoxSeen> box;          // none: the user saw no message
    // Without a box and a sequence: the launch decision kept the window, after
    // this many reads of IISADMIN's status, with the focus on "Start Web".
    int windowStaysAfterReads;
    DWORD exitStatus;                    // for a kept window, once the user closed it
    ServiceAfter after[3];
    DWORD iisAdminStartType;
    std::vector<std::string> calls;      // the journal, repetitions folded
    std::vector<FailedCall> failed;
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

void DenyEverything() {
    for (const auto* service : kServiceNames)
        for (const auto fault : {ServiceFault::SetInfo, ServiceFault::Start, ServiceFault::Stop})
            InjectFault(service, fault, kAccessDenied);
}

BenchSetup AllRunning() { return BenchSetup().Running(L"IISADMIN").Running(L"W3SVC").Running(L"MSFTPSVC"); }

ServiceBehaviour Hanging(bool start) {
    ServiceBehaviour behaviour;
    (start ? behaviour.hangStart : behaviour.hangStop) = true;
    return behaviour;
}

ServiceBehaviour RefusingStop() {
    ServiceBehaviour behaviour;
    behaviour.refuseStop = true;
    return behaviour;
}

std::string Hex(HRESULT code) {
    char text[16];
    snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
    return text;
}

const auto kNothing = [] {};

std::vector<Row> Rows() {
    return {
        // --- A wait reaches its bound: told, exit 2, nothing after the wait ---
        {"IisAdminNeverRuns_StartWeb", BenchSetup().Behaving(L"IISADMIN", Hanging(true)), kNothing,
         Entry::StartWeb, kNothing,
         BoxSeen{BoxIcon::Warning, {L"IISADMIN", L"running", L"60 seconds"}, {L"failed"}}, 0, 2,
         {{L"IISADMIN", SERVICE_START_PENDING}, {L"W3SVC", SERVICE_STOPPED}, {L"MSFTPSVC", SERVICE_STOPPED}},
         SERVICE_AUTO_START, kPlainLaunch + kButton + kEnableAndStartUpToTheWait, {}},

        {"W3svcNeverStops_Auto", AllRunning().Behaving(L"W3SVC", Hanging(false)), kNothing, Entry::Auto,
         kNothing, BoxSeen{BoxIcon::Warning, {L"W3SVC", L"stopped", L"60 seconds"}, {L"failed"}}, 0, 2,
         {{L"IISADMIN", SERVICE_RUNNING}, {L"W3SVC", SERVICE_STOP_PENDING}, {L"MSFTPSVC", SERVICE_STOPPED}},
         SERVICE_AUTO_START, kAutoLaunch + kStopUpToTheW3svcWait, {}},

        // MSFTPSVC does not stop, so IISADMIN's stop is refused for its running
        // dependent, again and again; the box gives that last refusal.
        {"IisAdminRefusedWhileFtpRuns_StopWeb", AllRunning().Behaving(L"MSFTPSVC", RefusingStop()), kNothing,
         Entry::StopWeb, kNothing,
         BoxSeen{BoxIcon::Warning, {L"IISADMIN", L"stopped", L"60 seconds", L"0x8007041B"}, {}, kDependentsRunning},
         0, 2,
         {{L"IISADMIN", SERVICE_RUNNING}, {L"W3SVC", SERVICE_STOPPED}, {L"MSFTPSVC", SERVICE_RUNNING}},
         SERVICE_AUTO_START, kPlainLaunch + kButton + kStopUpToTheW3svcWait + kRepeatedIisAdminStop,
         {{Call("MSFTPSVC", "Stop"), Hex(kCannotAcceptControl)}, {Call("IISADMIN", "Stop"), Hex(kDependentsRunning)}}},

        // A user without rights: every change is refused and dropped; the wait
        // for IISADMIN gives up and names the last refusal.
        {"AccessDenied_StartWeb", BenchSetup(), kNothing, Entry::StartWeb, DenyEverything,
         BoxSeen{BoxIcon::Warning, {L"IISADMIN", L"running", L"60 seconds", L"0x80070005"}, {}, kAccessDenied},
         0, 2,
         {{L"IISADMIN", SERVICE_STOPPED}, {L"W3SVC", SERVICE_STOPPED}, {L"MSFTPSVC", SERVICE_STOPPED}},
         SERVICE_DISABLED, kPlainLaunch + kButton + kEnableAndStartUpToTheWait,
         {{Call("IISADMIN", "SetInfo"), Hex(kAccessDenied)}, {Call("IISADMIN", "Start"), Hex(kAccessDenied)}}},

        // --- Failures dropped in ignoring mode: the sequence runs to its end ---
        {"AccessDeniedWithAllStopped_StopWeb", BenchSetup(), kNothing, Entry::StopWeb, DenyEverything,
         std::nullopt, 0, 0,
         {{L"IISADMIN", SERVICE_STOPPED}, {L"W3SVC", SERVICE_STOPPED}, {L"MSFTPSVC", SERVICE_STOPPED}},
         SERVICE_DISABLED,
         kPlainLaunch + kButton + kStopUpToTheW3svcWait + std::vector<std::string>{Status("IISADMIN")} + kDisable,
         {{Call("MSFTPSVC", "Stop"), Hex(kAccessDenied)},
          {Call("W3SVC", "Stop"), Hex(kAccessDenied)},
          {Call("IISADMIN", "SetInfo"), Hex(kAccessDenied)}}},

        {"IisAdminStatusFailsThenRuns_StartWeb", BenchSetup(), kNothing, Entry::StartWeb,
         [] { InjectStatusFaults(L"IISADMIN", 5, kRpcUnavailable); }, std::nullopt, 0, 0,
         {{L"IISADMIN", SERVICE_RUNNING}, {L"W3SVC", SERVICE_RUNNING}, {L"MSFTPSVC", SERVICE_RUNNING}},
         SERVICE_AUTO_START,
         kPlainLaunch + kButton + kEnableAndStartUpToTheWait +
             std::vector<std::string>{Call("W3SVC", "Start"), Call("MSFTPSVC", "Start")},
         {{Status("IISADMIN"), Hex(kRpcUnavailable)}}},

        {"W3svcStatusFailsThenStops_Auto", AllRunning(), kNothing, Entry::Auto,
         [] { InjectStatusFaults(L"W3SVC", 5, kRpcUnavailable); }, std::nullopt, 0, 0,
         {{L"IISADMIN", SERVICE_STOPPED}, {L"W3SVC", SERVICE_STOPPED}, {L"MSFTPSVC", SERVICE_STOPPED}},
         SERVICE_DISABLED, kAutoLaunch + kStopUpToTheW3svcWait + kRepeatedIisAdminStop + kDisable,
         {{Status("W3SVC"), Hex(kRpcUnavailable)}}},

        // --- Strict failures: reported with their code, exit 1, nothing touched ---
        {"FailedBind_Auto", BenchSetup(), kNothing, Entry::Auto, [] { InjectBindFault(kNoSuchDomain); },
         BoxSeen{BoxIcon::Error, {L"0x8007054B"}, {}, kNoSuchDomain}, 0, 1,
         {{L"IISADMIN", SERVICE_STOPPED}, {L"W3SVC", SERVICE_STOPPED}, {L"MSFTPSVC", SERVICE_STOPPED}},
         SERVICE_DISABLED, {kBind}, {{kBind, Hex(kNoSuchDomain)}}},

        // Without IIS's set-up key, the report says that IIS is not installed.
        {"MissingIisAdmin_NoArgument", BenchSetup(), kNothing, Entry::NoArgument,
         [] { InjectFault(L"IISADMIN", ServiceFault::Lookup, kServiceDoesNotExist); },
         BoxSeen{BoxIcon::Error, {L"0x80070424", L"IIS is not installed on this computer."}, {}, kServiceDoesNotExist},
         0, 1,
         {{L"IISADMIN", SERVICE_STOPPED}, {L"W3SVC", SERVICE_STOPPED}, {L"MSFTPSVC", SERVICE_STOPPED}},
         SERVICE_DISABLED, {kBind, Lookup("IISADMIN")}, {}},

        {"MissingIisAdmin_Auto", BenchSetup().WithMajorVersion(6), kNothing, Entry::Auto,
         [] { InjectFault(L"IISADMIN", ServiceFault::Lookup, kServiceDoesNotExist); },
         BoxSeen{BoxIcon::Error, {L"0x80070424"}, {L"not installed"}, kServiceDoesNotExist}, 0, 1,
         {{L"IISADMIN", SERVICE_STOPPED}, {L"W3SVC", SERVICE_STOPPED}, {L"MSFTPSVC", SERVICE_STOPPED}},
         SERVICE_DISABLED, {kBind, Lookup("IISADMIN")}, {}},

        {"MissingW3svc_AutoWhileRunning", AllRunning(), kNothing, Entry::Auto,
         [] { InjectFault(L"W3SVC", ServiceFault::Lookup, kServiceDoesNotExist); },
         BoxSeen{BoxIcon::Error, {L"0x80070424"}, {}, kServiceDoesNotExist}, 0, 1,
         {{L"IISADMIN", SERVICE_RUNNING}, {L"W3SVC", SERVICE_RUNNING}, {L"MSFTPSVC", SERVICE_RUNNING}},
         SERVICE_AUTO_START, {kBind, Lookup("IISADMIN"), Lookup("W3SVC")}, {}},

        {"MissingMsftpsvc_AutoWhileRunning", AllRunning(), kNothing, Entry::Auto,
         [] { InjectFault(L"MSFTPSVC", ServiceFault::Lookup, kServiceDoesNotExist); },
         BoxSeen{BoxIcon::Error, {L"0x80070424"}, {}, kServiceDoesNotExist}, 0, 1,
         {{L"IISADMIN", SERVICE_RUNNING}, {L"W3SVC", SERVICE_RUNNING}, {L"MSFTPSVC", SERVICE_RUNNING}},
         SERVICE_AUTO_START, {kBind, Lookup("IISADMIN"), Lookup("W3SVC"), Lookup("MSFTPSVC")}, {}},

        // At launch IISADMIN's status is read strictly; in the sequences it is not.
        {"IisAdminStatusFailsAtLaunch_Auto", BenchSetup(), kNothing, Entry::Auto,
         [] { InjectStatusFaults(L"IISADMIN", 1, kRpcUnavailable); },
         BoxSeen{BoxIcon::Error, {L"0x800706BA"}, {}, kRpcUnavailable}, 0, 1,
         {{L"IISADMIN", SERVICE_STOPPED}, {L"W3SVC", SERVICE_STOPPED}, {L"MSFTPSVC", SERVICE_STOPPED}},
         SERVICE_DISABLED, kAutoLaunch, {{Status("IISADMIN"), Hex(kRpcUnavailable)}}},

        // --- IISADMIN neither stopped nor running at launch: the window stays ---
        {"PausedIisAdmin_NoArgument", BenchSetup().Running(L"IISADMIN"), [] { PauseAndWait(L"IISADMIN"); },
         Entry::NoArgument, kNothing, std::nullopt, 2, 0,
         {{L"IISADMIN", SERVICE_PAUSED}, {L"W3SVC", SERVICE_STOPPED}, {L"MSFTPSVC", SERVICE_STOPPED}},
         SERVICE_AUTO_START, kPlainLaunch, {}},

        {"PausedIisAdmin_Auto", BenchSetup().Running(L"IISADMIN"), [] { PauseAndWait(L"IISADMIN"); },
         Entry::Auto, kNothing, std::nullopt, 4, 0,
         {{L"IISADMIN", SERVICE_PAUSED}, {L"W3SVC", SERVICE_STOPPED}, {L"MSFTPSVC", SERVICE_STOPPED}},
         SERVICE_AUTO_START, kAutoLaunch + std::vector<std::string>{Lookup("IISADMIN"), Status("IISADMIN")}, {}},

        {"StoppingIisAdmin_Auto", BenchSetup().Running(L"IISADMIN").Behaving(L"IISADMIN", Hanging(false)),
         [] {
             if (RequestControl(L"IISADMIN", SERVICE_CONTROL_STOP) != ERROR_SUCCESS ||
                 !WaitForState(L"IISADMIN", SERVICE_STOP_PENDING))
                 throw std::runtime_error("IISADMIN did not become stop-pending");
         },
         Entry::Auto, kNothing, std::nullopt, 4, 0,
         {{L"IISADMIN", SERVICE_STOP_PENDING}, {L"W3SVC", SERVICE_STOPPED}, {L"MSFTPSVC", SERVICE_STOPPED}},
         SERVICE_AUTO_START, kAutoLaunch + std::vector<std::string>{Lookup("IISADMIN"), Status("IISADMIN")}, {}},
    };
}

// --- The test -------------------------------------------------------------------------

class FaultMatrix : public ::testing::TestWithParam<Row> {
protected:
    void SetUp() override {
        ResetServices(GetParam().setup);
        journal_ = WinBuildDir() + L"\\wine\\fault-journal-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
        SetJournal(journal_);
    }

    // A failed row's journal stays for a look; a passed one goes.
    void TearDown() override {
        SetJournal(L"");
        if (!HasFailure()) DeleteFileW(journal_.c_str());
    }

    std::size_t StatusReads() const {
        std::size_t reads = 0;
        for (const auto& entry : ReadJournal(journal_))
            reads += entry.object == "IISADMIN" && entry.member == "Status";
        return reads;
    }

    // The launch decision has read IISADMIN's status `reads` times, and so has
    // made its last call.
    bool DecisionMade(std::size_t reads) const {
        return PollUntil([&] { return StatusReads() >= reads; }, kWindowTimeoutMs);
    }

    std::wstring journal_;
};

TEST_P(FaultMatrix, WhatTheUserSeesAndWhatIsLeft) {
    const Row& row = GetParam();
    SCOPED_TRACE(std::string("entered through ") + Describe(row.entry));
    row.prepare();

    const bool button = row.entry == Entry::StartWeb || row.entry == Entry::StopWeb;
    if (!button) row.fault();
    const Program program = Program::Launch(row.entry == Entry::Auto ? L"-auto" : L"");

    if (button) {
        const HWND window = program.WaitForMainWindow();
        ASSERT_TRUE(window) << "no main window";
        // One read when IISADMIN was stopped, two otherwise.
        ASSERT_TRUE(DecisionMade(row.setup.running[0] ? 2 : 1));
        const HWND pressed = FindChild(window, row.entry == Entry::StartWeb ? L"Start Web" : L"Stop Web", L"Button");
        ASSERT_TRUE(pressed);
        row.fault();
        Click(pressed);
    }

    std::optional<DWORD> exit;
    if (row.box) {
        const auto box = program.WaitForMessageBox(kExitTimeoutMs);
        ASSERT_TRUE(box) << "no message box";
        EXPECT_EQ(box->caption, L"Tarnwick");
        EXPECT_EQ(box->icon, row.box->icon) << "icons: 1 error, 2 warning";
        EXPECT_EQ(box->buttons, std::vector<std::wstring>{L"OK"});
        for (const auto& text : row.box->contains)
            EXPECT_NE(box->text.find(text), std::wstring::npos)
                << "no " << ::testing::PrintToString(text) << " in " << ::testing::PrintToString(box->text);
        if (row.box->described != S_OK) {
            const std::wstring description = tarnwick::SystemMessage(row.box->described);
            ASSERT_FALSE(description.empty());
            EXPECT_NE(box->text.find(description), std::wstring::npos)
                << "no " << ::testing::PrintToString(description) << " in " << ::testing::PrintToString(box->text);
        }
        for (const auto& text : row.box->lacks)
            EXPECT_EQ(box->text.find(text), std::wstring::npos) << ::testing::PrintToString(box->text);
        EXPECT_TRUE(program.Running()) << "the program did not wait for the user";
        AnswerOk(*box);
        exit = program.WaitForExit();
    } else if (row.windowStaysAfterReads > 0) {
        const HWND window = program.WaitForMainWindow();
        ASSERT_TRUE(window) << "no main window";
        ASSERT_TRUE(DecisionMade(static_cast<std::size_t>(row.windowStaysAfterReads)));
        const HWND start = FindChild(window, L"Start Web", L"Button");
        EXPECT_EQ(program.WaitForFocus(window, start), start);
        EXPECT_TRUE(program.Running());
        EXPECT_FALSE(program.FindMessageBox());
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        exit = program.WaitForExit();
    } else {
        // A box that should not be there would keep the program from ending.
        PollUntil([&] { return !program.Running() || program.FindMessageBox(); }, kExitTimeoutMs);
        const auto box = program.FindMessageBox();
        EXPECT_FALSE(box) << "unexpected message: " << ::testing::PrintToString(box ? box->text : L"");
        if (box) AnswerOk(*box);
        exit = program.WaitForExit();
    }
    ASSERT_TRUE(exit) << "the program did not end";
    EXPECT_EQ(*exit, row.exitStatus);

    // Services that were asked to change but not waited for get their time.
    for (const auto& service : row.after)
        EXPECT_TRUE(WaitForState(service.name, service.state))
            << ::testing::PrintToString(service.name) << " is in state " << QueryState(service.name)
            << ", not " << service.state;
    EXPECT_EQ(QueryStartType(L"IISADMIN"), row.iisAdminStartType);
    EXPECT_EQ(QueryStartType(L"W3SVC"), kResetStartTypeOthers);
    EXPECT_EQ(QueryStartType(L"MSFTPSVC"), kResetStartTypeOthers);

    const auto journal = ReadJournal(journal_);
    EXPECT_EQ(Folded(journal), row.calls);
    for (const auto& failed : row.failed) {
        bool seen = false;
        for (const auto& entry : journal) seen = seen || (Token(entry) == failed.token && entry.result == failed.result);
        EXPECT_TRUE(seen) << failed.token << " never failed with " << failed.result;
    }
    for (const auto* service : kServiceNames)
        EXPECT_EQ(PendingStatusFaults(service), 0u) << "injected status failures left unread";
}

INSTANTIATE_TEST_SUITE_P(Rows, FaultMatrix, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarnwick::bench
