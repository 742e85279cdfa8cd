#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <string>

#include "clock.h"
#include "computer_name.h"
#include "directory.h"
#include "form1_layout.h"
#include "main_view.h"
#include "open_windows.h"
#include "service_control.h"
#include "win32_raii.h"

namespace tarnwick {

// The main window: shows the computer name, carries "Start Web" and "Stop Web",
// the maker's link and the About menu item, and routes their events to the
// service control. There is one for the life of the program.
class Form1 final : public MainView {
public:
    // Creates the window and its controls, hidden. Throws Failure when the
    // system refuses.
    Form1(HINSTANCE instance, OpenWindows& openWindows, ComputerNameSource& names,
          Directory& directory, Clock& clock);
    ~Form1() override;
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    // The load event: the launch decision, which shows the window.
    void Load(const std::wstring& argumentText);

    void SetLabel1Caption(const std::wstring& caption) override;
    void SetLabel2Caption(const std::wstring& caption) override;
    std::wstring Label2Caption() const override;
    void Show() override;
    void FocusStart() override;
    void FocusStop() override;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    void OnCreate();
    void OnCommand(int id, HWND control, UINT notification);
    HBRUSH OnCtlColorStatic(HDC dc, HWND label);
    void OnActivate(UINT state);
    void OnSetFocus();
    LRESULT OnGetDefId();
    void OnDestroy();
    void OnNcDestroy(HWND window);

    // Event handlers, named after their control and event.
    void OnCmdStartClick();
    void OnCmdStopClick();
    void OnLabel3Click();
    void OnFrmAboutClick();

    // Runs the service code of one event and acts on its outcome: the one place
    // where the program decides to go on, report or end.
    void RunHandler(const std::function<Outcome()>& handler);

    void CreateControls(int dpi);
    HWND Control(Form1Control which) const { return controls_[static_cast<std::size_t>(which)]; }
    HWND RequireWindow() const;
    void SetCaption(Form1Control label, const std::wstring& caption);
    void FocusButton(Form1Control button);

    HINSTANCE instance_;
    OpenWindows& openWindows_;
    ServiceControl serviceControl_;
    UniqueHfont standardFont_;
    UniqueHfont linkFont_;
    std::array<HWND, kForm1ControlCount> controls_{};
    Form1Control focus_ = kCmdStart;  // where the focus goes when the window is activated
    bool busy_ = false;               // an event handler runs, or the program is ending
    UniqueHwnd window_;               // last: destroyed first, while the rest still exists
};

}  // namespace tarnwick
