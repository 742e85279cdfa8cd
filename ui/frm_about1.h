#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "frm_about1_layout.h"
#include "open_windows.h"
#include "sys_info.h"
#include "win32_raii.h"

namespace tarnwick {

// The About dialog: the product's title and description, the maker's two
// links, a disclaimer and the System Info button. It is not modal and has no
// owner window; at most one exists at a time. The object belongs to its
// window and is deleted when the window is destroyed.
class FrmAbout1 final {
public:
    // Shows the open dialog again, or else creates and shows a new one.
    // Throws Failure when the system refuses.
    static void Show(HINSTANCE instance, OpenWindows& openWindows);

    FrmAbout1(const FrmAbout1&) = delete;
    FrmAbout1& operator=(const FrmAbout1&) = delete;
    ~FrmAbout1();

    // The system information launcher: reads one registry value as text, and
    // finds and starts the tool (or tells the user it is unavailable).
    bool GetKeyValue(RegistryRoot keyRoot, const std::wstring& keyName, const std::wstring& subKeyRef,
                     std::wstring& keyVal);
    void StartSysInfo();

private:
    // Creates the window and its controls, hidden.
    FrmAbout1(HINSTANCE instance, OpenWindows& openWindows);

    static HWND FindOpen();
    static void ShowAndActivate(HWND window);

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    void OnCreate();
    void OnCommand(int id, HWND control, UINT notification);
    HBRUSH OnCtlColorStatic(HDC dc, HWND label);
    bool OnSetCursor(HWND under, UINT hitTest);
    void OnDrawItem(const DRAWITEMSTRUCT& item);
    void OnPaint(HWND window);
    void OnActivate(UINT state);
    void OnSetFocus();
    LRESULT OnGetDefId();
    void OnButtonFocus(AboutControl button);
    void OnDestroy();
    void OnNcDestroy(HWND window);

    // Event handlers, named after their control and event.
    void OnCmdOKClick();
    void OnCmdSysInfoClick();
    void OnLabel1Click();
    void OnLabel2Click();

    // Runs an event handler; a failure that escapes it is reported and ends
    // the program.
    template <typename Handler>
    void RunHandler(Handler handler);

    void CreateControls(int dpi);
    HWND Control(AboutControl which) const { return controls_[Index(which)]; }
    const AboutControlSpec* SpecOf(HWND control) const;

    HINSTANCE instance_;
    OpenWindows& openWindows_;
    std::array<AboutControlSpec, kAboutControlCount> specs_;
    int dpi_ = USER_DEFAULT_SCREEN_DPI;
    UniqueHfont standardFont_;
    UniqueHfont linkFont_;
    UniqueHicon icon_;
    HCURSOR handCursor_ = nullptr;  // a resource cursor: the system frees it
    std::array<HWND, kAboutControlCount> controls_{};
    AboutControl focus_ = AboutControl::CmdOK;          // where the focus goes on activation
    AboutControl defaultButton_ = AboutControl::CmdOK;  // the button Enter presses
    bool ownedByWindow_ = false;  // once shown, the window deletes the object
    UniqueHwnd window_;           // last: destroyed first, while the rest still exists
};

}  // namespace tarnwick
