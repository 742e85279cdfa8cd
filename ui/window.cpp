#include "window.h"

#include <commctrl.h>

#include "failure_win32.h"
#include "fonts.h"

namespace tarnwick {

namespace {

// Control ids stay clear of IDOK and IDCANCEL, which Enter and Esc send.
constexpr int kFirstControlId = 100;

int ControlId(std::size_t index) { return kFirstControlId + static_cast<int>(index); }

// The session's DPI: the manifest declares the program system-DPI aware, so
// one value serves the whole run.
int ScreenDpi() {
    const UniqueScreenDc screen(GetDC(nullptr));
    // Without a screen DC, the layout's own scale: 15 twips a pixel.
    return screen ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : USER_DEFAULT_SCREEN_DPI;
}

void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, HICON icon, HICON smallIcon, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon;
    windowClass.hIconSm = smallIcon;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = name;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw FailureFromLastError();
}

// Gives `window` the exact client size, whatever its frame and menu bar measure
// in the current theme, and centres it on the screen.
void SizeAndCentre(HWND window, int clientWidth, int clientHeight) {
    RECT client{};
    RECT frame{};
    if (!GetClientRect(window, &client) || !GetWindowRect(window, &frame)) throw FailureFromLastError();
    const int width = frame.right - frame.left + clientWidth - client.right;
    const int height = frame.bottom - frame.top + clientHeight - client.bottom;
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    if (!SetWindowPos(window, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE))
        throw FailureFromLastError();
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

Window::Window(HINSTANCE instance, Program& program, std::optional<std::size_t> defaultButton)
    : instance_(instance), program_(program), defaultButton_(defaultButton) {}

Window::~Window() {
    Destroy();
}

void Window::Create(const ClassSpec& windowClass, const FrameSpec& frame, HMENU menu, const ControlSpec* controls,
                    std::size_t count) {
    specs_ = controls;
    count_ = count;
    // The focus starts on the push button first in tab order.
    std::optional<std::size_t> first;
    for (std::size_t index = 0; index < count_; ++index) {
        if (specs_[index].kind == ControlKind::PushButton &&
            (!first || specs_[index].tabIndex < specs_[*first].tabIndex))
            first = index;
    }
    focus_ = first.value_or(0);

    RegisterWindowClass(instance_, windowClass.name, windowClass.icon, windowClass.smallIcon, &Window::WindowProc);
    dpi_ = ScreenDpi();
    standardFont_ = CreateStandardFont();
    linkFont_ = CreateLinkFont(dpi_);

    const int clientWidth = TwipsToPixels(frame.clientWidth, dpi_);
    const int clientHeight = TwipsToPixels(frame.clientHeight, dpi_);
    RECT outer{0, 0, clientWidth, clientHeight};
    if (!AdjustWindowRectEx(&outer, frame.style, menu != nullptr, frame.exStyle)) throw FailureFromLastError();
    // The window procedure takes the handle at WM_NCCREATE; the menu is
    // destroyed with the window once it is created.
    if (!CreateWindowExW(frame.exStyle, windowClass.name, frame.caption, frame.style, CW_USEDEFAULT, CW_USEDEFAULT,
                         outer.right - outer.left, outer.bottom - outer.top, nullptr, menu, instance_, this))
        throw FailureFromLastError();
    SizeAndCentre(window_.Get(), clientWidth, clientHeight);
    CreateControls();
}

void Window::CreateControls() {
    controls_.assign(count_, nullptr);
    for (std::size_t index = 0; index < count_; ++index) {
        const ControlSpec& entry = specs_[index];
        if (entry.kind == ControlKind::Line) continue;  // painted by the window (OnPaint)

        const PixelRect rect = ToPixels(entry.twips, dpi_);
        const wchar_t* windowClass = WC_STATICW;
        DWORD style = WS_CHILD | WS_VISIBLE;
        DWORD exStyle = 0;
        switch (entry.kind) {
        case ControlKind::PushButton:
            // BS_NOTIFY reports focus changes, so the default button can follow the focus.
            windowClass = WC_BUTTONW;
            style |= WS_TABSTOP | BS_NOTIFY | (defaultButton_ == index ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
            break;
        case ControlKind::Label:
            // SS_LEFT wraps at word boundaries and cuts off what does not fit.
            // Children are created below their elder siblings, so of two
            // labels in one rectangle the elder lies on top; with
            // WS_CLIPSIBLINGS the younger never paints over it.
            style |= SS_LEFT | WS_CLIPSIBLINGS;
            if (entry.look == ControlLook::Link) style |= SS_NOTIFY;  // reports clicks, takes the mouse
            break;
        case ControlKind::Picture:
            style |= SS_OWNERDRAW;  // the window draws the picture (WM_DRAWITEM)
            break;
        case ControlKind::Line:
            break;
        }
        if (entry.look == ControlLook::Sunken) exStyle |= WS_EX_CLIENTEDGE;

        const HWND control = CreateWindowExW(exStyle, windowClass, entry.text, style, rect.left, rect.top, rect.width,
                                             rect.height, window_.Get(),
                                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(index))),
                                             instance_, nullptr);
        if (!control) throw FailureFromLastError();
        const HFONT font = entry.look == ControlLook::Link ? linkFont_.Get() : standardFont_.Get();
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        controls_[index] = control;
    }
}

LRESULT CALLBACK Window::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_.Reset(window);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    // `self` may be deleted inside (at WM_NCDESTROY): nothing touches it afterwards.
    return self->HandleMessage(window, message, wParam, lParam);
}

LRESULT Window::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        program_.WindowOpened(window);
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), reinterpret_cast<HWND>(lParam), HIWORD(wParam));
        return 0;
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<LRESULT>(
            OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
    case WM_SETCURSOR:
        if (program_.Sequencing()) {  // the waits retrieve messages: the cursor still says "wait"
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        if (OnSetCursor(reinterpret_cast<HWND>(wParam), LOWORD(lParam))) return TRUE;
        break;
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
    case WM_CLOSE:
        // A sequence runs, or the final report is up: the window stays as it is.
        if (program_.Sequencing() || program_.Ending()) return 0;
        break;
    case WM_QUERYENDSESSION:
        // Ended mid-switch, the services would be left half switched.
        if (program_.Sequencing()) return FALSE;
        break;
    case WM_DESTROY:
        program_.WindowClosed(window);
        return 0;
    case WM_NCDESTROY:
        OnNcDestroy(window);  // may delete the object
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void Window::RunAction(FailurePlace place, FunctionRef<void()> action) {
    program_.RunHandler(place, [&] {
        action();
        return Outcome{};
    });
}

std::optional<std::size_t> Window::IndexOf(HWND control) const {
    if (!control) return std::nullopt;
    for (std::size_t index = 0; index < controls_.size(); ++index)
        if (controls_[index] == control) return index;
    return std::nullopt;
}

void Window::OnCommand(int id, HWND control, UINT notification) {
    if (!control) {
        OnCommandWithoutControl(id, notification);
        return;
    }
    const auto index = IndexOf(control);
    if (!index) return;
    if (specs_[*index].kind == ControlKind::PushButton && notification == BN_SETFOCUS) {
        MarkDefault(*index);
        return;
    }
    if (notification == BN_CLICKED) OnControlClick(*index);  // also STN_CLICKED, from link labels
}

HBRUSH Window::OnCtlColorStatic(HDC dc, HWND label) {
    // Labels lie on the dialog face, so they take its text colour, as the
    // buttons do: in high-contrast themes the window-text colour may not show on it.
    const auto index = IndexOf(label);
    const ControlLook look = index ? specs_[*index].look : ControlLook::Standard;
    COLORREF text = GetSysColor(COLOR_BTNTEXT);
    if (look == ControlLook::BlackText) text = RGB(0, 0, 0);
    if (look == ControlLook::Link) text = static_cast<COLORREF>(kLinkTextColour);
    SetTextColor(dc, text);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));  // opaque, in the window's colour
    return GetSysColorBrush(COLOR_BTNFACE);
}

bool Window::OnSetCursor(HWND under, UINT hitTest) {
    const auto index = IndexOf(under);
    if (!linkCursor_ || !index || specs_[*index].look != ControlLook::Link || hitTest != HTCLIENT) return false;
    SetCursor(linkCursor_);
    return true;
}

void Window::OnPaint(HWND window) {
    // The lines of the table, in order: a later one lies over an earlier one.
    const PaintScope paint(window);
    for (std::size_t index = 0; index < count_; ++index) {
        const ControlSpec& entry = specs_[index];
        if (entry.kind != ControlKind::Line) continue;
        const LineSpec& line = entry.line;
        const UniqueHpen pen(CreatePen(PS_SOLID, line.widthPixels, static_cast<COLORREF>(line.colour)));
        if (!pen) continue;  // nothing to draw with; the next paint tries again
        const HGDIOBJ previous = SelectObject(paint.Dc(), pen.Get());
        MoveToEx(paint.Dc(), TwipsToPixels(line.x1, dpi_), TwipsToPixels(line.y1, dpi_), nullptr);
        LineTo(paint.Dc(), TwipsToPixels(line.x2, dpi_), TwipsToPixels(line.y2, dpi_));
        SelectObject(paint.Dc(), previous);
    }
}

void Window::OnActivate(UINT state) {
    // Remember the focused button, to give it back when the window is activated again.
    if (state != WA_INACTIVE) return;
    const auto index = IndexOf(GetFocus());
    if (index && specs_[*index].kind == ControlKind::PushButton) focus_ = *index;
}

void Window::OnSetFocus() {
    // The window itself takes no keys: the focus belongs on a button.
    if (const HWND button = Control(focus_)) SetFocus(button);
}

LRESULT Window::OnGetDefId() {
    // Enter presses the focused push button, as in the platform's dialogs, or
    // else the default one; the dialog keys (IsDialogMessage) ask for it this way.
    const auto focused = IndexOf(GetFocus());
    const std::optional<std::size_t> button =
        focused && specs_[*focused].kind == ControlKind::PushButton ? focused : defaultButton_;
    return button ? MAKELRESULT(ControlId(*button), DC_HASDEFID) : 0;
}

void Window::MarkDefault(std::size_t button) {
    // The focused push button is drawn as the default one, as in the
    // platform's dialogs; windows without a default button draw none.
    if (!defaultButton_ || *defaultButton_ == button) return;
    defaultButton_ = button;
    for (std::size_t index = 0; index < count_; ++index) {
        if (specs_[index].kind != ControlKind::PushButton) continue;
        const auto type = static_cast<WPARAM>(index == button ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        SendMessageW(controls_[index], BM_SETSTYLE, type | BS_NOTIFY, TRUE);
    }
}

HWND Window::RequireHandle() const {
    if (!window_) throw FailureFromHresult(HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE));
    return window_.Get();
}

void Window::FocusButton(std::size_t button) {
    RequireHandle();
    focus_ = button;
    // SetFocus returns the previous focus, which may rightly be none.
    SetLastError(ERROR_SUCCESS);
    if (!SetFocus(Control(button)) && GetLastError() != ERROR_SUCCESS) throw FailureFromLastError();
}

void Window::OnNcDestroy(HWND window) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    window_.Release();  // the system destroys it (when not already destroying it for us)
    controls_.clear();
    OnDestroyed();
}

}  // namespace tarnwick
