// The program's two windows in this process, built by the real window code,
// for what Wine cannot bring about from outside: a move to a monitor of
// another DPI (WM_DPICHANGED, with the size asked for first), a theme change
// while the windows are open, and the keyboard cues set once each window is
// shown (Wine keeps no keyboard-cue state a test could read). And the
// switching lock's mutex as older Windows, without CreateMutexExW, gets it.

#include <windows.h>
#include <shobjidl.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <thread>
#include <vector>

// The bench driver's, by its path: the program's own window code has a
// program.h too.
#include "../bench/driver/program.h"
#include "adsi_directory_win32.h"
#include "computer_name_win32.h"
#include "form1.h"
#include "frm_about1.h"
#include "message_boxes_win32.h"
#include "newer_functions_win32.h"
#include "program.h"
#include "restored_value.h"
#include "shell_win32.h"
#include "sys_info_win32.h"
#include "system_clock_win32.h"
#include "twips.h"

namespace tarnwick {
namespace {

// Handles what the windows were sent or posted meanwhile.
void Pump() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

using bench::Children;
using bench::RectInParent;

LONG FontHeight(HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfHeight;
}

LONG MessageFontHeight(int dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, static_cast<UINT>(dpi));
    return metrics.lfMessageFont.lfHeight;
}

// The width of the window's icon of this kind (ICON_BIG, ICON_SMALL).
LONG IconWidth(HWND window, WPARAM kind) {
    ICONINFO info{};
    if (!GetIconInfo(reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, kind, 0)), &info)) return 0;
    BITMAP mask{};
    GetObjectW(info.hbmMask, sizeof mask, &mask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return mask.bmWidth;
}

// The WM_CHANGEUISTATE messages the windows of this thread were sent, with
// whether the window was visible then.
struct CueMessage {
    HWND window;
    WORD action;
    bool visible;
};
std::vector<CueMessage>* cueMessages = nullptr;

LRESULT CALLBACK RecordCues(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && cueMessages && sent->message == WM_CHANGEUISTATE && !GetParent(sent->hwnd))
        cueMessages->push_back({sent->hwnd, LOWORD(sent->wParam), IsWindowVisible(sent->hwnd) != FALSE});
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The shell's taskbar as the windows reach it (CLSID_TaskbarList, made in
// this process): records the windows whose buttons it is asked to drop.
class TaskbarRecorder final : public ITaskbarList, public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_ITaskbarList) *out = static_cast<ITaskbarList*>(this);
        if (iid == IID_IClassFactory) *out = static_cast<IClassFactory*>(this);
        return *out ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // lives on the test's stack
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        return outer ? CLASS_E_NOAGGREGATION : QueryInterface(iid, out);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
    STDMETHODIMP HrInit() override { return S_OK; }
    STDMETHODIMP AddTab(HWND) override { return S_OK; }
    STDMETHODIMP DeleteTab(HWND window) override {
        dropped.push_back(window);
        return S_OK;
    }
    STDMETHODIMP ActivateTab(HWND) override { return S_OK; }
    STDMETHODIMP SetActiveAlt(HWND) override { return S_OK; }

    std::vector<HWND> dropped;
};

// The main window and, when asked for, the About dialog, as the program makes them.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        form_ = std::make_unique<Form1>(GetModuleHandleW(nullptr), program_, names_, directory_, clock_, adapters_);
        main_ = FindWindowW(L"Tarnwick.Form1", nullptr);
        ASSERT_TRUE(main_);
    }
    void TearDown() override {
        if (about_ && IsWindow(about_)) DestroyWindow(about_);
        form_.reset();
        Pump();
    }

    HWND OpenAbout() {
        FrmAbout1::Show(GetModuleHandleW(nullptr), program_, adapters_, main_);
        about_ = FindWindowW(L"Tarnwick.frmAbout1", nullptr);
        Pump();
        return about_;
    }

    // What Windows sends a per-monitor aware window moved onto a monitor of
    // `dpi`: first the size it wants there, then the change with the
    // rectangle made of that size at `at`. The new rectangle.
    static RECT MoveToDpi(HWND window, int dpi, POINT at) {
        SIZE size{};
        EXPECT_TRUE(SendMessageW(window, WM_GETDPISCALEDSIZE, static_cast<WPARAM>(dpi),
                                 reinterpret_cast<LPARAM>(&size)))
            << "no size of its own at " << dpi;
        const RECT suggested{at.x, at.y, at.x + size.cx, at.y + size.cy};
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        Pump();
        return suggested;
    }

    Win32MessageBoxes boxes_;
    Program program_{boxes_};
    Win32ComputerName names_;
    AdsiDirectory directory_;
    SystemClock clock_;
    Win32Shell shell_;
    Win32Registry registry_;
    Win32ProgramFiles files_;
    ShellAdapters adapters_{shell_, registry_, files_};
    std::unique_ptr<Form1> form_;
    HWND main_ = nullptr;
    HWND about_ = nullptr;
};

// Controls of the main window in creation order, in twips.
const TwipsRect kMainControls[] = {
    {75, 360, 1215, 495}, {1395, 360, 1215, 495}, {172, 960, 2340, 255}, {180, -15, 2295, 255}, {180, -15, 2295, 255}};

// The rights a handle was granted.
ACCESS_MASK GrantedAccess(HANDLE handle) {
    PUBLIC_OBJECT_BASIC_INFORMATION info{};
    EXPECT_EQ(NtQueryObject(handle, ObjectBasicInformation, &info, sizeof info, nullptr), 0);
    return info.GrantedAccess;
}

// With CreateMutexExW and without it (before Vista), the mutex is created by
// the first call and opened by the next, each handle with only the rights
// asked for, and both are the same mutex.
TEST(OlderWindows, TheMutexWithoutCreateMutexExHasTheSameRightsAndIsTheSame) {
    constexpr DWORD kAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;
    for (const CreateMutexExWFn createMutexEx : {SystemCreateMutexEx(), CreateMutexExWFn{}}) {
        const std::wstring name = L"Local\\TarnwickOlderWindowsTest-" + std::to_wstring(GetCurrentProcessId()) +
                                  (createMutexEx ? L"-ex" : L"");
        const UniqueHandle first = OpenOrCreateMutex(nullptr, name.c_str(), kAccess, createMutexEx);
        const DWORD firstError = GetLastError();
        const UniqueHandle second = OpenOrCreateMutex(nullptr, name.c_str(), kAccess, createMutexEx);
        const DWORD secondError = GetLastError();
        ASSERT_TRUE(first && second) << secondError;
        // Whether it was there before, as the lock's owner check needs to know.
        EXPECT_NE(firstError, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
        EXPECT_EQ(secondError, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
        EXPECT_EQ(GrantedAccess(first.Get()), kAccess) << (createMutexEx ? "CreateMutexExW" : "fallback");
        EXPECT_EQ(GrantedAccess(second.Get()), kAccess) << (createMutexEx ? "CreateMutexExW" : "fallback");
        ASSERT_EQ(WaitForSingleObject(first.Get(), 0), WAIT_OBJECT_0);
        DWORD other = WAIT_FAILED;
        std::thread([&] { other = WaitForSingleObject(second.Get(), 0); }).join();
        EXPECT_EQ(other, static_cast<DWORD>(WAIT_TIMEOUT)) << "two mutexes";
        EXPECT_TRUE(ReleaseMutex(first.Get()));
    }
}

TEST_F(WindowTest, TheMainWindowIsLaidOutAgainAtEachDpiItMovesTo) {
    form_->Show();
    Pump();
    ASSERT_EQ(IconWidth(main_, ICON_SMALL), GetSystemMetricsForDpi(SM_CXSMICON, 96)) << "not its own small image";
    for (const int dpi : {144, 192, 96}) {
        SCOPED_TRACE("at " + std::to_string(dpi) + " DPI");
        const RECT suggested = MoveToDpi(main_, dpi, {40 + dpi / 4, 30});

        // The suggested place, and the exact client size from the twips.
        RECT frame{};
        GetWindowRect(main_, &frame);
        EXPECT_EQ(frame.left, suggested.left);
        EXPECT_EQ(frame.top, suggested.top);
        RECT client{};
        GetClientRect(main_, &client);
        EXPECT_EQ(client.right, TwipsToPixels(2685, dpi));
        EXPECT_EQ(client.bottom, TwipsToPixels(1290, dpi));

        const std::vector<HWND> controls = Children(main_);
        ASSERT_EQ(controls.size(), std::size(kMainControls));
        for (std::size_t i = 0; i < controls.size(); ++i) {
            const PixelRect expected = ToPixels(kMainControls[i], dpi);
            const RECT actual = RectInParent(controls[i]);
            EXPECT_EQ(actual.left, expected.left) << i;
            EXPECT_EQ(actual.top, expected.top) << i;
            EXPECT_EQ(actual.right - actual.left, expected.width) << i;
            EXPECT_EQ(actual.bottom - actual.top, expected.height) << i;
        }
        // The fonts made again: the link's 8.25 points, the message font.
        EXPECT_EQ(FontHeight(controls[2]), -FontPixelHeight(825, dpi));
        EXPECT_EQ(FontHeight(controls[0]), MessageFontHeight(dpi));
        // Both icons loaded at the sizes of the DPI, each from its own image.
        EXPECT_EQ(IconWidth(main_, ICON_BIG), GetSystemMetricsForDpi(SM_CXICON, static_cast<UINT>(dpi)));
        EXPECT_EQ(IconWidth(main_, ICON_SMALL), GetSystemMetricsForDpi(SM_CXSMICON, static_cast<UINT>(dpi)));
    }
}

TEST_F(WindowTest, TheAboutDialogIsLaidOutAgainAtTheNewDpi) {
    form_->Show();
    ASSERT_TRUE(OpenAbout());
    MoveToDpi(about_, 144, {0, 0});
    RECT client{};
    GetClientRect(about_, &client);
    EXPECT_EQ(client.right, TwipsToPixels(5730, 144));
    EXPECT_EQ(client.bottom, TwipsToPixels(3555, 144));
    // picIcon, whose image is drawn at the icon size of the window's DPI.
    const PixelRect expected = ToPixels({173, 165, 540, 1020}, 144);
    const RECT actual = RectInParent(Children(about_)[2]);
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.top, expected.top);
    EXPECT_EQ(actual.right - actual.left, expected.width);
    EXPECT_EQ(actual.bottom - actual.top, expected.height);
    // The picture is the application's 48 x 48 image, loaded again for the
    // new DPI, not the 32 x 32 one stretched.
    const HWND picture = Children(about_)[2];
    UpdateWindow(picture);
    const UniqueHicon image(static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, 48, 48, 0)));
    ASSERT_TRUE(image);
    const HDC screen = GetDC(picture);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, 48, 48);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    const RECT area{0, 0, 48, 48};
    FillRect(memory, &area, GetSysColorBrush(COLOR_BTNFACE));
    DrawIconEx(memory, 0, 0, image.Get(), 48, 48, 0, nullptr, DI_NORMAL);
    int mismatches = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) mismatches += GetPixel(memory, x, y) != GetPixel(screen, x, y);
    EXPECT_EQ(mismatches, 0);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(picture, screen);
}

// A changed theme or colour scheme shows at once: both windows paint
// themselves again in the colours of the moment, a new dialog face each
// time, and what was scribbled over them goes.
TEST_F(WindowTest, AThemeChangeRepaintsTheWindows) {
    form_->Show();
    ASSERT_TRUE(OpenAbout());
    // A label and the face beside the controls, in each window.
    const HWND labels[] = {Children(main_)[2], Children(about_)[5]};
    constexpr COLORREF kScribble = RGB(0xFF, 0x00, 0xFF);
    const COLORREF faces[] = {RGB(0x30, 0x60, 0x90), RGB(0x90, 0x30, 0x60), RGB(0x60, 0x90, 0x30)};
    const UINT messages[] = {WM_SYSCOLORCHANGE, WM_SETTINGCHANGE, WM_THEMECHANGED};
    for (std::size_t i = 0; i < std::size(messages); ++i) {
        SCOPED_TRACE(messages[i]);
        const bench::ChangedSystemColours colours({{COLOR_BTNFACE, faces[i]}});
        for (const HWND window : {main_, about_}) UpdateWindow(window);
        Pump();
        for (const HWND window : {main_, about_, labels[0], labels[1]}) {
            const HDC dc = GetDC(window);
            RECT area{};
            GetClientRect(window, &area);
            const HBRUSH brush = CreateSolidBrush(kScribble);
            FillRect(dc, &area, brush);
            DeleteObject(brush);
            EXPECT_EQ(GetPixel(dc, 1, 1), kScribble);
            ReleaseDC(window, dc);
        }
        for (const HWND window : {main_, about_}) {
            SendMessageW(window, messages[i], 0, 0);
            UpdateWindow(window);
        }
        Pump();
        for (const HWND window : {main_, about_, labels[0], labels[1]}) {
            const HDC dc = GetDC(window);
            EXPECT_EQ(GetPixel(dc, 1, 1), faces[i])
                << bench::ClassName(window) << " not painted in the new face";
            ReleaseDC(window, dc);
        }
    }
}

// Once shown, and only the first time, each window sets its keyboard cues
// from the last input, as the platform's dialogs do.
TEST_F(WindowTest, KeyboardCuesAreInitialisedWhenEachWindowIsFirstShown) {
    std::vector<CueMessage> sent;
    cueMessages = &sent;
    const HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, RecordCues, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(hook);
    form_->Show();
    form_->Show();
    Pump();
    OpenAbout();
    ShowWindow(about_, SW_HIDE);
    ShowWindow(about_, SW_SHOW);
    Pump();
    UnhookWindowsHookEx(hook);
    cueMessages = nullptr;

    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].window, main_);
    EXPECT_EQ(sent[1].window, about_);
    for (const CueMessage& cue : sent) {
        EXPECT_EQ(cue.action, UIS_INITIALIZE);
        EXPECT_TRUE(cue.visible) << "before the window was shown";
    }
}

// The About dialog has no taskbar button of its own: it asks the taskbar to
// drop it. The main window keeps its button.
TEST_F(WindowTest, TheAboutDialogLeavesTheTaskbarWhileTheMainWindowStaysInIt) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    TaskbarRecorder taskbar;
    DWORD registration = 0;
    ASSERT_EQ(CoRegisterClassObject(CLSID_TaskbarList, static_cast<IClassFactory*>(&taskbar), CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &registration),
              S_OK);
    form_->Show();
    OpenAbout();
    ShowWindow(about_, SW_HIDE);
    FrmAbout1::Show(GetModuleHandleW(nullptr), program_, adapters_, main_);  // shown again: dropped again
    CoRevokeClassObject(registration);
    CoUninitialize();

    EXPECT_EQ(taskbar.dropped, (std::vector<HWND>{about_, about_}));
    // Shown, unowned and marked as an application window: the taskbar lists it.
    EXPECT_TRUE(IsWindowVisible(main_));
    EXPECT_EQ(GetWindow(main_, GW_OWNER), nullptr);
    const LONG exStyle = GetWindowLongW(main_, GWL_EXSTYLE);
    EXPECT_TRUE((exStyle & WS_EX_APPWINDOW) && !(exStyle & WS_EX_TOOLWINDOW));
}

}  // namespace
}  // namespace tarnwick
