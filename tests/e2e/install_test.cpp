// The MSI as an administrator uses it, under Wine: msiexec /i and /x with /qn,
// the files, shortcuts, registry values, event source and Apps & Features
// entry an install leaves and an uninstall removes, DESKTOP_SHORTCUT=0 and
// how it is remembered, major upgrades (also to another build of the same
// version) and a refused downgrade, and the installed program switching the
// simulated services.
// install_test.sh makes the MSIs and names them in the environment:
// TARNWICK_TEST_MSI / _VERSION (as "make package" builds it),
// TARNWICK_TEST_SAME_MSI / _SAME_EXE (another build of that version, signed,
// and its tarnwick.exe), TARNWICK_TEST_NEWER_MSI / _NEWER_VERSION (the next
// version, signed), TARNWICK_TEST_SIGNED_EXE (its tarnwick.exe) and
// TARNWICK_TEST_FIRST_MSI (the first release, 1.0.0, which remembered no
// desktop shortcut choice).

#include <gtest/gtest.h>

#include <windows.h>
#include <msi.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "maker.h"
#include "program.h"
#include "services.h"
#include "test_data.h"
#include "win32_raii.h"

namespace tarnwick::bench {
namespace {

using Microsoft::WRL::ComPtr;

constexpr DWORD kMsiexecTimeoutMs = 120000;
constexpr wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t kStartMenuName[] = L"Tarnwick.lnk";
constexpr wchar_t kDesktopName[] = L"Switch IIS on or off.lnk";
constexpr wchar_t kDowngradeMessage[] = L"A newer version of Tarnwick is already installed.";
constexpr wchar_t kProductKey[] = L"SOFTWARE\\Tarnwick";
constexpr wchar_t kEventSourceKey[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Tarnwick";

// An environment variable holding a Unix path, as a path Wine opens (Z:\...).
std::wstring PathFromEnvironment(const wchar_t* name) {
    wchar_t buffer[4096];
    const DWORD length = GetEnvironmentVariableW(name, buffer, 4096);
    if (!length || length >= 4096) throw std::runtime_error("environment variable missing");
    std::wstring path(buffer, length);
    if (path.front() == L'/') {
        for (auto& c : path)
            if (c == L'/') c = L'\\';
        path = L"Z:" + path;
    }
    return path;
}

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) result = path;
    CoTaskMemFree(path);
    return result;
}

// Equal ignoring case and a final backslash (msiexec writes folders with one).
bool SamePath(std::wstring a, std::wstring b) {
    for (auto* path : {&a, &b})
        if (!path->empty() && path->back() == L'\\') path->pop_back();
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::wstring InstallFolder() { return KnownFolder(FOLDERID_ProgramFiles) + L"\\Tarnwick"; }
std::wstring InstalledExe() { return InstallFolder() + L"\\tarnwick.exe"; }

// Under Wine the shortcuts of a per-machine install land in the user's
// folders; on Windows in the common ones. Whichever holds the file.
std::vector<std::wstring> ShortcutPlaces(const wchar_t* name, bool desktop) {
    const auto user = KnownFolder(desktop ? FOLDERID_Desktop : FOLDERID_Programs);
    const auto common = KnownFolder(desktop ? FOLDERID_PublicDesktop : FOLDERID_CommonPrograms);
    return {user + L"\\" + name, common + L"\\" + name};
}

std::optional<std::wstring> FindShortcut(const wchar_t* name, bool desktop) {
    for (const auto& path : ShortcutPlaces(name, desktop))
        if (Exists(path)) return path;
    return std::nullopt;
}

struct Shortcut {
    std::wstring target, arguments, workingFolder, iconFile;
    int iconIndex = -1;
};

Shortcut ReadShortcut(const std::wstring& path) {
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    Shortcut shortcut;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link))) ||
        FAILED(link.As(&file)) || FAILED(file->Load(path.c_str(), STGM_READ)))
        throw std::runtime_error("cannot load the shortcut");
    wchar_t text[MAX_PATH * 2] = L"";
    if (SUCCEEDED(link->GetPath(text, ARRAYSIZE(text), nullptr, SLGP_RAWPATH))) shortcut.target = text;
    text[0] = L'\0';
    if (SUCCEEDED(link->GetArguments(text, ARRAYSIZE(text)))) shortcut.arguments = text;
    text[0] = L'\0';
    if (SUCCEEDED(link->GetWorkingDirectory(text, ARRAYSIZE(text)))) shortcut.workingFolder = text;
    text[0] = L'\0';
    if (SUCCEEDED(link->GetIconLocation(text, ARRAYSIZE(text), &shortcut.iconIndex))) shortcut.iconFile = text;
    return shortcut;
}

std::wstring StringValue(HKEY key, const wchar_t* name) {
    wchar_t text[1024];
    DWORD size = sizeof text;
    if (RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) return {};
    return text;
}

// A value of HKEY_LOCAL_MACHINE of exactly the type `rrfType` (RRF_RT_...);
// nullopt when the key or the value is missing or of another type.
std::optional<std::wstring> TextValue(const wchar_t* key, const wchar_t* name, DWORD rrfType) {
    wchar_t text[1024];
    DWORD size = sizeof text;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, rrfType | RRF_NOEXPAND, nullptr, text, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(text);
}

std::optional<DWORD> NumberValue(const wchar_t* key, const wchar_t* name) {
    DWORD number = 0;
    DWORD size = sizeof number;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_DWORD, nullptr, &number, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return number;
}

bool KeyExists(const wchar_t* key) {
    UniqueHkey opened;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, opened.Put()) == ERROR_SUCCESS;
}

// The Apps & Features entries named Tarnwick.
struct Entry {
    std::wstring productCode, version, publisher, url;
};

std::vector<Entry> Entries() {
    std::vector<Entry> entries;
    UniqueHkey uninstall;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, uninstall.Put()) != ERROR_SUCCESS)
        return entries;
    wchar_t name[256];
    DWORD length = ARRAYSIZE(name);
    for (DWORD i = 0; RegEnumKeyExW(uninstall.Get(), i, name, &length, nullptr, nullptr, nullptr,
                                    nullptr) == ERROR_SUCCESS;
         ++i, length = ARRAYSIZE(name)) {
        UniqueHkey product;
        if (RegOpenKeyExW(uninstall.Get(), name, 0, KEY_READ, product.Put()) != ERROR_SUCCESS) continue;
        if (StringValue(product.Get(), L"DisplayName") != L"Tarnwick") continue;
        entries.push_back({name, StringValue(product.Get(), L"DisplayVersion"),
                           StringValue(product.Get(), L"Publisher"), StringValue(product.Get(), L"URLInfoAbout")});
    }
    return entries;
}

std::wstring MsiexecPath() {
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(system) + L"\\msiexec.exe";
}

// msiexec's exit status, read here because above 255 it reaches Linux truncated.
DWORD Msiexec(const std::wstring& arguments) {
    const ULONGLONG start = GetTickCount64();
    const auto status = Program::Launch(arguments, MsiexecPath()).WaitForExit(kMsiexecTimeoutMs);
    std::printf("msiexec %ls: %llu ms\n", arguments.c_str(), GetTickCount64() - start);
    if (!status) throw std::runtime_error("msiexec did not end in time");
    return *status;
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

// Each service's state and start type, in the order of kServiceNames.
std::vector<DWORD> ServicesSnapshot() {
    std::vector<DWORD> snapshot;
    for (const auto* name : kServiceNames) {
        snapshot.push_back(QueryState(name));
        snapshot.push_back(QueryStartType(name));
    }
    return snapshot;
}

// Runs the program as a shortcut would and expects it to switch the services on.
void ExpectSwitchesOn(const std::wstring& exe, const std::wstring& arguments) {
    const Program program = Program::LaunchWithCommandLine(Quoted(exe) + L" " + arguments, exe);
    EXPECT_EQ(program.WaitForExit(), 0u);
    for (const auto* name : kServiceNames) EXPECT_TRUE(WaitForState(name, SERVICE_RUNNING)) << name;
    EXPECT_EQ(QueryStartType(L"IISADMIN"), static_cast<DWORD>(SERVICE_AUTO_START));
}

class InstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(com_.Result()));
        ResetServices();
        msi_ = PathFromEnvironment(L"TARNWICK_TEST_MSI");
        sameMsi_ = PathFromEnvironment(L"TARNWICK_TEST_SAME_MSI");
        newerMsi_ = PathFromEnvironment(L"TARNWICK_TEST_NEWER_MSI");
    }
    // A failed case leaves nothing installed for the next.
    void TearDown() override {
        for (const auto& entry : Entries()) Msiexec(L"/x " + entry.productCode + L" /qn");
    }

    static std::wstring Environment(const wchar_t* name) {
        wchar_t text[64];
        const DWORD length = GetEnvironmentVariableW(name, text, 64);
        return length < 64 ? std::wstring(text, length) : std::wstring();
    }

    void ExpectShortcut(const wchar_t* name, bool desktop, const std::wstring& arguments) {
        const auto path = FindShortcut(name, desktop);
        ASSERT_TRUE(path) << "no shortcut " << Utf8(name);
        const Shortcut shortcut = ReadShortcut(*path);
        EXPECT_TRUE(SamePath(shortcut.target, InstalledExe())) << Utf8(shortcut.target);
        EXPECT_EQ(shortcut.arguments, arguments);
        EXPECT_TRUE(SamePath(shortcut.workingFolder, InstallFolder())) << Utf8(shortcut.workingFolder);
        // The program's icon, as the build drew it.
        EXPECT_EQ(shortcut.iconIndex, 0);
        const auto icon = ReadWholeFile(shortcut.iconFile);
        ASSERT_TRUE(icon) << Utf8(shortcut.iconFile);
        EXPECT_EQ(*icon, ReadWholeFile(WinBuildDir() + L"\\resources\\tarnwick.ico"));
        iconFiles_.push_back(shortcut.iconFile);
    }

    ScopedComInit com_;
    std::wstring msi_, sameMsi_, newerMsi_;
    std::vector<std::wstring> iconFiles_;  // to be gone after the uninstall
};

TEST_F(InstallTest, InstallPutsProgramShortcutsAndEntryInPlaceAndUninstallTakesThemAway) {
    ASSERT_EQ(Msiexec(L"/i " + Quoted(msi_) + L" /qn"), 0u);

    EXPECT_EQ(ReadWholeFile(InstalledExe()), ReadWholeFile(TarnwickExe()));
    EXPECT_TRUE(Exists(InstallFolder() + L"\\Guide.txt"));  // the administrator's guide
    EXPECT_TRUE(Exists(InstallFolder() + L"\\LICENSE"));
    ExpectShortcut(kStartMenuName, false, L"");
    ExpectShortcut(kDesktopName, true, L"-auto");
    const auto entries = Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].version, Environment(L"TARNWICK_TEST_VERSION"));
    EXPECT_EQ(entries[0].publisher, TARNWICK_WIDE(TARNWICK_MAKER_COMPANY));
    EXPECT_EQ(entries[0].url, TARNWICK_WIDE(TARNWICK_MAKER_URL));
    // Apps & Features shows the product's icon (Wine writes no DisplayIcon;
    // the installer's own record of it is what both systems keep).
    wchar_t productIcon[MAX_PATH] = L"";
    DWORD size = MAX_PATH;
    EXPECT_EQ(MsiGetProductInfoW(entries[0].productCode.c_str(), INSTALLPROPERTY_PRODUCTICON, productIcon, &size),
              static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(ReadWholeFile(productIcon), ReadWholeFile(WinBuildDir() + L"\\resources\\tarnwick.ico"));
    iconFiles_.push_back(productIcon);

    // Each shortcut's component is kept by a registry value; the desktop
    // shortcut's choice is remembered. The event source names the program.
    EXPECT_EQ(NumberValue(kProductKey, L"StartMenuShortcut"), 1u);
    EXPECT_EQ(NumberValue(kProductKey, L"DesktopShortcut"), 1u);
    EXPECT_EQ(TextValue(kProductKey, L"DesktopShortcutChoice", RRF_RT_REG_SZ), L"1");
    const auto messageFile = TextValue(kEventSourceKey, L"EventMessageFile", RRF_RT_REG_EXPAND_SZ);
    ASSERT_TRUE(messageFile) << "no REG_EXPAND_SZ EventMessageFile";
    EXPECT_TRUE(SamePath(*messageFile, InstalledExe())) << Utf8(*messageFile);
    EXPECT_EQ(NumberValue(kEventSourceKey, L"TypesSupported"), 7u);

    // The desktop shortcut, as a double-click runs it, switches the web server on.
    const auto desktop = FindShortcut(kDesktopName, true);
    ASSERT_TRUE(desktop);
    const Shortcut shortcut = ReadShortcut(*desktop);
    ExpectSwitchesOn(shortcut.target, shortcut.arguments);

    // Uninstalling leaves the services as they are: running, IISADMIN automatic.
    const auto before = ServicesSnapshot();
    ASSERT_EQ(Msiexec(L"/x " + Quoted(msi_) + L" /qn"), 0u);
    EXPECT_FALSE(Exists(InstallFolder()));
    for (const bool desktopPlace : {false, true})
        for (const auto& path : ShortcutPlaces(desktopPlace ? kDesktopName : kStartMenuName, desktopPlace))
            EXPECT_FALSE(Exists(path)) << Utf8(path);
    for (const auto& icon : iconFiles_) EXPECT_FALSE(Exists(icon)) << Utf8(icon);
    EXPECT_TRUE(Entries().empty());
    EXPECT_EQ(MsiQueryProductStateW(entries[0].productCode.c_str()), INSTALLSTATE_UNKNOWN);
    EXPECT_FALSE(KeyExists(kProductKey));
    EXPECT_FALSE(KeyExists(kEventSourceKey));
    EXPECT_EQ(ServicesSnapshot(), before);
}

TEST_F(InstallTest, DesktopShortcutZeroHoldsAcrossAnUpgradeUntilTheCommandLineSaysOtherwise) {
    ASSERT_EQ(Msiexec(L"/i " + Quoted(msi_) + L" DESKTOP_SHORTCUT=0 /qn"), 0u);
    EXPECT_TRUE(Exists(InstalledExe()));
    EXPECT_TRUE(FindShortcut(kStartMenuName, false));
    EXPECT_FALSE(FindShortcut(kDesktopName, true));
    EXPECT_FALSE(NumberValue(kProductKey, L"DesktopShortcut"));
    EXPECT_EQ(TextValue(kProductKey, L"DesktopShortcutChoice", RRF_RT_REG_SZ), L"0");

    // An upgrade without the property keeps the administrator's choice.
    ASSERT_EQ(Msiexec(L"/i " + Quoted(sameMsi_) + L" /qn"), 0u);
    ASSERT_EQ(Entries().size(), 1u);
    EXPECT_TRUE(FindShortcut(kStartMenuName, false));
    EXPECT_FALSE(FindShortcut(kDesktopName, true));

    // One given on the command line wins over the remembered choice.
    ASSERT_EQ(Msiexec(L"/i " + Quoted(newerMsi_) + L" DESKTOP_SHORTCUT=1 /qn"), 0u);
    ASSERT_EQ(Entries().size(), 1u);
    ExpectShortcut(kDesktopName, true, L"-auto");

    ASSERT_EQ(Msiexec(L"/x " + Quoted(newerMsi_) + L" /qn"), 0u);
    EXPECT_FALSE(FindShortcut(kStartMenuName, false));
    EXPECT_FALSE(FindShortcut(kDesktopName, true));
    EXPECT_FALSE(Exists(InstallFolder()));
    EXPECT_FALSE(KeyExists(kProductKey));
}

// The first release wrote no DesktopShortcutChoice: where it was installed
// with DESKTOP_SHORTCUT=0, its missing desktop shortcut component is what
// keeps the shortcut away on the upgrade; where it has the shortcut, it stays.
TEST_F(InstallTest, AnUpgradeFromABuildThatRememberedNoChoiceKeepsItsDesktopShortcutChoice) {
    const std::wstring first = PathFromEnvironment(L"TARNWICK_TEST_FIRST_MSI");
    for (const bool declined : {true, false}) {
        SCOPED_TRACE(declined ? "declined" : "kept");
        ASSERT_EQ(Msiexec(L"/i " + Quoted(first) + (declined ? L" DESKTOP_SHORTCUT=0" : L"") + L" /qn"),
                  0u);
        ASSERT_EQ(FindShortcut(kDesktopName, true).has_value(), !declined);
        ASSERT_FALSE(TextValue(kProductKey, L"DesktopShortcutChoice", RRF_RT_REG_SZ));

        ASSERT_EQ(Msiexec(L"/i " + Quoted(msi_) + L" /qn"), 0u);
        const auto entries = Entries();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].version, Environment(L"TARNWICK_TEST_VERSION"));
        EXPECT_TRUE(FindShortcut(kStartMenuName, false));
        EXPECT_EQ(FindShortcut(kDesktopName, true).has_value(), !declined);
        EXPECT_EQ(TextValue(kProductKey, L"DesktopShortcutChoice", RRF_RT_REG_SZ),
                  declined ? L"0" : L"1");

        ASSERT_EQ(Msiexec(L"/x " + Quoted(msi_) + L" /qn"), 0u);
        EXPECT_TRUE(Entries().empty());
    }
}

// A rebuilt release has the same version (the version record is fixed) and a
// product code of its own: it must still replace the installed build.
TEST_F(InstallTest, AnotherBuildOfTheSameVersionReplacesTheInstalledOne) {
    ASSERT_EQ(Msiexec(L"/i " + Quoted(msi_) + L" /qn"), 0u);
    const auto first = Entries();
    ASSERT_EQ(first.size(), 1u);

    ASSERT_EQ(Msiexec(L"/i " + Quoted(sameMsi_) + L" /qn"), 0u);
    const auto entries = Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_NE(entries[0].productCode, first[0].productCode);
    EXPECT_EQ(entries[0].version, Environment(L"TARNWICK_TEST_VERSION"));
    EXPECT_EQ(MsiQueryProductStateW(first[0].productCode.c_str()), INSTALLSTATE_UNKNOWN);
    EXPECT_EQ(ReadWholeFile(InstalledExe()), ReadWholeFile(PathFromEnvironment(L"TARNWICK_TEST_SAME_EXE")));
    EXPECT_TRUE(FindShortcut(kStartMenuName, false));
    EXPECT_TRUE(FindShortcut(kDesktopName, true));

    // One uninstall leaves nothing of either build.
    ASSERT_EQ(Msiexec(L"/x " + Quoted(sameMsi_) + L" /qn"), 0u);
    EXPECT_TRUE(Entries().empty());
    EXPECT_FALSE(Exists(InstallFolder()));
    EXPECT_FALSE(FindShortcut(kDesktopName, true));
}

TEST_F(InstallTest, NewerVersionReplacesTheOlderOneAndTheOlderIsRefused) {
    ASSERT_EQ(Msiexec(L"/i " + Quoted(msi_) + L" /qn"), 0u);
    ASSERT_EQ(Msiexec(L"/i " + Quoted(newerMsi_) + L" /qn"), 0u);
    auto entries = Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].version, Environment(L"TARNWICK_TEST_NEWER_VERSION"));

    // The newer package carries the signed program, and it runs.
    EXPECT_EQ(ReadWholeFile(InstalledExe()), ReadWholeFile(PathFromEnvironment(L"TARNWICK_TEST_SIGNED_EXE")));
    ExpectSwitchesOn(InstalledExe(), L"-auto");
    ExpectShortcut(kDesktopName, true, L"-auto");

    // The older package refuses, silently with /qn, and with the basic UI in
    // a message box that says why; it changes nothing.
    EXPECT_EQ(Msiexec(L"/i " + Quoted(msi_) + L" /qn"), static_cast<DWORD>(ERROR_INSTALL_FAILURE));
    {
        const Program refused = Program::Launch(L"/i " + Quoted(msi_) + L" /qb", MsiexecPath());
        const auto box = refused.WaitForMessageBox(kMsiexecTimeoutMs);
        ASSERT_TRUE(box) << "no message box";
        EXPECT_NE(box->text.find(kDowngradeMessage), std::wstring::npos) << Utf8(box->text);
        AnswerOk(*box);
        EXPECT_EQ(refused.WaitForExit(kMsiexecTimeoutMs), static_cast<DWORD>(ERROR_INSTALL_FAILURE));
    }
    entries = Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].version, Environment(L"TARNWICK_TEST_NEWER_VERSION"));

    ASSERT_EQ(Msiexec(L"/x " + Quoted(newerMsi_) + L" /qn"), 0u);
    EXPECT_TRUE(Entries().empty());
    EXPECT_FALSE(Exists(InstallFolder()));
}

}  // namespace
}  // namespace tarnwick::bench
