#include "sys_info.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "failure.h"
#include "fake_registry.h"

namespace tarnwick {
namespace {

using testing::FakeRegistry;
using testing::StoredValue;
using testing::String;

constexpr wchar_t kToolKey[] = L"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr wchar_t kFolderKey[] = L"SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;

// Files that exist as normal files, and the ones of them that are programs;
// starting anything else fails as CreateProcess does.
class FakeFiles : public ProgramFiles {
public:
    explicit FakeFiles(std::vector<std::wstring>& log) : log_(log) {}

    bool IsNormalFile(const std::wstring& path) override {
        log_.push_back(L"file? " + path);
        return normalFiles.count(path) != 0;
    }

    void Start(const ProgramStart& start) override {
        log_.push_back(L"start " + start.application);
        commandLines.push_back(start.commandLine);
        if (programs.count(start.application) == 0)
            throw Failure(static_cast<std::int32_t>(0x80070002u), L"not found");
    }

    std::set<std::wstring> normalFiles;
    std::set<std::wstring> programs;
    std::vector<std::wstring> commandLines;

private:
    std::vector<std::wstring>& log_;
};

class FakeBoxes : public MessageBoxes {
public:
    explicit FakeBoxes(std::vector<std::wstring>& log) : log_(log) {}

    void Show(const std::wstring& text, const std::wstring& caption, MessageIcon icon) override {
        log_.push_back(L"box " + text + L" | " + caption + (icon == MessageIcon::None ? L" | no icon" : L" | icon"));
    }

private:
    std::vector<std::wstring>& log_;
};

const std::wstring kUnavailableBox = L"box System Information Is Unavailable At This Time | Tarnwick | no icon";

class SysInfoTest : public ::testing::Test {
protected:
    std::vector<std::wstring> log;
    FakeRegistry registry{log};
    FakeFiles files{log};
    FakeBoxes boxes{log};
    SysInfoLauncher launcher{registry, files, boxes};

    void SetToolPath(const StoredValue& value) { registry.keys[kToolKey][L"PATH"] = value; }
    void SetFolder(const StoredValue& value) { registry.keys[kFolderKey][L"MSINFO"] = value; }
};

// --- GetKeyValue -----------------------------------------------------------

TEST_F(SysInfoTest, ReadsIntoABufferOf1024) {
    registry.keys[L"Some\\Key"][L"Name"] = String("value");
    std::wstring text;

    EXPECT_TRUE(launcher.GetKeyValue(kHkeyLocalMachine, L"Some\\Key", L"Name", text));

    EXPECT_EQ(text, L"value");
    EXPECT_EQ(log, (std::vector<std::wstring>{L"read 80000002 Some\\Key Name"}));
    EXPECT_EQ(registry.capacities, std::vector<std::uint32_t>{1024});
}

TEST_F(SysInfoTest, TrimDropsOnlyATerminatingNulCountedInTheSize) {
    struct Case {
        std::string stored;
        std::wstring read;
    };
    const std::vector<Case> cases = {
        {std::string("C:\\x.exe\0", 9), L"C:\\x.exe"},            // terminator counted: dropped
        {"C:\\x.exe", L"C:\\x.exe"},                               // stored without one: whole
        {std::string("ab\0\0", 4), std::wstring(L"ab\0", 3)},       // only the last character is looked at
        {std::string("\0", 1), L""},                               // a lone terminator
        {"x", L"x"},                                               // one character, no terminator
        {std::string(1023, 'a') + '\0', std::wstring(1023, L'a')},  // fills the buffer exactly
        {std::string(1024, 'a'), std::wstring(1024, L'a')},
    };
    for (const Case& c : cases) {
        registry.keys[L"K"][L"V"] = {kRegSz, c.stored};
        std::wstring text = L"old";
        EXPECT_TRUE(launcher.GetKeyValue(kHkeyLocalMachine, L"K", L"V", text)) << c.stored.size();
        EXPECT_EQ(text, c.read) << c.stored.size();
    }
}

TEST_F(SysInfoTest, DwordBecomesItsNumberInDecimal) {
    struct Case {
        std::string stored;
        std::wstring read;
    };
    const std::vector<Case> cases = {
        {std::string("\x2A\0\0\0", 4), L"42"},
        {std::string("\x04\x03\x02\x01", 4), L"16909060"},  // stored little-endian
        {std::string("\0\0\0\0", 4), L"0"},
        {"\xFF\xFF\xFF\xFF", L"4294967295"},                // unsigned, as REG_DWORD is
    };
    for (const Case& c : cases) {
        registry.keys[L"K"][L"V"] = {kRegDword, c.stored};
        std::wstring text;
        EXPECT_TRUE(launcher.GetKeyValue(kHkeyLocalMachine, L"K", L"V", text));
        EXPECT_EQ(text, c.read);
    }
}

TEST_F(SysInfoTest, ValueOfAnotherTypeIsFoundButLeavesTheTextAsItWas) {
    for (const std::uint32_t type : {kRegExpandSz, kRegBinary}) {
        registry.keys[L"K"][L"V"] = {type, std::string("C:\\x.exe\0", 9)};
        std::wstring text = L"kept";
        EXPECT_TRUE(launcher.GetKeyValue(kHkeyLocalMachine, L"K", L"V", text)) << type;
        EXPECT_EQ(text, L"kept") << type;
    }
}

TEST_F(SysInfoTest, MissingKeyGivesFalseAndEmptyText) {
    std::wstring text = L"old";

    EXPECT_FALSE(launcher.GetKeyValue(kHkeyLocalMachine, L"Absent", L"V", text));

    EXPECT_EQ(text, L"");
    EXPECT_EQ(log, std::vector<std::wstring>{L"read 80000002 Absent V"});
}

TEST_F(SysInfoTest, MissingValueGivesFalseAndEmptyText) {
    registry.keys[L"K"];
    std::wstring text = L"old";

    EXPECT_FALSE(launcher.GetKeyValue(kHkeyLocalMachine, L"K", L"V", text));

    EXPECT_EQ(text, L"");
    EXPECT_EQ(log, (std::vector<std::wstring>{L"read 80000002 K V"}));
}

TEST_F(SysInfoTest, ValueLongerThanTheBufferGivesFalse) {
    registry.keys[L"K"][L"V"] = {kRegSz, std::string(1024, 'a') + '\0'};
    std::wstring text = L"old";

    EXPECT_FALSE(launcher.GetKeyValue(kHkeyLocalMachine, L"K", L"V", text));

    EXPECT_EQ(text, L"");
}

TEST_F(SysInfoTest, ZeroByteValueFailsTheTrim) {
    for (const std::uint32_t type : {kRegSz, kRegDword, kRegBinary}) {
        registry.keys[L"K"][L"V"] = {type, ""};
        std::wstring text = L"old";
        EXPECT_THROW(launcher.GetKeyValue(kHkeyLocalMachine, L"K", L"V", text), Failure) << type;
    }
}

// --- StartSysInfo ----------------------------------------------------------

TEST_F(SysInfoTest, StartsThePlace1ProgramExactlyAsStoredAndNeverReadsPlace2) {
    const std::string path = "C:\\Program Files\\Common Files\\Microsoft Shared\\MSInfo\\msinfo32.exe";
    SetToolPath(String(path));
    SetFolder(String("C:\\Elsewhere"));
    files.programs.insert(std::wstring(path.begin(), path.end()));

    launcher.StartSysInfo();

    // No file test for place 1: the start itself finds out whether it is a program.
    EXPECT_EQ(log, (std::vector<std::wstring>{
                       L"read 80000002 SOFTWARE\\Microsoft\\Shared Tools\\MSINFO PATH",
                       L"start " + std::wstring(path.begin(), path.end()),
                   }));
}

TEST_F(SysInfoTest, Place1WithoutProgramShowsTheMessageAndNeverReadsPlace2) {
    struct Case {
        const char* name;
        StoredValue place1;
        std::wstring started;
    };
    const std::vector<Case> cases = {
        {"names no program", String("C:\\missing.exe"), L"start C:\\missing.exe"},
        {"another type: found with an empty path", {kRegExpandSz, String("C:\\x.exe").bytes}, L"start "},
        {"a number", {kRegDword, std::string("\x07\0\0\0", 4)}, L"start 7"},
    };
    for (const Case& c : cases) {
        log.clear();
        SetToolPath(c.place1);
        SetFolder(String("C:\\Tools"));
        files.normalFiles.insert(L"C:\\Tools\\MSINFO32.EXE");
        files.programs.insert(L"C:\\Tools\\MSINFO32.EXE");

        launcher.StartSysInfo();

        EXPECT_EQ(log, (std::vector<std::wstring>{
                           L"read 80000002 SOFTWARE\\Microsoft\\Shared Tools\\MSINFO PATH",
                           c.started,
                           kUnavailableBox,
                       }))
            << c.name;
    }
}

TEST_F(SysInfoTest, ZeroBytePlace1ShowsTheMessageAtOnceAndNeverReadsPlace2) {
    SetToolPath({kRegSz, ""});
    SetFolder(String("C:\\Tools"));
    files.normalFiles.insert(L"C:\\Tools\\MSINFO32.EXE");
    files.programs.insert(L"C:\\Tools\\MSINFO32.EXE");

    launcher.StartSysInfo();

    EXPECT_EQ(log, (std::vector<std::wstring>{
                       L"read 80000002 SOFTWARE\\Microsoft\\Shared Tools\\MSINFO PATH",
                       kUnavailableBox,
                   }));
}

TEST_F(SysInfoTest, StartsMsinfo32FromThePlace2FolderWhenPlace1IsNotRead) {
    struct Case {
        const char* name;
        void (*setUp)(FakeRegistry&);
    };
    const std::vector<Case> cases = {
        {"no key", [](FakeRegistry&) {}},
        {"no value", [](FakeRegistry& r) { r.keys[kToolKey]; }},
        {"longer than the buffer",
         [](FakeRegistry& r) { r.keys[kToolKey][L"PATH"] = String(std::string(1500, 'a')); }},
    };
    for (const Case& c : cases) {
        log.clear();
        registry.keys.clear();
        c.setUp(registry);
        SetFolder(String("C:\\Program Files\\MSInfo"));
        files.normalFiles.insert(L"C:\\Program Files\\MSInfo\\MSINFO32.EXE");
        files.programs.insert(L"C:\\Program Files\\MSInfo\\MSINFO32.EXE");

        launcher.StartSysInfo();

        ASSERT_GE(log.size(), 3u) << c.name;
        const std::vector<std::wstring> tail(log.end() - 3, log.end());
        EXPECT_EQ(tail, (std::vector<std::wstring>{
                            L"read 80000002 SOFTWARE\\Microsoft\\Shared Tools Location MSINFO",
                            L"file? C:\\Program Files\\MSInfo\\MSINFO32.EXE",
                            L"start C:\\Program Files\\MSInfo\\MSINFO32.EXE",
                        }))
            << c.name;
        // Place 1 was tried first.
        EXPECT_EQ(log.front(), L"read 80000002 SOFTWARE\\Microsoft\\Shared Tools\\MSINFO PATH") << c.name;
    }
}

TEST_F(SysInfoTest, ShowsTheMessageWhenPlace2DoesNotLeadToAFile) {
    struct Case {
        const char* name;
        void (*setUp)(FakeRegistry&);
        bool fileTested;
    };
    const std::vector<Case> cases = {
        {"folder without the file", [](FakeRegistry& r) { r.keys[kFolderKey][L"MSINFO"] = String("C:\\Empty"); },
         true},
        {"both places missing", [](FakeRegistry&) {}, false},
        {"place 2 key without its value", [](FakeRegistry& r) { r.keys[kFolderKey]; }, false},
        {"place 2 of zero bytes",
         [](FakeRegistry& r) { r.keys[kFolderKey][L"MSINFO"] = StoredValue{kRegSz, ""}; }, false},
    };
    for (const Case& c : cases) {
        log.clear();
        registry.keys.clear();
        c.setUp(registry);
        files.programs.insert(L"C:\\Empty\\MSINFO32.EXE");  // a program, but not a normal file there

        launcher.StartSysInfo();

        ASSERT_FALSE(log.empty()) << c.name;
        EXPECT_EQ(log.back(), kUnavailableBox) << c.name;
        bool started = false;
        bool tested = false;
        for (const std::wstring& entry : log) {
            started = started || entry.rfind(L"start", 0) == 0;
            tested = tested || entry == L"file? C:\\Empty\\MSINFO32.EXE";
        }
        EXPECT_FALSE(started) << c.name;
        EXPECT_EQ(tested, c.fileTested) << c.name;
    }
}

TEST_F(SysInfoTest, Place2ProgramThatFailsToStartShowsTheMessage) {
    SetFolder(String("C:\\Tools"));
    files.normalFiles.insert(L"C:\\Tools\\MSINFO32.EXE");  // a file, but not one that runs

    launcher.StartSysInfo();

    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], L"start C:\\Tools\\MSINFO32.EXE");
    EXPECT_EQ(log.back(), kUnavailableBox);
}

TEST(ProgramStartTest, AQuotedTextNamesTheProgramBetweenItsQuotesAndIsTheWholeCommandLine) {
    struct Case {
        std::wstring text;
        std::wstring application;
        std::wstring commandLine;
    };
    const std::vector<Case> cases = {
        // unquoted, blanks and all: the whole text is the program
        {L"C:\\Program Files\\MSInfo\\msinfo32.exe", L"C:\\Program Files\\MSInfo\\msinfo32.exe",
         L"\"C:\\Program Files\\MSInfo\\msinfo32.exe\""},
        {L"\"C:\\Program Files\\MSInfo\\msinfo32.exe\"", L"C:\\Program Files\\MSInfo\\msinfo32.exe",
         L"\"C:\\Program Files\\MSInfo\\msinfo32.exe\""},
        {L"\"C:\\Program Files\\x.exe\" /report C:\\r.txt", L"C:\\Program Files\\x.exe",
         L"\"C:\\Program Files\\x.exe\" /report C:\\r.txt"},
        {L"\"C:\\unclosed.exe", L"C:\\unclosed.exe", L"\"C:\\unclosed.exe"},
    };
    for (const Case& c : cases) {
        const ProgramStart start = ProgramStartFor(c.text);
        EXPECT_EQ(start.application, c.application) << c.text;
        EXPECT_EQ(start.commandLine, c.commandLine) << c.text;
    }
}

TEST_F(SysInfoTest, AQuotedPlace1WithArgumentsStartsItsProgramWithThem) {
    SetToolPath(String("\"C:\\Tools\\msinfo32.exe\" /nfo C:\\out.nfo"));
    files.programs.insert(L"C:\\Tools\\msinfo32.exe");

    launcher.StartSysInfo();

    EXPECT_EQ(log.back(), L"start C:\\Tools\\msinfo32.exe");
    EXPECT_EQ(files.commandLines, std::vector<std::wstring>{L"\"C:\\Tools\\msinfo32.exe\" /nfo C:\\out.nfo"});
}

}  // namespace
}  // namespace tarnwick
