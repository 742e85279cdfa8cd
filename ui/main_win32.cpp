#include <windows.h>
#include <commctrl.h>

#include <optional>

#include "adsi_directory_win32.h"
#include "command_line.h"
#include "computer_name_win32.h"
#include "event_log_win32.h"
#include "failure_win32.h"
#include "form1.h"
#include "message_boxes_win32.h"
#include "message_pump_win32.h"
#include "program.h"
#include "shell_win32.h"
#include "sys_info_win32.h"
#include "system_library_win32.h"
#include "system_clock_win32.h"
#include "win32_raii.h"
#include "window_station_win32.h"

namespace {

// DLLs loaded at run time (the directory providers among them) come from the
// system folder only, never from the current or the program's folder. Looked
// up by name: Vista and Windows 7 have the call only with KB2533623, and
// without it the program runs with the default search order.
void RestrictDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto restrict =
        tarnwick::NewerSystemFunction<SetDefaultDllDirectoriesFn>(L"kernel32.dll", "SetDefaultDllDirectories");
    if (restrict) restrict(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// The message loop; its result is the exit status.
int RunMessageLoop() {
    MSG message{};
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(message.wParam);
        if (got == -1) throw tarnwick::FailureFromLastError();
        tarnwick::DispatchProgramMessage(message);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    using namespace tarnwick;

    RestrictDllSearch();
    // A corrupted heap ends the process instead of letting it run on. Nothing
    // depends on the result: older systems end it anyway.
    (void)HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);

    // The one path for message boxes and the program-wide guard come first:
    // every failure from here on is reported through them. Where nobody sees
    // a window, a box would wait for ever: the reports go to the event log.
    const bool unattended = !WindowStationIsVisible();
    Win32MessageBoxes boxes;
    Win32EventLog eventLog;
    EventLogReports events(eventLog);
    Program program(unattended ? static_cast<MessageBoxes&>(events) : boxes, unattended, &eventLog);

    // Registers the visual-style controls of the manifest's Common Controls 6.
    // Should it fail, the system's plain buttons serve as well.
    INITCOMMONCONTROLSEX commonControls{sizeof commonControls, ICC_STANDARD_CLASSES};
    (void)InitCommonControlsEx(&commonControls);

    // The adapters, made once and handed to the windows. Everything before
    // the message loop belongs to the launch.
    try {
        const std::wstring argumentText = ArgumentText(GetCommandLineW());
        if (unattended && !UnattendedLaunchGoesOn(argumentText, events)) EndProgram(ExitCode::Done);
        Win32ComputerName names;
        // Used on the worker thread, which sets COM up for it.
        AdsiDirectory directory;
        // COM on the windows' thread, for the shell and the About dialog, is
        // set up once the launch decision is over, so that the window shows
        // without waiting for COM's libraries; it outlasts their objects.
        std::optional<ScopedComInit> windowThreadCom;
        SystemClock clock;
        Win32Shell shell;
        Win32Registry registry;
        Win32ProgramFiles files;
        ShellAdapters adapters{shell, registry, files};
        Form1 form(instance, program, names, directory, clock, adapters);
        form.Load(argumentText);
        windowThreadCom.emplace(COINIT_APARTMENTTHREADED);  // should it fail, their calls fail and say so
        // Unattended, the launch falls back to the window only when the
        // switch service was neither stopped nor running; nobody could use it.
        if (unattended)
            program.EndAfterReport(UndecidedUnattendedText(form.SwitchService()), MessageIcon::Warning,
                                   ExitCode::StrictFailure);
        return RunMessageLoop();
    } catch (...) {
        program.EndWithStrictFailure(FailureFromCurrentException(), FailurePlace::Switching);
    }
}
