#include "frm_about1.h"

#include <commctrl.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <exception>
#include <initializer_list>
#include <memory>

#include "failure_win32.h"
#include "maker.h"
#include "program_end.h"
#include "resource_ids.h"
#include "shell_win32.h"
#include "sys_info_win32.h"
#include "window_support.h"

namespace tarnwick {

namespace {

constexpr wchar_t kClassName[] = L"Tarnwick.frmAbout1";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
// No WS_EX_APPWINDOW: the dialog is kept out of the taskbar (see HideFromTaskbar).
// WS_EX_CONTROLPARENT lets the dialog keys reach the buttons (see the message loop).
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;
// Control ids stay clear of IDOK and IDCANCEL, which Enter and Esc send.
constexpr int kFirstControlId = 100;

constexpr wchar_t kTitle[] = L"Tarnwick by " TARNWICK_WIDE(TARNWICK_MAKER_COMPANY);

int ControlId(std::size_t index) { return kFirstControlId + static_cast<int>(index); }

void RegisterWindowClass(HINSTANCE instance, WNDPROC windowProc) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw FailureFromLastError();
}

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

// Begin- and EndPaint as one scope.
class PaintScope {
public:
    explicit PaintScope(HWND window) : window_(window) { dc_ = BeginPaint(window_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    ~PaintScope() { EndPaint(window_, &paint_); }
    HDC Dc() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_ = nullptr;
};

}  // namespace

void FrmAbout1::Show(HINSTANCE instance, OpenWindows& openWindows) {
    if (const HWND open = FindOpen()) {
        ShowAndActivate(open);
        return;
    }
    std::unique_ptr<FrmAbout1> dialog(new FrmAbout1(instance, openWindows));
    // From here on the window owns the object and deletes it when destroyed.
    dialog->ownedByWindow_ = true;
    ShowAndActivate(dialog.release()->window_.Get());
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

FrmAbout1::FrmAbout1(HINSTANCE instance, OpenWindows& openWindows)
    : instance_(instance),
      openWindows_(openWindows),
      specs_(AboutControls(kTitle, TARNWICK_WIDE(TARNWICK_MAKER_SITE), TARNWICK_WIDE(TARNWICK_MAKER_MAIL))) {
    RegisterWindowClass(instance_, &FrmAbout1::WindowProc);
    dpi_ = ScreenDpi();
    standardFont_ = CreateStandardFont();
    linkFont_ = CreateLinkFont(dpi_);
    // The 32 x 32 image of the application icon, and only that one: it is
    // also the caption's icon, shrunk by the system.
    icon_.Reset(static_cast<HICON>(
        LoadImageW(instance_, MAKEINTRESOURCEW(IDI_TARNWICK), IMAGE_ICON, kIconSize, kIconSize, 0)));
    if (!icon_) throw FailureFromLastError();
    handCursor_ = LoadCursorW(instance_, MAKEINTRESOURCEW(IDC_HAND_LINK));
    if (!handCursor_) throw FailureFromLastError();

    const int clientWidth = TwipsToPixels(kAboutClientWidth, dpi_);
    const int clientHeight = TwipsToPixels(kAboutClientHeight, dpi_);
    RECT frame{0, 0, clientWidth, clientHeight};
    if (!AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle)) throw FailureFromLastError();
    // No owner window. The window procedure takes the handle at WM_NCCREATE.
    if (!CreateWindowExW(kExStyle, kClassName, kAboutCaption, kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                         frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance_, this))
        throw FailureFromLastError();

    SizeAndCentre(window_.Get(), clientWidth, clientHeight);
    SendMessageW(window_.Get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.Get()));
    SendMessageW(window_.Get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_.Get()));
    CreateControls(dpi_);
}

FrmAbout1::~FrmAbout1() {
    window_.Reset();  // while every member the window procedure uses still exists
}

void FrmAbout1::CreateControls(int dpi) {
    for (std::size_t index = 0; index < kAboutControlCount; ++index) {
        const AboutControlSpec& entry = specs_[index];
        if (entry.kind == AboutControlKind::Line) continue;  // painted by the dialog (OnPaint)

        PixelRect rect = ToPixels(entry.twips, dpi);
        const wchar_t* windowClass = WC_STATICW;
        DWORD style = WS_CHILD | WS_VISIBLE;
        DWORD exStyle = 0;
        switch (entry.kind) {
        case AboutControlKind::PushButton:
            // BS_NOTIFY reports focus changes, so the default button can follow the focus.
            windowClass = WC_BUTTONW;
            style |= WS_TABSTOP | BS_NOTIFY |
                     (static_cast<AboutControl>(index) == defaultButton_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
            break;
        case AboutControlKind::Label:
            // SS_LEFT wraps at word boundaries and cuts off what does not fit.
            style |= SS_LEFT;
            if (entry.look == AboutLook::Link) style |= SS_NOTIFY;  // reports clicks, takes the mouse
            break;
        case AboutControlKind::Picture:
            // Sized to its picture, not to the table: the picture area inside
            // the sunken border.
            style |= SS_OWNERDRAW;
            exStyle |= WS_EX_CLIENTEDGE;
            rect.width = kPictureWidth + 2 * kSunkenBorder;
            rect.height = kPictureHeight + 2 * kSunkenBorder;
            break;
        case AboutControlKind::Line:
            break;
        }
        const HFONT font = entry.look == AboutLook::Link ? linkFont_.Get() : standardFont_.Get();
        controls_[index] =
            CreateChild(window_.Get(), ControlId(index), windowClass, entry.text, style, exStyle,
                        {rect.left, rect.top, rect.left + rect.width, rect.top + rect.height}, font);
    }
    // The tab order is the order of the push buttons in the window list, which
    // is the creation order. With two push buttons, going round gives the same
    // cycle either way; what the tab indexes decide is where the focus starts:
    // on cmdOK (picIcon, tab index 0, never takes the focus).
}

const AboutControlSpec* FrmAbout1::SpecOf(HWND control) const {
    if (!control) return nullptr;
    for (std::size_t index = 0; index < kAboutControlCount; ++index)
        if (controls_[index] == control) return &specs_[index];
    return nullptr;
}

LRESULT CALLBACK FrmAbout1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return RouteMessage<FrmAbout1, &FrmAbout1::window_, &FrmAbout1::HandleMessage>(window, message, wParam, lParam);
}

LRESULT FrmAbout1::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), reinterpret_cast<HWND>(lParam), HIWORD(wParam));
        return 0;
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<LRESULT>(
            OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
    case WM_SETCURSOR:
        if (OnSetCursor(reinterpret_cast<HWND>(wParam), LOWORD(lParam))) return TRUE;
        break;
    case WM_DRAWITEM:
        OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_ACTIVATE:
        OnActivate(LOWORD(wParam));
        break;  // the default activation sets the focus on the window: see WM_SETFOCUS
    case WM_SETFOCUS:
        OnSetFocus();
        return 0;
    case DM_GETDEFID:
        return OnGetDefId();
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_NCDESTROY:
        OnNcDestroy(window);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void FrmAbout1::OnCreate() {
    openWindows_.Opened();
}

void FrmAbout1::OnCommand(int id, HWND control, UINT notification) {
    if (!control) {
        // Esc, through the dialog keys of the message loop.
        if (id == IDCANCEL) OnCmdOKClick();
        return;
    }
    const AboutControlSpec* entry = SpecOf(control);
    if (!entry) return;
    const auto which = static_cast<AboutControl>(entry - specs_.data());
    if (entry->kind == AboutControlKind::PushButton && notification == BN_SETFOCUS) {
        OnButtonFocus(which);
        return;
    }
    if (notification != BN_CLICKED) return;  // also STN_CLICKED, from the link labels
    switch (which) {
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

HBRUSH FrmAbout1::OnCtlColorStatic(HDC dc, HWND label) {
    const AboutControlSpec* entry = SpecOf(label);
    COLORREF text = GetSysColor(COLOR_BTNTEXT);
    if (entry && entry->look == AboutLook::BlackText) text = RGB(0, 0, 0);
    if (entry && entry->look == AboutLook::Link) text = static_cast<COLORREF>(kLinkTextColour);
    SetTextColor(dc, text);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));  // opaque, in the window's colour
    return GetSysColorBrush(COLOR_BTNFACE);
}

bool FrmAbout1::OnSetCursor(HWND under, UINT hitTest) {
    const AboutControlSpec* entry = SpecOf(under);
    if (!entry || entry->look != AboutLook::Link || hitTest != HTCLIENT) return false;
    SetCursor(handCursor_);
    return true;
}

void FrmAbout1::OnDrawItem(const DRAWITEMSTRUCT& item) {
    if (item.hwndItem != Control(AboutControl::PicIcon)) return;
    // The picture area is taller than the image; the image sits at its top.
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    DrawIconEx(item.hDC, item.rcItem.left, item.rcItem.top, icon_.Get(), kIconSize, kIconSize, 0, nullptr,
               DI_NORMAL);
}

void FrmAbout1::OnPaint(HWND window) {
    // The two members of Line1, in order: the grey line, painted second, lies
    // over the upper pixel of the white one, and the pair looks etched.
    const PaintScope paint(window);
    for (const AboutControlSpec& entry : specs_) {
        if (entry.kind != AboutControlKind::Line) continue;
        const LineSpec& line = entry.line;
        const UniqueHpen pen(CreatePen(PS_SOLID, line.widthPixels, static_cast<COLORREF>(line.colour)));
        if (!pen) continue;  // nothing to draw with; the next paint tries again
        const HGDIOBJ previous = SelectObject(paint.Dc(), pen.Get());
        MoveToEx(paint.Dc(), TwipsToPixels(line.x1, dpi_), TwipsToPixels(line.y1, dpi_), nullptr);
        LineTo(paint.Dc(), TwipsToPixels(line.x2, dpi_), TwipsToPixels(line.y2, dpi_));
        SelectObject(paint.Dc(), previous);
    }
}

void FrmAbout1::OnActivate(UINT state) {
    // Remember the focused button, to give it back when the dialog is activated again.
    if (state != WA_INACTIVE) return;
    const HWND focused = GetFocus();
    if (focused == Control(AboutControl::CmdOK))
        focus_ = AboutControl::CmdOK;
    else if (focused == Control(AboutControl::CmdSysInfo))
        focus_ = AboutControl::CmdSysInfo;
}

void FrmAbout1::OnSetFocus() {
    // The window itself takes no keys: the focus belongs on a button, at first cmdOK.
    if (const HWND button = Control(focus_)) SetFocus(button);
}

void FrmAbout1::OnButtonFocus(AboutControl button) {
    // As in the platform's dialogs, the focused push button is the default
    // one, drawn so and pressed by Enter; cmdOK is it whenever it has the
    // focus, so Enter closes the dialog unless the focus is on cmdSysInfo.
    if (button == defaultButton_) return;
    defaultButton_ = button;
    for (const AboutControl each : {AboutControl::CmdOK, AboutControl::CmdSysInfo}) {
        const auto type = static_cast<WPARAM>(each == button ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        SendMessageW(Control(each), BM_SETSTYLE, type | BS_NOTIFY, TRUE);
    }
}

LRESULT FrmAbout1::OnGetDefId() {
    return MAKELRESULT(ControlId(Index(defaultButton_)), DC_HASDEFID);
}

void FrmAbout1::OnDestroy() {
    openWindows_.Closed();
}

void FrmAbout1::OnNcDestroy(HWND window) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    window_.Release();  // the system destroys it (when not already destroying it for us)
    controls_ = {};
    if (ownedByWindow_) delete this;
}

template <typename Handler>
void FrmAbout1::RunHandler(Handler handler) {
    const HWND owner = window_.Get();
    try {
        handler();
    } catch (const Failure& failure) {
        EndWithStrictFailure(owner, failure);
    } catch (const std::exception& exception) {
        // Nothing may unwind through the window procedure.
        EndWithStrictFailure(owner, FailureFromException(exception));
    }
}

void FrmAbout1::OnCmdOKClick() {
    // Closes and discards the dialog: the object goes with its window.
    DestroyWindow(window_.Get());
}

bool FrmAbout1::GetKeyValue(RegistryRoot keyRoot, const std::wstring& keyName, const std::wstring& subKeyRef,
                            std::wstring& keyVal) {
    return tarnwick::GetKeyValue(keyRoot, keyName, subKeyRef, keyVal);
}

void FrmAbout1::StartSysInfo() {
    tarnwick::StartSysInfo();
}

void FrmAbout1::OnCmdSysInfoClick() {
    RunHandler([this] { StartSysInfo(); });
}

void FrmAbout1::OnLabel1Click() {
    RunHandler([] { OpenHomePage(); });
}

void FrmAbout1::OnLabel2Click() {
    RunHandler([] { SendInfoMail(); });
}

}  // namespace tarnwick
