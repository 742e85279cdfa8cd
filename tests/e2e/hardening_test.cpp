// DLL planting against the real tarnwick.exe under Wine. A copy of the program
// runs from a folder that also holds a planted activeds.dll, with another
// planted copy in its current folder, and with Wine told to prefer a DLL found
// on the search path over its own for activeds in that program. The planted
// DLL writes a marker beside itself when anything loads it. A program that
// imports activeds.dll the ordinary way, run the same way, shows that the trap
// springs.
//
// The preference is Wine's per-program registry override
// (HKCU\Software\Wine\AppDefaults\<program>\DllOverrides). WINEDLLOVERRIDES
// would not do: Wine 8 does not take it from the environment block a child is
// given, only from the session's own environment.

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "program.h"
#include "provider_config.h"
#include "services.h"
#include "test_data.h"
#include "win32_raii.h"

namespace tarnwick::bench {
namespace {

// The file's text; empty when it does not exist.
std::string ReadText(const std::wstring& path) { return ReadWholeFile(path).value_or(std::string()); }

void Copy(const std::wstring& from, const std::wstring& to) {
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE))
        throw std::runtime_error("cannot copy a file of the test: error " + std::to_string(GetLastError()));
}

// A fresh folder under the user's temporary folder, removed with what it holds.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const std::wstring& name) {
        wchar_t temp[MAX_PATH];
        const DWORD length = GetTempPathW(MAX_PATH, temp);
        if (length == 0 || length >= MAX_PATH) throw std::runtime_error("no temporary folder");
        path_ = std::wstring(temp, length) + name + L"-" + std::to_wstring(GetCurrentProcessId());
        RemoveTree(path_);
        if (!CreateDirectoryW(path_.c_str(), nullptr)) throw std::runtime_error("cannot create a test folder");
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder() { RemoveTree(path_); }

    const std::wstring& Path() const { return path_; }

    std::wstring Subfolder(const std::wstring& name) const {
        const std::wstring path = path_ + L"\\" + name;
        if (!CreateDirectoryW(path.c_str(), nullptr)) throw std::runtime_error("cannot create a test folder");
        return path;
    }

private:
    static void RemoveTree(const std::wstring& path) {
        WIN32_FIND_DATAW found{};
        const HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") continue;
                const std::wstring child = path + L"\\" + name;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(child);
                else
                    DeleteFileW(child.c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(path.c_str());
    }

    std::wstring path_;
};

// Wine's load order for one DLL in one program, by the program's file name;
// the override goes when this does.
class ScopedLoadOrder {
public:
    ScopedLoadOrder(const std::wstring& program, const wchar_t* dll, const std::wstring& order)
        : programKey_(L"Software\\Wine\\AppDefaults\\" + program), dll_(dll) {
        UniqueHkey key;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, (programKey_ + L"\\DllOverrides").c_str(), 0, nullptr, 0,
                            KEY_SET_VALUE, nullptr, key.Put(), nullptr) != ERROR_SUCCESS)
            throw std::runtime_error("cannot create Wine's override key");
        const auto bytes = static_cast<DWORD>((order.size() + 1) * sizeof(wchar_t));
        if (RegSetValueExW(key.Get(), dll, 0, REG_SZ, reinterpret_cast<const BYTE*>(order.c_str()), bytes) !=
            ERROR_SUCCESS)
            throw std::runtime_error("cannot write Wine's override");
    }
    ScopedLoadOrder(const ScopedLoadOrder&) = delete;
    ScopedLoadOrder& operator=(const ScopedLoadOrder&) = delete;
    ~ScopedLoadOrder() {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, (programKey_ + L"\\DllOverrides").c_str(), dll_);
        // Each key goes only when nothing else is left in it.
        RegDeleteKeyW(HKEY_CURRENT_USER, (programKey_ + L"\\DllOverrides").c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, programKey_.c_str());
    }

private:
    std::wstring programKey_;
    const wchar_t* dll_;
};

// Makes `path` this process's current folder (which a child inherits) and
// goes back afterwards.
class ScopedCurrentDirectory {
public:
    explicit ScopedCurrentDirectory(const std::wstring& path) {
        wchar_t buffer[MAX_PATH];
        const DWORD length = GetCurrentDirectoryW(MAX_PATH, buffer);
        old_ = std::wstring(buffer, length < MAX_PATH ? length : 0);
        if (!SetCurrentDirectoryW(path.c_str())) throw std::runtime_error("cannot enter a test folder");
    }
    ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
    ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;
    ~ScopedCurrentDirectory() { SetCurrentDirectoryW(old_.c_str()); }

private:
    std::wstring old_;
};

class PlantedDllTest : public ::testing::Test {
protected:
    PlantedDllTest()
        : root_(L"tarnwick-planting"),
          programDir_(root_.Subfolder(L"program")),
          currentDir_(root_.Subfolder(L"current")) {}

    void SetUp() override {
        const std::wstring planted = WinBuildDir() + L"\\tests\\e2e\\planted_activeds.dll";
        Copy(planted, programDir_ + L"\\activeds.dll");
        Copy(planted, currentDir_ + L"\\activeds.dll");
    }

    void TearDown() override { SetJournal(L""); }

    // Starts a copy of `exe` in the program folder, in the current folder, with
    // Wine's load order for activeds set to `order` for it: by default a DLL
    // found on the search path before Wine's own.
    Program LaunchPlanted(const std::wstring& exe, const std::wstring& order = L"native,builtin") {
        const std::wstring name = exe.substr(exe.find_last_of(L'\\') + 1);
        const std::wstring copy = programDir_ + L"\\" + name;
        Copy(exe, copy);
        loadOrder_.emplace(name, L"activeds", order);  // read by the program as it loads the DLL
        const ScopedCurrentDirectory current(currentDir_);
        return Program::Launch(L"", copy);
    }

    // Services stopped, IISADMIN disabled; returns the provider's fresh journal.
    static std::wstring ResetBench() {
        ResetServices({});
        const std::wstring journal =
            WinBuildDir() + L"\\wine\\journal-hardening-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
        SetJournal(journal);
        return journal;
    }

    std::wstring MarkerBesideProgram() const { return programDir_ + L"\\activeds.dll.loaded"; }
    std::wstring MarkerInCurrentFolder() const { return currentDir_ + L"\\activeds.dll.loaded"; }

    TemporaryFolder root_;
    const std::wstring programDir_;
    const std::wstring currentDir_;
    std::optional<ScopedLoadOrder> loadOrder_;
};

// Without this the test below could pass because the planted DLL never had a
// chance: the override did not reach the child, or the marker is not written.
TEST_F(PlantedDllTest, AProgramImportingActiveDsTakesThePlantedCopy) {
    const Program importer = LaunchPlanted(WinBuildDir() + L"\\tests\\e2e\\activeds_importer.exe");
    const auto status = importer.WaitForExit();
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 1u) << "the planted ADsGetObject fails every bind";
    const std::string trace = ReadText(MarkerBesideProgram());
    EXPECT_NE(trace.find("loaded "), std::string::npos) << trace;
    EXPECT_NE(trace.find("ADsGetObject "), std::string::npos) << trace;
}

TEST_F(PlantedDllTest, TarnwickTakesActiveDsFromTheSystemFolderOnly) {
    const std::wstring journal = ResetBench();
    const auto calls = [&](const std::string& object, const std::string& member) {
        std::size_t count = 0;
        for (const auto& entry : ReadJournal(journal)) count += entry.object == object && entry.member == member;
        return count;
    };

    const auto expectNoTrace = [&] {
        EXPECT_FALSE(Exists(MarkerBesideProgram())) << ReadText(MarkerBesideProgram());
        EXPECT_FALSE(Exists(MarkerInCurrentFolder())) << ReadText(MarkerInCurrentFolder());
    };

    const Program program = LaunchPlanted(TarnwickExe());
    const HWND window = program.WaitForMainWindow();
    ASSERT_TRUE(window) << "no main window";
    // The launch decision went through the system's ADSI to the bench's
    // provider: bound the computer and read IISADMIN's status.
    EXPECT_TRUE(PollUntil([&] { return calls("IISADMIN", "Status") >= 1; }, kWindowTimeoutMs));
    EXPECT_GE(calls("bind", "OpenDSObject"), 1u);
    expectNoTrace();
    const auto box = program.FindMessageBox();
    ASSERT_FALSE(box.has_value()) << "a failure was reported: " << ::testing::PrintToString(box->text);

    // Nothing loads it later either, up to the program's end.
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program.WaitForExit(), 0u);
    expectNoTrace();
}

// With no activeds.dll to be had (Wine told to load none), the bind fails as a
// strict failure that names the missing module, and nothing reaches the provider.
TEST_F(PlantedDllTest, WithoutTheSystemsActiveDsTheBindIsReported) {
    const std::wstring journal = ResetBench();

    const Program program = LaunchPlanted(TarnwickExe(), L"");
    const auto box = program.WaitForMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, L"Tarnwick");
    EXPECT_EQ(box->icon, BoxIcon::Error);
    EXPECT_NE(box->text.find(L"0x8007007E"), std::wstring::npos) << ::testing::PrintToString(box->text);
    AnswerOk(*box);
    EXPECT_EQ(program.WaitForExit(), 1u);
    EXPECT_TRUE(ReadJournal(journal).empty());
    EXPECT_FALSE(Exists(MarkerBesideProgram())) << ReadText(MarkerBesideProgram());
}

}  // namespace
}  // namespace tarnwick::bench
