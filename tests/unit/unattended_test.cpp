#include "unattended.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "failure.h"
#include "messages.h"

namespace tarnwick {
namespace {

class FakeEventLog : public EventLog {
public:
    void Write(EventType type, const std::wstring& text) override {
        if (failure) throw *failure;
        events.emplace_back(type, text);
    }

    std::vector<std::pair<EventType, std::wstring>> events;
    std::optional<Failure> failure;
};

TEST(UnattendedReports, EachBoxBecomesOneEventOfTheTypeItsIconStandsFor) {
    const std::pair<MessageIcon, EventType> cases[] = {
        {MessageIcon::Error, EventType::Error},  // strict failures
        {MessageIcon::Warning, EventType::Warning},  // a wait that gave up
        {MessageIcon::Information, EventType::Information},  // another program was switching
        {MessageIcon::None, EventType::Information},
    };
    for (const auto& [icon, type] : cases) {
        FakeEventLog log;
        EventLogReports reports(log);
        reports.Show(L"Error 0x80070035: The network path was not found.\n\nTarnwick will close.",
                     kApplicationTitle, icon);
        ASSERT_EQ(log.events.size(), 1u);
        EXPECT_EQ(log.events[0].first, type) << static_cast<int>(icon);
        // The whole text, line breaks included; the caption is the event's source.
        EXPECT_EQ(log.events[0].second,
                  L"Error 0x80070035: The network path was not found.\n\nTarnwick will close.");
    }
}

TEST(UnattendedReports, AnEventThatCannotBeWrittenFailsLikeABoxThatCannotBeShown) {
    FakeEventLog log;
    log.failure = Failure(static_cast<std::int32_t>(0x800706BA), L"The RPC server is unavailable.");
    EventLogReports reports(log);
    EXPECT_THROW(reports.Show(kAlreadySwitchingText, kApplicationTitle, MessageIcon::Information), Failure);
}

TEST(UnattendedLaunch, OnlyTheArgumentsThatSwitchHaveSomethingToDo) {
    for (const auto* argument : {L"-auto", L"-Auto", L"-on", L"-On", L"-off", L"-Off"}) {
        FakeEventLog log;
        EventLogReports reports(log);
        EXPECT_TRUE(UnattendedLaunchGoesOn(argument, reports)) << argument;
        EXPECT_TRUE(log.events.empty()) << argument;
    }
    for (const auto* argument : {L"", L"-AUTO", L"/auto", L"-ON", L"/off"}) {
        FakeEventLog log;
        EventLogReports reports(log);
        EXPECT_FALSE(UnattendedLaunchGoesOn(argument, reports)) << argument;
        ASSERT_EQ(log.events.size(), 1u) << argument;
        EXPECT_EQ(log.events[0].first, EventType::Information);
        EXPECT_EQ(log.events[0].second, kNothingToDoUnattendedText);
    }
    // A switch service that is neither stopped nor running is named in the warning.
    EXPECT_EQ(UndecidedUnattendedText(L"W3SVC").rfind(L"W3SVC was neither stopped nor running", 0), 0u);
}

}  // namespace
}  // namespace tarnwick
