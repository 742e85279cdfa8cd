#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "fake_registry.h"
#include "fake_services.h"
#include "messages.h"
#include "service_control.h"
#include "tick_count.h"

namespace tarnwick::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;

constexpr auto kBound = std::chrono::milliseconds(500);
const Failure kAccessDenied(static_cast<std::int32_t>(0x80070005), L"Access is denied.");
const Failure kNoService(static_cast<std::int32_t>(0x80070424), L"The specified service does not exist.");

class ServiceControlTest : public ::testing::Test {
protected:
    ScriptedService& Service(const wchar_t* name) { return directory.services.at(name); }

    // The log from the first call that names `prefix` on, to skip the common preamble.
    CallLog From(const std::wstring& prefix) const {
        const auto first = std::find_if(log.begin(), log.end(), [&](const std::wstring& call) {
            return call.rfind(prefix, 0) == 0;
        });
        return CallLog(first, log.end());
    }

    std::size_t Count(const std::wstring& call) const {
        return static_cast<std::size_t>(std::count(log.begin(), log.end(), call));
    }

    CallLog log;
    FakeView view{log};
    FakeComputerName names;
    FakeDirectory directory{log};
    FakeRegistry registry{log};  // no IIS set-up key: the IIS 6 profile
    FakeClock clock{log};
    FakeSwitching switching{log};
    ServiceControl control{view, names, directory, registry, clock, switching, kBound};
};

TEST_F(ServiceControlTest, StartClickBindsLabel2AndRunsTheStartSequence) {
    Service(L"IISADMIN").statuses = {1, 2, 2, 4};

    const Outcome outcome = control.OnStartClick();

    EXPECT_EQ(outcome.kind, Outcome::Kind::SequenceDone);
    EXPECT_THAT(log, ElementsAre(
        L"switch.TryTake",  // before the first service read
        L"view.Label1=Computer: WEBHOST", L"view.Label2=WEBHOST", L"view.Label2?",
        L"Bind WinNT://WEBHOST,computer",
        L"computer.GetObject(\"Service\",\"IISADMIN\")",
        L"computer.GetObject(\"Service\",\"W3SVC\")",
        L"computer.GetObject(\"Service\",\"MSFTPSVC\")",
        L"switch.SequenceBegins",
        L"IISADMIN.Put StartType=\"2\"", L"IISADMIN.SetInfo", L"IISADMIN.Start",
        L"IISADMIN.Get Status", L"Pause 3", L"IISADMIN.Get Status", L"Pause 3",
        L"IISADMIN.Get Status", L"Pause 3", L"IISADMIN.Get Status",
        L"W3SVC.Start", L"MSFTPSVC.Start"));
}

TEST_F(ServiceControlTest, StopClickRunsTheStopSequenceAndDisablesOnlyIisAdmin) {
    Service(L"W3SVC").statuses = {3, 3, 1};
    Service(L"IISADMIN").statuses = {4};
    Service(L"IISADMIN").stopsUntilStopped = 2;  // reports stopped after the second Stop

    const Outcome outcome = control.OnStopClick();

    EXPECT_EQ(outcome.kind, Outcome::Kind::SequenceDone);
    EXPECT_THAT(From(L"MSFTPSVC.Stop"), ElementsAre(
        L"MSFTPSVC.Stop", L"W3SVC.Stop",
        L"W3SVC.Get Status", L"Pause 3", L"W3SVC.Get Status", L"Pause 3", L"W3SVC.Get Status",
        // the repeated stop pauses between its requests, like every poll
        L"IISADMIN.Get Status", L"IISADMIN.Stop", L"Pause 3", L"IISADMIN.Get Status", L"IISADMIN.Stop",
        L"Pause 3", L"IISADMIN.Get Status",
        L"IISADMIN.Put StartType=\"4\"", L"IISADMIN.SetInfo"));
}

TEST_F(ServiceControlTest, TheBoundNameIsWhateverLabel2HoldsWhenItIsRead) {
    view.label2Override = L"OTHERBOX";
    control.OnStartClick();
    EXPECT_THAT(log, Contains(L"Bind WinNT://OTHERBOX,computer"));

    log.clear();
    view.label2Override.reset();
    names.name.reset();  // the name cannot be read
    control.OnStopClick();
    EXPECT_THAT(log, Contains(L"view.Label1=Computer: "));
    EXPECT_THAT(log, Contains(L"view.Label2="));
    EXPECT_THAT(log, Contains(L"Bind WinNT://,computer"));
}

TEST_F(ServiceControlTest, ButtonsIgnoreEveryFailureAfterTheBind) {
    for (const auto* name : {L"IISADMIN", L"W3SVC", L"MSFTPSVC"})
        for (const auto* member : {L"StartType", L"SetInfo", L"Start"})
            Service(name).failures.insert_or_assign(member, kAccessDenied);
    Service(L"IISADMIN").failingStatusReads = 2;  // failed reads count as "not yet"
    Service(L"IISADMIN").statuses = {4};

    EXPECT_EQ(control.OnStartClick().kind, Outcome::Kind::SequenceDone);
    EXPECT_THAT(From(L"IISADMIN.Put"), ElementsAre(
        L"IISADMIN.Put StartType=\"2\"", L"IISADMIN.SetInfo", L"IISADMIN.Start",
        L"IISADMIN.Get Status", L"Pause 3", L"IISADMIN.Get Status", L"Pause 3",
        L"IISADMIN.Get Status", L"W3SVC.Start", L"MSFTPSVC.Start"));
}

TEST_F(ServiceControlTest, AFailedLookupLeavesTheFieldEmptyAndTheSequenceGoesOn) {
    Service(L"W3SVC").lookupFailure = kNoService;
    Service(L"IISADMIN").statuses = {4};

    EXPECT_EQ(control.OnStartClick().kind, Outcome::Kind::SequenceDone);
    EXPECT_THAT(log, Contains(L"MSFTPSVC.Start"));
    EXPECT_THAT(log, Not(Contains(L"W3SVC.Start")));
}

TEST_F(ServiceControlTest, AWaitOnAServiceThatWasNotFoundGivesUpAtOnceAndSaysWhy) {
    struct Case {
        const wchar_t* missing;
        Outcome (ServiceControl::*handler)();
        ServiceState awaited;
    };
    const Case cases[] = {
        {L"W3SVC", &ServiceControl::OnStopClick, ServiceState::Stopped},
        {L"IISADMIN", &ServiceControl::OnStopClick, ServiceState::Stopped},
        {L"IISADMIN", &ServiceControl::OnStartClick, ServiceState::Running},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.missing);
        FakeDirectory fresh{log};
        FakeClock still{log};
        ServiceControl control{view, names, fresh, registry, still, switching, kBound};
        fresh.services.erase(c.missing);
        log.clear();

        const Outcome outcome = (control.*c.handler)();

        ASSERT_EQ(outcome.kind, Outcome::Kind::BoundReached);
        EXPECT_TRUE(outcome.timeout->serviceMissing);
        EXPECT_EQ(outcome.timeout->service, c.missing);
        EXPECT_EQ(outcome.timeout->awaited, c.awaited);
        ASSERT_TRUE(outcome.timeout->lastIgnored);
        EXPECT_EQ(outcome.timeout->lastIgnored->Code(), static_cast<std::int32_t>(0x80070424));
        // Nothing waited, and nothing after the wait: no pause, no start type, no further request.
        EXPECT_THAT(log, Not(Contains(L"Pause 3")));
        EXPECT_THAT(log, Not(Contains(L"IISADMIN.SetInfo")));
        EXPECT_THAT(log, Not(Contains(L"IISADMIN.Put StartType=\"4\"")));
        EXPECT_THAT(log, Not(Contains(L"W3SVC.Start")));
    }
}

TEST_F(ServiceControlTest, StrictFailuresBeforeIgnoringModeEscapeTheButtons) {
    directory.bindFailure = Failure(static_cast<std::int32_t>(0x80070035), L"The network path was not found.");
    try {
        control.OnStartClick();
        FAIL() << "the failed bind was not reported";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.Code(), static_cast<std::int32_t>(0x80070035));
    }
    EXPECT_THAT(log, Not(Contains(L"computer.GetObject(\"Service\",\"IISADMIN\")")));

    log.clear();
    view.failSetCaption = kAccessDenied;  // the window refuses its caption
    EXPECT_THROW(control.OnStopClick(), Failure);
    EXPECT_THAT(log, ElementsAre(L"switch.TryTake", L"view.Label1=Computer: WEBHOST"));
}

TEST_F(ServiceControlTest, StartGivesUpWhenIisAdminNeverRuns) {
    Service(L"IISADMIN").statuses = {2};
    Service(L"IISADMIN").failures.insert_or_assign(L"Start", kAccessDenied);

    const Outcome outcome = control.OnStartClick();

    ASSERT_EQ(outcome.kind, Outcome::Kind::BoundReached);
    EXPECT_EQ(outcome.timeout->service, L"IISADMIN");
    EXPECT_EQ(outcome.timeout->awaited, ServiceState::Running);
    EXPECT_EQ(outcome.timeout->bound, kBound);
    EXPECT_GE(outcome.timeout->waited, kBound);
    ASSERT_TRUE(outcome.timeout->lastIgnored);
    EXPECT_EQ(outcome.timeout->lastIgnored->Code(), kAccessDenied.Code());
    EXPECT_EQ(log.back(), L"IISADMIN.Get Status");  // nothing after the wait
    EXPECT_THAT(log, Not(Contains(L"W3SVC.Start")));
}

TEST_F(ServiceControlTest, StopGivesUpWhenW3SvcOrIisAdminNeverStops) {
    Service(L"W3SVC").statuses = {3};
    Outcome outcome = control.OnStopClick();
    ASSERT_EQ(outcome.kind, Outcome::Kind::BoundReached);
    EXPECT_EQ(outcome.timeout->service, L"W3SVC");
    EXPECT_FALSE(outcome.timeout->lastIgnored);
    EXPECT_THAT(log, Not(Contains(L"IISADMIN.Stop")));

    log.clear();
    Service(L"W3SVC").statuses = {1};
    Service(L"IISADMIN").statuses = {4};
    Service(L"IISADMIN").failures.insert_or_assign(
        L"Stop", Failure(static_cast<std::int32_t>(0x8007041B), L"dependents running"));
    outcome = control.OnStopClick();
    ASSERT_EQ(outcome.kind, Outcome::Kind::BoundReached);
    EXPECT_EQ(outcome.timeout->service, L"IISADMIN");
    EXPECT_EQ(outcome.timeout->awaited, ServiceState::Stopped);
    EXPECT_EQ(outcome.timeout->lastIgnored->Code(), static_cast<std::int32_t>(0x8007041B));
    EXPECT_GT(Count(L"IISADMIN.Stop"), 10u);
    EXPECT_THAT(log, Not(Contains(L"IISADMIN.Put StartType=\"4\"")));
    // No request follows another without the pause.
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (log[i] == L"IISADMIN.Stop") {
            EXPECT_EQ(log.at(i + 1), L"Pause 3") << "after request " << i;
        }
    }
    EXPECT_EQ(Count(L"Pause 3"), Count(L"IISADMIN.Stop"));
}

TEST_F(ServiceControlTest, AlreadyRunningAndAlreadyStoppedStillFinish) {
    Service(L"IISADMIN").statuses = {4};
    Service(L"IISADMIN").failures.insert_or_assign(
        L"Start", Failure(static_cast<std::int32_t>(0x80070420), L"already running"));
    EXPECT_EQ(control.OnStartClick().kind, Outcome::Kind::SequenceDone);
    EXPECT_THAT(From(L"IISADMIN.Get Status"),
                ElementsAre(L"IISADMIN.Get Status", L"W3SVC.Start", L"MSFTPSVC.Start"));

    log.clear();
    Service(L"IISADMIN").statuses = {1};
    for (const auto* name : {L"IISADMIN", L"W3SVC", L"MSFTPSVC"})
        Service(name).failures.insert_or_assign(
            L"Stop", Failure(static_cast<std::int32_t>(0x80070426), L"not started"));
    EXPECT_EQ(control.OnStopClick().kind, Outcome::Kind::SequenceDone);
    EXPECT_THAT(From(L"W3SVC.Get Status"),
                ElementsAre(L"W3SVC.Get Status", L"IISADMIN.Get Status",
                            L"IISADMIN.Put StartType=\"4\"", L"IISADMIN.SetInfo"));
}

// --- launch decision -------------------------------------------------------

TEST_F(ServiceControlTest, LaunchShowsTheWindowFirstAndFocusesByIisAdminsState) {
    struct Case {
        std::vector<std::int32_t> statuses;
        std::vector<std::wstring> focus;
    };
    const Case cases[] = {
        {{1}, {L"view.FocusStart"}},
        {{4}, {L"view.FocusStop"}},
        {{2}, {}},              // pending: the focus stays where showing put it
        {{7}, {}},              // paused
        {{3, 4}, {L"view.FocusStop"}},  // changed between the two reads
        {{4, 1}, {}},           // running, then stopped: neither read decides
    };
    for (const auto& c : cases) {
        log.clear();
        Service(L"IISADMIN") = ScriptedService{};
        Service(L"IISADMIN").statuses = c.statuses;

        EXPECT_EQ(control.DecideAtLaunch(L"").kind, Outcome::Kind::KeepRunning);

        // Reading IIS's set-up key is the one step before the bind.
        CallLog expected = {L"view.Show", L"read 80000002 SOFTWARE\\Microsoft\\InetStp MajorVersion",
                            L"key? 80000002 SOFTWARE\\Microsoft\\InetStp",
                            L"view.Label1=Computer: WEBHOST", L"view.Label2=WEBHOST",
                            L"view.Label2?", L"Bind WinNT://WEBHOST,computer",
                            L"computer.GetObject(\"Service\",\"IISADMIN\")", L"IISADMIN.Get Status"};
        if (c.statuses.front() != 1) expected.push_back(L"IISADMIN.Get Status");
        expected.insert(expected.end(), c.focus.begin(), c.focus.end());
        EXPECT_EQ(log, expected) << "statuses starting " << c.statuses.front();
    }
}

TEST_F(ServiceControlTest, AutomaticLaunchTogglesByIisAdminsState) {
    Service(L"IISADMIN").statuses = {1, 4};
    EXPECT_EQ(control.DecideAtLaunch(L"-auto").kind, Outcome::Kind::SequenceDone);
    EXPECT_THAT(From(L"computer.GetObject"), ElementsAre(
        L"computer.GetObject(\"Service\",\"IISADMIN\")", L"computer.GetObject(\"Service\",\"W3SVC\")",
        L"computer.GetObject(\"Service\",\"MSFTPSVC\")", L"IISADMIN.Get Status", L"switch.SequenceBegins",
        L"IISADMIN.Put StartType=\"2\"", L"IISADMIN.SetInfo", L"IISADMIN.Start",
        L"IISADMIN.Get Status", L"W3SVC.Start", L"MSFTPSVC.Start"));

    log.clear();
    Service(L"IISADMIN") = ScriptedService{};
    Service(L"IISADMIN").statuses = {4};
    Service(L"IISADMIN").stopsUntilStopped = 1;
    EXPECT_EQ(control.DecideAtLaunch(L"-Auto").kind, Outcome::Kind::SequenceDone);
    EXPECT_THAT(From(L"IISADMIN.Get Status"), ElementsAre(
        L"IISADMIN.Get Status", L"IISADMIN.Get Status",  // not stopped, then running
        L"switch.SequenceBegins", L"MSFTPSVC.Stop", L"W3SVC.Stop", L"W3SVC.Get Status",
        L"IISADMIN.Get Status", L"IISADMIN.Stop", L"Pause 3", L"IISADMIN.Get Status",
        L"IISADMIN.Put StartType=\"4\"", L"IISADMIN.SetInfo"));
}

TEST_F(ServiceControlTest, AutomaticLaunchWithIisAdminPendingFallsBackToTheWindow) {
    Service(L"IISADMIN").statuses = {2};
    EXPECT_EQ(control.DecideAtLaunch(L"-auto").kind, Outcome::Kind::KeepRunning);
    EXPECT_EQ(log.at(1), L"switch.TryTake");  // right after showing the window
    // Nothing is switched: the right goes back before the window waits for the user.
    EXPECT_THAT(From(L"switch.GiveBack"), ElementsAre(
        L"switch.GiveBack", L"computer.GetObject(\"Service\",\"IISADMIN\")", L"IISADMIN.Get Status",
        L"IISADMIN.Get Status"));
    EXPECT_THAT(log, Not(Contains(L"switch.SequenceBegins")));
    EXPECT_EQ(Count(L"computer.GetObject(\"Service\",\"IISADMIN\")"), 2u);
    EXPECT_EQ(Count(L"IISADMIN.Get Status"), 4u);
    EXPECT_THAT(log, Not(Contains(L"view.FocusStart")));
    for (const auto& call : log) EXPECT_EQ(call.find(L".Put"), std::wstring::npos) << call;
}

TEST_F(ServiceControlTest, OnlyTheExactAutomaticArgumentsToggle) {
    for (const auto* argument : {L"-AUTO", L"auto", L"-auto -auto", L"/auto", L""}) {
        log.clear();
        Service(L"IISADMIN") = ScriptedService{};
        EXPECT_EQ(control.DecideAtLaunch(argument).kind, Outcome::Kind::KeepRunning) << argument;
        EXPECT_EQ(Count(L"computer.GetObject(\"Service\",\"W3SVC\")"), 0u) << argument;
        EXPECT_THAT(log, Contains(L"view.FocusStart")) << argument;
    }
}

// "-on" and "-off" run their sequence from whatever state the switch service
// is in: the calls from the first lookup on, for a switch service that starts
// out stopped (1), running (4) or pending (2).
CallLog OneWayCalls(bool iis7, bool on, std::int32_t initial) {
    const std::wstring sw = iis7 ? L"W3SVC" : L"IISADMIN";
    const std::wstring ftp = iis7 ? L"FTPSVC" : L"MSFTPSVC";
    CallLog calls;
    for (const auto& name : iis7 ? std::vector<std::wstring>{sw, ftp} : std::vector<std::wstring>{sw, L"W3SVC", ftp})
        calls.push_back(L"computer.GetObject(\"Service\",\"" + name + L"\")");
    calls.push_back(L"switch.SequenceBegins");
    if (on) {
        calls.insert(calls.end(), {sw + L".Put StartType=\"2\"", sw + L".SetInfo", sw + L".Start", sw + L".Get Status"});
        if (initial != 4) calls.insert(calls.end(), {L"Pause 3", sw + L".Get Status"});
        if (iis7) calls.insert(calls.end(), {ftp + L".Put StartType=\"2\"", ftp + L".SetInfo"});
        if (!iis7) calls.push_back(L"W3SVC.Start");
        calls.push_back(ftp + L".Start");
    } else {
        calls.insert(calls.end(), {ftp + L".Stop", L"W3SVC.Stop", L"W3SVC.Get Status"});
        if (!iis7) {
            calls.push_back(L"IISADMIN.Get Status");
            if (initial != 1) calls.insert(calls.end(), {L"IISADMIN.Stop", L"Pause 3", L"IISADMIN.Get Status"});
        }
        calls.insert(calls.end(), {sw + L".Put StartType=\"4\"", sw + L".SetInfo"});
        if (iis7) calls.insert(calls.end(), {ftp + L".Put StartType=\"4\"", ftp + L".SetInfo"});
    }
    return calls;
}

void ExpectOneWayLaunches(ServiceControl& control, std::map<std::wstring, ScriptedService>& services,
                          CallLog& log, bool iis7) {
    const wchar_t* sw = iis7 ? L"W3SVC" : L"IISADMIN";
    for (const bool on : {true, false}) {
        for (const std::int32_t initial : {1, 4, 2}) {
            for (const auto* argument : on ? std::vector<const wchar_t*>{L"-on", L"-On"}
                                           : std::vector<const wchar_t*>{L"-off", L"-Off"}) {
                SCOPED_TRACE(std::wstring(argument) + L" from " + std::to_wstring(initial));
                for (auto& [name, service] : services) service = ScriptedService{};
                auto& s = services.at(sw);
                s.statuses = on ? std::vector<std::int32_t>{initial, 4} : std::vector<std::int32_t>{initial};
                if (!on && initial != 1) s.stopsUntilStopped = 1;
                log.clear();

                const Outcome outcome = control.DecideAtLaunch(argument);

                ASSERT_EQ(outcome.kind, Outcome::Kind::SequenceDone);
                EXPECT_EQ(log.at(1), L"switch.TryTake");
                const auto first = std::find_if(log.begin(), log.end(), [](const std::wstring& call) {
                    return call.rfind(L"computer.GetObject", 0) == 0;
                });
                EXPECT_EQ(CallLog(first, log.end()), OneWayCalls(iis7, on, initial));
                ASSERT_TRUE(outcome.switched);
                EXPECT_EQ(outcome.switched->on, on);
                EXPECT_EQ(SwitchedText(*outcome.switched),
                          std::wstring(L"Tarnwick switched the IIS services ") + (on ? L"on: " : L"off: ") +
                              (iis7 ? L"W3SVC, FTPSVC." : L"IISADMIN, W3SVC, MSFTPSVC."));
            }
        }
    }
}

TEST_F(ServiceControlTest, OnAndOffSwitchOneWayWhateverIisAdminsState) {
    ExpectOneWayLaunches(control, directory.services, log, false);

    // Spellings that are not recognised leave the window open, and read only.
    for (const auto* argument : {L"-ON", L"/on", L"on", L"-OFF", L"/off", L"-off -on"}) {
        log.clear();
        Service(L"IISADMIN") = ScriptedService{};
        EXPECT_EQ(control.DecideAtLaunch(argument).kind, Outcome::Kind::KeepRunning) << argument;
        EXPECT_THAT(log, Not(Contains(L"switch.TryTake"))) << argument;
        EXPECT_THAT(log, Contains(L"view.FocusStart")) << argument;
    }

    // Strict as "-auto": a missing service is reported before anything is touched.
    Service(L"MSFTPSVC").lookupFailure = kNoService;
    for (const auto* argument : {L"-on", L"-off"}) {
        log.clear();
        EXPECT_THROW(control.DecideAtLaunch(argument), Failure) << argument;
        EXPECT_THAT(log, Not(Contains(L"switch.SequenceBegins"))) << argument;
    }
}

TEST_F(ServiceControlTest, AutomaticLaunchIsStrictUntilASequenceStarts) {
    Service(L"MSFTPSVC").lookupFailure = kNoService;
    try {
        control.DecideAtLaunch(L"-auto");
        FAIL() << "the missing service was not reported";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.Code(), kNoService.Code());
    }
    for (const auto& call : log) {
        EXPECT_EQ(call.find(L".Start"), std::wstring::npos) << call;
        EXPECT_EQ(call.find(L".Put"), std::wstring::npos) << call;
    }

    log.clear();
    Service(L"MSFTPSVC").lookupFailure.reset();
    Service(L"IISADMIN").failingStatusReads = 1;
    EXPECT_THROW(control.DecideAtLaunch(L"-auto"), Failure);
    EXPECT_EQ(log.back(), L"IISADMIN.Get Status");
}

TEST_F(ServiceControlTest, WhileAnotherProgramSwitchesNothingIsReadOrChanged) {
    switching.heldElsewhere = true;
    struct Case {
        const char* what;
        std::function<Outcome()> run;
        bool endsProgram;
        CallLog calls;
    };
    const Case cases[] = {
        {"-auto", [&] { return control.DecideAtLaunch(L"-auto"); }, true, {L"view.Show", L"switch.TryTake"}},
        {"-Auto", [&] { return control.DecideAtLaunch(L"-Auto"); }, true, {L"view.Show", L"switch.TryTake"}},
        {"-on", [&] { return control.DecideAtLaunch(L"-on"); }, true, {L"view.Show", L"switch.TryTake"}},
        {"-off", [&] { return control.DecideAtLaunch(L"-off"); }, true, {L"view.Show", L"switch.TryTake"}},
        {"Start Web", [&] { return control.OnStartClick(); }, false, {L"switch.TryTake"}},
        {"Stop Web", [&] { return control.OnStopClick(); }, false, {L"switch.TryTake"}},
    };
    for (const Case& c : cases) {
        log.clear();
        const Outcome outcome = c.run();
        EXPECT_EQ(outcome.kind, Outcome::Kind::AlreadySwitching) << c.what;
        EXPECT_EQ(outcome.endsProgram, c.endsProgram) << c.what;
        EXPECT_EQ(log, c.calls) << c.what;
    }

    // The window opened for the user takes no right: it only reads.
    log.clear();
    EXPECT_EQ(control.DecideAtLaunch(L"").kind, Outcome::Kind::KeepRunning);
    EXPECT_THAT(log, Not(Contains(L"switch.TryTake")));
    EXPECT_THAT(log, Contains(L"view.FocusStart"));
}

TEST_F(ServiceControlTest, InteractiveLaunchReportsAMissingIisAdmin) {
    directory.services.erase(L"IISADMIN");
    EXPECT_THROW(control.DecideAtLaunch(L""), Failure);
    EXPECT_EQ(log.front(), L"view.Show");
}

TEST_F(ServiceControlTest, AMissingIisAdminSaysIisIsNotInstalledOnlyWithoutItsSetUpKey) {
    const Failure rpcFailed(static_cast<std::int32_t>(0x800706BA), L"The RPC server is unavailable.");
    for (const Failure& lookup : {kNoService, kAccessDenied, rpcFailed}) {
        Service(L"IISADMIN").lookupFailure = lookup;
        for (const bool keyPresent : {false, true}) {
            if (keyPresent) registry.keys[L"SOFTWARE\\Microsoft\\InetStp"];
            else registry.keys.erase(L"SOFTWARE\\Microsoft\\InetStp");
            const bool noted = !keyPresent && lookup.Code() == kNoService.Code();
            for (const auto* argument : {L"", L"-auto"}) {
                try {
                    control.DecideAtLaunch(argument);
                    ADD_FAILURE() << "the failed lookup was not reported";
                } catch (const Failure& failure) {
                    EXPECT_EQ(failure.Code(), lookup.Code());
                    EXPECT_EQ(failure.Description(), lookup.Description());
                    EXPECT_EQ(failure.Note(), noted ? L"IIS is not installed on this computer." : L"")
                        << std::hex << lookup.Code() << " key " << keyPresent;
                }
            }
        }
    }
}

// --- IIS 7 to 10 ----------------------------------------------------------

class Iis7ControlTest : public ServiceControlTest {
protected:
    Iis7ControlTest() {
        registry.keys[L"SOFTWARE\\Microsoft\\InetStp"][L"MajorVersion"] = Dword(10);
        // WAS and the compatibility feature's IISADMIN are there, and never touched.
        directory.services.erase(L"MSFTPSVC");
        directory.services[L"FTPSVC"];
        directory.services[L"WAS"];
    }

    void ExpectNothingOnWasOrIisAdmin() const {
        for (const auto& call : log) {
            EXPECT_EQ(call.find(L"WAS"), std::wstring::npos) << call;
            EXPECT_EQ(call.find(L"IISADMIN"), std::wstring::npos) << call;
        }
    }
};

TEST_F(Iis7ControlTest, AutoSwitchesW3svcAndTheFtpServiceOnThenOff) {
    Service(L"W3SVC").statuses = {1, 2, 4};
    EXPECT_EQ(control.DecideAtLaunch(L"-auto").kind, Outcome::Kind::SequenceDone);
    EXPECT_THAT(From(L"computer.GetObject"), ElementsAre(
        L"computer.GetObject(\"Service\",\"W3SVC\")", L"computer.GetObject(\"Service\",\"FTPSVC\")",
        L"W3SVC.Get Status", L"switch.SequenceBegins", L"W3SVC.Put StartType=\"2\"", L"W3SVC.SetInfo",
        L"W3SVC.Start", L"W3SVC.Get Status", L"Pause 3", L"W3SVC.Get Status",
        L"FTPSVC.Put StartType=\"2\"", L"FTPSVC.SetInfo", L"FTPSVC.Start"));
    ExpectNothingOnWasOrIisAdmin();

    log.clear();
    Service(L"W3SVC") = ScriptedService{};
    Service(L"W3SVC").statuses = {4, 4, 3, 1};
    EXPECT_EQ(control.DecideAtLaunch(L"-auto").kind, Outcome::Kind::SequenceDone);
    EXPECT_THAT(From(L"W3SVC.Get Status"), ElementsAre(
        L"W3SVC.Get Status", L"W3SVC.Get Status", L"switch.SequenceBegins", L"FTPSVC.Stop", L"W3SVC.Stop",
        L"W3SVC.Get Status", L"Pause 3", L"W3SVC.Get Status",
        L"W3SVC.Put StartType=\"4\"", L"W3SVC.SetInfo", L"FTPSVC.Put StartType=\"4\"", L"FTPSVC.SetInfo"));
    ExpectNothingOnWasOrIisAdmin();
}

TEST_F(Iis7ControlTest, OnAndOffSwitchOneWayWhateverW3svcsState) {
    ExpectOneWayLaunches(control, directory.services, log, true);
    ExpectNothingOnWasOrIisAdmin();
}

TEST_F(Iis7ControlTest, TheFtpServiceIsFtpsvcElseMsftpsvcElseNoneAndNeverAFailure) {
    struct Case {
        std::vector<const wchar_t*> ftp;  // the FTP services the computer has
        const wchar_t* switched;          // the one switched, or null
    };
    const Case cases[] = {
        {{L"FTPSVC", L"MSFTPSVC"}, L"FTPSVC"},
        {{L"MSFTPSVC"}, L"MSFTPSVC"},
        {{}, nullptr},
    };
    for (const Case& c : cases) {
        for (const auto* argument : {L"-auto", L""}) {
            SCOPED_TRACE(std::wstring(c.switched ? c.switched : L"none") + L" " + argument);
            directory.services.erase(L"FTPSVC");
            for (const auto* ftp : c.ftp) directory.services[ftp];
            Service(L"W3SVC") = ScriptedService{};
            Service(L"W3SVC").statuses = {4};
            Service(L"W3SVC").stopsUntilStopped = 1;
            log.clear();

            const Outcome outcome = *argument ? control.DecideAtLaunch(argument) : control.OnStopClick();

            EXPECT_EQ(outcome.kind, Outcome::Kind::SequenceDone);
            EXPECT_THAT(log, Contains(L"W3SVC.Put StartType=\"4\""));
            for (const auto* ftp : {L"FTPSVC", L"MSFTPSVC"}) {
                const bool switched = c.switched && std::wstring(ftp) == c.switched;
                EXPECT_EQ(Count(std::wstring(ftp) + L".Stop"), switched ? 1u : 0u) << ftp;
                EXPECT_EQ(Count(std::wstring(ftp) + L".Put StartType=\"4\""), switched ? 1u : 0u) << ftp;
            }
            for (const auto* ftp : c.ftp) directory.services.erase(ftp);
        }
    }
}

TEST_F(Iis7ControlTest, W3svcDecidesTheFocusAndIsLookedUpStrictly) {
    const struct {
        std::int32_t status;
        std::vector<std::wstring> focus;
    } cases[] = {{1, {L"view.FocusStart"}}, {4, {L"view.FocusStop"}}, {2, {}}};
    for (const auto& c : cases) {
        log.clear();
        Service(L"W3SVC") = ScriptedService{};
        Service(L"W3SVC").statuses = {c.status};
        EXPECT_EQ(control.DecideAtLaunch(L"").kind, Outcome::Kind::KeepRunning);
        CallLog expected = {L"computer.GetObject(\"Service\",\"W3SVC\")", L"W3SVC.Get Status"};
        if (c.status != 1) expected.push_back(L"W3SVC.Get Status");
        expected.insert(expected.end(), c.focus.begin(), c.focus.end());
        EXPECT_EQ(From(L"computer.GetObject"), expected) << c.status;
    }

    EXPECT_EQ(std::wstring(control.SwitchService()), L"W3SVC");

    // "-auto" with W3SVC pending falls back to the window, as with IISADMIN.
    log.clear();
    Service(L"W3SVC").statuses = {2};
    EXPECT_EQ(control.DecideAtLaunch(L"-auto").kind, Outcome::Kind::KeepRunning);
    EXPECT_EQ(Count(L"W3SVC.Get Status"), 4u);
    for (const auto& call : log) EXPECT_EQ(call.find(L".Put"), std::wstring::npos) << call;

    directory.services.erase(L"W3SVC");
    for (const auto* argument : {L"", L"-auto"}) {
        log.clear();
        try {
            control.DecideAtLaunch(argument);
            ADD_FAILURE() << "the missing W3SVC was not reported";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.Code(), kNoService.Code());
            EXPECT_EQ(failure.Note(), L"");
        }
        for (const auto& call : log) EXPECT_EQ(call.find(L"FTPSVC."), std::wstring::npos) << call;
    }
    ExpectNothingOnWasOrIisAdmin();
}

TEST_F(Iis7ControlTest, TheButtonsUseTheProfileTheLaunchFound) {
    Service(L"W3SVC").statuses = {1};
    control.DecideAtLaunch(L"");
    log.clear();
    Service(L"W3SVC").statuses = {4};
    Service(L"FTPSVC").failures.insert_or_assign(L"Start", kAccessDenied);

    EXPECT_EQ(control.OnStartClick().kind, Outcome::Kind::SequenceDone);
    EXPECT_THAT(From(L"computer.GetObject"), ElementsAre(
        L"computer.GetObject(\"Service\",\"W3SVC\")", L"computer.GetObject(\"Service\",\"FTPSVC\")",
        L"switch.SequenceBegins", L"W3SVC.Put StartType=\"2\"", L"W3SVC.SetInfo", L"W3SVC.Start",
        L"W3SVC.Get Status",
        L"FTPSVC.Put StartType=\"2\"", L"FTPSVC.SetInfo", L"FTPSVC.Start"));

    // The bound names W3SVC where the IIS 6 profile names IISADMIN.
    log.clear();
    Service(L"W3SVC").statuses = {2};
    const Outcome outcome = control.OnStartClick();
    ASSERT_EQ(outcome.kind, Outcome::Kind::BoundReached);
    EXPECT_EQ(outcome.timeout->service, L"W3SVC");
    EXPECT_EQ(outcome.timeout->awaited, ServiceState::Running);
    EXPECT_THAT(log, Not(Contains(L"FTPSVC.Start")));
    ExpectNothingOnWasOrIisAdmin();
}

// Before Vista the bounds are measured on GetTickCount, which wraps to 0 after
// 49.7 days: carried on past the wrap, a later reading is never the smaller.
TEST(WrapSafeTicks, CarriesTheCountOnAcrossItsWrap) {
    const struct {
        const char* name;
        std::vector<std::uint32_t> readings;
        std::vector<std::uint64_t> expected;
    } cases[] = {
        {"no wrap", {1000, 1500, 61000}, {1000, 1500, 61000}},
        {"across the wrap", {0xFFFFFF00u, 0xFFFFFFFFu, 0x100u}, {0xFFFFFF00u, 0xFFFFFFFFu, 0x100000100u}},
        {"the same reading", {7, 7}, {7, 7}},
        {"wrapped twice", {0xFFFFFFF0u, 0x10u, 0x80000000u, 0xFFFFFFF0u, 0x10u},
         {0xFFFFFFF0u, 0x100000010u, 0x180000000u, 0x1FFFFFFF0u, 0x200000010u}},
    };
    for (const auto& c : cases) {
        WrapSafeTicks ticks;
        std::vector<std::uint64_t> extended;
        for (const std::uint32_t reading : c.readings) extended.push_back(ticks.Extend(reading));
        EXPECT_EQ(extended, c.expected) << c.name;
    }
}

}  // namespace
}  // namespace tarnwick::testing
