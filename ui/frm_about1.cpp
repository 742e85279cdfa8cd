#include "frm_about1.h"

#include <shobjidl.h>
#include <wrl/client.h>

#include <memory>
#include <utility>

#include "dpi.h"
#include "failure_win32.h"
#include "maker.h"
#include "resource_ids.h"

namespace tarnwick {

namespace {

constexpr wchar_t kClassName[] = L"Tarnwick.frmAbout1";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
// No WS_EX_APPWINDOW: the dialog is kept out of the taskbar (see HideFromTaskbar).
// WS_EX_CONTROLPARENT lets the dialog keys reach the buttons (see the message loop).
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

constexpr wchar_t kTitle[] = L"Tarnwick by " TARNWICK_WIDE(TARNWICK_MAKER_COMPANY);
constexpr auto kControls =
    AboutControls(kTitle, TARNWICK_WIDE(TARNWICK_MAKER_SITE), TARNWICK_WIDE(TARNWICK_MAKER_MAIL));

// An unowned top-level window without WS_EX_TOOLWINDOW gets a taskbar button
// when it is shown; the tool-window style would drop the button but also give
// the dialog a small caption, and an owner window would change who it
// belongs to. So the button is removed through the shell's taskbar interface.
// Where there is no taskbar to ask (no shell, or one that does not implement
// it), the dialog still works: the result is deliberately ignored.
void HideFromTaskbar(HWND window) {
    Microsoft::WRL::ComPtr<ITaskbarList> taskbar;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&taskbar))))
        return;
    if (FAILED(taskbar->HrInit())) return;
    static_cast<void>(taskbar->DeleteTab(window));
}

BOOL CALLBACK MatchAboutWindow(HWND window, LPARAM found) {
    wchar_t className[64];
    if (GetClassNameW(window, className, ARRAYSIZE(className)) && lstrcmpW(className, kClassName) == 0) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

void FrmAbout1::Show(HINSTANCE instance, Program& program, ShellAdapters& adapters, HWND placeWith) {
    if (const HWND open = FindOpen()) {
        ShowAndActivate(open);
        return;
    }
    std::unique_ptr<FrmAbout1> dialog(new FrmAbout1(instance, program, adapters, placeWith));
    // From here on the window owns the object and deletes it when destroyed.
    dialog->ownedByWindow_ = true;
    ShowAndActivate(dialog.release()->Handle());
}

HWND FrmAbout1::FindOpen() {
    // The window system knows the open dialog: it is the one window of this
    // class on the user-interface thread.
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &MatchAboutWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

void FrmAbout1::ShowAndActivate(HWND window) {
    ShowWindow(window, SW_SHOWNORMAL);  // activation puts the focus on cmdOK (WM_SETFOCUS)
    // Brings an open dialog in front of the main window; the user's click on
    // the menu makes this program the foreground one, so the call is allowed.
    SetForegroundWindow(window);
    HideFromTaskbar(window);
}

FrmAbout1::FrmAbout1(HINSTANCE instance, Program& program, ShellAdapters& adapters, HWND placeWith)
    : Window(instance, program, Index(AboutControl::CmdOK)), adapters_(adapters) {
    // The 32 x 32 image of the application icon, and only that one: it is
    // also the caption's icon, shrunk by the system.
    icon_.Reset(static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_TARNWICK), IMAGE_ICON, kIconSize, kIconSize, 0)));
    if (!icon_) throw FailureFromLastError();
    const HCURSOR hand = LoadCursorW(instance, MAKEINTRESOURCEW(IDC_HAND_LINK));
    if (!hand) throw FailureFromLastError();
    SetLinkCursor(hand);

    // No owner window; the dialog's own image is set below.
    Create({kClassName}, {kStyle, kExStyle, kAboutCaption, kAboutClientWidth, kAboutClientHeight}, nullptr,
           kControls, placeWith);
    SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.Get()));
    SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_.Get()));
    LoadPicture();
}

void FrmAbout1::LoadPicture() {
    // The image drawn for the system's icon size at the window's DPI, not the
    // 32 x 32 one stretched. Without it the picture keeps the one it has.
    const int size = MetricForDpi(SM_CXICON, Dpi());
    UniqueHicon picture(static_cast<HICON>(
        LoadImageW(Instance(), MAKEINTRESOURCEW(IDI_TARNWICK), IMAGE_ICON, size, size, 0)));
    if (!picture) return;
    picture_ = std::move(picture);
    InvalidateRect(Control(Index(AboutControl::PicIcon)), nullptr, TRUE);
}

void FrmAbout1::OnNewDpi() {
    LoadPicture();
}

FrmAbout1::~FrmAbout1() {
    Destroy();
}

LRESULT FrmAbout1::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DRAWITEM) {
        OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    }
    return Window::HandleMessage(window, message, wParam, lParam);
}

void FrmAbout1::OnDrawItem(const DRAWITEMSTRUCT& item) {
    if (item.hwndItem != Control(Index(AboutControl::PicIcon))) return;
    // The picture area is taller than the image; the image sits at its top, at
    // the system's icon size for the window's DPI.
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    const int size = MetricForDpi(SM_CXICON, Dpi());
    const HICON picture = picture_ ? picture_.Get() : icon_.Get();
    DrawIconEx(item.hDC, item.rcItem.left, item.rcItem.top, picture, size, size, 0, nullptr, DI_NORMAL);
}

void FrmAbout1::OnControlClick(std::size_t control) {
    switch (static_cast<AboutControl>(control)) {
    case AboutControl::CmdOK:
        OnCmdOKClick();
        break;
    case AboutControl::CmdSysInfo:
        OnCmdSysInfoClick();
        break;
    case AboutControl::Label1:
        OnLabel1Click();
        break;
    case AboutControl::Label2:
        OnLabel2Click();
        break;
    default:
        break;
    }
}

void FrmAbout1::OnCommandWithoutControl(int id, UINT) {
    // Esc, through the dialog keys of the message loop.
    if (id == IDCANCEL) OnCmdOKClick();
}

void FrmAbout1::OnDestroyed() {
    if (ownedByWindow_) delete this;
}

void FrmAbout1::OnCmdOKClick() {
    // Closes and discards the dialog: the object goes with its window.
    RunAction(FailurePlace::AboutDialog, [&] { DestroyWindow(Handle()); });
}

SysInfoLauncher FrmAbout1::SysInfo() {
    return SysInfoLauncher(adapters_.registry, adapters_.files, TheProgram().Boxes());
}

bool FrmAbout1::GetKeyValue(RegistryRoot keyRoot, const std::wstring& keyName, const std::wstring& subKeyRef,
                            std::wstring& keyVal) {
    return SysInfo().GetKeyValue(keyRoot, keyName, subKeyRef, keyVal);
}

void FrmAbout1::StartSysInfo() {
    SysInfo().StartSysInfo();
}

void FrmAbout1::OnCmdSysInfoClick() {
    RunAction(FailurePlace::AboutDialog, [&] { StartSysInfo(); });
}

void FrmAbout1::OnLabel1Click() {
    RunAction(FailurePlace::Link, [&] { OpenHomePage(adapters_.shell, TheProgram().Boxes()); });
}

void FrmAbout1::OnLabel2Click() {
    RunAction(FailurePlace::Link, [&] { SendInfoMail(adapters_.shell, TheProgram().Boxes()); });
}

}  // namespace tarnwick
