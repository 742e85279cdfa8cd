#include "form1.h"

#include <commctrl.h>

#include <exception>

#include "failure_win32.h"
#include "frm_about1.h"
#include "maker.h"
#include "messages.h"
#include "program_end.h"
#include "resource_ids.h"
#include "shell_win32.h"
#include "window_support.h"

namespace tarnwick {

namespace {

constexpr wchar_t kClassName[] = L"Tarnwick.Form1";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
// WS_EX_CONTROLPARENT lets the dialog keys reach the buttons (see the message loop).
constexpr DWORD kExStyle = WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;
// Control ids stay clear of IDOK and IDCANCEL, which Enter and Esc send.
constexpr int kFirstControlId = 100;
constexpr UINT kFrmAboutId = 200;

int ControlId(int index) { return kFirstControlId + index; }

void RegisterWindowClass(HINSTANCE instance, WNDPROC windowProc) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    // Shared icons belong to the system; a missing one leaves the default icon.
    windowClass.hIcon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_TARNWICK), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                   GetSystemMetrics(SM_CYICON), LR_SHARED));
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_TARNWICK), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                   GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw FailureFromLastError();
}

// The wait cursor while an event handler blocks the message loop.
class WaitCursor {
public:
    WaitCursor() : previous_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    ~WaitCursor() { SetCursor(previous_ ? previous_ : LoadCursorW(nullptr, IDC_ARROW)); }

private:
    HCURSOR previous_;
};

}  // namespace

Form1::Form1(HINSTANCE instance, OpenWindows& openWindows, ComputerNameSource& names,
             Directory& directory, Clock& clock)
    : instance_(instance),
      openWindows_(openWindows),
      serviceControl_(*this, names, directory, clock) {
    RegisterWindowClass(instance_, &Form1::WindowProc);
    const int dpi = ScreenDpi();
    const int clientWidth = TwipsToPixels(kForm1ClientWidth, dpi);
    const int clientHeight = TwipsToPixels(kForm1ClientHeight, dpi);

    UniqueHmenu menu(CreateMenu());
    if (!menu || !AppendMenuW(menu.Get(), MF_STRING, kFrmAboutId, kFrmAboutText))
        throw FailureFromLastError();

    RECT frame{0, 0, clientWidth, clientHeight};
    if (!AdjustWindowRectEx(&frame, kStyle, TRUE, kExStyle)) throw FailureFromLastError();
    // The window procedure takes ownership of the handle at WM_NCCREATE.
    if (!CreateWindowExW(kExStyle, kClassName, kApplicationTitle, kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                         frame.right - frame.left, frame.bottom - frame.top, nullptr, menu.Get(),
                         instance_, this))
        throw FailureFromLastError();
    menu.Release();  // destroyed with the window from here on

    SizeAndCentre(window_.Get(), clientWidth, clientHeight);
    CreateControls(dpi);
}

Form1::~Form1() {
    window_.Reset();  // while every member the window procedure uses still exists
}

void Form1::CreateControls(int dpi) {
    standardFont_ = CreateStandardFont();
    linkFont_ = CreateLinkFont(dpi);

    const auto specs = Form1Controls(TARNWICK_WIDE(TARNWICK_MAKER_SITE));
    for (int index = 0; index < kForm1ControlCount; ++index) {
        const ControlSpec& entry = specs[static_cast<std::size_t>(index)];
        const PixelRect rect = ToPixels(entry.twips, dpi);
        const wchar_t* windowClass = WC_BUTTONW;
        DWORD style = WS_CHILD | WS_VISIBLE;
        if (entry.kind == ControlKind::PushButton) {
            style |= WS_TABSTOP | BS_PUSHBUTTON;
        } else {
            // SS_LEFT wraps at word boundaries and cuts off what does not fit.
            // Children are created below their elder siblings, so Label1 lies
            // over Label2 in their shared rectangle; with WS_CLIPSIBLINGS
            // Label2 never paints over it, and the user sees "Computer: "
            // and the name while Label2 still carries the bare name.
            windowClass = WC_STATICW;
            style |= SS_LEFT | WS_CLIPSIBLINGS;
            if (entry.look == ControlLook::Link) style |= SS_NOTIFY;  // reports clicks
        }
        const HFONT font = entry.look == ControlLook::Link ? linkFont_.Get() : standardFont_.Get();
        controls_[static_cast<std::size_t>(index)] =
            CreateChild(window_.Get(), ControlId(index), windowClass, entry.text, style, 0,
                        {rect.left, rect.top, rect.left + rect.width, rect.top + rect.height}, font);
    }
}

LRESULT CALLBACK Form1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return RouteMessage<Form1, &Form1::window_, &Form1::HandleMessage>(window, message, wParam, lParam);
}

LRESULT Form1::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
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
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void Form1::OnCreate() {
    openWindows_.Opened();
}

void Form1::OnCommand(int id, HWND control, UINT notification) {
    if (!control) {
        // The menu bar item, which has no submenu, sends its command when clicked.
        if (id == static_cast<int>(kFrmAboutId) && notification == 0) OnFrmAboutClick();
        return;
    }
    if (notification != BN_CLICKED) return;  // also STN_CLICKED, from the link label
    if (id == ControlId(kCmdStart))
        OnCmdStartClick();
    else if (id == ControlId(kCmdStop))
        OnCmdStopClick();
    else if (id == ControlId(kLabel3))
        OnLabel3Click();
}

HBRUSH Form1::OnCtlColorStatic(HDC dc, HWND label) {
    SetTextColor(dc, label == Control(kLabel3) ? static_cast<COLORREF>(kLinkTextColour)
                                               : GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));  // opaque, in the window's colour
    return GetSysColorBrush(COLOR_BTNFACE);
}

void Form1::OnActivate(UINT state) {
    // Remember the focused button, to give it back when the window is activated again.
    if (state != WA_INACTIVE) return;
    const HWND focused = GetFocus();
    if (focused == Control(kCmdStart))
        focus_ = kCmdStart;
    else if (focused == Control(kCmdStop))
        focus_ = kCmdStop;
}

void Form1::OnSetFocus() {
    // The window itself takes no keys: the focus belongs on a button, at first cmdStart.
    if (const HWND button = Control(focus_)) SetFocus(button);
}

LRESULT Form1::OnGetDefId() {
    // Enter presses the button that has the focus, as on a form of the
    // platform's own; the dialog keys (IsDialogMessage) ask for it this way.
    const HWND focused = GetFocus();
    if (focused == Control(kCmdStart)) return MAKELRESULT(ControlId(kCmdStart), DC_HASDEFID);
    if (focused == Control(kCmdStop)) return MAKELRESULT(ControlId(kCmdStop), DC_HASDEFID);
    return 0;
}

void Form1::OnDestroy() {
    openWindows_.Closed();
}

void Form1::OnNcDestroy(HWND window) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    window_.Release();  // the system destroys it (when not already destroying it for us)
    controls_ = {};
}

void Form1::Load(const std::wstring& argumentText) {
    RunHandler([&] { return serviceControl_.DecideAtLaunch(argumentText); });
}

void Form1::OnCmdStartClick() {
    RunHandler([&] { return serviceControl_.OnStartClick(); });
}

void Form1::OnCmdStopClick() {
    RunHandler([&] { return serviceControl_.OnStopClick(); });
}

void Form1::OnLabel3Click() {
    // Reports its own failure to open the page and returns.
    RunHandler([] {
        OpenHomePage();
        return Outcome{};
    });
}

void Form1::OnFrmAboutClick() {
    // Not modal and without an owner: the main window stays usable.
    RunHandler([&] {
        FrmAbout1::Show(instance_, openWindows_);
        return Outcome{};
    });
}

void Form1::RunHandler(const std::function<Outcome()>& handler) {
    // Handlers never nest (a message box's own loop could deliver a click), and
    // none runs once the program is ending.
    if (busy_) return;
    busy_ = true;
    const HWND owner = window_.Get();
    try {
        Outcome outcome;
        {
            const WaitCursor wait;
            outcome = handler();
        }
        // The handler has returned, so its directory objects are released.
        switch (outcome.kind) {
        case Outcome::Kind::KeepRunning:
            busy_ = false;
            return;
        case Outcome::Kind::SequenceDone:
            EndProgram(ExitCode::Done);
        case Outcome::Kind::BoundReached:
            ShowMessage(owner, TimeoutText(outcome.timeout.value()), MB_ICONWARNING);
            EndProgram(ExitCode::BoundReached);
        }
    } catch (const Failure& failure) {
        EndWithStrictFailure(owner, failure);
    } catch (const std::exception& exception) {
        // Nothing may unwind through the window procedure.
        EndWithStrictFailure(owner, FailureFromException(exception));
    }
}

HWND Form1::RequireWindow() const {
    if (!window_) throw FailureFromHresult(HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE));
    return window_.Get();
}

void Form1::SetCaption(Form1Control label, const std::wstring& caption) {
    RequireWindow();
    const HWND control = Control(label);
    if (!SetWindowTextW(control, caption.c_str())) throw FailureFromLastError();
    // Painted at once: a sequence may keep the message loop from running next.
    UpdateWindow(control);
}

void Form1::SetLabel1Caption(const std::wstring& caption) {
    SetCaption(kLabel1, caption);
}

void Form1::SetLabel2Caption(const std::wstring& caption) {
    SetCaption(kLabel2, caption);
}

std::wstring Form1::Label2Caption() const {
    RequireWindow();
    const HWND label = Control(kLabel2);
    SetLastError(ERROR_SUCCESS);
    const int length = GetWindowTextLengthW(label);
    if (length == 0) {
        if (GetLastError() != ERROR_SUCCESS) throw FailureFromLastError();
        return std::wstring();
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(label, text.data(), length + 1);
    if (copied == 0) throw FailureFromLastError();
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

void Form1::Show() {
    const HWND window = RequireWindow();
    ShowWindow(window, SW_SHOWNORMAL);  // activation puts the focus on cmdStart (WM_SETFOCUS)
    // Painted at once, controls included: the launch decision may go on into a
    // sequence that keeps the message loop from running.
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void Form1::FocusStart() {
    FocusButton(kCmdStart);
}

void Form1::FocusStop() {
    FocusButton(kCmdStop);
}

void Form1::FocusButton(Form1Control button) {
    RequireWindow();
    focus_ = button;
    // SetFocus returns the previous focus, which may rightly be none.
    SetLastError(ERROR_SUCCESS);
    if (!SetFocus(Control(button)) && GetLastError() != ERROR_SUCCESS) throw FailureFromLastError();
}

}  // namespace tarnwick
