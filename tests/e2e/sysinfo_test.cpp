// The About dialog's "&System Info..." button of the real tarnwick.exe under
// Wine, against the prefix's real registry: the tool is found at either of its
// two registry places and started exactly, or the user is told it is
// unavailable. The started tools are copies of the recorder, each writing the
// command line it got to recorder.log beside itself, so the log shows which
// file ran and how.

#include <windows.h>
#include <winternl.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "program.h"
#include "restored_value.h"
#include "services.h"
#include "test_data.h"
#include "win32_raii.h"

namespace tarnwick::bench {
namespace {

constexpr wchar_t kToolKey[] = L"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr wchar_t kToolValue[] = L"PATH";
constexpr wchar_t kFolderKey[] = L"SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr wchar_t kFolderValue[] = L"MSINFO";
constexpr wchar_t kUnavailable[] = L"System Information Is Unavailable At This Time";

// A tool whose path has blanks, and the program a naive start of that path
// would run instead.
constexpr wchar_t kToolDir[] = L"C:\\Program Files\\Tarnwick SysInfo";
constexpr wchar_t kTool[] = L"C:\\Program Files\\Tarnwick SysInfo\\msinfo tool.exe";
constexpr wchar_t kDecoy[] = L"C:\\Program.exe";
constexpr wchar_t kFolderRoot[] = L"C:\\Tarnwick SysInfo";
constexpr wchar_t kFolder[] = L"C:\\Tarnwick SysInfo\\Folder Two";
constexpr wchar_t kFolderTool[] = L"C:\\Tarnwick SysInfo\\Folder Two\\MSINFO32.EXE";

std::wstring LogBeside(const std::wstring& program) {
    return program.substr(0, program.find_last_of(L'\\') + 1) + L"recorder.log";
}

// --- Registry ----------------------------------------------------------------

void StoreString(const std::wstring& key, const std::wstring& name, const std::wstring& text,
                 bool terminated = true, DWORD type = REG_SZ) {
    StoreRaw(key, name, type, StringBytes(text, terminated));
}

// --- Processes -----------------------------------------------------------------

struct ProcessEntry {
    DWORD id;
    DWORD parentId;
};

std::vector<ProcessEntry> ProcessesNamed(const std::wstring& exeName) {
    std::vector<ProcessEntry> found;
    const HANDLE taken = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (taken == INVALID_HANDLE_VALUE) return found;
    const UniqueHandle snapshot(taken);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry))
        if (lstrcmpiW(entry.szExeFile, exeName.c_str()) == 0)
            found.push_back({entry.th32ProcessID, entry.th32ParentProcessID});
    return found;
}

void EndProcess(DWORD id) {
    const UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
    if (!process) return;
    TerminateProcess(process.Get(), 0);
    WaitForSingleObject(process.Get(), 10000);
}

struct FoundWindow {
    DWORD processId;
    HWND window;
};

BOOL CALLBACK FindVisibleWindowOf(HWND window, LPARAM param) {
    auto& found = *reinterpret_cast<FoundWindow*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != found.processId || !IsWindowVisible(window)) return TRUE;
    found.window = window;
    return FALSE;
}

HWND VisibleWindowOf(DWORD processId) {
    FoundWindow found{processId, nullptr};
    EnumWindows(FindVisibleWindowOf, reinterpret_cast<LPARAM>(&found));
    return found.window;
}

void EndAllMsinfo32() {
    for (const auto& process : ProcessesNamed(L"msinfo32.exe")) EndProcess(process.id);
}

// Ends every msinfo32.exe when the test is done with them, also when it fails.
struct EndsMsinfo32 {
    EndsMsinfo32() = default;
    EndsMsinfo32(const EndsMsinfo32&) = delete;
    EndsMsinfo32& operator=(const EndsMsinfo32&) = delete;
    ~EndsMsinfo32() { EndAllMsinfo32(); }
};

// --- The test ----------------------------------------------------------------------

class SysInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetServices();
        // Each copy of the recorder must write beside itself.
        SetEnvironmentVariableW(L"TARNWICK_RECORDER_LOG", nullptr);
        recorder_ = WinBuildDir() + L"\\tests\\bench\\recorder\\recorder.exe";
        ASSERT_TRUE(Exists(recorder_)) << "the recorder is not built";
        CreateFolder(kToolDir);
        CreateFolder(kFolderRoot);
        CreateFolder(kFolder);
        CopyRecorder(kTool);
        CopyRecorder(kDecoy);
        CopyRecorder(kFolderTool);
    }

    void TearDown() override {
        for (const auto* program : {kTool, kDecoy, kFolderTool}) DeleteFileW(LogBeside(program).c_str());
        for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
            SetFileAttributesW(it->c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileW(it->c_str())) RemoveDirectoryW(it->c_str());
        }
    }

    void CreateFolder(const std::wstring& path) {
        if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            throw std::runtime_error("cannot create " + Utf8(path));
        created_.push_back(path);
    }

    void CopyRecorder(const std::wstring& target) {
        if (!CopyFileW(recorder_.c_str(), target.c_str(), FALSE))
            throw std::runtime_error("cannot copy the recorder to " + Utf8(target));
        created_.push_back(target);
    }

    // Starts the program, opens its About dialog from the menu bar and presses
    // "&System Info...".
    Program PressSysInfo() {
        Program program = Program::Launch(L"");
        const HWND main = program.WaitForMainWindow();
        if (!main) throw std::runtime_error("no main window");
        ClickMenuBar(main);
        about_ = program.WaitForWindow(L"About MyApp");
        if (!about_) throw std::runtime_error("no About dialog");
        const HWND button = FindChild(about_, L"&System Info...", L"Button");
        if (!button) throw std::runtime_error("no System Info button");
        Click(button);
        return program;
    }

    // The single "About" item sits at the left end of the bar, just above the
    // client area. Each mouse event carries its own position.
    static void ClickMenuBar(HWND main) {
        POINT origin{0, 0};
        ClientToScreen(main, &origin);
        const int x = MulDiv(origin.x + 12, 65536, GetSystemMetrics(SM_CXSCREEN)) + 1;
        const int y = MulDiv(origin.y - GetSystemMetrics(SM_CYMENU) / 2, 65536, GetSystemMetrics(SM_CYSCREEN)) + 1;
        INPUT events[3] = {};
        const DWORD buttons[3] = {0, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
        for (int i = 0; i < 3; ++i) {
            events[i].type = INPUT_MOUSE;
            events[i].mi.dx = x;
            events[i].mi.dy = y;
            events[i].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttons[i];
        }
        SendInput(3, events, sizeof(INPUT));
    }

    // The line the recorder at `program` wrote, once it has written it.
    static std::optional<std::string> RecordedBy(const std::wstring& program) {
        std::optional<std::string> line;
        PollUntil(
            [&] {
                line = ReadWholeFile(LogBeside(program));
                return line && !line->empty() && line->back() == '\n';
            },
            kWindowTimeoutMs);
        return line;
    }

    // The unavailable message, closed again; the program and its dialog live on.
    void ExpectUnavailableMessage(const Program& program) const {
        const auto box = program.WaitForMessageBox();
        ASSERT_TRUE(box) << "no message box";
        EXPECT_EQ(box->caption, L"Tarnwick");
        EXPECT_EQ(box->text, kUnavailable);
        EXPECT_EQ(box->icon, BoxIcon::None);
        EXPECT_EQ(box->buttons, std::vector<std::wstring>{L"OK"});
        AnswerOk(*box);
        EXPECT_TRUE(PollUntil([&] { return !IsWindow(box->window); }, kWindowTimeoutMs));
        EXPECT_TRUE(program.Running());
        EXPECT_TRUE(IsWindow(about_));
    }

    std::string Quoted(const std::wstring& path) const { return "\"" + Utf8(path) + "\"\n"; }

    RestoredValue toolPath_{kToolKey, kToolValue};
    RestoredValue folder_{kFolderKey, kFolderValue};
    std::wstring recorder_;
    std::vector<std::wstring> created_;
    HWND about_ = nullptr;
};

TEST_F(SysInfoTest, StartsExactlyTheProgramThatPlace1NamesWhateverBlanksItsPathHolds) {
    // A string stored with its terminator and one stored without: both name the whole path.
    for (const bool terminated : {true, false}) {
        SCOPED_TRACE(terminated ? "terminated" : "unterminated");
        StoreString(kToolKey, kToolValue, kTool, terminated);
        StoreString(kFolderKey, kFolderValue, kFolder);

        const Program program = PressSysInfo();

        EXPECT_EQ(RecordedBy(kTool), Quoted(kTool));
        EXPECT_FALSE(Exists(LogBeside(kDecoy))) << "C:\\Program.exe ran";
        EXPECT_FALSE(Exists(LogBeside(kFolderTool))) << "the place 2 program ran";
        EXPECT_TRUE(program.Running());
        DeleteFileW(LogBeside(kTool).c_str());
    }
}

TEST_F(SysInfoTest, AQuotedPlace1StartsTheProgramBetweenTheQuotesWithItsArguments) {
    for (const std::wstring arguments : {L"", L" /report C:\\out.txt"}) {
        SCOPED_TRACE(Utf8(arguments));
        StoreString(kToolKey, kToolValue, L"\"" + std::wstring(kTool) + L"\"" + arguments);

        const Program program = PressSysInfo();

        EXPECT_EQ(RecordedBy(kTool), "\"" + Utf8(kTool) + "\"" + Utf8(arguments) + "\n");
        EXPECT_FALSE(Exists(LogBeside(kDecoy))) << "C:\\Program.exe ran";
        EXPECT_TRUE(program.Running());
        DeleteFileW(LogBeside(kTool).c_str());
    }
}

TEST_F(SysInfoTest, StartsMsinfo32FromThePlace2FolderWhenPlace1CannotBeRead) {
    struct Case {
        const char* name;
        void (*setPlace1)();
    };
    const Case cases[] = {
        {"no value", [] { RemoveValue(kToolKey, kToolValue); }},
        {"longer than the buffer", [] { StoreString(kToolKey, kToolValue, std::wstring(1100, L'a') + L".exe"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.setPlace1();
        StoreString(kFolderKey, kFolderValue, kFolder);

        const Program program = PressSysInfo();

        EXPECT_EQ(RecordedBy(kFolderTool), Quoted(kFolderTool));
        DeleteFileW(LogBeside(kFolderTool).c_str());
    }
}

TEST_F(SysInfoTest, ReadOnlyMsinfo32InThePlace2FolderCounts) {
    RemoveValue(kToolKey, kToolValue);
    StoreString(kFolderKey, kFolderValue, kFolder);
    ASSERT_TRUE(SetFileAttributesW(kFolderTool, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));

    const Program program = PressSysInfo();

    EXPECT_EQ(RecordedBy(kFolderTool), Quoted(kFolderTool));
}

TEST_F(SysInfoTest, ShowsTheMessageWhenNeitherPlaceLeadsToAProgram) {
    struct Case {
        const char* name;
        void (*set)();
    };
    const Case cases[] = {
        {"neither place set",
         [] {
             RemoveValue(kToolKey, kToolValue);
             RemoveValue(kFolderKey, kFolderValue);
         }},
        {"place 2 folder without MSINFO32.EXE",
         [] {
             RemoveValue(kToolKey, kToolValue);
             StoreString(kFolderKey, kFolderValue, kFolderRoot);
         }},
        {"place 2 MSINFO32.EXE hidden",
         [] {
             RemoveValue(kToolKey, kToolValue);
             StoreString(kFolderKey, kFolderValue, kFolder);
             SetFileAttributesW(kFolderTool, FILE_ATTRIBUTE_HIDDEN);
         }},
        {"place 2 MSINFO32.EXE a system file",
         [] {
             RemoveValue(kToolKey, kToolValue);
             StoreString(kFolderKey, kFolderValue, kFolder);
             SetFileAttributesW(kFolderTool, FILE_ATTRIBUTE_SYSTEM);
         }},
        {"place 1 names no program", [] { StoreString(kToolKey, kToolValue, L"C:\\Tarnwick SysInfo\\none.exe"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.set();

        const Program program = PressSysInfo();

        ExpectUnavailableMessage(program);
        EXPECT_FALSE(Exists(LogBeside(kFolderTool)));
        SetFileAttributesW(kFolderTool, FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(SysInfoTest, Place1FoundButUnusableShowsTheMessageWithoutTryingPlace2) {
    struct Case {
        const char* name;
        void (*setPlace1)();
    };
    const Case cases[] = {
        {"zero bytes", [] { StoreRaw(kToolKey, kToolValue, REG_SZ, {}); }},
        {"another type", [] { StoreString(kToolKey, kToolValue, kTool, true, REG_EXPAND_SZ); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.setPlace1();
        StoreString(kFolderKey, kFolderValue, kFolder);  // would start, if it were tried

        const Program program = PressSysInfo();

        ExpectUnavailableMessage(program);
        EXPECT_FALSE(Exists(LogBeside(kFolderTool)));
        EXPECT_FALSE(Exists(LogBeside(kTool)));
    }
}

TEST_F(SysInfoTest, StartsWinesOwnMsinfo32ShownAndFocused) {
    EndAllMsinfo32();  // left by an earlier run
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    const std::wstring msinfo32 = std::wstring(system) + L"\\msinfo32.exe";
    ASSERT_TRUE(Exists(msinfo32));
    StoreString(kToolKey, kToolValue, msinfo32);

    const Program program = PressSysInfo();

    const EndsMsinfo32 endsMsinfo32;
    DWORD started = 0;
    ASSERT_TRUE(PollUntil(
        [&] {
            for (const auto& process : ProcessesNamed(L"msinfo32.exe"))
                if (process.parentId == program.Id()) started = process.id;
            return started != 0;
        },
        kWindowTimeoutMs))
        << "no msinfo32.exe started by the program";
    HWND window = nullptr;
    ASSERT_TRUE(PollUntil([&] { return (window = VisibleWindowOf(started)) != nullptr; }, kWindowTimeoutMs));
    EXPECT_FALSE(IsIconic(window));
    EXPECT_FALSE(IsZoomed(window));
    EXPECT_TRUE(PollUntil([&] { return GetForegroundWindow() == window; }, kWindowTimeoutMs))
        << "msinfo32's window did not get the focus";
}

}  // namespace
}  // namespace tarnwick::bench
