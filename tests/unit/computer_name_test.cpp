#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <utility>

#include "code_description.h"
#include "command_line.h"
#include "fake_services.h"
#include "messages.h"

namespace tarnwick::testing {
namespace {

TEST(ShowComputerName, ShowsTheNameInBothLabelsAndReturnsIt) {
    CallLog log;
    FakeView view(log);
    FakeComputerName names;
    names.name = L"ABCDEFG";
    std::optional<std::wstring> name;

    EXPECT_TRUE(ShowComputerName(view, names, name));
    EXPECT_EQ(name, L"ABCDEFG");
    EXPECT_EQ(view.label1, L"Computer: ABCDEFG");
    EXPECT_EQ(view.label2, L"ABCDEFG");
}

TEST(ShowComputerName, AFailedReadStillWritesBothLabels) {
    CallLog log;
    FakeView view(log);
    FakeComputerName names;
    names.name.reset();
    std::optional<std::wstring> name;

    EXPECT_FALSE(ShowComputerName(view, names, name));
    EXPECT_FALSE(name);
    EXPECT_THAT(log, ::testing::ElementsAre(L"view.Label1=Computer: ", L"view.Label2="));
}

TEST(CommandLine, TheArgumentTextFollowsTheProgramName) {
    EXPECT_EQ(ArgumentText(L"tarnwick.exe -auto"), L"-auto");
    EXPECT_EQ(ArgumentText(L"\"C:\\Program Files\\Tarnwick\\tarnwick.exe\" -Auto  "), L"-Auto");
    EXPECT_EQ(ArgumentText(L"\"C:\\Tools\\tarnwick.exe\"-auto"), L"-auto");
    EXPECT_EQ(ArgumentText(L"tarnwick.exe \t -auto \t"), L"-auto");
    EXPECT_EQ(ArgumentText(L"tarnwick.exe"), L"");
    EXPECT_EQ(ArgumentText(L"tarnwick.exe    "), L"");
    EXPECT_EQ(ArgumentText(L"\"unterminated -auto"), L"");
    EXPECT_EQ(ArgumentText(L""), L"");
    EXPECT_EQ(ArgumentText(L"tarnwick.exe -auto extra"), L"-auto extra");
}

TEST(CommandLine, TwoSpellingsOfEachWordSelectAMode) {
    const std::pair<const wchar_t*, LaunchMode> cases[] = {
        {L"-auto", LaunchMode::Toggle}, {L"-Auto", LaunchMode::Toggle},
        {L"-on", LaunchMode::On},       {L"-On", LaunchMode::On},
        {L"-off", LaunchMode::Off},     {L"-Off", LaunchMode::Off},
    };
    for (const auto& [argument, mode] : cases) EXPECT_EQ(LaunchModeOf(argument), mode) << argument;
    for (const auto* other : {L"-AUTO", L"-aUTO", L"auto", L"\"-auto\"", L"-auto extra", L"", L"-autox", L"-ON",
                              L"-oN", L"/on", L"on", L"-OFF", L"-oFF", L"/off", L"off", L"-off -on", L"-offx"})
        EXPECT_EQ(LaunchModeOf(other), LaunchMode::Window) << other;
}

TEST(Messages, FailuresAndTimeoutsGiveTheCodeAndTheReason) {
    EXPECT_EQ(FormatCode(static_cast<std::int32_t>(0x80070424)), L"0x80070424");
    EXPECT_EQ(FormatCode(5), L"0x00000005");
    EXPECT_EQ(FormatCode(0), L"0x00000000");
    EXPECT_EQ(FormatCode(-1), L"0xFFFFFFFF");

    const std::wstring strict = StrictFailureText(
        Failure(static_cast<std::int32_t>(0x80070035), L"The network path was not found."), FailurePlace::Switching);
    EXPECT_THAT(strict, ::testing::HasSubstr(L"0x80070035: The network path was not found."));

    // The bound is named, not the time the wait happened to take.
    WaitTimeout timeout{L"IISADMIN", ServiceState::Running, std::chrono::seconds(60),
                        std::chrono::milliseconds(61500),
                        Failure(static_cast<std::int32_t>(0x80070005), L"Access is denied.")};
    const std::wstring text = TimeoutText(timeout);
    EXPECT_THAT(text, ::testing::HasSubstr(L"IISADMIN did not reach the state running within 60 seconds"));
    EXPECT_THAT(text, ::testing::HasSubstr(L"0x80070005: Access is denied."));

    timeout.lastIgnored.reset();
    timeout.awaited = ServiceState::Stopped;
    EXPECT_THAT(TimeoutText(timeout), ::testing::HasSubstr(L"state stopped"));
    EXPECT_THAT(TimeoutText(timeout), ::testing::Not(::testing::HasSubstr(L"failed")));
}

TEST(Messages, TheStrictReportSaysWhatFailedWhereItHappened) {
    const Failure failure(static_cast<std::int32_t>(0x8007000E), L"Not enough memory resources are available.");
    const struct {
        FailurePlace place;
        const wchar_t* lastLine;
    } cases[] = {
        {FailurePlace::Switching, L"The IIS services were not switched. Tarnwick will close."},
        {FailurePlace::Link, L"The link was not opened, and the IIS services were not touched. Tarnwick will close."},
        {FailurePlace::AboutDialog,
         L"The About dialog could not do what was asked, and the IIS services were not touched. Tarnwick will close."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StrictFailureText(failure, c.place),
                  std::wstring(L"Error 0x8007000E: Not enough memory resources are available.\n\n") + c.lastLine);
    }
    // A note says what the failure means here, between the code and the consequence.
    EXPECT_EQ(StrictFailureText(failure.WithNote(L"IIS is not installed on this computer."), FailurePlace::Switching),
              L"Error 0x8007000E: Not enough memory resources are available.\n\n"
              L"IIS is not installed on this computer.\n\nThe IIS services were not switched. Tarnwick will close.");
    // A code no table describes still gets a whole sentence.
    EXPECT_THAT(StrictFailureText(Failure(static_cast<std::int32_t>(0x80005000), L""), FailurePlace::Switching),
                ::testing::StartsWith(L"Error 0x80005000: Windows gives no description for this code.\n\n"));
}

TEST(Messages, AWaitOnAMissingServiceSaysItCouldNotBeFoundAndWhy) {
    const WaitTimeout missing{L"W3SVC", ServiceState::Stopped, std::chrono::seconds(60), std::chrono::milliseconds(0),
                              Failure(static_cast<std::int32_t>(0x80070424), L"The specified service does not exist."),
                              true};
    EXPECT_EQ(TimeoutText(missing),
              L"The service W3SVC could not be found, so it cannot reach the state stopped.\n\n"
              L"Looking it up failed: Error 0x80070424: The specified service does not exist.\n\n"
              L"The IIS services may be left partly switched. Tarnwick will close.");
}

// Message tables that know one code each.
class FakeTables : public MessageTables {
public:
    std::wstring System(std::int32_t code) override { return code == 5 ? L"Access is denied." : L""; }
    std::wstring DirectoryService(std::int32_t code) override {
        return code == static_cast<std::int32_t>(0x80005000) ? L"An invalid directory pathname was passed" : L"";
    }
};

TEST(CodeDescription, SystemTableThenTheDirectoryServicesOwnForItsCodes) {
    FakeTables tables;
    EXPECT_EQ(DescribeCode(5, tables), L"Access is denied.");
    EXPECT_EQ(DescribeCode(static_cast<std::int32_t>(0x80005000), tables), L"An invalid directory pathname was passed");
    EXPECT_EQ(DescribeCode(static_cast<std::int32_t>(0x80005001), tables), L"");  // no table has it
    EXPECT_EQ(DescribeCode(static_cast<std::int32_t>(0x80004000), tables), L"");  // not a directory code
    EXPECT_TRUE(IsDirectoryServiceCode(static_cast<std::int32_t>(0x80005FFF)));
    EXPECT_FALSE(IsDirectoryServiceCode(static_cast<std::int32_t>(0x80006000)));
}

TEST(CodeDescription, ExceptionCodeTurnsAWCodeIntoAnInterfaceHresult) {
    EXPECT_EQ(ExceptionCode(static_cast<std::int32_t>(0x80070005), 7), static_cast<std::int32_t>(0x80070005));
    EXPECT_EQ(ExceptionCode(0, 1), static_cast<std::int32_t>(0x80040201));
    EXPECT_EQ(ExceptionCode(0, 0xFFFF), static_cast<std::int32_t>(0x800501FF));
    EXPECT_EQ(ExceptionCode(0, 0), static_cast<std::int32_t>(0x80020009));  // DISP_E_EXCEPTION
}

}  // namespace
}  // namespace tarnwick::testing
