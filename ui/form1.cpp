#include "form1.h"

#include "dpi.h"
#include "failure_win32.h"
#include "frm_about1.h"
#include "maker.h"
#include "resource_ids.h"

namespace tarnwick {

namespace {

constexpr wchar_t kClassName[] = L"Tarnwick.Form1";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
// WS_EX_CONTROLPARENT lets the dialog keys reach the buttons (see the message loop).
constexpr DWORD kExStyle = WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;
constexpr UINT kFrmAboutId = 200;
constexpr auto kControls = Form1Controls(TARNWICK_WIDE(TARNWICK_MAKER_SITE));

// The application icon at one of the system's sizes for `dpi`, from the image
// of that size. Not shared: the system keeps one shared image per resource,
// whatever size it was first asked for, so the small icon would be the large
// one shrunk. A missing one leaves the default icon.
UniqueHicon ApplicationIcon(HINSTANCE instance, int widthMetric, int heightMetric, int dpi) {
    return UniqueHicon(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_TARNWICK), IMAGE_ICON,
                                                     MetricForDpi(widthMetric, dpi),
                                                     MetricForDpi(heightMetric, dpi), 0)));
}

}  // namespace

Form1::Form1(HINSTANCE instance, Program& program, ComputerNameSource& names, Directory& directory, Clock& clock,
             ShellAdapters& adapters)
    : Window(instance, program, Index(Form1Control::CmdStart)),
      viewFromWorker_(*this, *this),
      switchingFromWorker_(*this, program),
      serviceControl_(viewFromWorker_, names, directory, adapters.registry, clock, switchingFromWorker_),
      adapters_(adapters) {
    UniqueHmenu menu(CreateMenu());
    if (!menu || !AppendMenuW(menu.Get(), MF_STRING, kFrmAboutId, kFrmAboutText)) throw FailureFromLastError();
    Create({kClassName}, {kStyle, kExStyle, kApplicationTitle, kForm1ClientWidth, kForm1ClientHeight}, menu.Get(),
           kControls);
    menu.Release();  // destroyed with the window from here on
    SetIcons();
}

Form1::~Form1() {
    Destroy();
}

void Form1::SetIcons() {
    // The caption and the taskbar show the images of their own sizes; the
    // window gives the old ones back, which go once replaced.
    UniqueHicon large = ApplicationIcon(Instance(), SM_CXICON, SM_CYICON, Dpi());
    UniqueHicon small = ApplicationIcon(Instance(), SM_CXSMICON, SM_CYSMICON, Dpi());
    SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large.Get()));
    SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.Get()));
    largeIcon_ = std::move(large);
    smallIcon_ = std::move(small);
}

LRESULT Form1::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // The user chose to end the session anyway, or it was forced: the process
    // may be ended at any moment now, and a switch under way with it. Told
    // once, by the main window.
    if (message == WM_ENDSESSION && wParam && TheProgram().Sequencing()) TheProgram().SessionEnds(SwitchService());
    return Window::HandleMessage(window, message, wParam, lParam);
}

void Form1::OnNewDpi() {
    SetIcons();
}

void Form1::OnControlClick(std::size_t control) {
    if (control == Index(Form1Control::CmdStart))
        OnCmdStartClick();
    else if (control == Index(Form1Control::CmdStop))
        OnCmdStopClick();
    else if (control == Index(Form1Control::Label3))
        OnLabel3Click();
}

void Form1::OnCommandWithoutControl(int id, UINT notification) {
    // The menu bar item, which has no submenu, sends its command when clicked.
    if (id == static_cast<int>(kFrmAboutId) && notification == 0) OnFrmAboutClick();
}

void Form1::Load(const std::wstring& argumentText) {
    // Shown on this thread first, so that the window appears without waiting
    // for the worker thread to set COM up; the launch decision shows it
    // again, which changes nothing.
    RunHandler(
        FailurePlace::Switching, [&] { return serviceControl_.DecideAtLaunch(argumentText); }, [&] { Show(); });
}

void Form1::OnCmdStartClick() {
    RunHandler(FailurePlace::Switching, [&] { return serviceControl_.OnStartClick(); });
}

void Form1::OnCmdStopClick() {
    RunHandler(FailurePlace::Switching, [&] { return serviceControl_.OnStopClick(); });
}

void Form1::OnLabel3Click() {
    // Reports its own failure to open the page and returns.
    RunAction(FailurePlace::Link, [&] { OpenHomePage(adapters_.shell, TheProgram().Boxes()); });
}

void Form1::OnFrmAboutClick() {
    // Not modal and without an owner: the main window stays usable.
    // It opens on the monitor that holds this window.
    RunAction(FailurePlace::AboutDialog, [&] { FrmAbout1::Show(Instance(), TheProgram(), adapters_, Handle()); });
}

HWND Form1::Label(Form1Control label) const {
    RequireHandle();
    return Control(Index(label));
}

void Form1::SetCaption(Form1Control label, const std::wstring& caption) {
    const HWND control = Label(label);
    if (!SetWindowTextW(control, caption.c_str())) throw FailureFromLastError();
    // Painted at once: a sequence may keep the message loop from running next.
    UpdateWindow(control);
}

void Form1::SetLabel1Caption(const std::wstring& caption) {
    SetCaption(Form1Control::Label1, caption);
}

void Form1::SetLabel2Caption(const std::wstring& caption) {
    SetCaption(Form1Control::Label2, caption);
}

std::wstring Form1::Label2Caption() const {
    const HWND label = Label(Form1Control::Label2);
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
    const HWND window = RequireHandle();
    if (TheProgram().Unattended()) return;  // nobody could see it
    ShowWindow(window, SW_SHOWNORMAL);  // activation puts the focus on cmdStart (WM_SETFOCUS)
    // Painted at once, controls included: the launch decision may go on into a
    // sequence that keeps the message loop from running.
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void Form1::FocusStart() {
    FocusButton(Index(Form1Control::CmdStart));
}

void Form1::FocusStop() {
    FocusButton(Index(Form1Control::CmdStop));
}

}  // namespace tarnwick
