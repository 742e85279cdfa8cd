// The real tarnwick.exe under Wine, against the simulated IIS services and the
// stand-in directory provider: the launch decision, both buttons, "-auto"
// both ways, strict failures, a bound reached, and the window as laid out.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "held_mutex.h"
#include "program.h"
#include "provider_config.h"
#include "resource_ids.h"
#include "restored_value.h"
#include "services.h"
#include "switching.h"

namespace tarnwick::bench {
namespace {

constexpr HRESULT kServiceDoesNotExist = static_cast<HRESULT>(0x80070424);
constexpr HRESULT kBadNetPath = static_cast<HRESULT>(0x80070035);

std::wstring ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    GetComputerNameW(name, &size);
    return std::wstring(name, size);
}

class SwitchTest : public ::testing::Test {
protected:
    void SetUp() override { Reset({}); }

    void Reset(const BenchSetup& setup) {
        ResetServices(setup);
        journal_ = WinBuildDir() + L"\\wine\\journal-" +
                   std::to_wstring(GetCurrentProcessId()) + L".txt";
        SetJournal(journal_);
    }

    std::vector<JournalEntry> Calls(const std::string& object, const std::string& member) const {
        std::vector<JournalEntry> found;
        for (auto& entry : ReadJournal(journal_))
            if (entry.object == object && entry.member == member) found.push_back(entry);
        return found;
    }

    // The start types nobody but the bench may change.
    void ExpectOtherStartTypesUntouched() const {
        EXPECT_EQ(QueryStartType(L"W3SVC"), kResetStartTypeOthers);
        EXPECT_EQ(QueryStartType(L"MSFTPSVC"), kResetStartTypeOthers);
        EXPECT_TRUE(Calls("W3SVC", "StartType").empty());
        EXPECT_TRUE(Calls("MSFTPSVC", "StartType").empty());
    }

    // The state "-auto", "-off" and Stop Web leave on the IIS 6 computer.
    void ExpectSwitchedOff() const {
        EXPECT_EQ(QueryState(L"W3SVC"), SERVICE_STOPPED);
        EXPECT_EQ(QueryState(L"IISADMIN"), SERVICE_STOPPED);
        EXPECT_TRUE(WaitForState(L"MSFTPSVC", SERVICE_STOPPED));
        EXPECT_EQ(QueryStartType(L"IISADMIN"), SERVICE_DISABLED);
        ExpectOtherStartTypesUntouched();
    }

    // Runs the program with `arguments` to its end, with no user; its exit status
    // (none when it did not end in time).
    static std::optional<DWORD> RunToEnd(const wchar_t* arguments) {
        return Program::Launch(arguments).WaitForExit();
    }

    void ExpectAllStopped() const {
        for (const auto* name : kServiceNames) EXPECT_EQ(QueryState(name), SERVICE_STOPPED) << name;
    }

    // The main window once the launch decision has read the switch's status
    // (`reads` reads: one when it was stopped, two otherwise).
    HWND MainWindowAfterDecision(const Program& program, std::size_t reads,
                                 const std::string& switchService = "IISADMIN") const {
        const HWND window = program.WaitForMainWindow();
        EXPECT_TRUE(window) << "no main window";
        EXPECT_TRUE(PollUntil([&] { return Calls(switchService, "Status").size() >= reads; },
                              kWindowTimeoutMs));
        return window;
    }

    // The directory calls so far, a polled read counted once.
    std::vector<std::string> CallSequence() const {
        std::vector<std::string> calls;
        for (const auto& entry : ReadJournal(journal_)) {
            std::string call = entry.object + " " + entry.member + " " + entry.args;
            if (calls.empty() || calls.back() != call) calls.push_back(std::move(call));
        }
        return calls;
    }

    // Neither WAS nor IISADMIN was looked up, so neither was touched.
    void ExpectWasAndIisAdminNeverLookedUp() const {
        for (const auto& entry : Calls("computer", "GetObject")) {
            EXPECT_EQ(entry.args.find("\"WAS\""), std::string::npos) << entry.args;
            EXPECT_EQ(entry.args.find("IISADMIN"), std::string::npos) << entry.args;
        }
    }

    std::wstring journal_;
};

TEST_F(SwitchTest, InteractiveStartShowsTheNameAndFocusesStartWebWhenIisAdminIsStopped) {
    const Program program = Program::Launch(L"");
    const HWND window = MainWindowAfterDecision(program, 1);
    ASSERT_TRUE(window);
    const HWND start = FindChild(window, L"Start Web", L"Button");
    ASSERT_TRUE(start);
    EXPECT_EQ(program.WaitForFocus(window, start), start);
    EXPECT_TRUE(FindChild(window, L"Computer: " + ComputerName(), L"Static"));
    EXPECT_TRUE(FindChild(window, ComputerName(), L"Static"));

    // Only IISADMIN is looked up, and nothing is changed.
    const auto journal = ReadJournal(journal_);
    ASSERT_GE(journal.size(), 3u);
    const std::wstring name = ComputerName();
    const std::string path = "VT_BSTR:\"WinNT://" + std::string(name.begin(), name.end()) + ",computer\"";
    EXPECT_EQ(journal[0].member, "OpenDSObject");
    EXPECT_EQ(journal[0].args.rfind(path, 0), 0u) << journal[0].args;
    for (const auto& entry : journal) EXPECT_NE(entry.kind, "put") << entry.object;
    EXPECT_EQ(Calls("computer", "GetObject").size(), 1u);

    // The Close box ends the program; nothing was switched.
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program.WaitForExit(), 0u);
    ExpectAllStopped();
    EXPECT_EQ(QueryStartType(L"IISADMIN"), SERVICE_DISABLED);
}

TEST_F(SwitchTest, StopWebIsFocusedWhenIisAdminRunsAndSwitchesEverythingOff) {
    Reset(BenchSetup().Running(L"IISADMIN").Running(L"W3SVC").Running(L"MSFTPSVC"));
    const Program program = Program::Launch(L"");
    const HWND window = MainWindowAfterDecision(program, 2);
    ASSERT_TRUE(window);
    const HWND stop = FindChild(window, L"Stop Web", L"Button");
    ASSERT_TRUE(stop);
    EXPECT_EQ(program.WaitForFocus(window, stop), stop);
    // It also looks like the button Enter presses, as in the platform's dialogs.
    const auto buttonType = [](HWND button) { return GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK; };
    EXPECT_TRUE(PollUntil([&] { return buttonType(stop) == BS_DEFPUSHBUTTON; }, kWindowTimeoutMs));
    EXPECT_EQ(buttonType(FindChild(window, L"Start Web", L"Button")), BS_PUSHBUTTON);

    Click(stop);
    EXPECT_EQ(program.WaitForExit(), 0u);
    ExpectAllStopped();
    EXPECT_EQ(QueryStartType(L"IISADMIN"), SERVICE_DISABLED);
    ExpectOtherStartTypesUntouched();
    const auto puts = Calls("IISADMIN", "StartType");
    ASSERT_EQ(puts.size(), 1u);
    EXPECT_EQ(puts[0].args, "VT_BSTR:\"4\"");
}

TEST_F(SwitchTest, StartWebSwitchesEverythingOn) {
    const Program program = Program::Launch(L"");
    const HWND window = MainWindowAfterDecision(program, 1);
    ASSERT_TRUE(window);
    Click(FindChild(window, L"Start Web", L"Button"));
    EXPECT_EQ(program.WaitForExit(), 0u);

    EXPECT_EQ(QueryState(L"IISADMIN"), SERVICE_RUNNING);
    EXPECT_EQ(QueryStartType(L"IISADMIN"), SERVICE_AUTO_START);
    // W3SVC and MSFTPSVC are asked to start but not waited for.
    EXPECT_TRUE(WaitForState(L"W3SVC", SERVICE_RUNNING));
    EXPECT_TRUE(WaitForState(L"MSFTPSVC", SERVICE_RUNNING));
    ExpectOtherStartTypesUntouched();
    const auto puts = Calls("IISADMIN", "StartType");
    ASSERT_EQ(puts.size(), 1u);
    EXPECT_EQ(puts[0].args, "VT_BSTR:\"2\"");
}

TEST_F(SwitchTest, PendingIisAdminLeavesTheFocusOnStartWeb) {
    ServiceBehaviour hanging;
    hanging.hangStart = true;
    Reset(BenchSetup().Behaving(L"IISADMIN", hanging));
    SetStartType(L"IISADMIN", SERVICE_DEMAND_START);
    ASSERT_EQ(RequestStart(L"IISADMIN"), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(WaitForState(L"IISADMIN", SERVICE_START_PENDING));

    // "-auto" with IISADMIN neither stopped nor running falls back to the window.
    const Program program = Program::Launch(L"-auto");
    const HWND window = MainWindowAfterDecision(program, 4);
    ASSERT_TRUE(window);
    const HWND start = FindChild(window, L"Start Web", L"Button");
    EXPECT_EQ(program.WaitForFocus(window, start), start);
    EXPECT_TRUE(program.Running());
    for (const auto& entry : ReadJournal(journal_)) {
        EXPECT_NE(entry.kind, "put");
        EXPECT_TRUE(entry.member != "Start" && entry.member != "Stop") << entry.member;
    }
}

TEST_F(SwitchTest, AutoSwitchesOnThenOffWithoutAUser) {
    EXPECT_EQ(RunToEnd(L"-auto"), 0u);
    EXPECT_EQ(QueryState(L"IISADMIN"), SERVICE_RUNNING);
    EXPECT_EQ(QueryStartType(L"IISADMIN"), SERVICE_AUTO_START);
    EXPECT_TRUE(WaitForState(L"W3SVC", SERVICE_RUNNING));
    EXPECT_TRUE(WaitForState(L"MSFTPSVC", SERVICE_RUNNING));

    EXPECT_EQ(RunToEnd(L"-Auto"), 0u);
    ExpectSwitchedOff();
}

// Where Windows says it is XP (XP x64 for the x64 program) the program starts
// and makes its launch decision as anywhere else. Wine tells each program
// started from now on the prefix's Version; it is put back afterwards.
TEST_F(SwitchTest, StartsWhereWindowsSaysItIsXp) {
    DWORD binaryType = 0;
    ASSERT_TRUE(GetBinaryTypeW(TarnwickExe().c_str(), &binaryType));
    const std::wstring version = binaryType == SCS_64BIT_BINARY ? L"winxp64" : L"winxp";
    const RestoredValue restored(L"Software\\Wine", L"Version", HKEY_CURRENT_USER);
    StoreRaw(L"Software\\Wine", L"Version", REG_SZ, StringBytes(version, true), HKEY_CURRENT_USER);

    const Program program = Program::Launch(L"");
    const HWND window = MainWindowAfterDecision(program, 1);
    ASSERT_TRUE(window);
    EXPECT_TRUE(FindChild(window, L"Start Web", L"Button"));
    const auto box = program.FindMessageBox();
    EXPECT_FALSE(box.has_value()) << ::testing::PrintToString(box ? box->text : std::wstring());
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program.WaitForExit(), 0u);
}

TEST_F(SwitchTest, OffWithEverythingOnSwitchesEverythingOff) {
    Reset(BenchSetup().Running(L"IISADMIN").Running(L"W3SVC").Running(L"MSFTPSVC"));
    EXPECT_EQ(RunToEnd(L"-off"), 0u);
    ExpectSwitchedOff();
}

TEST_F(SwitchTest, OnWithEverythingOnStopsNothingAndAsksAsStartWebWould) {
    Reset(BenchSetup().Running(L"IISADMIN").Running(L"W3SVC").Running(L"MSFTPSVC"));
    EXPECT_EQ(RunToEnd(L"-on"), 0u);
    for (const auto* name : kServiceNames) EXPECT_EQ(QueryState(name), SERVICE_RUNNING) << name;
    EXPECT_EQ(QueryStartType(L"IISADMIN"), SERVICE_AUTO_START);
    // No status read decides: the sequence begins with the start type, and
    // every service is asked to start (and refuses: it runs already).
    const auto calls = CallSequence();
    const auto firstRead = std::find_if(calls.begin(), calls.end(), [](const std::string& call) {
        return call.rfind("IISADMIN Status", 0) == 0;
    });
    const auto put = std::find(calls.begin(), calls.end(), "IISADMIN StartType VT_BSTR:\"2\"");
    ASSERT_NE(put, calls.end());
    EXPECT_LT(put, firstRead);
    for (const char* name : {"IISADMIN", "W3SVC", "MSFTPSVC"})
        EXPECT_EQ(Calls(name, "Start").size(), 1u) << name;
    ExpectOtherStartTypesUntouched();
}

TEST_F(SwitchTest, AutoInCapitalsOrWithOtherWordsLeavesTheWindowOpen) {
    for (const auto* arguments : {L"-AUTO", L"-auto extra"}) {
        const Program program = Program::Launch(arguments);
        const HWND window = MainWindowAfterDecision(program, 1);
        ASSERT_TRUE(window) << arguments;
        const HWND start = FindChild(window, L"Start Web", L"Button");
        EXPECT_EQ(program.WaitForFocus(window, start), start) << arguments;
        EXPECT_EQ(Calls("computer", "GetObject").size(), 1u) << arguments;
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_EQ(program.WaitForExit(), 0u);
        SetJournal(journal_);
    }
    ExpectAllStopped();
}

TEST_F(SwitchTest, AMissingServiceWithAutoIsReportedAndNothingIsTouched) {
    InjectFault(L"MSFTPSVC", ServiceFault::Lookup, kServiceDoesNotExist);
    const Program program = Program::Launch(L"-auto");
    const auto box = program.WaitForMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, L"Tarnwick");
    EXPECT_NE(box->text.find(L"0x80070424"), std::wstring::npos) << box->text;
    EXPECT_EQ(box->icon, BoxIcon::Error);
    EXPECT_EQ(box->buttons, std::vector<std::wstring>{L"OK"});
    EXPECT_TRUE(program.Running());  // it waits for the user

    AnswerOk(*box);
    EXPECT_EQ(program.WaitForExit(), 1u);
    ExpectAllStopped();
    EXPECT_EQ(QueryStartType(L"IISADMIN"), SERVICE_DISABLED);
    for (const auto& entry : ReadJournal(journal_)) {
        EXPECT_NE(entry.kind, "put");
        EXPECT_TRUE(entry.member != "Start" && entry.member != "SetInfo") << entry.member;
    }
}

TEST_F(SwitchTest, AMissingServiceWithAButtonIsPassedOver) {
    InjectFault(L"MSFTPSVC", ServiceFault::Lookup, kServiceDoesNotExist);
    const Program program = Program::Launch(L"");
    const HWND window = MainWindowAfterDecision(program, 1);
    ASSERT_TRUE(window);
    Click(FindChild(window, L"Start Web", L"Button"));
    EXPECT_EQ(program.WaitForExit(), 0u);
    EXPECT_EQ(QueryState(L"IISADMIN"), SERVICE_RUNNING);
    EXPECT_TRUE(WaitForState(L"W3SVC", SERVICE_RUNNING));
    EXPECT_EQ(QueryState(L"MSFTPSVC"), SERVICE_STOPPED);
}

TEST_F(SwitchTest, StopWebWithoutW3svcWarnsAtOnceInsteadOfWaitingOutTheBound) {
    Reset(BenchSetup().Running(L"IISADMIN").Running(L"MSFTPSVC"));
    InjectFault(L"W3SVC", ServiceFault::Lookup, kServiceDoesNotExist);
    const Program program = Program::Launch(L"");
    const HWND window = MainWindowAfterDecision(program, 2);
    ASSERT_TRUE(window);
    Click(FindChild(window, L"Stop Web", L"Button"));

    // Well within the 60-second bound: the wait could never succeed.
    const auto box = program.WaitForMessageBox(kWindowTimeoutMs);
    ASSERT_TRUE(box) << "no warning before the bound";
    EXPECT_EQ(box->icon, BoxIcon::Warning);
    EXPECT_NE(box->text.find(L"W3SVC could not be found"), std::wstring::npos) << box->text;
    EXPECT_NE(box->text.find(L"0x80070424"), std::wstring::npos) << box->text;
    AnswerOk(*box);
    EXPECT_EQ(program.WaitForExit(), 2u);
    // Nothing after the wait: IISADMIN keeps running and its start type.
    EXPECT_TRUE(Calls("IISADMIN", "Stop").empty());
    EXPECT_TRUE(Calls("IISADMIN", "StartType").empty());
    EXPECT_EQ(QueryState(L"IISADMIN"), SERVICE_RUNNING);
}

// --- IIS 7 to 10: W3SVC is the switch; WAS and IISADMIN stay as they are ---

TEST_F(SwitchTest, OnIis10AutoSwitchesW3svcAndFtpsvcAndLeavesWasAndIisAdminAlone) {
    Reset(BenchSetup().On(BenchComputer::Iis10).Running(L"WAS").Running(L"IISADMIN"));
    const DWORD iisAdminStartType = QueryStartType(L"IISADMIN");
    {
        const Program program = Program::Launch(L"-auto");
        EXPECT_EQ(program.WaitForExit(), 0u);
    }
    EXPECT_EQ(QueryState(L"W3SVC"), SERVICE_RUNNING);
    EXPECT_EQ(QueryStartType(L"W3SVC"), SERVICE_AUTO_START);
    EXPECT_TRUE(WaitForState(L"FTPSVC", SERVICE_RUNNING));  // asked to start, not waited for
    EXPECT_EQ(QueryStartType(L"FTPSVC"), SERVICE_AUTO_START);

    {
        const Program program = Program::Launch(L"-auto");
        EXPECT_EQ(program.WaitForExit(), 0u);
    }
    EXPECT_EQ(QueryState(L"W3SVC"), SERVICE_STOPPED);
    EXPECT_EQ(QueryStartType(L"W3SVC"), SERVICE_DISABLED);
    EXPECT_TRUE(WaitForState(L"FTPSVC", SERVICE_STOPPED));
    EXPECT_EQ(QueryStartType(L"FTPSVC"), SERVICE_DISABLED);
    EXPECT_EQ(QueryState(L"WAS"), SERVICE_RUNNING);
    EXPECT_EQ(QueryState(L"IISADMIN"), SERVICE_RUNNING);
    EXPECT_EQ(QueryStartType(L"IISADMIN"), iisAdminStartType);
    ExpectWasAndIisAdminNeverLookedUp();
}

TEST_F(SwitchTest, OnIis10WithoutFtpTheFocusFollowsW3svcAndTheButtonsSwitchIt) {
    Reset(BenchSetup().On(BenchComputer::Iis10WithoutFtp).Running(L"WAS"));
    for (const auto& [reads, button] : {std::pair{1u, L"Start Web"}, std::pair{2u, L"Stop Web"}}) {
        SetJournal(journal_);
        const Program program = Program::Launch(L"");
        const HWND window = MainWindowAfterDecision(program, reads, "W3SVC");
        ASSERT_TRUE(window) << button;
        const HWND focused = FindChild(window, button, L"Button");
        EXPECT_EQ(program.WaitForFocus(window, focused), focused) << button;
        Click(focused);
        EXPECT_EQ(program.WaitForExit(), 0u) << button;
        // No FTP service: each of its names is asked for once, and nothing more.
        const auto lookups = Calls("computer", "GetObject");
        for (const std::string ftp : {"FTPSVC", "MSFTPSVC"}) {
            EXPECT_EQ(std::count_if(lookups.begin(), lookups.end(),
                                    [&](const JournalEntry& entry) {
                                        return entry.args.find("\"" + ftp + "\"") != std::string::npos;
                                    }),
                      1)
                << ftp;
            for (const auto& entry : ReadJournal(journal_)) EXPECT_NE(entry.object, ftp);
        }
    }
    EXPECT_EQ(QueryState(L"W3SVC"), SERVICE_STOPPED);
    EXPECT_EQ(QueryStartType(L"W3SVC"), SERVICE_DISABLED);
    EXPECT_EQ(QueryState(L"WAS"), SERVICE_RUNNING);
    ExpectWasAndIisAdminNeverLookedUp();
}

TEST_F(SwitchTest, OnIis70TheFocusFollowsW3svcNotIisAdmin) {
    // IISADMIN is stopped, which on IIS 6 would put the focus on "Start Web".
    Reset(BenchSetup().On(BenchComputer::Iis70).Running(L"WAS").Running(L"W3SVC"));
    const Program program = Program::Launch(L"");
    const HWND window = MainWindowAfterDecision(program, 2, "W3SVC");
    ASSERT_TRUE(window);
    const HWND stop = FindChild(window, L"Stop Web", L"Button");
    EXPECT_EQ(program.WaitForFocus(window, stop), stop);
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program.WaitForExit(), 0u);
    ExpectWasAndIisAdminNeverLookedUp();
    EXPECT_EQ(QueryState(L"IISADMIN"), SERVICE_STOPPED);
}

TEST_F(SwitchTest, AnIisVersionBelow7MakesTheSameCallsAsNoIisSetUpKey) {
    const auto switchOn = [&](const BenchSetup& setup) {
        Reset(setup);
        const Program program = Program::Launch(L"-auto");
        EXPECT_EQ(program.WaitForExit(), 0u);
        EXPECT_EQ(QueryStartType(L"IISADMIN"), SERVICE_AUTO_START);
        return CallSequence();
    };
    const std::vector<std::string> withoutKey = switchOn(BenchSetup());
    EXPECT_EQ(switchOn(BenchSetup().WithMajorVersion(6)), withoutKey);
    ASSERT_GE(withoutKey.size(), 2u);
    EXPECT_NE(withoutKey[1].find("\"IISADMIN\""), std::string::npos) << withoutKey[1];
}

// A quit message already posted when the report is shown (the main window was
// destroyed on the way to the failure) must not close the report unseen.
TEST(FinalReport, ShowsAndWaitsForTheUserWhenAQuitIsAlreadyPending) {
    const Program program =
        Program::Launch(L"", WinBuildDir() + L"\\tests\\e2e\\pending_quit_report.exe");
    const auto box = program.WaitForMessageBox();
    ASSERT_TRUE(box) << "the report never showed";
    EXPECT_EQ(box->icon, BoxIcon::Error);
    EXPECT_NE(box->text.find(L"0x80070424"), std::wstring::npos) << box->text;
    // It stays for the user: the process does not end by itself.
    EXPECT_FALSE(program.WaitForExit(2000)) << "the report closed by itself";
    EXPECT_TRUE(IsWindow(box->window));
    AnswerOk(*box);
    EXPECT_EQ(program.WaitForExit(), 1u);
}

TEST_F(SwitchTest, AFailedBindIsReportedWithItsCode) {
    InjectBindFault(kBadNetPath);
    const Program program = Program::Launch(L"");
    const auto box = program.WaitForMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, L"Tarnwick");
    EXPECT_NE(box->text.find(L"0x80070035"), std::wstring::npos) << box->text;
    EXPECT_EQ(box->icon, BoxIcon::Error);
    AnswerOk(*box);
    EXPECT_EQ(program.WaitForExit(), 1u);
}

TEST_F(SwitchTest, AServiceThatNeverRunsReachesTheBound) {
    ServiceBehaviour hanging;
    hanging.hangStart = true;
    Reset(BenchSetup().Behaving(L"IISADMIN", hanging));
    const Program program = Program::Launch(L"-auto");
    const auto box = program.WaitForMessageBox(kExitTimeoutMs);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, L"Tarnwick");
    EXPECT_EQ(box->icon, BoxIcon::Warning);
    EXPECT_NE(box->text.find(L"IISADMIN"), std::wstring::npos) << box->text;
    EXPECT_NE(box->text.find(L"running"), std::wstring::npos) << box->text;
    EXPECT_NE(box->text.find(L"60 seconds"), std::wstring::npos) << box->text;
    AnswerOk(*box);
    EXPECT_EQ(program.WaitForExit(), 2u);
    // Nothing after the wait: W3SVC and MSFTPSVC were never asked to start.
    EXPECT_TRUE(Calls("W3SVC", "Start").empty());
    EXPECT_TRUE(Calls("MSFTPSVC", "Start").empty());
}

// Pixels for `twips` at `dpi`, rounded to the nearest, halves away from zero.
int Pixels(int twips, int dpi) {
    const int scaled = twips * dpi;
    return scaled >= 0 ? (scaled + 720) / 1440 : -((-scaled + 720) / 1440);
}

// The window as laid out at the screen's DPI, the ordinary 96 and 144.
class MainWindowLayoutTest : public SwitchTest, public ::testing::WithParamInterface<int> {};

TEST_P(MainWindowLayoutTest, TheWindowIsLaidOutInTwips) {
    const int dpi = GetParam();
    const ScreenDpi screenDpi(static_cast<DWORD>(dpi));
    const Program program = Program::Launch(L"");
    const HWND window = MainWindowAfterDecision(program, 1);
    ASSERT_TRUE(window);
    EXPECT_EQ(WindowText(window), L"Tarnwick");
    const RECT client = ClientRect(window);
    EXPECT_EQ(client.right, Pixels(2685, dpi));  // 179 at 96 DPI
    EXPECT_EQ(client.bottom, Pixels(1290, dpi));  // 86

    const LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_TRUE(GetMenu(window));

    const auto expectRect = [&](HWND control, RECT twips, const char* name) {
        ASSERT_TRUE(control) << name;
        const RECT actual = RectInParent(control);
        EXPECT_EQ(actual.left, Pixels(twips.left, dpi)) << name;
        EXPECT_EQ(actual.top, Pixels(twips.top, dpi)) << name;
        EXPECT_EQ(actual.right - actual.left, Pixels(twips.right, dpi)) << name;
        EXPECT_EQ(actual.bottom - actual.top, Pixels(twips.bottom, dpi)) << name;
    };
    // At 96 DPI: {5, 24, 81, 33}, {93, 24, 81, 33} and {12, -1, 153, 17} twice.
    expectRect(FindChild(window, L"Start Web", L"Button"), {75, 360, 1215, 495}, "cmdStart");
    expectRect(FindChild(window, L"Stop Web", L"Button"), {1395, 360, 1215, 495}, "cmdStop");
    expectRect(FindChild(window, L"Computer: " + ComputerName(), L"Static"), {180, -15, 2295, 255}, "Label1");
    expectRect(FindChild(window, ComputerName(), L"Static"), {180, -15, 2295, 255}, "Label2");

    // Centred on the screen.
    RECT frame{};
    GetWindowRect(window, &frame);
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_LE(std::abs((frame.left + frame.right) / 2 - screenWidth / 2), 1);
    EXPECT_LE(std::abs((frame.top + frame.bottom) / 2 - screenHeight / 2), 1);

    SaveScreenshot(WinBuildDir() + L"\\wine\\main-window-" + std::to_wstring(dpi) + L"dpi.bmp");
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program.WaitForExit(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Dpi, MainWindowLayoutTest, ::testing::Values(96, 144),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "At" + std::to_string(info.param) + "Dpi";
                         });

TEST(ExecutableResources, VersionRecordNamesTheProductInUsEnglishUnicode) {
    const std::wstring exe = TarnwickExe();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> record(size);
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, record.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);  // 1.0
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);           // .0.0
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);

    struct Translation { WORD language, codePage; }* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    EXPECT_EQ(translation->language, 0x0409);
    EXPECT_EQ(translation->codePage, 1200);

    const auto text = [&](const wchar_t* name) {
        wchar_t* value = nullptr;
        UINT characters = 0;
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        if (!VerQueryValueW(record.data(), path.c_str(), reinterpret_cast<void**>(&value), &characters))
            return std::wstring(L"<missing>");
        return std::wstring(value);
    };
    EXPECT_EQ(text(L"ProductName"), L"Tarnwick");
    EXPECT_EQ(text(L"FileVersion"), L"1.00");
    EXPECT_EQ(text(L"ProductVersion"), L"1.00");
    EXPECT_NE(text(L"CompanyName"), L"<missing>");
    const std::wstring comments = text(L"Comments");
    EXPECT_NE(comments.find(L"-auto"), std::wstring::npos) << "the comment tells how to use -auto";
}

// --- One switch at a time, and responsive while it waits -------------------

TEST_F(SwitchTest, TwoAutoCopiesStartedTogetherSwitchOnceAndTheOtherChangesNothing) {
    // IISADMIN stays starting until both copies have decided, so the one
    // that switches is still at it when the other looks.
    ServiceBehaviour held;
    held.hangStart = true;
    Reset(BenchSetup().Behaving(L"IISADMIN", held));
    const Program copies[2] = {Program::Launch(L"-auto"), Program::Launch(L"-auto")};

    std::optional<MessageBoxInfo> box;
    int refused = -1;
    PollUntil(
        [&] {
            for (int i = 0; i < 2; ++i) {
                box = copies[i].FindMessageBox();
                if (box && box->icon != BoxIcon::Unknown) {
                    refused = i;
                    return true;
                }
            }
            return false;
        },
        kWindowTimeoutMs);
    ASSERT_NE(refused, -1) << "neither copy said that the other one was switching";
    EXPECT_EQ(box->caption, L"Tarnwick");
    EXPECT_EQ(box->text, L"Another Tarnwick is switching the IIS services. Nothing was changed.");
    EXPECT_EQ(box->icon, BoxIcon::Information);
    EXPECT_EQ(box->buttons, std::vector<std::wstring>{L"OK"});
    AnswerOk(*box);
    EXPECT_EQ(copies[refused].WaitForExit(), 3u);
    // The other copy decided to switch on and still waits for IISADMIN.
    EXPECT_TRUE(WaitForState(L"IISADMIN", SERVICE_START_PENDING));
    EXPECT_TRUE(copies[1 - refused].Running());
    SetBehaviour(L"IISADMIN", ServiceBehaviour());  // now it may run
    EXPECT_EQ(copies[1 - refused].WaitForExit(), 0u);

    // All on, switched once: never half one way and half the other.
    EXPECT_EQ(QueryState(L"IISADMIN"), SERVICE_RUNNING);
    EXPECT_EQ(QueryStartType(L"IISADMIN"), SERVICE_AUTO_START);
    EXPECT_TRUE(WaitForState(L"W3SVC", SERVICE_RUNNING));
    EXPECT_TRUE(WaitForState(L"MSFTPSVC", SERVICE_RUNNING));
    EXPECT_EQ(Calls("IISADMIN", "Start").size(), 1u);
    EXPECT_EQ(Calls("IISADMIN", "StartType").size(), 1u);
    EXPECT_TRUE(Calls("IISADMIN", "Stop").empty());
}

TEST_F(SwitchTest, AButtonPressedWhileAnotherProgramSwitchesSaysSoAndCanBePressedAgain) {
    const Program program = Program::Launch(L"");
    const HWND window = MainWindowAfterDecision(program, 1);
    ASSERT_TRUE(window);
    const HWND start = FindChild(window, L"Start Web", L"Button");
    HeldMutex other = HoldMutex(kSwitchingMutexName);  // another program switching
    ASSERT_TRUE(other);
    Click(start);
    const auto box = program.WaitForMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, L"Another Tarnwick is switching the IIS services. Nothing was changed.");
    EXPECT_EQ(box->icon, BoxIcon::Information);
    AnswerOk(*box);
    EXPECT_TRUE(PollUntil([&] { return !program.FindMessageBox(); }, kWindowTimeoutMs));
    EXPECT_TRUE(program.Running()) << "the window did not stay";
    EXPECT_EQ(Calls("computer", "GetObject").size(), 1u) << "the click read the services";

    // Once the other program is done, the same button switches.
    other.Reset();
    Click(start);
    EXPECT_EQ(program.WaitForExit(), 0u);
    EXPECT_EQ(QueryState(L"IISADMIN"), SERVICE_RUNNING);
}

TEST_F(SwitchTest, TheRightLeftBehindByAnEndedCopyDoesNotBlockTheNextOne) {
    // A thread that takes the mutex and ends without giving it back leaves it
    // abandoned, as a copy ended mid-switch does; the handle kept here keeps
    // the mutex in existence.
    HANDLE abandoned = nullptr;
    std::thread([&] { abandoned = CreateMutexW(nullptr, TRUE, kSwitchingMutexName); }).join();
    ASSERT_TRUE(abandoned);

    const Program program = Program::Launch(L"-auto");
    EXPECT_EQ(program.WaitForExit(), 0u);
    EXPECT_EQ(QueryState(L"IISADMIN"), SERVICE_RUNNING);
    EXPECT_EQ(QueryStartType(L"IISADMIN"), SERVICE_AUTO_START);
    CloseHandle(abandoned);
}

TEST_F(SwitchTest, ALongStartKeepsTheWindowRespondingButInertUntilItEnds) {
    ServiceBehaviour slow;
    slow.startDelayMs = 10000;  // twice the time after which Windows calls a window hung
    Reset(BenchSetup().Behaving(L"IISADMIN", slow));
    const Program program = Program::Launch(L"-auto");
    const HWND window = program.WaitForMainWindow();
    ASSERT_TRUE(window);
    const HWND stop = FindChild(window, L"Stop Web", L"Button");
    ASSERT_TRUE(stop);
    // The sequence waits for IISADMIN from here on; it disabled the window
    // before it asked IISADMIN to start.
    ASSERT_TRUE(WaitForState(L"IISADMIN", SERVICE_START_PENDING));
    EXPECT_FALSE(IsWindowEnabled(window)) << "the window takes input mid-switch";

    // Close, a log-off and a click are all turned away.
    DWORD_PTR answer = 0;
    EXPECT_TRUE(SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_NORMAL, kWindowTimeoutMs, &answer));
    EXPECT_TRUE(IsWindow(window)) << "Close ended the window mid-switch";
    answer = TRUE;
    EXPECT_TRUE(SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL,
                                    kWindowTimeoutMs, &answer));
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(FALSE)) << "a log-off was let through mid-switch";
    ClickAt(CentreOf(stop));

    bool everHung = false;
    bool everFocusedStop = false;
    bool everEnabled = false;
    const bool ended = PollUntil(
        [&] {
            if (!program.Running()) return true;
            everHung = everHung || IsHungAppWindow(window);
            everFocusedStop = everFocusedStop || program.Focus(window) == stop;
            everEnabled = everEnabled || (IsWindow(window) && IsWindowEnabled(window));
            return false;
        },
        kExitTimeoutMs);
    ASSERT_TRUE(ended);
    EXPECT_FALSE(everHung) << "Windows took the waiting window for hung";
    EXPECT_FALSE(everFocusedStop) << "the click reached Stop Web";
    EXPECT_FALSE(everEnabled) << "the window took input mid-switch";
    EXPECT_EQ(program.WaitForExit(), 0u);
    EXPECT_EQ(QueryState(L"IISADMIN"), SERVICE_RUNNING);
    EXPECT_TRUE(WaitForState(L"W3SVC", SERVICE_RUNNING));
    EXPECT_TRUE(Calls("IISADMIN", "Stop").empty());
}

TEST(ExecutableResources, TheMessageTableGivesAnEventTheTextItCarries) {
    // What Event Viewer does with the event source's message file.
    const HMODULE exe = LoadLibraryExW(TarnwickExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(exe);
    const std::wstring text = L"Error 0x80070035: The network path was not found.\n\nTarnwick will close.";
    DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(text.c_str())};
    wchar_t buffer[512];
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, exe,
                                        TARNWICK_EVENT_REPORT, 0, buffer, 512,
                                        reinterpret_cast<va_list*>(arguments));
    EXPECT_EQ(std::wstring(buffer, length), text);
    FreeLibrary(exe);
}

// --- The right given back before a final report; a window thread that never waits on a service ---

// Releases a service program held before its dispatcher, also when an assertion fails.
class HeldDispatch {
public:
    explicit HeldDispatch(std::wstring service) : service_(std::move(service)) {}
    HeldDispatch(const HeldDispatch&) = delete;
    HeldDispatch& operator=(const HeldDispatch&) = delete;
    ~HeldDispatch() { ReleaseDispatch(service_); }

private:
    std::wstring service_;
};

TEST_F(SwitchTest, AStrictFailureLeftOnScreenDoesNotHoldBackAnotherCopysStartWeb) {
    // "-auto" takes the right, then its strict lookup of MSFTPSVC fails.
    InjectFault(L"MSFTPSVC", ServiceFault::Lookup, kServiceDoesNotExist);
    const Program failed = Program::Launch(L"-auto");
    const auto box = failed.WaitForMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->icon, BoxIcon::Error);
    InjectFault(L"MSFTPSVC", ServiceFault::Lookup, 0);

    // With the report still open, another copy switches.
    const Program other = Program::Launch(L"");
    const HWND window = MainWindowAfterDecision(other, 1);
    ASSERT_TRUE(window);
    Click(FindChild(window, L"Start Web", L"Button"));
    EXPECT_EQ(other.WaitForExit(), 0u) << "the open report held the right to switch";
    EXPECT_EQ(QueryState(L"IISADMIN"), SERVICE_RUNNING);
    EXPECT_TRUE(WaitForState(L"MSFTPSVC", SERVICE_RUNNING));

    EXPECT_TRUE(failed.Running()) << "the report went without the user";
    AnswerOk(*box);
    EXPECT_EQ(failed.WaitForExit(), 1u);
}

TEST_F(SwitchTest, AStartCallThatBlocksForSecondsNeverMakesTheWindowHung) {
    ServiceBehaviour held;
    held.holdDispatch = true;  // StartService waits for the service program to reach its dispatcher
    Reset(BenchSetup().Behaving(L"IISADMIN", held));
    const HeldDispatch release(L"IISADMIN");
    const Program program = Program::Launch(L"-auto");
    // Found by its class, which asks nothing of the window's thread.
    HWND window = nullptr;
    ASSERT_TRUE(PollUntil([&] { return (window = FindWindowW(L"Tarnwick.Form1", nullptr)) != nullptr; },
                          kWindowTimeoutMs));
    ASSERT_TRUE(PollUntil([] { return DispatchHeld(L"IISADMIN"); }, kWindowTimeoutMs)) << "Start was not called";

    // Windows takes a window for hung 5 s after its thread last took a message.
    EXPECT_FALSE(PollUntil([&] { return IsHungAppWindow(window) != FALSE; }, 8000))
        << "Windows took the window for hung while Start blocked";
    EXPECT_TRUE(Calls("IISADMIN", "Start").empty()) << "Start returned before the 8 s were over";
    ReleaseDispatch(L"IISADMIN");
    EXPECT_EQ(program.WaitForExit(), 0u);
    EXPECT_EQ(QueryState(L"IISADMIN"), SERVICE_RUNNING);
}

}  // namespace
}  // namespace tarnwick::bench
