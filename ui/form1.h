#pragma once

#include <windows.h>

#include <string>

#include "clock.h"
#include "computer_name.h"
#include "directory.h"
#include "form1_layout.h"
#include "main_view.h"
#include "service_control.h"
#include "shell_adapters.h"
#include "win32_raii.h"
#include "window.h"
#include "window_thread_calls.h"

namespace tarnwick {

// The main window: shows the computer name, carries "Start Web" and "Stop Web",
// the maker's link and the About menu item, and routes their events to the
// service control. There is one for the life of the program.
class Form1 final : public Window, public MainView {
public:
    // Creates the window and its controls, hidden. Throws Failure when the
    // system refuses.
    Form1(HINSTANCE instance, Program& program, ComputerNameSource& names, Directory& directory, Clock& clock,
          ShellAdapters& adapters);
    ~Form1() override;

    // The load event: the launch decision, which shows the window.
    void Load(const std::wstring& argumentText);
    // The service whose state decides, as the launch found it.
    const wchar_t* SwitchService() const { return serviceControl_.SwitchService(); }

    void SetLabel1Caption(const std::wstring& caption) override;
    void SetLabel2Caption(const std::wstring& caption) override;
    std::wstring Label2Caption() const override;
    void Show() override;
    void FocusStart() override;
    void FocusStop() override;

private:
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnControlClick(std::size_t control) override;
    void OnCommandWithoutControl(int id, UINT notification) override;
    void OnNewDpi() override;

    // The application icon's large and small images at the window's DPI.
    void SetIcons();

    // Event handlers, named after their control and event.
    void OnCmdStartClick();
    void OnCmdStopClick();
    void OnLabel3Click();
    void OnFrmAboutClick();

    HWND Label(Form1Control label) const;
    void SetCaption(Form1Control label, const std::wstring& caption);

    // The service control runs on a worker thread: what it does to this
    // window and to the right to switch is carried over to the window's.
    MainViewOnWindowThread viewFromWorker_;
    SwitchingOnWindowThread switchingFromWorker_;
    ServiceControl serviceControl_;
    ShellAdapters& adapters_;
    UniqueHicon largeIcon_;  // the window's icons, destroyed after the window (~Form1)
    UniqueHicon smallIcon_;
};

}  // namespace tarnwick
