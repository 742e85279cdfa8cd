#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <optional>
#include <vector>

#include "control_table.h"
#include "dpi.h"
#include "program.h"
#include "win32_raii.h"

namespace tarnwick {

// One top-level window of the program, built from its control table. What
// both windows do alike lives here: the window class, `this` attached at
// WM_NCCREATE, the exact client size in twips and centring, the controls and
// their fonts and colours, the lines painted under them, the layout made
// again at a new DPI, the keyboard cues, the focused push button given back
// when the window is activated again, Enter pressing the default button, and
// the end of the window. A window keeps only what is its own.
class Window {
public:
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Runs `call` on the window's own thread and returns once it has, throwing
    // again what it threw: the worker thread's way to the window, whose focus
    // and shutdown reason only its own thread may set. Throws Failure when the
    // window no longer exists.
    void RunOnOwnThread(FunctionRef<void()> call);

protected:
    // The window class; each window sets its own icons (WM_SETICON).
    struct ClassSpec {
        const wchar_t* name;
    };
    // The frame, and the client area in twips.
    struct FrameSpec {
        DWORD style;
        DWORD exStyle;
        const wchar_t* caption;
        int clientWidth;
        int clientHeight;
    };

    // `defaultButton` is the push button drawn as the default one, which then
    // follows the focus as in the platform's dialogs; without one, Enter
    // presses only a focused button.
    Window(HINSTANCE instance, Program& program, std::optional<std::size_t> defaultButton = std::nullopt);
    virtual ~Window();

    // Registers the class (once) and creates the window, hidden, centred on
    // the work area of the monitor that holds `placeWith` (without it, the
    // primary monitor) and laid out at that monitor's DPI, with the controls
    // of `controls` in table order (a table that outlives the window). Throws
    // Failure when the system refuses.
    template <std::size_t Count>
    void Create(const ClassSpec& windowClass, const FrameSpec& frame, HMENU menu,
                const std::array<ControlSpec, Count>& controls, HWND placeWith = nullptr) {
        Create(windowClass, frame, menu, controls.data(), Count, placeWith);
    }

    // Destroys the window while the derived object is still whole.
    void Destroy() { window_.Reset(); }

    virtual LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // A click on the push button or link label at `control` in the table.
    virtual void OnControlClick(std::size_t control) = 0;
    // WM_COMMAND from no control: a menu item, or Esc (IDCANCEL) from the dialog keys.
    virtual void OnCommandWithoutControl(int id, UINT notification) {
        (void)id;
        (void)notification;
    }
    // After the window's last message; the object may delete itself here.
    virtual void OnDestroyed() {}
    // After the controls were laid out again at a new DPI (Dpi()); what the
    // window draws at that DPI itself (icons) follows here.
    virtual void OnNewDpi() {}

    // Runs a service handler under the program's guard, its service calls on
    // a worker thread, after `first` on this one (Program::RunServiceHandler).
    void RunHandler(FailurePlace place, FunctionRef<Outcome()> handler, FunctionRef<void()> first = [] {}) {
        program_.RunServiceHandler(place, handler, first);
    }
    void RunAction(FailurePlace place, FunctionRef<void()> action);

    HWND Handle() const { return window_.Get(); }
    // The window, or Failure when it no longer exists.
    HWND RequireHandle() const;
    HWND Control(std::size_t index) const { return index < controls_.size() ? controls_[index] : nullptr; }
    HINSTANCE Instance() const { return instance_; }
    // The DPI the window is laid out and drawn at.
    int Dpi() const { return dpi_; }
    Program& TheProgram() { return program_; }
    // The cursor over link labels; the arrow when none is set.
    void SetLinkCursor(HCURSOR cursor) { linkCursor_ = cursor; }
    // Moves the keyboard focus to the push button at `button`; throws Failure
    // when the system refuses.
    void FocusButton(std::size_t button);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    void Create(const ClassSpec& windowClass, const FrameSpec& frame, HMENU menu, const ControlSpec* controls,
                std::size_t count, HWND placeWith);
    void CreateControls();
    // The fonts at dpi_, given to the controls, before the old ones go.
    void MakeFonts();
    // The frame that gives the exact client size at `dpi`.
    SIZE FrameSize(int dpi) const;
    void FitClientSize();
    std::optional<std::size_t> IndexOf(HWND control) const;
    void OnCommand(int id, HWND control, UINT notification);
    HBRUSH OnCtlColorStatic(HDC dc, HWND label);
    bool OnSetCursor(HWND under, UINT hitTest);
    void OnPaint(HWND window);
    void OnColoursChanged(UINT message, WPARAM wParam, LPARAM lParam);
    bool OnGetDpiScaledSize(int dpi, SIZE& size) const;
    void OnDpiChanged(int dpi, const RECT& suggested);
    void OnWindowPosChanged(const WINDOWPOS& position);
    void OnActivate(UINT state);
    void OnSetFocus();
    LRESULT OnGetDefId();
    void MarkDefault(std::size_t button);
    void OnNcDestroy(HWND window);
    void OnRunOnOwnThread(LPARAM call);

    HINSTANCE instance_;
    Program& program_;
    const ControlSpec* specs_ = nullptr;
    std::size_t count_ = 0;
    std::vector<HWND> controls_;  // by table index; none for lines
    FrameSpec frame_{};
    bool hasMenu_ = false;
    int dpi_ = kDefaultDpi;
    bool keyboardCuesInitialised_ = false;
    UniqueHfont standardFont_;
    UniqueHfont linkFont_;
    HCURSOR linkCursor_ = nullptr;             // a resource cursor: the system frees it
    std::size_t focus_ = 0;                    // the button given the focus on activation
    std::optional<std::size_t> defaultButton_;  // the button Enter presses when none has the focus
    // The call another thread has sent the window; only that one is run, so
    // a stray message of the same number runs nothing.
    std::atomic<const FunctionRef<void()>*> crossThreadCall_{nullptr};
    UniqueHwnd window_;                        // last: destroyed first, while the rest still exists
};

}  // namespace tarnwick
