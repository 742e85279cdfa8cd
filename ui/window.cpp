#include "window.h"

#include <commctrl.h>

#include <exception>

#include "colours.h"
#include "dpi.h"
#include "failure_win32.h"
#include "fonts.h"

namespace tarnwick {

namespace {

// Sent by another thread of the program to have the window's own thread run a call.
constexpr UINT kRunOnOwnThread = WM_APP + 1;

// Control ids stay clear of IDOK and IDCANCEL, which Enter and Esc send.
constexpr int kFirstControlId = 100;

int ControlId(std::size_t index) { return kFirstControlId + static_cast<int>(index); }

void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = name;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw FailureFromLastError();
}

// The work area of the monitor that holds `placeWith`, or of the primary one.
RECT WorkArea(HWND placeWith) {
    const HMONITOR monitor = placeWith ? MonitorFromWindow(placeWith, MONITOR_DEFAULTTONEAREST)
                                       : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info)) throw FailureFromLastError();
    return info.rcWork;
}

// The top left corner that centres a `width` x `height` window in `area`.
POINT CentredIn(const RECT& area, int width, int height) {
    return {area.left + (area.right - area.left - width) / 2, area.top + (area.bottom - area.top - height) / 2};
}

void CentreIn(HWND window, const RECT& area) {
    RECT frame{};
    if (!GetWindowRect(window, &frame)) throw FailureFromLastError();
    const POINT at = CentredIn(area, frame.right - frame.left, frame.bottom - frame.top);
    if (!SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE))
        throw FailureFromLastError();
}

// The colours the system draws with, read at each paint, so that a changed
// theme shows at the next one.
struct SystemColours {
    bool highContrast;
    Colour face;
    Colour text;       // COLOR_BTNTEXT
    Colour link;       // COLOR_HOTLIGHT
    Colour highlight;  // COLOR_3DHILIGHT
    Colour shadow;     // COLOR_3DSHADOW
};

SystemColours CurrentColours() {
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof contrast;
    // Unreadable counts as off: the face colour still decides then.
    const bool highContrast = SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
                              (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
    return {highContrast,
            GetSysColor(COLOR_BTNFACE),
            GetSysColor(COLOR_BTNTEXT),
            GetSysColor(COLOR_HOTLIGHT),
            GetSysColor(COLOR_3DHILIGHT),
            GetSysColor(COLOR_3DSHADOW)};
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
                    std::size_t count, HWND placeWith) {
    specs_ = controls;
    count_ = count;
    frame_ = frame;
    hasMenu_ = menu != nullptr;
    // The focus starts on the push button first in tab order.
    std::optional<std::size_t> first;
    for (std::size_t index = 0; index < count_; ++index) {
        if (specs_[index].kind == ControlKind::PushButton &&
            (!first || specs_[index].tabIndex < specs_[*first].tabIndex))
            first = index;
    }
    focus_ = first.value_or(0);

    RegisterWindowClass(instance_, windowClass.name, &Window::WindowProc);
    // A window takes the DPI of the monitor it opens on, so it is opened in
    // its place first, at the session's DPI; then everything is measured at its own.
    const RECT work = WorkArea(placeWith);
    const SIZE guess = FrameSize(SystemDpi());
    const POINT at = CentredIn(work, guess.cx, guess.cy);
    // The window procedure takes the handle at WM_NCCREATE; the menu is
    // destroyed with the window once it is created.
    if (!CreateWindowExW(frame.exStyle, windowClass.name, frame.caption, frame.style, at.x, at.y, guess.cx,
                         guess.cy, nullptr, menu, instance_, this))
        throw FailureFromLastError();
    dpi_ = WindowDpi(window_.Get());
    MakeFonts();
    FitClientSize();
    CentreIn(window_.Get(), work);
    CreateControls();
}

SIZE Window::FrameSize(int dpi) const {
    const RECT client{0, 0, TwipsToPixels(frame_.clientWidth, dpi), TwipsToPixels(frame_.clientHeight, dpi)};
    const RECT outer = FrameForClient(client, frame_.style, hasMenu_, frame_.exStyle, dpi);
    return {outer.right - outer.left, outer.bottom - outer.top};
}

void Window::FitClientSize() {
    // The exact client size, whatever the frame and the menu bar measure in
    // the current theme (a menu bar may wrap); the top left corner stays.
    const HWND window = window_.Get();
    RECT client{};
    RECT frame{};
    if (!GetClientRect(window, &client) || !GetWindowRect(window, &frame)) throw FailureFromLastError();
    const int width = TwipsToPixels(frame_.clientWidth, dpi_);
    const int height = TwipsToPixels(frame_.clientHeight, dpi_);
    if (client.right == width && client.bottom == height) return;
    if (!SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left + width - client.right,
                      frame.bottom - frame.top + height - client.bottom,
                      SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE))
        throw FailureFromLastError();
}

void Window::MakeFonts() {
    UniqueHfont standard = CreateStandardFont(dpi_);
    UniqueHfont link = CreateLinkFont(dpi_);
    // The controls take the new fonts before the old ones are deleted.
    for (std::size_t index = 0; index < controls_.size(); ++index) {
        if (!controls_[index]) continue;
        const HFONT font = specs_[index].look == ControlLook::Link ? link.Get() : standard.Get();
        SendMessageW(controls_[index], WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    standardFont_ = std::move(standard);
    linkFont_ = std::move(link);
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
        if (program_.Working() || program_.Sequencing()) {  // messages are handed on meanwhile: the cursor still says "wait"
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        if (OnSetCursor(reinterpret_cast<HWND>(wParam), LOWORD(lParam))) return TRUE;
        break;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:
    case WM_THEMECHANGED:
        OnColoursChanged(message, wParam, lParam);
        break;
    case kWmGetDpiScaledSize:
        return OnGetDpiScaledSize(static_cast<int>(wParam), *reinterpret_cast<SIZE*>(lParam));
    case kWmDpiChanged:
        OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_WINDOWPOSCHANGED:
        OnWindowPosChanged(*reinterpret_cast<const WINDOWPOS*>(lParam));
        break;  // the default sends WM_SIZE and WM_MOVE
    case WM_ACTIVATE:
        OnActivate(LOWORD(wParam));
        break;  // the default activation sets the focus on the window: see WM_SETFOCUS
    case WM_SETFOCUS:
        OnSetFocus();
        return 0;
    case DM_GETDEFID:
        return OnGetDefId();
    case WM_CLOSE:
        // A handler's service calls or a sequence run, or the final report is
        // up: the window stays as it is.
        if (program_.Working() || program_.Sequencing() || program_.Ending()) return 0;
        break;
    case kRunOnOwnThread:
        OnRunOnOwnThread(lParam);
        return 0;
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

void Window::RunOnOwnThread(FunctionRef<void()> call) {
    const HWND window = RequireHandle();
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        call();
        return;
    }
    // Nothing may unwind through the window procedure: what the call throws
    // is carried back here.
    bool ran = false;
    std::exception_ptr failure;
    const auto run = [&] {
        ran = true;
        try {
            call();
        } catch (...) {
            failure = std::current_exception();
        }
    };
    const FunctionRef<void()> sent(run);
    crossThreadCall_ = &sent;
    SendMessageW(window, kRunOnOwnThread, 0, reinterpret_cast<LPARAM>(&sent));
    crossThreadCall_ = nullptr;
    if (failure) std::rethrow_exception(failure);
    if (!ran) throw FailureFromHresult(HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE));  // gone meanwhile
}

void Window::OnRunOnOwnThread(LPARAM call) {
    const FunctionRef<void()>* expected = crossThreadCall_;
    if (expected && reinterpret_cast<LPARAM>(expected) == call) (*expected)();
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
    // Labels lie on the dialog face and take its text colour, as the buttons
    // do; the design's black and blue only where they can be read there.
    const auto index = IndexOf(label);
    const ControlLook look = index ? specs_[*index].look : ControlLook::Standard;
    const SystemColours system = CurrentColours();
    Colour text = system.text;
    if (look == ControlLook::BlackText) text = TextColour(kBlack, system.text, system.face, system.highContrast);
    if (look == ControlLook::Link) text = TextColour(kLinkTextColour, system.link, system.face, system.highContrast);
    SetTextColor(dc, text);
    SetBkColor(dc, system.face);  // opaque, in the window's colour
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
    const SystemColours system = CurrentColours();
    for (std::size_t index = 0; index < count_; ++index) {
        const ControlSpec& entry = specs_[index];
        if (entry.kind != ControlKind::Line) continue;
        const LineSpec& line = entry.line;
        const Colour shade = line.shade == LineShade::Highlight ? system.highlight : system.shadow;
        const Colour colour = LineColour(line.colour, shade, system.face, system.highContrast);
        const UniqueHpen pen(CreatePen(PS_SOLID, line.widthPixels, static_cast<COLORREF>(colour)));
        if (!pen) continue;  // nothing to draw with; the next paint tries again
        const HGDIOBJ previous = SelectObject(paint.Dc(), pen.Get());
        MoveToEx(paint.Dc(), TwipsToPixels(line.x1, dpi_), TwipsToPixels(line.y1, dpi_), nullptr);
        LineTo(paint.Dc(), TwipsToPixels(line.x2, dpi_), TwipsToPixels(line.y2, dpi_));
        SelectObject(paint.Dc(), previous);
    }
}

void Window::OnColoursChanged(UINT message, WPARAM wParam, LPARAM lParam) {
    // The buttons keep colours of their own and learn of the change from their parent.
    if (message == WM_SYSCOLORCHANGE)
        for (const HWND control : controls_)
            if (control) SendMessageW(control, message, wParam, lParam);
    // Everything painted again, in the colours of the moment.
    RedrawWindow(window_.Get(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

bool Window::OnGetDpiScaledSize(int dpi, SIZE& size) const {
    // The frame for the exact client size at the new DPI, rather than the
    // system's proportional one, so that the rectangle WM_DPICHANGED suggests fits.
    try {
        size = FrameSize(dpi);
        return true;
    } catch (const Failure&) {
        return false;  // deliberately: the system's own size serves, FitClientSize mends it
    }
}

void Window::OnDpiChanged(int dpi, const RECT& suggested) {
    // Moved to a monitor of another DPI: the window takes the place the system
    // suggests (under the mouse while it is dragged), and everything is
    // measured again from its twips. Nothing here is reported: a window the
    // system will not move, size or give new fonts stays as it is, readable
    // if not to scale.
    const HWND window = window_.Get();
    dpi_ = dpi;
    SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    for (std::size_t index = 0; index < controls_.size(); ++index) {
        if (!controls_[index]) continue;
        const PixelRect rect = ToPixels(specs_[index].twips, dpi_);
        SetWindowPos(controls_[index], nullptr, rect.left, rect.top, rect.width, rect.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    try {
        FitClientSize();
    } catch (const Failure&) {
        // deliberately ignored, as above
    }
    try {
        MakeFonts();
    } catch (const Failure&) {
        // deliberately ignored: the old fonts stay
    }
    OnNewDpi();
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void Window::OnWindowPosChanged(const WINDOWPOS& position) {
    // Once shown, the keyboard cues (focus rectangle, access keys) follow the
    // last input: a user who started the program from the keyboard sees at
    // once where the focus is, as in the platform's dialogs.
    if (!(position.flags & SWP_SHOWWINDOW) || keyboardCuesInitialised_) return;
    keyboardCuesInitialised_ = true;
    SendMessageW(window_.Get(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_INITIALIZE, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
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
