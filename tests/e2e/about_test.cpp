// The maker's links and the About dialog of the real tarnwick.exe under Wine.
// The shell's http, https and mailto handlers point at the recorder while a
// test runs, so the recorder's log shows exactly what the program handed
// over; without a handler the shell fails and the program must say so and go
// on. Menus, labels and keys are worked with real mouse and keyboard input.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "../../ui/colours.h"
#include "maker.h"
#include "program.h"
#include "provider_config.h"
#include "restored_value.h"
#include "services.h"
#include "test_data.h"
#include "win32_raii.h"

namespace tarnwick::bench {
namespace {

constexpr wchar_t kAboutCaption[] = L"About MyApp";
constexpr wchar_t kWebTarget[] = TARNWICK_WIDE(TARNWICK_MAKER_URL);
constexpr wchar_t kMailTarget[] = L"mailto:" TARNWICK_WIDE(TARNWICK_MAKER_MAIL) L"?subject=More Information: Tarnwick";
constexpr wchar_t kBrowserError[] =
    L"Error lauching web browser. Make sure that your web browser is correctly installed and configured";
constexpr wchar_t kMailError[] =
    L"Error sending mail. Make sure that you have your email client correctly installed and configured";
constexpr wchar_t kRecorderLogVariable[] = L"TARNWICK_RECORDER_LOG";
constexpr const wchar_t* kProtocols[] = {L"http", L"https", L"mailto"};

std::wstring TempFile(const wchar_t* name) {
    wchar_t directory[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, directory);
    return std::wstring(directory) + name;
}

std::vector<std::string> ReadLines(const std::wstring& path) {
    std::vector<std::string> lines;
    const std::string content = ReadWholeFile(path).value_or(std::string());
    for (std::size_t start = 0, end; (end = content.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(content.substr(start, end - start));
    return lines;
}

// --- Shell handlers --------------------------------------------------------------

std::wstring CommandKey(const wchar_t* protocol) {
    return std::wstring(protocol) + L"\\shell\\open\\command";
}

std::optional<std::wstring> ReadCommand(const wchar_t* protocol) {
    wchar_t buffer[2048];
    DWORD size = sizeof buffer;
    if (RegGetValueW(HKEY_CLASSES_ROOT, CommandKey(protocol).c_str(), nullptr, RRF_RT_REG_SZ, nullptr, buffer,
                     &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(buffer);
}

void WriteCommand(const wchar_t* protocol, const std::wstring& command) {
    UniqueHkey key;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, CommandKey(protocol).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        key.Put(), nullptr) != ERROR_SUCCESS ||
        RegSetValueExW(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS)
        throw std::runtime_error("cannot write the " + Utf8(protocol) + " handler");
}

// Points the shell's web and mail handlers at the recorder for the life of the
// object, and puts the prefix's own handlers back afterwards.
class RecorderHandlers {
public:
    RecorderHandlers() {
        const std::wstring recorder = WinBuildDir() + L"\\tests\\bench\\recorder\\recorder.exe";
        for (const wchar_t* protocol : kProtocols) saved_.push_back(ReadCommand(protocol));
        try {
            for (const wchar_t* protocol : kProtocols) WriteCommand(protocol, L"\"" + recorder + L"\" \"%1\"");
        } catch (...) {
            Restore();
            throw;
        }
    }
    RecorderHandlers(const RecorderHandlers&) = delete;
    RecorderHandlers& operator=(const RecorderHandlers&) = delete;
    ~RecorderHandlers() { Restore(); }

    // The computer has no program for these links any more.
    void RemoveAll() {
        for (const wchar_t* protocol : kProtocols) RegDeleteKeyW(HKEY_CLASSES_ROOT, CommandKey(protocol).c_str());
    }

private:
    void Restore() {
        for (std::size_t i = 0; i < saved_.size(); ++i) {
            try {
                if (saved_[i])
                    WriteCommand(kProtocols[i], *saved_[i]);
                else
                    RegDeleteKeyW(HKEY_CLASSES_ROOT, CommandKey(kProtocols[i]).c_str());
            } catch (const std::exception& e) {
                ADD_FAILURE() << "shell handler not restored: " << e.what();
            }
        }
    }

    std::vector<std::optional<std::wstring>> saved_;
};

// --- Real input ------------------------------------------------------------------

void PressKey(WORD key) {
    INPUT strokes[2] = {};
    strokes[0].type = strokes[1].type = INPUT_KEYBOARD;
    strokes[0].ki.wVk = strokes[1].ki.wVk = key;
    strokes[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, strokes, sizeof(INPUT));
}

// The single "About" item sits at the left end of the menu bar, just above the
// client area. `offset` moves the click along the item, so that two clicks in
// a row land apart.
void ClickAboutMenu(HWND main, int offset = 0) {
    POINT origin{0, 0};
    ClientToScreen(main, &origin);
    ClickAt({origin.x + 10 + offset, origin.y - GetSystemMetrics(SM_CYMENU) / 2});
}

// A spot on the main window's caption, away from its buttons.
void ClickCaption(HWND window, int offset = 0) {
    RECT rect{};
    GetWindowRect(window, &rect);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    ClickAt({rect.left + 40 + offset, (rect.top + origin.y - GetSystemMetrics(SM_CYMENU)) / 2});
}

// Both windows open centred, and the larger dialog hides the main window:
// move the dialog aside, as a user would drag it.
void MoveAside(HWND about) {
    SetWindowPos(about, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- Pixels --------------------------------------------------------------------------

// Pixels for `twips` (not negative) at `dpi`, rounded to the nearest.
int Pixels(int twips, int dpi = 96) { return (twips * dpi + 720) / 1440; }

struct Expected {
    const wchar_t* name;
    const wchar_t* windowClass;
    int left, top, width, height;  // twips
    bool tabStop;
};

// The dialog's windowed controls in creation order, as the design lays them out.
const Expected kControls[] = {
    {L"cmdSysInfo", L"Button", 4193, 2760, 1245, 585, true},
    {L"cmdOK", L"Button", 4178, 1965, 1260, 585, true},
    {L"picIcon", L"Static", 173, 165, 540, 1020, false},
    {L"lblDisclaimer", L"Static", 173, 1965, 3870, 1425, false},
    {L"lblTitle", L"Static", 863, 165, 4845, 240, false},
    {L"lblDescription", L"Static", 863, 1050, 4725, 690, false},
    {L"Label1", L"Static", 863, 465, 2415, 225, false},
    {L"Label2", L"Static", 863, 765, 2415, 225, false},
};
enum { kCmdSysInfo, kCmdOK, kPicIcon, kLblDisclaimer, kLblTitle, kLblDescription, kLabel1, kLabel2 };

COLORREF ScreenPixel(HWND window, int x, int y) {
    POINT at{x, y};
    ClientToScreen(window, &at);
    const HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, at.x, at.y);
    ReleaseDC(nullptr, screen);
    return colour;
}

bool HasPixelOf(HWND control, COLORREF colour) {
    const RECT client = ClientRect(control);
    for (int y = client.top; y < client.bottom; ++y)
        for (int x = client.left; x < client.right; ++x)
            if (ScreenPixel(control, x, y) == colour) return true;
    return false;
}

// The size `text` takes in `font` when it wraps at `width` pixels.
SIZE WrappedSize(const std::wstring& text, const LOGFONTW& font, int width) {
    const UniqueHfont created(CreateFontIndirectW(&font));
    const HDC screen = GetDC(nullptr);
    const HGDIOBJ previous = SelectObject(screen, created.Get());
    RECT rect{0, 0, width, 0};
    DrawTextW(screen, text.c_str(), -1, &rect, DT_CALCRECT | DT_WORDBREAK | DT_LEFT);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    return {rect.right, rect.bottom};
}

int LineHeight(const LOGFONTW& font) { return WrappedSize(L"X", font, 1000).cy; }

LOGFONTW StandardFont(int dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, static_cast<UINT>(dpi));
    return metrics.lfMessageFont;
}

LOGFONTW LinkFont(int dpi) {
    LOGFONTW font{};
    font.lfHeight = -((825 * dpi + 3600) / 7200);  // 8.25 points: 11 pixels at 96 DPI
    font.lfWeight = FW_NORMAL;
    font.lfUnderline = TRUE;
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpyW(font.lfFaceName, L"MS Sans Serif");
    return font;
}

void SaveScreen(const wchar_t* name) {
    const std::wstring directory = WinBuildDir() + L"\\screenshots";
    CreateDirectoryW(directory.c_str(), nullptr);
    EXPECT_TRUE(SaveScreenshot(directory + L"\\" + name)) << "screenshot " << Utf8(name);
}

// The colours `icon` gives a `size` x `size` square, row by row. Where it
// lets the background through (drawn over black and over white, those pixels
// differ) the colour is `transparent`.
std::vector<COLORREF> Rendered(HICON icon, int size, COLORREF transparent) {
    std::vector<COLORREF> pixels[2];
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    const RECT area{0, 0, size, size};
    for (int pass = 0; pass < 2; ++pass) {
        FillRect(memory, &area, static_cast<HBRUSH>(GetStockObject(pass ? WHITE_BRUSH : BLACK_BRUSH)));
        DrawIconEx(memory, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) pixels[pass].push_back(GetPixel(memory, x, y));
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    for (std::size_t i = 0; i < pixels[0].size(); ++i)
        if (pixels[0][i] != pixels[1][i]) pixels[0][i] = transparent;
    return pixels[0];
}

// Whether `icon`, drawn at `size`, appears somewhere on the caption bar of
// `window` (its see-through pixels aside).
bool CaptionShows(HWND window, HICON icon, int size) {
    constexpr COLORREF kTransparent = 0xFF000000;  // no COLORREF GetPixel returns
    const std::vector<COLORREF> wanted = Rendered(icon, size, kTransparent);
    RECT frame{};
    GetWindowRect(window, &frame);
    POINT client{0, 0};
    ClientToScreen(window, &client);
    const HDC screen = GetDC(nullptr);
    bool found = false;
    for (int top = frame.top; top + size <= client.y && !found; ++top)
        for (int left = frame.left; left < frame.left + 3 * size && !found; ++left) {
            bool same = true;
            for (int y = 0; y < size && same; ++y)
                for (int x = 0; x < size && same; ++x) {
                    const COLORREF colour = wanted[static_cast<std::size_t>(y * size + x)];
                    same = colour == kTransparent || GetPixel(screen, left + x, top + y) == colour;
                }
            found = same;
        }
    ReleaseDC(nullptr, screen);
    return found;
}

// tarnwick.exe's resources, loaded into this process.
class ExeResources {
public:
    ExeResources()
        : module_(LoadLibraryExW(TarnwickExe().c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ExeResources(const ExeResources&) = delete;
    ExeResources& operator=(const ExeResources&) = delete;
    ~ExeResources() {
        if (module_) FreeLibrary(module_);
    }
    HMODULE Module() const { return module_; }

private:
    HMODULE module_;
};

// How many pixels of `window`'s top left `size` x `size` differ from `icon`
// drawn at that size on `background`.
int Mismatches(HWND window, HICON icon, COLORREF background, int size = 32) {
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    const HBRUSH brush = CreateSolidBrush(background);
    const RECT area{0, 0, size, size};
    FillRect(memory, &area, brush);
    DrawIconEx(memory, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    int mismatches = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            if (GetPixel(memory, x, y) != ScreenPixel(window, x, y)) ++mismatches;
    SelectObject(memory, previous);
    DeleteObject(brush);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return mismatches;
}

// The contrast of a label's text as the screen shows it: its most frequent
// colour is the background, the next one the text's. A label that shows no
// text at all has the contrast 1.
double TextContrast(HWND label) {
    std::map<COLORREF, int> counts;
    const RECT client = ClientRect(label);
    POINT origin{0, 0};
    ClientToScreen(label, &origin);
    const HDC screen = GetDC(nullptr);
    for (int y = client.top; y < client.bottom; ++y)
        for (int x = client.left; x < client.right; ++x) ++counts[GetPixel(screen, origin.x + x, origin.y + y)];
    ReleaseDC(nullptr, screen);
    std::vector<std::pair<int, COLORREF>> ranked;
    for (const auto& [colour, count] : counts) ranked.emplace_back(count, colour);
    std::sort(ranked.rbegin(), ranked.rend());
    return ranked.size() < 2 ? 1.0 : ContrastRatio(ranked[0].second, ranked[1].second);
}

// --- Fixture ---------------------------------------------------------------------------

class AboutTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetServices();  // IISADMIN stopped: the main window waits for the user
        log_ = TempFile(L"about_test_recorder.log");
        DeleteFileW(log_.c_str());
        DeleteFileW((log_ + L".parents").c_str());
        // Inherited by the program and, through the shell, by the recorder.
        SetEnvironmentVariableW(kRecorderLogVariable, log_.c_str());
        handlers_ = std::make_unique<RecorderHandlers>();
    }

    void TearDown() override {
        program_.reset();  // ended if a failed test left it running
        handlers_.reset();
        SetEnvironmentVariableW(kRecorderLogVariable, nullptr);
        DeleteFileW(log_.c_str());
        DeleteFileW((log_ + L".parents").c_str());
        ResetServices();
    }

    // Starts the program and waits for its main window, with the focus on
    // `focused` (where the launch decision puts it for IISADMIN's state).
    HWND Launch(const wchar_t* focused = L"Start Web") {
        program_ = std::make_unique<Program>(Program::Launch(L""));
        const HWND main = program_->WaitForMainWindow();
        if (!main) throw std::runtime_error("no main window");
        const HWND button = FindChild(main, focused, L"Button");
        if (program_->WaitForFocus(main, button) != button) throw std::runtime_error("the main window did not settle");
        if (!PollUntil([&] { return GetForegroundWindow() == main; }, kWindowTimeoutMs))
            throw std::runtime_error("the main window is not in the foreground");
        return main;
    }

    // Opens the About dialog from the menu bar and waits until it has the focus.
    HWND OpenAbout(HWND main, int offset = 0) {
        // The menu is clicked in the active main window, as a user would.
        if (GetForegroundWindow() != main) ClickCaption(main, offset);
        if (!PollUntil([&] { return GetForegroundWindow() == main; }, kWindowTimeoutMs))
            throw std::runtime_error("the main window is not in the foreground");
        ClickAboutMenu(main, offset);
        const HWND about = program_->WaitForWindow(kAboutCaption);
        if (!about) throw std::runtime_error("no About dialog");
        const HWND ok = FindChild(about, L"OK", L"Button");
        if (program_->WaitForFocus(about, ok) != ok) throw std::runtime_error("the About dialog has no focus");
        return about;
    }

    // Waits until the dialog has painted itself: its picture, its links (in
    // `link`) and the separator (its upper line in `shadow`) are on the
    // screen. Checks of pixels and screenshots come after this.
    static void WaitUntilPainted(HWND about, int dpi = 96, COLORREF link = RGB(0, 0, 255),
                                 COLORREF shadow = RGB(0x80, 0x80, 0x80)) {
        const ExeResources exe;
        const int iconSize = GetSystemMetricsForDpi(SM_CXICON, static_cast<UINT>(dpi));
        const UniqueHicon appIcon(static_cast<HICON>(
            LoadImageW(exe.Module(), MAKEINTRESOURCEW(1), IMAGE_ICON, iconSize, iconSize, 0)));
        const std::vector<HWND> children = Children(about);
        const bool painted = PollUntil(
            [&] {
                return children.size() == std::size(kControls) &&
                       Mismatches(children[kPicIcon], appIcon.Get(), GetSysColor(COLOR_BTNFACE), iconSize) == 0 &&
                       HasPixelOf(children[kLabel1], link) && HasPixelOf(children[kLabel2], link) &&
                       ScreenPixel(about, Pixels(2800, dpi), Pixels(1845, dpi)) == shadow;
            },
            kWindowTimeoutMs);
        if (!painted) throw std::runtime_error("the About dialog does not paint itself");
    }

    std::vector<HWND> AboutDialogs() const {
        std::vector<HWND> found;
        for (HWND window : program_->TopLevelWindows())
            if (WindowText(window) == kAboutCaption) found.push_back(window);
        return found;
    }

    // The command lines the recorder got, once there are `count` of them.
    std::vector<std::string> Recorded(std::size_t count) const {
        std::vector<std::string> lines;
        PollUntil(
            [&] {
                lines = ReadLines(log_);
                return lines.size() >= count;
            },
            kWindowTimeoutMs);
        return lines;
    }

    // The recorder got `target` as its one argument.
    static void ExpectHandedOver(const std::string& commandLine, const std::wstring& target) {
        const std::string argument = " \"" + Utf8(target) + "\"";
        EXPECT_TRUE(commandLine.size() > argument.size() &&
                    commandLine.compare(commandLine.size() - argument.size(), argument.size(), argument) == 0)
            << "recorder got: " << commandLine << "\nexpected it to end with:" << argument;
    }

    // The program runs elevated (under Wine every program does) with a desktop
    // shell: the handlers were started by that shell, not by the program.
    void ExpectStartedByTheDesktopShell(std::size_t count) const {
        const auto parents = ReadLines(log_ + L".parents");
        EXPECT_EQ(parents.size(), count);
        for (const std::string& parent : parents) EXPECT_NE(parent, "tarnwick.exe");
    }

    // A link failure's message box, closed again with OK.
    void ExpectErrorBox(const std::wstring& text) const {
        const auto box = program_->WaitForMessageBox();
        ASSERT_TRUE(box) << "no message box";
        EXPECT_EQ(box->caption, L"Tarnwick");
        EXPECT_EQ(box->text, text);
        EXPECT_EQ(box->icon, BoxIcon::Error) << "not the stop sign";
        EXPECT_EQ(box->buttons, std::vector<std::wstring>{L"OK"});
        AnswerOk(*box);
        EXPECT_TRUE(PollUntil([&] { return !IsWindow(box->window); }, kWindowTimeoutMs)) << "the box stays";
        // The box kept the program's windows from reacting; they react again.
        EXPECT_TRUE(PollUntil(
            [&] {
                for (HWND window : program_->TopLevelWindows())
                    if (!IsWindowEnabled(window)) return false;
                return true;
            },
            kWindowTimeoutMs))
            << "a window stays disabled";
    }

    std::wstring log_;
    std::unique_ptr<RecorderHandlers> handlers_;
    std::unique_ptr<Program> program_;
};

// --- Links -----------------------------------------------------------------------------

TEST_F(AboutTest, MainWindowLinkOpensTheMakersWebPage) {
    const HWND main = Launch();
    const HWND label3 = FindChild(main, TARNWICK_WIDE(TARNWICK_MAKER_SITE), L"Static");
    ASSERT_TRUE(label3) << "no link label";

    ClickAt(CentreOf(label3));

    const auto lines = Recorded(1);
    ASSERT_EQ(lines.size(), 1u) << "the browser was not started";
    ExpectHandedOver(lines[0], kWebTarget);
    ExpectStartedByTheDesktopShell(1);
    EXPECT_FALSE(program_->FindMessageBox());
    EXPECT_TRUE(program_->Running());
}

TEST_F(AboutTest, AboutLinksOpenTheWebPageAndAMailWithTheSubject) {
    const HWND about = OpenAbout(Launch());
    const HWND label1 = FindChild(about, TARNWICK_WIDE(TARNWICK_MAKER_SITE), L"Static");
    const HWND label2 = FindChild(about, TARNWICK_WIDE(TARNWICK_MAKER_MAIL), L"Static");
    ASSERT_TRUE(label1 && label2) << "no link labels";

    ClickAt(CentreOf(label1));
    ASSERT_EQ(Recorded(1).size(), 1u) << "the browser was not started";
    ClickAt(CentreOf(label2));
    const auto lines = Recorded(2);

    ASSERT_EQ(lines.size(), 2u) << "the mail program was not started";
    ExpectHandedOver(lines[0], kWebTarget);
    ExpectHandedOver(lines[1], kMailTarget);  // the subject with its blanks and colon
    ExpectStartedByTheDesktopShell(2);
    EXPECT_FALSE(program_->FindMessageBox());
    EXPECT_TRUE(IsWindow(about));
}

TEST_F(AboutTest, WithoutBrowserOrMailProgramTheUserIsToldAndTheProgramGoesOn) {
    handlers_->RemoveAll();
    const HWND main = Launch();

    ClickAt(CentreOf(FindChild(main, TARNWICK_WIDE(TARNWICK_MAKER_SITE), L"Static")));
    ExpectErrorBox(kBrowserError);
    ASSERT_TRUE(program_->Running());

    // The program goes on: the menu still opens the About dialog, whose links
    // fail the same way.
    const HWND about = OpenAbout(main);
    ClickAt(CentreOf(FindChild(about, TARNWICK_WIDE(TARNWICK_MAKER_SITE), L"Static")));
    ExpectErrorBox(kBrowserError);
    ClickAt(CentreOf(FindChild(about, TARNWICK_WIDE(TARNWICK_MAKER_MAIL), L"Static")));
    ExpectErrorBox(kMailError);

    EXPECT_TRUE(program_->Running());
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_TRUE(IsWindowVisible(about));
    EXPECT_TRUE(ReadLines(log_).empty()) << "something was started without a handler";
}

// --- The dialog's life -------------------------------------------------------------------

TEST_F(AboutTest, MenuShowsTheOneDialogAgainWhileTheMainWindowStaysUsable) {
    const HWND main = Launch();
    const HWND about = OpenAbout(main);
    MoveAside(about);

    // The main window reacts while the dialog is open: it takes the
    // activation back and its link works.
    ClickCaption(main);
    ASSERT_TRUE(PollUntil([&] { return GetForegroundWindow() == main; }, kWindowTimeoutMs));
    ClickAt(CentreOf(FindChild(main, TARNWICK_WIDE(TARNWICK_MAKER_SITE), L"Static")));
    const auto lines = Recorded(1);
    ASSERT_EQ(lines.size(), 1u) << "the main window's link did not react";
    ExpectHandedOver(lines[0], kWebTarget);

    // The menu again brings the same dialog to the front; there is no second one.
    ClickAboutMenu(main, 6);
    EXPECT_TRUE(PollUntil([&] { return GetForegroundWindow() == about; }, kWindowTimeoutMs))
        << "the open dialog was not shown again";
    EXPECT_EQ(AboutDialogs(), std::vector<HWND>{about});
}

TEST_F(AboutTest, EscEnterOkAndTheCloseBoxCloseTheDialogAndANewOneOpensAfterwards) {
    const HWND main = Launch();
    struct Way {
        const char* name;
        void (*close)(HWND about);
    };
    const Way ways[] = {
        {"Esc", [](HWND) { PressKey(VK_ESCAPE); }},
        {"Enter", [](HWND) { PressKey(VK_RETURN); }},
        {"OK", [](HWND about) { Click(FindChild(about, L"OK", L"Button")); }},
        {"Close box", [](HWND about) { PostMessageW(about, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    int offset = 0;
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        const HWND about = OpenAbout(main, offset);
        offset += 5;
        way.close(about);
        EXPECT_TRUE(PollUntil([&] { return !IsWindow(about); }, kWindowTimeoutMs)) << "the dialog stays";
        EXPECT_TRUE(program_->Running());
        EXPECT_TRUE(IsWindowVisible(main));
    }
}

TEST_F(AboutTest, EnterPressesSystemInfoWhenItHasTheFocus) {
    // The system information tool is the recorder, which logs its start.
    const RestoredValue toolPath(L"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", L"PATH");
    const std::wstring recorder = WinBuildDir() + L"\\tests\\bench\\recorder\\recorder.exe";
    StoreRaw(L"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", L"PATH", REG_SZ, StringBytes(recorder, true));
    const HWND about = OpenAbout(Launch());
    const HWND ok = FindChild(about, L"OK", L"Button");
    const HWND sysInfo = FindChild(about, L"&System Info...", L"Button");
    // The default button follows the focus, as in the platform's dialogs:
    // exactly one of the two looks like the button Enter presses.
    const auto isDefault = [](HWND button) {
        return (GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    };
    ASSERT_EQ(program_->WaitForFocus(about, ok), ok);
    EXPECT_TRUE(isDefault(ok));
    EXPECT_FALSE(isDefault(sysInfo));

    PressKey(VK_TAB);
    ASSERT_EQ(program_->WaitForFocus(about, sysInfo), sysInfo);
    ASSERT_TRUE(PollUntil([&] { return isDefault(sysInfo); }, kWindowTimeoutMs));
    EXPECT_FALSE(isDefault(ok));

    PressKey(VK_RETURN);
    // Enter pressed System Info, not OK: the tool started, and the dialog stays.
    const auto lines = Recorded(1);
    ASSERT_EQ(lines.size(), 1u) << "System Info did not start";
    EXPECT_NE(lines[0].find("recorder.exe"), std::string::npos) << lines[0];
    EXPECT_FALSE(program_->FindMessageBox());
    EXPECT_TRUE(IsWindow(about) && IsWindowVisible(about)) << "Enter closed the dialog";
}

TEST_F(AboutTest, ClosingTheMainWindowFirstEndsTheProgramWhenTheDialogCloses) {
    const HWND main = Launch();
    const HWND about = OpenAbout(main);

    PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(PollUntil([&] { return !IsWindow(main); }, kWindowTimeoutMs)) << "the main window stays";

    // Still running, and the dialog still works.
    ASSERT_TRUE(program_->Running()) << "the program ended with the About dialog open";
    ClickAt(CentreOf(FindChild(about, TARNWICK_WIDE(TARNWICK_MAKER_SITE), L"Static")));
    ASSERT_EQ(Recorded(1).size(), 1u) << "the dialog no longer reacts";

    PostMessageW(about, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program_->WaitForExit(), std::optional<DWORD>(0));
}

TEST_F(AboutTest, ASequenceEndsTheProgramWithTheDialogOpen) {
    ResetServices(BenchSetup().Running(L"IISADMIN"));  // running and automatic: Stop Web has work to do
    const HWND main = Launch(L"Stop Web");
    const HWND about = OpenAbout(main);

    Click(FindChild(main, L"Stop Web", L"Button"));

    EXPECT_EQ(program_->WaitForExit(), std::optional<DWORD>(0));
    EXPECT_FALSE(IsWindow(about));
    EXPECT_EQ(QueryState(L"IISADMIN"), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(QueryStartType(L"IISADMIN"), static_cast<DWORD>(SERVICE_DISABLED));
}

TEST_F(AboutTest, TabInTheMainWindowGoesBetweenTheButtonsOnlyFromStartWebToStopWeb) {
    const HWND main = Launch();
    const HWND start = FindChild(main, L"Start Web", L"Button");
    const HWND stop = FindChild(main, L"Stop Web", L"Button");
    // Round twice: a label that took the focus would show in between.
    for (const HWND expected : {stop, start, stop, start}) {
        PressKey(VK_TAB);
        EXPECT_EQ(program_->WaitForFocus(main, expected), expected);
    }
}

// While the final report is up nothing starts: the box disables both windows,
// and what still reaches them is turned away.
TEST_F(AboutTest, TheFinalReportLeavesBothWindowsInert) {
    const HWND main = Launch();
    const HWND about = OpenAbout(main);
    InjectBindFault(static_cast<HRESULT>(0x80070035));
    Click(FindChild(main, L"Start Web", L"Button"));
    const auto box = program_->WaitForMessageBox();
    ASSERT_TRUE(box) << "no report";
    EXPECT_EQ(box->icon, BoxIcon::Error);
    EXPECT_FALSE(IsWindowEnabled(main));
    EXPECT_FALSE(IsWindowEnabled(about));

    // Handled while the box is up (sent messages are), and refused.
    const auto send = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_BLOCK, kWindowTimeoutMs, &result) != 0;
    };
    const HWND link = FindChild(about, TARNWICK_WIDE(TARNWICK_MAKER_SITE), L"Static");
    const HWND sysInfo = FindChild(about, L"&System Info...", L"Button");
    ASSERT_TRUE(link && sysInfo);
    EXPECT_TRUE(send(about, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(link), STN_CLICKED), reinterpret_cast<LPARAM>(link)));
    EXPECT_TRUE(send(about, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(sysInfo), BN_CLICKED),
                     reinterpret_cast<LPARAM>(sysInfo)));
    EXPECT_TRUE(send(about, WM_CLOSE, 0, 0));
    EXPECT_TRUE(send(main, WM_CLOSE, 0, 0));
    EXPECT_TRUE(IsWindow(about) && IsWindow(main)) << "a window closed behind the report";
    EXPECT_TRUE(IsWindow(box->window)) << "the report closed";
    EXPECT_FALSE(PollUntil([&] { return !ReadLines(log_).empty(); }, 3000)) << "the browser was started";
    EXPECT_EQ(program_->TopLevelWindows().size(), 3u) << "another window opened";

    AnswerOk(*box);
    EXPECT_EQ(program_->WaitForExit(), std::optional<DWORD>(1));
}

// --- Look --------------------------------------------------------------------------------

// The dialog as laid out at the screen's DPI, the ordinary 96 and 144.
class AboutLayoutTest : public AboutTest, public ::testing::WithParamInterface<int> {};

TEST_P(AboutLayoutTest, DialogLayout) {
    const int dpi = GetParam();
    const ScreenDpi screenDpi(static_cast<DWORD>(dpi));
    const HWND main = Launch();
    const HWND about = OpenAbout(main);

    WaitUntilPainted(about, dpi);
    SaveScreen((L"about_dialog_" + std::to_wstring(dpi) + L"dpi.bmp").c_str());

    // The window: caption, client size, frame, no owner, centred, icon.
    EXPECT_EQ(WindowText(about), kAboutCaption);
    const RECT client = ClientRect(about);
    EXPECT_EQ(client.right, Pixels(5730, dpi));
    EXPECT_EQ(client.bottom, Pixels(3555, dpi));
    const LONG style = GetWindowLongW(about, GWL_STYLE);
    const LONG exStyle = GetWindowLongW(about, GWL_EXSTYLE);
    EXPECT_TRUE((style & WS_CAPTION) == WS_CAPTION && (style & WS_SYSMENU));
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_FALSE(exStyle & (WS_EX_TOOLWINDOW | WS_EX_APPWINDOW));
    EXPECT_EQ(GetWindow(about, GW_OWNER), nullptr);
    EXPECT_EQ(GetMenu(about), nullptr);
    RECT frame{};
    GetWindowRect(about, &frame);
    EXPECT_NEAR((frame.left + frame.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((frame.top + frame.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
    // The caption shows the 32 x 32 image alone, shrunk; not the icon's own
    // 16 x 16 image. (The window's icon handle cannot be asked for across
    // processes under Wine, so the caption's pixels are compared.)
    {
        const ExeResources exe;
        const int small = GetSystemMetricsForDpi(SM_CXSMICON, static_cast<UINT>(dpi));
        const UniqueHicon large(static_cast<HICON>(
            LoadImageW(exe.Module(), MAKEINTRESOURCEW(1), IMAGE_ICON, 32, 32, 0)));
        const UniqueHicon own16(static_cast<HICON>(
            LoadImageW(exe.Module(), MAKEINTRESOURCEW(1), IMAGE_ICON, small, small, 0)));
        ASSERT_TRUE(large && own16);
        EXPECT_TRUE(CaptionShows(about, large.Get(), small)) << "the caption does not show the 32 x 32 image";
        EXPECT_FALSE(CaptionShows(about, own16.Get(), small)) << "the caption shows the 16 x 16 image";
    }

    // The controls: creation order, class, place and size, tab stops.
    const std::vector<HWND> children = Children(about);
    ASSERT_EQ(children.size(), std::size(kControls));
    for (std::size_t i = 0; i < children.size(); ++i) {
        const Expected& expected = kControls[i];
        SCOPED_TRACE(Utf8(expected.name));
        EXPECT_EQ(ClassName(children[i]), expected.windowClass);
        const RECT rect = RectInParent(children[i]);
        EXPECT_EQ(rect.left, Pixels(expected.left, dpi));
        EXPECT_EQ(rect.top, Pixels(expected.top, dpi));
        EXPECT_EQ(rect.right - rect.left, Pixels(expected.width, dpi));
        EXPECT_EQ(rect.bottom - rect.top, Pixels(expected.height, dpi));
        EXPECT_EQ((GetWindowLongW(children[i], GWL_STYLE) & WS_TABSTOP) != 0, expected.tabStop);
    }
    EXPECT_EQ(WindowText(children[kCmdSysInfo]), L"&System Info...");
    EXPECT_EQ(WindowText(children[kCmdOK]), L"OK");
    EXPECT_EQ(WindowText(children[kLabel1]), TARNWICK_WIDE(TARNWICK_MAKER_SITE));
    EXPECT_EQ(WindowText(children[kLabel2]), TARNWICK_WIDE(TARNWICK_MAKER_MAIL));
    // picIcon: a sunken border 2 pixels wide around a 32 x 64 picture area at
    // 96 DPI. At others the border is as wide as the system draws it, and the
    // area holds two icons of the DPI's size, one above the other.
    const int icon = GetSystemMetricsForDpi(SM_CXICON, static_cast<UINT>(dpi));
    const RECT picture = ClientRect(children[kPicIcon]);
    if (dpi == 96) {
        EXPECT_EQ(picture.right, 32);
        EXPECT_EQ(picture.bottom, 64);
    }
    EXPECT_GE(picture.right, icon);
    EXPECT_GE(picture.bottom, 2 * icon);
    EXPECT_TRUE(GetWindowLongW(children[kPicIcon], GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    // The application's image of the DPI's icon size at the top of the
    // picture area, the rest of it plain.
    {
        const ExeResources exe;
        const UniqueHicon appIcon(static_cast<HICON>(
            LoadImageW(exe.Module(), MAKEINTRESOURCEW(1), IMAGE_ICON, icon, icon, 0)));
        ASSERT_TRUE(appIcon) << "no application icon in tarnwick.exe";
        const COLORREF face = GetSysColor(COLOR_BTNFACE);
        EXPECT_EQ(Mismatches(children[kPicIcon], appIcon.Get(), face, icon), 0);
        int plain = 0;
        for (int y = icon; y < 2 * icon; ++y)
            for (int x = 0; x < icon; ++x) plain += ScreenPixel(children[kPicIcon], x, y) == face;
        EXPECT_EQ(plain, icon * icon);
    }
    // The focus starts on OK, the default button.
    EXPECT_EQ(program_->Focus(about), children[kCmdOK]);
    EXPECT_EQ(GetWindowLongW(children[kCmdOK], GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);

    // The texts the design leaves to us: the title names the product and its
    // maker; the description tells both sequences, the switch of each IIS
    // generation and -auto; the disclaimer has two blanks between its
    // sentences.
    const std::wstring title = WindowText(children[kLblTitle]);
    EXPECT_NE(title.find(L"Tarnwick"), std::wstring::npos);
    EXPECT_NE(title.find(TARNWICK_WIDE(TARNWICK_MAKER_COMPANY)), std::wstring::npos);
    const std::wstring description = WindowText(children[kLblDescription]);
    for (const wchar_t* word : {L"Start Web", L"Stop Web", L"IISADMIN", L"W3SVC", L"-auto"})
        EXPECT_NE(description.find(word), std::wstring::npos) << Utf8(word);
    const std::wstring disclaimer = WindowText(children[kLblDisclaimer]);
    EXPECT_NE(disclaimer.find(L".  "), std::wstring::npos);
    EXPECT_EQ(disclaimer.find(L". "), disclaimer.find(L".  ")) << "one blank after a sentence";

    // Wrapped at the labels' widths the texts fit their heights: nothing is
    // cut off. The description and the disclaimer take several lines, the
    // title and the links one.
    const LOGFONTW standard = StandardFont(dpi);
    const int line = LineHeight(standard);
    for (const int index : {kLblDescription, kLblDisclaimer}) {
        const RECT rect = ClientRect(children[index]);
        const SIZE size = WrappedSize(WindowText(children[index]), standard, rect.right);
        EXPECT_GT(size.cy, line) << Utf8(kControls[index].name) << " is on one line";
        EXPECT_LE(size.cy, rect.bottom) << Utf8(kControls[index].name) << " is cut off";
    }
    const RECT titleRect = ClientRect(children[kLblTitle]);
    EXPECT_EQ(WrappedSize(title, standard, titleRect.right).cy, line) << "the title wraps";
    EXPECT_LE(line, titleRect.bottom);
    const LOGFONTW link = LinkFont(dpi);
    for (const int index : {kLabel1, kLabel2}) {
        const RECT rect = ClientRect(children[index]);
        const SIZE size = WrappedSize(WindowText(children[index]), link, rect.right);
        EXPECT_EQ(size.cy, LineHeight(link)) << Utf8(kControls[index].name) << " wraps";
        EXPECT_LE(size.cy, rect.bottom) << Utf8(kControls[index].name) << " is cut off";
    }

    // What is drawn: the links in pure blue, the other texts black, and the
    // etched separator: grey over white, across the dialog.
    EXPECT_TRUE(HasPixelOf(children[kLabel1], RGB(0, 0, 255)));
    EXPECT_TRUE(HasPixelOf(children[kLabel2], RGB(0, 0, 255)));
    EXPECT_TRUE(HasPixelOf(children[kLblTitle], RGB(0, 0, 0)));
    for (const int x : {Pixels(100, dpi), Pixels(2800, dpi), Pixels(5500, dpi)}) {
        EXPECT_EQ(ScreenPixel(about, x, Pixels(1845, dpi)), RGB(0x80, 0x80, 0x80)) << "x " << x;
        EXPECT_EQ(ScreenPixel(about, x, Pixels(1860, dpi)), RGB(0xFF, 0xFF, 0xFF)) << "x " << x;
    }
}

INSTANTIATE_TEST_SUITE_P(Dpi, AboutLayoutTest, ::testing::Values(96, 144),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "At" + std::to_string(info.param) + "Dpi";
                         });

// With a dark dialog face (as a dark or high contrast theme gives it), the
// texts of both windows are drawn in the system's colours, readable on it,
// and the separator in its 3-D colours.
TEST_F(AboutTest, EveryTextIsReadableOnADarkDialogFace) {
    constexpr COLORREF kFace = RGB(0x20, 0x20, 0x20);
    constexpr COLORREF kLink = RGB(0x99, 0xCC, 0xFF);
    constexpr COLORREF kHighlight = RGB(0x70, 0x70, 0x70);
    constexpr COLORREF kShadow = RGB(0x08, 0x08, 0x08);
    const ChangedSystemColours dark({{COLOR_BTNFACE, kFace},
                                     {COLOR_BTNTEXT, RGB(0xF0, 0xF0, 0xF0)},
                                     {COLOR_HOTLIGHT, kLink},
                                     {COLOR_3DHILIGHT, kHighlight},
                                     {COLOR_3DSHADOW, kShadow}});
    const HWND main = Launch();
    const HWND about = OpenAbout(main);
    MoveAside(about);  // both windows in sight

    WaitUntilPainted(about, 96, kLink, kShadow);
    SaveScreen(L"dark_face.bmp");

    std::vector<HWND> labels;
    for (const int index : {kLblTitle, kLblDescription, kLblDisclaimer, kLabel1, kLabel2})
        labels.push_back(Children(about)[static_cast<std::size_t>(index)]);
    labels.push_back(FindChild(main, TARNWICK_WIDE(TARNWICK_MAKER_SITE), L"Static"));
    for (HWND label : Children(main))
        if (WindowText(label).rfind(L"Computer: ", 0) == 0) labels.push_back(label);
    ASSERT_EQ(labels.size(), 7u);
    for (HWND label : labels) EXPECT_GE(TextContrast(label), 4.5) << Utf8(WindowText(label));
    for (const int x : {Pixels(100), Pixels(2800), Pixels(5500)}) {
        EXPECT_EQ(ScreenPixel(about, x, Pixels(1845)), kShadow) << "x " << x;
        EXPECT_EQ(ScreenPixel(about, x, Pixels(1860)), kHighlight) << "x " << x;
    }
}

// The caption (and the taskbar) show the application icon's own small image,
// not the large one shrunk.
TEST_F(AboutTest, TheMainWindowsCaptionShowsTheSmallImage) {
    const HWND main = Launch();
    const ExeResources exe;
    const int small = GetSystemMetrics(SM_CXSMICON);
    const UniqueHicon own(
        static_cast<HICON>(LoadImageW(exe.Module(), MAKEINTRESOURCEW(1), IMAGE_ICON, small, small, 0)));
    const UniqueHicon large(
        static_cast<HICON>(LoadImageW(exe.Module(), MAKEINTRESOURCEW(1), IMAGE_ICON, 32, 32, 0)));
    ASSERT_TRUE(own && large);
    // The drawing's own small image, not the large one shrunk by the loader:
    // else a caption showing the large one shrunk would pass.
    ASSERT_NE(Rendered(own.Get(), small, 0), Rendered(large.Get(), small, 0))
        << "tarnwick.exe has no image of its own at " << small << " pixels";
    EXPECT_TRUE(PollUntil([&] { return CaptionShows(main, own.Get(), small); }, kWindowTimeoutMs))
        << "the caption does not show the 16 x 16 image";
    EXPECT_FALSE(CaptionShows(main, large.Get(), small)) << "the caption shows the 32 x 32 image shrunk";
}

TEST_F(AboutTest, LinksOfTheDialogShowTheHandCursor) {
    // The cursor in tarnwick.exe: a 32 x 32 monochrome hand, hot spot (1, 3).
    {
        const ExeResources exe;
        const HCURSOR hand = LoadCursorW(exe.Module(), MAKEINTRESOURCEW(2));
        ASSERT_TRUE(hand) << "no cursor in tarnwick.exe";
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(hand, &info));
        EXPECT_FALSE(info.fIcon);
        EXPECT_EQ(info.xHotspot, 1u);
        EXPECT_EQ(info.yHotspot, 3u);
        EXPECT_EQ(info.hbmColor, nullptr) << "not monochrome";
        BITMAP mask{};
        GetObjectW(info.hbmMask, sizeof mask, &mask);
        EXPECT_EQ(mask.bmWidth, 32);
        EXPECT_EQ(mask.bmHeight, 64);  // the mask and the image, stacked
        if (info.hbmColor) DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }

    // The cursor the program sets over a window. A real move reaches the
    // program through Wine's X11 driver, which can hand it over late and even
    // after a later one, so the readings would lag. Instead the window under
    // the (parked) mouse is asked exactly as a move asks it: WM_SETCURSOR to
    // the control, which passes it to its parent first. Cursor handles belong
    // to their process under Wine, so the program's cursors are compared with
    // one another.
    const HWND main = Launch();
    const HWND about = OpenAbout(main);
    MoveMouse({GetSystemMetrics(SM_CXSCREEN) - 4, GetSystemMetrics(SM_CYSCREEN) - 4});  // on the desktop
    auto cursorOver = [](HWND control) {
        SendMessageW(control, WM_SETCURSOR, reinterpret_cast<WPARAM>(control), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        CURSORINFO info{};
        info.cbSize = sizeof info;
        GetCursorInfo(&info);
        return info.hCursor;
    };
    const HWND ok = FindChild(about, L"OK", L"Button");
    const HCURSOR arrow = cursorOver(ok);
    const HCURSOR hand = cursorOver(FindChild(about, TARNWICK_WIDE(TARNWICK_MAKER_SITE), L"Static"));
    EXPECT_TRUE(arrow && hand);
    EXPECT_NE(hand, arrow) << "the arrow over Label1";
    EXPECT_EQ(cursorOver(FindChild(about, TARNWICK_WIDE(TARNWICK_MAKER_MAIL), L"Static")), hand)
        << "Label2 shows another cursor than Label1";
    EXPECT_EQ(cursorOver(FindChild(about, L"&System Info...", L"Button")), arrow);
    EXPECT_EQ(cursorOver(Children(about)[kLblDescription]), arrow);

    // The main window's link keeps the arrow.
    MoveAside(about);
    ClickCaption(main);
    ASSERT_TRUE(PollUntil([&] { return GetForegroundWindow() == main; }, kWindowTimeoutMs));
    EXPECT_EQ(cursorOver(FindChild(main, TARNWICK_WIDE(TARNWICK_MAKER_SITE), L"Static")), arrow)
        << "the hand over the main window's link";
    WaitUntilPainted(about);
    SaveScreen(L"main_and_about.bmp");
}

}  // namespace
}  // namespace tarnwick::bench
