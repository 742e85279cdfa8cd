#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

TEST(CommandLine, OnlyTwoSpellingsSelectAutomaticMode) {
    EXPECT_TRUE(IsAutomaticArgument(L"-auto"));
    EXPECT_TRUE(IsAutomaticArgument(L"-Auto"));
    for (const auto* other : {L"-AUTO", L"-aUTO", L"auto", L"\"-auto\"", L"-auto extra", L"", L"-autox"})
        EXPECT_FALSE(IsAutomaticArgument(other)) << other;
}

TEST(Messages, FailuresAndTimeoutsGiveTheCodeAndTheReason) {
    EXPECT_EQ(FormatCode(static_cast<std::int32_t>(0x80070424)), L"0x80070424");
    EXPECT_EQ(FormatCode(5), L"0x00000005");
    EXPECT_EQ(FormatCode(0), L"0x00000000");
    EXPECT_EQ(FormatCode(-1), L"0xFFFFFFFF");

    const std::wstring strict = StrictFailureText(
        Failure(static_cast<std::int32_t>(0x80070035), L"The network path was not found."));
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

}  // namespace
}  // namespace tarnwick::testing
