#pragma once

#include <windows.h>

#include <string>

#include "frm_about1_layout.h"
#include "shell_adapters.h"
#include "sys_info.h"
#include "win32_raii.h"
#include "window.h"

namespace tarnwick {

// The About dialog: the product's title and description, the maker's two
// links, a disclaimer and the System Info button. It is not modal and has no
// owner window; at most one exists at a time. The object belongs to its
// window and is deleted when the window is destroyed.
class FrmAbout1 final : public Window {
public:
    // Shows the open dialog again, or else creates and shows a new one on the
    // monitor that holds `placeWith`. Throws Failure when the system refuses.
    static void Show(HINSTANCE instance, Program& program, ShellAdapters& adapters, HWND placeWith);

    ~FrmAbout1() override;

    // The system information launcher: reads one registry value as text, and
    // finds and starts the tool (or tells the user it is unavailable).
    bool GetKeyValue(RegistryRoot keyRoot, const std::wstring& keyName, const std::wstring& subKeyRef,
                     std::wstring& keyVal);
    void StartSysInfo();

private:
    // Creates the window and its controls, hidden.
    FrmAbout1(HINSTANCE instance, Program& program, ShellAdapters& adapters, HWND placeWith);

    static HWND FindOpen();
    static void ShowAndActivate(HWND window);

    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnControlClick(std::size_t control) override;
    void OnCommandWithoutControl(int id, UINT notification) override;
    void OnDestroyed() override;
    void OnNewDpi() override;
    void OnDrawItem(const DRAWITEMSTRUCT& item);
    // The picture's image at the window's DPI, again after each change.
    void LoadPicture();

    // Event handlers, named after their control and event.
    void OnCmdOKClick();
    void OnCmdSysInfoClick();
    void OnLabel1Click();
    void OnLabel2Click();

    SysInfoLauncher SysInfo();

    ShellAdapters& adapters_;
    UniqueHicon icon_;            // the caption's 32 x 32 image
    UniqueHicon picture_;         // the picture's, at the window's DPI
    bool ownedByWindow_ = false;  // once shown, the window deletes the object
};

}  // namespace tarnwick
