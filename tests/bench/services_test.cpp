// The simulated IIS services under Wine's service control manager: what the
// end-to-end tests rely on when they drive the real program against them.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "provider_config.h"
#include "services.h"
#include "win32_raii.h"

namespace tarnwick::bench {
namespace {

constexpr DWORD kNegativeWaitMs = 1000;  // how long "stays in this state" is watched
constexpr double kClockToleranceMs = 20;  // timer granularity between two processes

std::wstring StateLogFile() {
    wchar_t directory[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, directory);
    return std::wstring(directory) + L"bench_services_state.log";
}

struct Observed {
    std::vector<DWORD> states;
    std::vector<double> ms;
};

Observed ChangesOf(const std::string& service) {
    Observed observed;
    for (const StateChange& change : ReadStateLog(StateLogFile())) {
        if (change.service != service) continue;
        observed.states.push_back(change.state);
        observed.ms.push_back(change.ms);
    }
    return observed;
}

DWORD ParameterValue(const std::wstring& service, const wchar_t* value) {
    const std::wstring key = L"SYSTEM\\CurrentControlSet\\Services\\" + service + L"\\Parameters";
    DWORD data = 0xFFFFFFFF;
    DWORD size = sizeof data;
    RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_REG_DWORD, nullptr, &data, &size);
    return data;
}

bool KeyExists(const wchar_t* path) {
    UniqueHkey key;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

class BenchServicesTest : public ::testing::Test {
protected:
    void SetUp() override { ResetServices(); }
    // Nothing hung or running is left for the next test, even after a failure.
    void TearDown() override { ResetServices(); }
};

TEST_F(BenchServicesTest, AreInstalledAsTheThreeIisServices) {
    const DWORD resetStartTypes[] = {SERVICE_DISABLED, SERVICE_DEMAND_START, SERVICE_DEMAND_START};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(testing::Message() << "service " << i);
        const ServiceConfig config = QueryConfig(kServiceNames[i]);
        EXPECT_EQ(config.type, DWORD{SERVICE_WIN32_OWN_PROCESS});
        EXPECT_EQ(config.displayName, kServiceDisplayNames[i]);
        EXPECT_NE(config.binaryPath.find(L"fakesvc.exe"), std::wstring::npos);
        EXPECT_EQ(config.startType, resetStartTypes[i]);
        const std::vector<std::wstring> dependencies =
            i == 0 ? std::vector<std::wstring>{} : std::vector<std::wstring>{L"IISADMIN"};
        EXPECT_EQ(config.dependencies, dependencies);
    }
}

TEST_F(BenchServicesTest, DependenciesSurviveStartTypeChanges) {
    SetStartType(L"W3SVC", SERVICE_AUTO_START);
    SetStartType(L"W3SVC", SERVICE_DEMAND_START);
    EXPECT_EQ(QueryConfig(L"W3SVC").dependencies, std::vector<std::wstring>{L"IISADMIN"});
}

TEST_F(BenchServicesTest, ManagerEnforcesStartAndStopRules) {
    EXPECT_EQ(RequestStart(L"IISADMIN"), DWORD{ERROR_SERVICE_DISABLED});
    EXPECT_EQ(QueryState(L"IISADMIN"), DWORD{SERVICE_STOPPED});
    EXPECT_EQ(RequestControl(L"W3SVC", SERVICE_CONTROL_STOP), DWORD{ERROR_SERVICE_NOT_ACTIVE});

    SetStartType(L"IISADMIN", SERVICE_AUTO_START);
    StartAndWait(L"IISADMIN");
    EXPECT_EQ(RequestStart(L"IISADMIN"), DWORD{ERROR_SERVICE_ALREADY_RUNNING});
}

TEST_F(BenchServicesTest, StartDelayIsSpentStartPending) {
    const DWORD delayMs = 1500;
    ResetServices(BenchSetup().Running(L"IISADMIN").Behaving(L"W3SVC", {delayMs}));
    SetStateLog(StateLogFile());

    ASSERT_EQ(RequestStart(L"W3SVC"), DWORD{ERROR_SUCCESS});
    ASSERT_TRUE(WaitForState(L"W3SVC", SERVICE_RUNNING));

    const Observed observed = ChangesOf("W3SVC");
    ASSERT_EQ(observed.states, (std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_RUNNING}));
    EXPECT_GE(observed.ms[1] - observed.ms[0], delayMs - kClockToleranceMs);
}

TEST_F(BenchServicesTest, StopDelayIsSpentStopPending) {
    const DWORD delayMs = 1500;
    ResetServices(BenchSetup().Running(L"IISADMIN").Running(L"W3SVC").Behaving(L"W3SVC", {0, delayMs}));
    SetStateLog(StateLogFile());

    ASSERT_EQ(RequestControl(L"W3SVC", SERVICE_CONTROL_STOP), DWORD{ERROR_SUCCESS});
    ASSERT_TRUE(WaitForState(L"W3SVC", SERVICE_STOPPED));

    const Observed observed = ChangesOf("W3SVC");
    ASSERT_EQ(observed.states, (std::vector<DWORD>{SERVICE_STOP_PENDING, SERVICE_STOPPED}));
    EXPECT_GE(observed.ms[1] - observed.ms[0], delayMs - kClockToleranceMs);
    EXPECT_EQ(ChangesOf("IISADMIN").states, std::vector<DWORD>{}) << "only W3SVC was asked";
}

// Wine's manager kills a service asked to stop twice while it still runs; a
// fresh start must clear that, or the program's second session would kill it.
TEST_F(BenchServicesTest, RestartedServiceStopsNormallyAgain) {
    ResetServices(BenchSetup().Running(L"IISADMIN"));
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(RequestControl(L"IISADMIN", SERVICE_CONTROL_STOP), DWORD{ERROR_SUCCESS});
        ASSERT_TRUE(WaitForState(L"IISADMIN", SERVICE_STOPPED));
        StartAndWait(L"IISADMIN");
    }
    SetStateLog(StateLogFile());
    ASSERT_EQ(RequestControl(L"IISADMIN", SERVICE_CONTROL_STOP), DWORD{ERROR_SUCCESS});
    ASSERT_TRUE(WaitForState(L"IISADMIN", SERVICE_STOPPED));
    EXPECT_EQ(ChangesOf("IISADMIN").states, (std::vector<DWORD>{SERVICE_STOP_PENDING, SERVICE_STOPPED}))
        << "stopped by itself, not ended from outside";
}

TEST_F(BenchServicesTest, HangingStartStaysPendingUntilQuit) {
    ResetServices(BenchSetup().Running(L"IISADMIN").Behaving(L"W3SVC", {0, 0, true}));

    ASSERT_EQ(RequestStart(L"W3SVC"), DWORD{ERROR_SUCCESS});
    EXPECT_EQ(QueryState(L"W3SVC"), DWORD{SERVICE_START_PENDING});
    EXPECT_FALSE(WaitForState(L"W3SVC", SERVICE_RUNNING, kNegativeWaitMs));
    // Windows answers ERROR_SERVICE_CANNOT_ACCEPT_CTRL here, Wine
    // ERROR_INVALID_SERVICE_CONTROL; either way the stop is refused.
    EXPECT_NE(RequestControl(L"W3SVC", SERVICE_CONTROL_STOP), DWORD{ERROR_SUCCESS});
    EXPECT_EQ(QueryState(L"W3SVC"), DWORD{SERVICE_START_PENDING});

    SignalQuit(L"W3SVC");
    ASSERT_TRUE(WaitForState(L"W3SVC", SERVICE_STOPPED));

    // The signal does not linger into the next start.
    SetBehaviour(L"W3SVC", {});
    StartAndWait(L"W3SVC");
    EXPECT_FALSE(WaitForState(L"W3SVC", SERVICE_STOPPED, kNegativeWaitMs));
}

TEST_F(BenchServicesTest, HangingStopStaysPendingAndRefusesFurtherStops) {
    ResetServices(
        BenchSetup().Running(L"IISADMIN").Running(L"W3SVC").Behaving(L"W3SVC", {0, 0, false, true}));

    ASSERT_EQ(RequestControl(L"W3SVC", SERVICE_CONTROL_STOP), DWORD{ERROR_SUCCESS});
    EXPECT_EQ(QueryState(L"W3SVC"), DWORD{SERVICE_STOP_PENDING});
    EXPECT_FALSE(WaitForState(L"W3SVC", SERVICE_STOPPED, kNegativeWaitMs));
    EXPECT_EQ(RequestControl(L"W3SVC", SERVICE_CONTROL_STOP),
              DWORD{ERROR_SERVICE_CANNOT_ACCEPT_CTRL});
    EXPECT_EQ(QueryState(L"W3SVC"), DWORD{SERVICE_STOP_PENDING});

    ResetServices();
    EXPECT_EQ(QueryState(L"W3SVC"), DWORD{SERVICE_STOPPED});
}

TEST_F(BenchServicesTest, RefusedStopLeavesServiceRunningEveryTime) {
    ResetServices(BenchSetup().Running(L"IISADMIN").Behaving(L"IISADMIN", {0, 0, false, false, true}));

    // Asked repeatedly, as the program asks IISADMIN until it reads stopped.
    for (int attempt = 0; attempt < 3; ++attempt) {
        SCOPED_TRACE(attempt);
        EXPECT_EQ(RequestControl(L"IISADMIN", SERVICE_CONTROL_STOP),
                  DWORD{ERROR_INVALID_SERVICE_CONTROL});
        EXPECT_EQ(QueryState(L"IISADMIN"), DWORD{SERVICE_RUNNING});
    }

    // A behaviour written while it runs takes effect at once.
    SetBehaviour(L"IISADMIN", {});
    EXPECT_EQ(RequestControl(L"IISADMIN", SERVICE_CONTROL_STOP), DWORD{ERROR_SUCCESS});
    EXPECT_TRUE(WaitForState(L"IISADMIN", SERVICE_STOPPED));
}

TEST_F(BenchServicesTest, PausedIsNeitherStoppedNorRunning) {
    ResetServices(BenchSetup().Running(L"IISADMIN"));

    PauseAndWait(L"IISADMIN");
    EXPECT_EQ(QueryState(L"IISADMIN"), DWORD{SERVICE_PAUSED});
    EXPECT_EQ(RequestStart(L"IISADMIN"), DWORD{ERROR_SERVICE_ALREADY_RUNNING});

    ASSERT_EQ(RequestControl(L"IISADMIN", SERVICE_CONTROL_CONTINUE), DWORD{ERROR_SUCCESS});
    EXPECT_TRUE(WaitForState(L"IISADMIN", SERVICE_RUNNING));

    PauseAndWait(L"IISADMIN");
    ASSERT_EQ(RequestControl(L"IISADMIN", SERVICE_CONTROL_STOP), DWORD{ERROR_SUCCESS});
    EXPECT_TRUE(WaitForState(L"IISADMIN", SERVICE_STOPPED));
}

TEST_F(BenchServicesTest, ResetBringsEveryStateBack) {
    // Everything a test may leave behind: a paused automatic IISADMIN, a
    // start that hangs, a service that refuses to stop, a state log and a
    // provider fault.
    ResetServices(BenchSetup()
                      .Running(L"IISADMIN")
                      .Running(L"MSFTPSVC")
                      .Behaving(L"W3SVC", {0, 0, true})
                      .Behaving(L"MSFTPSVC", {0, 0, false, false, true}));
    PauseAndWait(L"IISADMIN");
    ASSERT_EQ(RequestStart(L"W3SVC"), DWORD{ERROR_SUCCESS});
    SetStateLog(StateLogFile());
    InjectFault(L"W3SVC", ServiceFault::Start, E_FAIL);

    ResetServices();

    const DWORD startTypes[] = {SERVICE_DISABLED, SERVICE_DEMAND_START, SERVICE_DEMAND_START};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(testing::Message() << "service " << i);
        EXPECT_EQ(QueryState(kServiceNames[i]), DWORD{SERVICE_STOPPED});
        EXPECT_EQ(QueryStartType(kServiceNames[i]), startTypes[i]);
        for (const wchar_t* value :
             {L"StartDelayMs", L"StopDelayMs", L"HangStart", L"HangStop", L"RefuseStop"})
            EXPECT_EQ(ParameterValue(kServiceNames[i], value), 0u) << "value " << value;
    }
    EXPECT_FALSE(KeyExists(kProviderKey));
    EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, kBenchKey, kStateLogValue, RRF_RT_REG_SZ, nullptr,
                           nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(BenchServicesTest, SetupStartsServicesBeforeGivingThemBehaviour) {
    // A hanging start in the setup must not hang the setup itself.
    ResetServices(BenchSetup()
                      .Running(L"IISADMIN")
                      .Running(L"W3SVC")
                      .Running(L"MSFTPSVC")
                      .Behaving(L"W3SVC", {0, 0, true, false, true}));

    for (const wchar_t* name : kServiceNames)
        EXPECT_EQ(QueryState(name), DWORD{SERVICE_RUNNING});
    EXPECT_EQ(QueryStartType(L"IISADMIN"), DWORD{SERVICE_AUTO_START});
    EXPECT_EQ(ParameterValue(L"W3SVC", L"HangStart"), 1u);
    EXPECT_EQ(RequestControl(L"W3SVC", SERVICE_CONTROL_STOP), DWORD{ERROR_INVALID_SERVICE_CONTROL});
}

}  // namespace
}  // namespace tarnwick::bench
