#include "links.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "maker.h"

namespace tarnwick {
namespace {

// Records each call and answers with a preset result.
class FakeShell : public Shell {
public:
    struct Call {
        void* owner;
        std::optional<std::wstring> verb;
        std::wstring file;
        std::optional<std::wstring> parameters;
        std::wstring directory;
        int showCommand;
    };

    explicit FakeShell(std::int64_t result) : result_(result) {}

    std::int64_t Execute(void* owner, const std::optional<std::wstring>& verb, const std::wstring& file,
                         const std::optional<std::wstring>& parameters, const std::wstring& directory,
                         int showCommand) override {
        calls.push_back({owner, verb, file, parameters, directory, showCommand});
        events->push_back(L"shell");
        return result_;
    }

    // The desktop's shell: a call is logged with its arguments and answers `accepts`.
    class Desktop : public DesktopShell {
    public:
        Desktop(std::vector<std::wstring>* events, bool accepts) : events_(events), accepts_(accepts) {}
        bool Execute(const std::wstring& file, const std::wstring& directory, int showCommand) override {
            events_->push_back(L"desktop " + file + L" | " + directory + L" | " + std::to_wstring(showCommand));
            return accepts_;
        }

    private:
        std::vector<std::wstring>* events_;
        bool accepts_;
    };

    bool RunsElevated() override { return elevated; }
    std::unique_ptr<DesktopShell> FindDesktopShell() override {
        events->push_back(L"find desktop");
        if (!desktopRuns) return nullptr;
        return std::make_unique<Desktop>(events, desktopAccepts);
    }
    bool HasAssociation(const std::wstring& scheme, Association kind, Lookup lookup) override {
        static const wchar_t* const kNames[] = {L"command", L"delegate", L"appid"};
        events->push_back(L"handler? " + scheme + L" " + kNames[static_cast<int>(kind)] +
                          (lookup == Lookup::ProtocolKey ? L" key" : L""));
        return registered == kind && registeredBy == lookup;
    }

    std::vector<Call> calls;
    std::vector<std::wstring>* events = nullptr;
    bool elevated = false;
    bool desktopRuns = false;
    bool desktopAccepts = true;
    // The one kind of association the protocol has; none without.
    std::optional<Association> registered = Association::Command;
    // Which way of asking finds it: before Windows 8 only the protocol's key.
    Lookup registeredBy = Lookup::Protocol;

private:
    std::int64_t result_;
};

class FakeBoxes : public MessageBoxes {
public:
    struct Box {
        std::wstring text;
        std::wstring caption;
        MessageIcon icon;
    };

    void Show(const std::wstring& text, const std::wstring& caption, MessageIcon icon) override {
        shown.push_back({text, caption, icon});
        events->push_back(L"box");
    }

    std::vector<Box> shown;
    std::vector<std::wstring>* events = nullptr;
};

struct Link {
    const char* name;
    void (*routine)(Shell&, MessageBoxes&);
    std::wstring target;
    std::wstring errorText;
};

const Link kHomePage{
    "OpenHomePage", &OpenHomePage, TARNWICK_WIDE(TARNWICK_MAKER_URL),
    L"Error lauching web browser. Make sure that your web browser is correctly installed and configured"};
const Link kInfoMail{
    "SendInfoMail", &SendInfoMail, L"mailto:" TARNWICK_WIDE(TARNWICK_MAKER_MAIL) L"?subject=More Information: Tarnwick",
    L"Error sending mail. Make sure that you have your email client correctly installed and configured"};

// Short names for the parameters in test listings.
void PrintTo(const Link& link, std::ostream* out) { *out << link.name; }

struct LinkClick {
    std::vector<std::wstring> events;
    FakeShell shell;
    FakeBoxes boxes;

    LinkClick(const Link& link, std::int64_t result) : shell(result) {
        shell.events = &events;
        boxes.events = &events;
        link.routine(shell, boxes);
    }
};

class LinkTest : public testing::TestWithParam<Link> {};

TEST_P(LinkTest, HandsTheTargetToTheShellWithTheFixedArguments) {
    LinkClick run(GetParam(), 42);

    ASSERT_EQ(run.shell.calls.size(), 1u);
    const FakeShell::Call& call = run.shell.calls[0];
    EXPECT_EQ(call.owner, nullptr);
    EXPECT_EQ(call.verb, std::nullopt);
    EXPECT_EQ(call.file, GetParam().target);
    EXPECT_EQ(call.parameters, std::nullopt);
    EXPECT_EQ(call.directory, L"C:\\");
    EXPECT_EQ(call.showCommand, 1);
    EXPECT_TRUE(run.boxes.shown.empty());
}

TEST_P(LinkTest, ReportsAFailedLaunchOnceWithTheStopIconAndReturns) {
    LinkClick run(GetParam(), 2);  // ERROR_FILE_NOT_FOUND

    ASSERT_EQ(run.events, (std::vector<std::wstring>{L"shell", L"box"}));
    const FakeBoxes::Box& box = run.boxes.shown[0];
    EXPECT_EQ(box.text, GetParam().errorText);
    EXPECT_EQ(box.caption, L"Tarnwick");
    EXPECT_EQ(box.icon, MessageIcon::Error);
}

INSTANTIATE_TEST_SUITE_P(Links, LinkTest, testing::Values(kHomePage, kInfoMail),
                         [](const testing::TestParamInfo<Link>& info) { return std::string(info.param.name); });

// Elevated, the link goes only through the desktop's shell, so that the
// handler runs with the user's own rights, and only when a handler of any kind
// is registered; without that shell it is not opened at all. Not elevated, it
// goes straight to the shell's entry point, as always.
TEST_P(LinkTest, RouteFollowsTheRightsAndTheDesktopShell) {
    using Association = Shell::Association;
    const std::wstring target = GetParam().target;
    const std::wstring scheme = target.substr(0, target.find(L':'));
    const std::wstring box = L"box";
    const std::wstring desktop = L"desktop " + target + L" | C:\\ | 1";
    const std::wstring command = L"handler? " + scheme + L" command";
    const std::wstring delegate = L"handler? " + scheme + L" delegate";
    const std::wstring appId = L"handler? " + scheme + L" appid";
    const std::wstring commandKey = command + L" key";
    const std::wstring delegateKey = delegate + L" key";
    const std::wstring appIdKey = appId + L" key";
    constexpr auto byKey = Shell::Lookup::ProtocolKey;
    struct Case {
        const char* name;
        bool elevated, desktopRuns, desktopAccepts;
        std::optional<Association> registered;
        std::vector<std::wstring> events;
        Shell::Lookup registeredBy = Shell::Lookup::Protocol;
    };
    const std::vector<Case> cases = {
        {"not elevated", false, true, true, Association::Command, {L"shell"}},
        {"not elevated, no desktop shell", false, false, true, Association::Command, {L"shell"}},
        {"elevated, desktop shell", true, true, true, Association::Command, {L"find desktop", command, desktop}},
        {"elevated, DelegateExecute only", true, true, true, Association::DelegateExecute,
         {L"find desktop", command, delegate, desktop}},
        {"elevated, AppId only", true, true, true, Association::AppId,
         {L"find desktop", command, delegate, appId, desktop}},
        {"elevated, no handler", true, true, true, std::nullopt,
         {L"find desktop", command, delegate, appId, commandKey, delegateKey, appIdKey, box}},
        // Windows 7 and older refuse the protocol flag: the protocol's key is asked.
        {"elevated, command found by the key only", true, true, true, Association::Command,
         {L"find desktop", command, delegate, appId, commandKey, desktop}, byKey},
        {"elevated, AppId found by the key only", true, true, true, Association::AppId,
         {L"find desktop", command, delegate, appId, commandKey, delegateKey, appIdKey, desktop}, byKey},
        {"elevated, shell refuses", true, true, false, Association::Command,
         {L"find desktop", command, desktop, box}},
        // Never the shell's entry point as administrator.
        {"elevated, no desktop shell", true, false, true, Association::Command, {L"find desktop", box}},
    };
    for (const Case& c : cases) {
        std::vector<std::wstring> events;
        FakeShell shell(42);
        FakeBoxes boxes;
        shell.events = boxes.events = &events;
        shell.elevated = c.elevated;
        shell.desktopRuns = c.desktopRuns;
        shell.registered = c.registered;
        shell.registeredBy = c.registeredBy;
        shell.desktopAccepts = c.desktopAccepts;

        GetParam().routine(shell, boxes);

        EXPECT_EQ(events, c.events) << c.name;
        EXPECT_TRUE(shell.calls.empty() || !c.elevated) << c.name << ": opened as administrator";
        for (const FakeBoxes::Box& shown : boxes.shown) EXPECT_EQ(shown.text, GetParam().errorText) << c.name;
    }
}

// A busy desktop shell that asks to be called later is asked again every 100
// ms for 5 seconds; one that refuses outright is not asked again.
TEST(BusyShell, RejectedCallsAreRetriedForFiveSeconds) {
    const struct {
        bool retryLater;
        std::uint32_t elapsedMs;
        std::optional<std::uint32_t> after;
    } cases[] = {
        {true, 0, 100u},     {true, 100, 100u},         {true, 4999, 100u},
        {true, 5000, std::nullopt}, {true, 60000, std::nullopt}, {false, 0, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RetryRejectedCallAfter(c.retryLater, c.elapsedMs), c.after)
            << "retry later " << c.retryLater << ", after " << c.elapsedMs << " ms";
}

TEST(LinkTargets, MailTargetCarriesTheSubjectUnencoded) {
    const std::wstring target = InfoMailTarget();
    EXPECT_EQ(target.rfind(L"mailto:", 0), 0u);
    EXPECT_EQ(target.substr(target.find(L'?')), L"?subject=More Information: Tarnwick");
    EXPECT_EQ(HomePageTarget(), TARNWICK_WIDE(TARNWICK_MAKER_URL));
}

// The shell's INT_PTR counts only as its low 32 bits read as a signed number.
struct ShellResult {
    std::int64_t value;
    bool succeeds;
};

void PrintTo(const ShellResult& result, std::ostream* out) { *out << result.value; }

const ShellResult kShellResults[] = {
    {33, true},
    {0x7FFFFFFF, true},
    {32, false},
    {0, false},
    {-1, false},
    {0x80000021LL, false},  // above 2^31: negative as a 32-bit number
    {0xFFFFFFFFLL, false},
    {0x100000021LL, true},  // high bits dropped: 2^32 + 33 counts as 33
    {0x100000020LL, false},
};

class ShellResultTest : public testing::TestWithParam<std::tuple<Link, ShellResult>> {};

TEST_P(ShellResultTest, BoxOnlyWhenTheResultIsNotAbove32) {
    const auto& [link, result] = GetParam();
    LinkClick run(link, result.value);

    EXPECT_EQ(run.shell.calls.size(), 1u);
    EXPECT_EQ(run.boxes.shown.size(), result.succeeds ? 0u : 1u) << "shell result " << result.value;
    EXPECT_EQ(ShellSucceeded(result.value), result.succeeds) << "shell result " << result.value;
}

INSTANTIATE_TEST_SUITE_P(Threshold, ShellResultTest,
                         testing::Combine(testing::Values(kHomePage, kInfoMail), testing::ValuesIn(kShellResults)),
                         [](const testing::TestParamInfo<std::tuple<Link, ShellResult>>& info) {
                             return std::string(std::get<0>(info.param).name) + "_" + std::to_string(info.index);
                         });

}  // namespace
}  // namespace tarnwick
