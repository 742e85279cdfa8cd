// The real tarnwick.exe under Wine against input nobody should give it: odd
// command lines, computer names outside plain ASCII, and registry values of
// the wrong type or size where the System Info button looks for its tool.
// Whatever comes in, the program neither crashes nor hangs, and only "-auto"
// or "-Auto" (blanks around it aside) switch the services without a user.

#include <windows.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "program.h"
#include "provider_config.h"
#include "restored_value.h"
#include "services.h"
#include "test_data.h"
#include "win32_raii.h"

namespace tarnwick::bench {
namespace {

// --- Registry helpers ------------------------------------------------------------

// The UTF-16 bytes of `text` as given (a terminator, if wanted, is part of it).
std::vector<BYTE> Bytes(const std::wstring& text) { return StringBytes(text, false); }

// --- The journal ---------------------------------------------------------------------

// The directory calls, repetitions of a polled read folded into one.
std::vector<std::string> FoldedCalls(const std::wstring& journal) {
    std::vector<std::string> calls;
    for (const auto& entry : ReadJournal(journal)) {
        std::string call = entry.object + " " + entry.member;
        if (entry.member == "GetObject") call += " " + entry.args;
        if (calls.empty() || calls.back() != call) calls.push_back(call);
    }
    return calls;
}

std::string Lookup(const std::string& service) {
    return "computer GetObject VT_BSTR:\"Service\",VT_BSTR:\"" + service + "\"";
}

// What the launch without the automatic argument asks, and nothing more.
const std::vector<std::string> kInteractiveLaunch = {"bind OpenDSObject", Lookup("IISADMIN"), "IISADMIN Status"};

class BenchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetServices();
        journal_ = WinBuildDir() + L"\\wine\\bad-input-journal-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
        SetJournal(journal_);
    }

    // A failed test's journal stays for a look; a passed one goes.
    void TearDown() override {
        SetJournal(L"");
        if (!HasFailure()) DeleteFileW(journal_.c_str());
    }

    // The main window, once the launch decision has read IISADMIN's status
    // and so made its last call.
    HWND WindowAfterDecision(const Program& program) const {
        const HWND window = program.WaitForMainWindow();
        if (!window) return nullptr;
        const bool read = PollUntil(
            [&] {
                for (const auto& entry : ReadJournal(journal_))
                    if (entry.object == "IISADMIN" && entry.member == "Status") return true;
                return false;
            },
            kWindowTimeoutMs);
        return read ? window : nullptr;
    }

    static void ExpectNothingSwitched() {
        for (const auto* name : kServiceNames) EXPECT_EQ(QueryState(name), SERVICE_STOPPED) << Utf8(name);
        EXPECT_EQ(QueryStartType(L"IISADMIN"), kResetStartTypeIisAdmin);
    }

    std::wstring journal_;
};

// --- The command line -------------------------------------------------------------------

struct CommandLine {
    const char* name;
    std::wstring afterName;    // everything after the program's name, exactly
    bool automatic;
    bool unquotedName = false;  // the program's name without quotes (it has no blanks)
};

void PrintTo(const CommandLine& line, std::ostream* out) { *out << line.name; }

std::vector<CommandLine> CommandLines() {
    // CreateProcess takes at most 32767 characters with the terminating NUL;
    // the program's name and the quotes stay well below the 767 left over.
    const std::size_t kLong = 32000;
    return {
        {"Empty", L"", false},
        {"BlanksOnly", L"     ", false},
        {"BlanksAndTabsOnly", L" \t \t ", false},
        {"VeryLong", L" " + std::wstring(kLong, L'x'), false},
        {"VeryLongAutoThenBlanks", L" -auto" + std::wstring(kLong - 5, L' '), true},
        {"VeryLongBlanksThenAuto", std::wstring(kLong - 5, L' ') + L"-Auto", true},
        {"CyrillicLookalike", L" -\x0430uto", false},
        {"NoBreakSpaceAfter", L" -auto\x00A0", false},
        {"EmojiAfter", L" -auto\xD83D\xDE00", false},
        {"NonAsciiOnly", L" \x81EA\x52D5", false},
        {"LoneSurrogate", L" \xD800", false},
        {"Quoted", L" \"-auto\"", false},
        {"LoneQuote", L" \"", false},
        {"SingleQuoted", L" '-auto'", false},
        {"TwoAutos", L" -auto -auto", false},
        {"WordThenAuto", L" x -auto", false},
        {"MixedCase", L" -aUTO", false},
        {"SurroundingBlanks", L"   -auto   ", true},
        {"SurroundingTabs", L"\t-Auto\t", true},
        {"UnquotedNameAlone", L"", false, true},
        {"UnquotedNameWithAuto", L" -auto", true, true},
    };
}

class CommandLineTest : public BenchTest, public ::testing::WithParamInterface<CommandLine> {};

TEST_P(CommandLineTest, OnlyTheAutomaticArgumentSwitchesWithoutAUser) {
    const CommandLine& line = GetParam();
    const std::wstring exe = TarnwickExe();
    const Program program = Program::LaunchWithCommandLine(
        (line.unquotedName ? exe : L"\"" + exe + L"\"") + line.afterName);

    if (line.automatic) {
        // IISADMIN was stopped: the services are switched on and the program ends by itself.
        PollUntil([&] { return !program.Running() || program.FindMessageBox(); }, kExitTimeoutMs);
        EXPECT_FALSE(program.FindMessageBox());
        EXPECT_EQ(program.WaitForExit(), 0u);
        EXPECT_EQ(QueryState(L"IISADMIN"), SERVICE_RUNNING);
        EXPECT_EQ(QueryStartType(L"IISADMIN"), SERVICE_AUTO_START);
        EXPECT_TRUE(WaitForState(L"W3SVC", SERVICE_RUNNING));
        EXPECT_TRUE(WaitForState(L"MSFTPSVC", SERVICE_RUNNING));
        return;
    }

    const HWND window = WindowAfterDecision(program);
    ASSERT_TRUE(window) << "no main window, or no launch decision";
    const HWND start = FindChild(window, L"Start Web", L"Button");
    EXPECT_EQ(program.WaitForFocus(window, start), start);
    EXPECT_TRUE(program.Running());
    EXPECT_FALSE(program.FindMessageBox());
    EXPECT_EQ(FoldedCalls(journal_), kInteractiveLaunch);

    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program.WaitForExit(), 0u);
    ExpectNothingSwitched();
}

INSTANTIATE_TEST_SUITE_P(Cases, CommandLineTest, ::testing::ValuesIn(CommandLines()),
                         [](const ::testing::TestParamInfo<CommandLine>& info) { return std::string(info.param.name); });

// --- The computer name ------------------------------------------------------------------

// Wine answers GetComputerName from this volatile value, which it writes
// afresh from the host's name each time its server starts; a program started
// after the change sees the new name. (ComputerName\ComputerName, the name
// for the next start, is not read.)
constexpr wchar_t kActiveNameKey[] = L"SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName";
constexpr wchar_t kNameValue[] = L"ComputerName";

class ComputerNameTest : public BenchTest {
protected:
    static void SetComputerName(const std::wstring& name) {
        StoreRaw(kActiveNameKey, kNameValue, REG_SZ, Bytes(name + L'\0'));
    }

    // The path the program bound first, as the provider journal has it.
    std::string BoundPath() const {
        for (const auto& entry : ReadJournal(journal_))
            if (entry.member == "OpenDSObject") return PathOf(entry);
        return {};
    }

    // The first of OpenDSObject's arguments (path, user, password, flags).
    static std::string PathOf(const JournalEntry& bind) { return bind.args.substr(0, bind.args.find("\",") + 1); }

    // The program reports the failed bind, with the name it read shown; then ends.
    void ExpectBindReported(const Program& program, const std::wstring& shownName) const {
        const auto box = program.WaitForMessageBox();
        ASSERT_TRUE(box) << "no message box";
        EXPECT_EQ(box->caption, L"Tarnwick");
        EXPECT_EQ(box->icon, BoxIcon::Error);
        EXPECT_NE(box->text.find(L"0x80070035"), std::wstring::npos) << Utf8(box->text);
        const HWND window = program.WaitForMainWindow();
        ASSERT_TRUE(window);
        EXPECT_TRUE(FindChild(window, L"Computer: " + shownName, L"Static")) << Utf8(shownName);
        AnswerOk(*box);
        EXPECT_EQ(program.WaitForExit(), 1u);
        for (const auto& entry : ReadJournal(journal_)) EXPECT_EQ(entry.member, "OpenDSObject");
        ExpectNothingSwitched();
    }

    RestoredValue name_{kActiveNameKey, kNameValue};
};

TEST_F(ComputerNameTest, ANameInTheAnsiCodePageIsShownAndBound) {
    ASSERT_EQ(GetACP(), 1252u) << "the name below is chosen for code page 1252";
    const std::wstring name = L"WEBH\x00D6ST";
    SetComputerName(name);

    const Program program = Program::Launch(L"");
    const HWND window = WindowAfterDecision(program);
    ASSERT_TRUE(window) << "no launch decision";
    EXPECT_TRUE(FindChild(window, L"Computer: " + name, L"Static"));
    EXPECT_TRUE(FindChild(window, name, L"Static"));
    EXPECT_EQ(BoundPath(), "VT_BSTR:\"WinNT://" + Utf8(name) + ",computer\"");
    EXPECT_FALSE(program.FindMessageBox());

    // The button binds the same name again and switches the services on.
    Click(FindChild(window, L"Start Web", L"Button"));
    EXPECT_EQ(program.WaitForExit(), 0u);
    EXPECT_EQ(QueryState(L"IISADMIN"), SERVICE_RUNNING);
    std::size_t binds = 0;
    for (const auto& entry : ReadJournal(journal_))
        if (entry.member == "OpenDSObject") {
            EXPECT_EQ(PathOf(entry), "VT_BSTR:\"WinNT://" + Utf8(name) + ",computer\"");
            EXPECT_EQ(entry.result, "0x00000000");
            ++binds;
        }
    EXPECT_EQ(binds, 2u);
}

TEST_F(ComputerNameTest, ANameOutsideTheAnsiCodePageIsShownAndBound) {
    // Cyrillic letters, which code page 1252 cannot hold (its ANSI call would
    // hand out "???", which names no computer), reach the window and the bind
    // as they are.
    ASSERT_EQ(GetACP(), 1252u);
    const std::wstring name = L"\x0412\x0415\x0411";
    SetComputerName(name);

    const Program program = Program::Launch(L"");
    const HWND window = WindowAfterDecision(program);
    ASSERT_TRUE(window) << "no launch decision";
    EXPECT_TRUE(FindChild(window, L"Computer: " + name, L"Static"));
    EXPECT_TRUE(FindChild(window, name, L"Static"));
    EXPECT_EQ(BoundPath(), "VT_BSTR:\"WinNT://" + Utf8(name) + ",computer\"");
    EXPECT_FALSE(program.FindMessageBox()) << "the bind failed";
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program.WaitForExit(), 0u);
    ExpectNothingSwitched();
}

TEST_F(ComputerNameTest, ANameTheSystemCannotHandOutLeavesTheLabelsEmpty) {
    // Longer than the program's buffer of 256 characters, the name is refused:
    // the labels are written anyway and the empty name is bound.
    SetComputerName(std::wstring(300, L'A'));

    const Program program = Program::Launch(L"-auto");
    ExpectBindReported(program, L"");
    EXPECT_EQ(BoundPath(), "VT_BSTR:\"WinNT://,computer\"");
}

// --- The System Info button's registry values -----------------------------------------

constexpr wchar_t kToolKey[] = L"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr wchar_t kToolValue[] = L"PATH";
constexpr wchar_t kFolderKey[] = L"SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr wchar_t kFolderValue[] = L"MSINFO";
constexpr wchar_t kUnavailable[] = L"System Information Is Unavailable At This Time";

// The program runs in kRoot, so that a folder value read as a number (42)
// leads to kFolder, and one read as empty to the drive's root.
constexpr wchar_t kRoot[] = L"C:\\Tarnwick Bad Input";
constexpr wchar_t kTool[] = L"C:\\Tarnwick Bad Input\\tool.exe";
constexpr wchar_t kFolder[] = L"C:\\Tarnwick Bad Input\\42";
constexpr wchar_t kFolderTool[] = L"C:\\Tarnwick Bad Input\\42\\MSINFO32.EXE";
constexpr wchar_t kDriveTool[] = L"C:\\MSINFO32.EXE";
constexpr wchar_t kToolLog[] = L"C:\\Tarnwick Bad Input\\recorder.log";
constexpr wchar_t kFolderToolLog[] = L"C:\\Tarnwick Bad Input\\42\\recorder.log";
constexpr wchar_t kDriveToolLog[] = L"C:\\recorder.log";

// A string value of exactly `bytes` bytes as the program's ANSI read counts
// them (one per character): `text`, a NUL, then padding. The system reads a
// path only up to its first NUL, so the value grows without the path growing.
std::vector<BYTE> PaddedString(const std::wstring& text, std::size_t bytes, bool terminated) {
    std::wstring value = text + L'\0';
    value.resize(bytes - (terminated ? 1 : 0), L'x');
    if (terminated) value += L'\0';
    return Bytes(value);
}

std::vector<BYTE> Dword(DWORD number) {
    const auto* bytes = reinterpret_cast<const BYTE*>(&number);
    return std::vector<BYTE>(bytes, bytes + sizeof number);
}

struct Stored {
    DWORD type;
    std::vector<BYTE> data;
};

enum class Outcome { ToolRuns, FolderToolRuns, DriveToolRuns, Unavailable };

struct RegistryCase {
    const char* name;
    std::optional<Stored> place1;  // none: the value is absent
    Stored place2;
    Outcome outcome;
};

void PrintTo(const RegistryCase& c, std::ostream* out) { *out << c.name; }

Stored Text(const std::wstring& text, DWORD type = REG_SZ) { return {type, Bytes(text + L'\0')}; }

std::vector<RegistryCase> RegistryCases() {
    const Stored folder = Text(kFolder);
    return {
        // Place 1 holds a type other than a string or a number: found, but an
        // empty path, which starts nothing; place 2 is not read.
        {"Place1Binary", Stored{REG_BINARY, Bytes(std::wstring(kTool) + L'\0')}, folder, Outcome::Unavailable},
        {"Place1MultiString", Stored{REG_MULTI_SZ, Bytes(std::wstring(kTool) + L'\0' + L'\0')}, folder,
         Outcome::Unavailable},
        // A number is found too, and is no program.
        {"Place1Dword", Stored{REG_DWORD, Dword(42)}, folder, Outcome::Unavailable},
        // 1024 bytes fill the buffer and are read; 1025 are not, and place 2 is tried.
        {"Place1Of1023BytesTerminated", Stored{REG_SZ, PaddedString(kTool, 1023, true)}, folder, Outcome::ToolRuns},
        {"Place1Of1024BytesTerminated", Stored{REG_SZ, PaddedString(kTool, 1024, true)}, folder, Outcome::ToolRuns},
        {"Place1Of1024BytesUnterminated", Stored{REG_SZ, PaddedString(kTool, 1024, false)}, folder,
         Outcome::ToolRuns},
        // A long path that names no program starts nothing, and place 2 is not tried.
        {"Place1Of1024BytesNamingNothing", Stored{REG_SZ, Bytes(L"C:\\" + std::wstring(1020, L'a') + L'\0')}, folder,
         Outcome::Unavailable},
        {"Place1Of1025BytesTerminated", Stored{REG_SZ, PaddedString(kTool, 1025, true)}, folder,
         Outcome::FolderToolRuns},
        {"Place1Of1025BytesUnterminated", Stored{REG_SZ, PaddedString(kTool, 1025, false)}, folder,
         Outcome::FolderToolRuns},
        // Place 2 of another type is found as an empty folder: the drive's
        // root, where a tool waits. A number is its decimal text, a folder here.
        {"Place2Binary", std::nullopt, Stored{REG_BINARY, Bytes(std::wstring(kFolder) + L'\0')},
         Outcome::DriveToolRuns},
        {"Place2MultiString", std::nullopt, Stored{REG_MULTI_SZ, Bytes(std::wstring(kFolder) + L'\0' + L'\0')},
         Outcome::DriveToolRuns},
        {"Place2ExpandString", std::nullopt, Text(kFolder, REG_EXPAND_SZ), Outcome::DriveToolRuns},
        {"Place2Dword", std::nullopt, Stored{REG_DWORD, Dword(42)}, Outcome::FolderToolRuns},
        // Zero bytes are no empty text: the user is told, the root's tool stays.
        {"Place2ZeroBytes", std::nullopt, Stored{REG_SZ, {}}, Outcome::Unavailable},
        // Up to 1024 bytes the value is read: it names the tool itself before
        // its padding, so the file test, which stops at the NUL, finds the
        // tool, which then starts. 1025 bytes are not read at all.
        {"Place2Of1023Bytes", std::nullopt, Stored{REG_SZ, PaddedString(kFolderTool, 1023, true)},
         Outcome::FolderToolRuns},
        {"Place2Of1024Bytes", std::nullopt, Stored{REG_SZ, PaddedString(kFolderTool, 1024, true)},
         Outcome::FolderToolRuns},
        {"Place2Of1025Bytes", std::nullopt, Stored{REG_SZ, PaddedString(kFolderTool, 1025, true)},
         Outcome::Unavailable},
    };
}

class SysInfoValueTest : public BenchTest, public ::testing::WithParamInterface<RegistryCase> {
protected:
    void SetUp() override {
        BenchTest::SetUp();
        SetEnvironmentVariableW(L"TARNWICK_RECORDER_LOG", nullptr);  // each copy writes beside itself
        const std::wstring recorder = WinBuildDir() + L"\\tests\\bench\\recorder\\recorder.exe";
        ASSERT_TRUE(Exists(recorder)) << "the recorder is not built";
        for (const auto* folder : {kRoot, kFolder})
            ASSERT_TRUE(CreateDirectoryW(folder, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        for (const auto* copy : {kTool, kFolderTool, kDriveTool})
            ASSERT_TRUE(CopyFileW(recorder.c_str(), copy, FALSE));
        for (const auto* log : {kToolLog, kFolderToolLog, kDriveToolLog}) DeleteFileW(log);
        // Inherited by the program.
        ASSERT_TRUE(GetCurrentDirectoryW(MAX_PATH, directory_));
        ASSERT_TRUE(SetCurrentDirectoryW(kRoot));
    }

    void TearDown() override {
        SetCurrentDirectoryW(directory_);
        for (const auto* file : {kToolLog, kFolderToolLog, kDriveToolLog, kTool, kFolderTool, kDriveTool})
            DeleteFileW(file);
        RemoveDirectoryW(kFolder);
        RemoveDirectoryW(kRoot);
        BenchTest::TearDown();
    }

    // Starts the program, opens the About dialog from the menu bar (its one
    // item sits at the bar's left end) and presses "&System Info...". A click
    // that arrives while the new window is still being activated can be lost,
    // so it is repeated until the dialog shows: a second one only shows the
    // same dialog again.
    Program PressSysInfo() {
        Program program = Program::Launch(L"");
        const HWND main = WindowAfterDecision(program);
        if (!main) throw std::runtime_error("no main window");
        PollUntil(
            [&] {
                ClickMenuBar(main);
                about_ = program.WaitForWindow(L"About MyApp", nullptr, 2000);
                return about_ != nullptr;
            },
            kWindowTimeoutMs);
        if (!about_) throw std::runtime_error("no About dialog");
        const HWND button = FindChild(about_, L"&System Info...", L"Button");
        if (!button) throw std::runtime_error("no System Info button");
        Click(button);
        return program;
    }

    static void ClickMenuBar(HWND main) {
        POINT origin{0, 0};
        ClientToScreen(main, &origin);
        SetForegroundWindow(main);
        SetCursorPos(origin.x + 12, origin.y - GetSystemMetrics(SM_CYMENU) / 2);
        INPUT clicks[2] = {};
        clicks[0].type = clicks[1].type = INPUT_MOUSE;
        clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        SendInput(2, clicks, sizeof(INPUT));
    }

    RestoredValue toolPath_{kToolKey, kToolValue};
    RestoredValue folder_{kFolderKey, kFolderValue};
    HWND about_ = nullptr;
    wchar_t directory_[MAX_PATH] = {};
};

TEST_P(SysInfoValueTest, StartsWhatTheValuesLeadToOrSaysItIsUnavailable) {
    const RegistryCase& c = GetParam();
    if (c.place1)
        StoreRaw(kToolKey, kToolValue, c.place1->type, c.place1->data);
    else
        RemoveValue(kToolKey, kToolValue);
    StoreRaw(kFolderKey, kFolderValue, c.place2.type, c.place2.data);

    const Program program = PressSysInfo();

    if (c.outcome == Outcome::Unavailable) {
        const auto box = program.WaitForMessageBox();
        ASSERT_TRUE(box) << "no message box";
        EXPECT_EQ(box->caption, L"Tarnwick");
        EXPECT_EQ(box->text, kUnavailable);
        EXPECT_EQ(box->icon, BoxIcon::None);
        AnswerOk(*box);
        EXPECT_TRUE(PollUntil([&] { return !IsWindow(box->window); }, kWindowTimeoutMs));
    } else {
        const std::wstring log = c.outcome == Outcome::ToolRuns         ? kToolLog
                                 : c.outcome == Outcome::FolderToolRuns ? kFolderToolLog
                                                                        : kDriveToolLog;
        EXPECT_TRUE(PollUntil([&] { return Exists(log); }, kWindowTimeoutMs)) << "the expected tool did not run";
        EXPECT_FALSE(program.FindMessageBox());
    }
    // The program goes on, and no other tool ran.
    EXPECT_TRUE(program.Running());
    EXPECT_TRUE(IsWindow(about_));
    EXPECT_EQ(Exists(kToolLog), c.outcome == Outcome::ToolRuns) << "the place 1 tool";
    EXPECT_EQ(Exists(kFolderToolLog), c.outcome == Outcome::FolderToolRuns) << "the place 2 tool";
    EXPECT_EQ(Exists(kDriveToolLog), c.outcome == Outcome::DriveToolRuns) << "the tool in the drive's root";
}

INSTANTIATE_TEST_SUITE_P(Cases, SysInfoValueTest, ::testing::ValuesIn(RegistryCases()),
                         [](const ::testing::TestParamInfo<RegistryCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace tarnwick::bench
