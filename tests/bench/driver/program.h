#pragma once

// Drives the real tarnwick.exe from a Windows test program running in the same
// Wine prefix: starts it, finds its windows, reads what a user would see,
// clicks, answers message boxes and waits for it to end. Every wait polls with
// a bound; nothing sleeps a fixed time.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick::bench {

inline constexpr DWORD kWindowTimeoutMs = 20000;
// The service sequences' own bound is 60 s; waits for the program to end
// allow for it and a margin.
inline constexpr DWORD kExitTimeoutMs = 90000;

// The Windows build tree (TARNWICK_WIN_BUILD_DIR, a Unix path) as a path the
// Wine side can open, and tarnwick.exe in it, or the build of the program
// that TARNWICK_EXE names (a Unix or Windows path; it must exist).
std::wstring WinBuildDir();
std::wstring TarnwickExe();

std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);
RECT ClientRect(HWND window);
// The window's rectangle relative to its parent's client area.
RECT RectInParent(HWND child);

// The icon of a message box, as its style asked for it.
enum class BoxIcon { None, Error, Warning, Information, Question, Unknown };

struct MessageBoxInfo {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
    BoxIcon icon = BoxIcon::None;
    std::vector<std::wstring> buttons;
};

class Program {
public:
    // Starts `exe` with `arguments` (the text after the program's name), on
    // `desktop` ("station\\desktop", as STARTUPINFO names it; empty: the
    // caller's). A window station other than WinSta0 is one nobody sees.
    static Program Launch(const std::wstring& arguments, const std::wstring& exe = TarnwickExe(),
                          const std::wstring& desktop = {});
    // Starts `exe` with exactly `commandLine`, the program's name written as
    // the caller wants it (quoted or not).
    static Program LaunchWithCommandLine(std::wstring commandLine, const std::wstring& exe = TarnwickExe(),
                                         const std::wstring& desktop = {});

    Program(Program&& other) noexcept;
    Program& operator=(Program&&) = delete;
    Program(const Program&) = delete;
    // Ends the program if it still runs, so a failing test leaves nothing behind.
    ~Program();

    DWORD Id() const { return processId_; }
    bool Running() const;
    // The exit status, once the program has ended within the bound.
    std::optional<DWORD> WaitForExit(DWORD timeoutMs = kExitTimeoutMs) const;

    // A visible top-level window of this program with this caption (and, when
    // given, this window class).
    HWND WaitForWindow(const std::wstring& caption, const wchar_t* windowClass = nullptr,
                       DWORD timeoutMs = kWindowTimeoutMs) const;
    // The main window: caption "Tarnwick", not a dialog box.
    HWND WaitForMainWindow(DWORD timeoutMs = kWindowTimeoutMs) const;
    // All visible top-level windows of this program.
    std::vector<HWND> TopLevelWindows() const;

    // A message box of this program, read but left open.
    std::optional<MessageBoxInfo> WaitForMessageBox(DWORD timeoutMs = kWindowTimeoutMs) const;
    std::optional<MessageBoxInfo> FindMessageBox() const;

    // The window that has the keyboard focus in the program's user-interface thread.
    HWND Focus(HWND anyWindowOfTheThread) const;
    // Waits until the focus is on `expected`; returns the last focus seen.
    HWND WaitForFocus(HWND anyWindowOfTheThread, HWND expected,
                      DWORD timeoutMs = kWindowTimeoutMs) const;

private:
    Program(HANDLE process, HANDLE thread, DWORD processId);

    HANDLE process_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD processId_ = 0;
};

// A child control of `parent` by its text (exact) and, optionally, class.
HWND FindChild(HWND parent, const std::wstring& text, const wchar_t* windowClass = nullptr);
// All child controls of `parent`, in creation (z-) order.
std::vector<HWND> Children(HWND parent);

// Presses a button the way the keyboard's space bar would reach it.
void Click(HWND button);

// Real mouse input, in screen coordinates; every event carries its own
// position, so none of them can land where the pointer was before.
POINT CentreOf(HWND window);
void MoveMouse(POINT at);
// A left click at `at`. Never click one spot twice in a row, or the two
// clicks become a double click.
void ClickAt(POINT at);
// Closes a message box with its OK button.
void AnswerOk(const MessageBoxInfo& box);

// Polls `condition` until it is true or `timeoutMs` has passed.
bool PollUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// Saves the whole screen (the Wine virtual desktop) as a 24-bit .bmp file.
bool SaveScreenshot(const std::wstring& path);

}  // namespace tarnwick::bench
