#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "links.h"
#include "message_boxes.h"

namespace tarnwick {

// `text` in the system's ANSI code page, for the "A" entry points the program
// calls by name. Throws Failure when the conversion fails.
std::string AnsiFromWide(const std::wstring& text);

// Shell over ShellExecuteA.
class Win32Shell : public Shell {
public:
    std::int64_t Execute(void* owner,
                         const std::optional<std::wstring>& verb,
                         const std::wstring& file,
                         const std::optional<std::wstring>& parameters,
                         const std::wstring& directory,
                         int showCommand) override;
};

// MessageBoxes over MessageBoxW. The box has no owner but is task-modal: like
// a box owned by the active window, it keeps every window of the program
// from reacting until it is closed.
class Win32MessageBoxes : public MessageBoxes {
public:
    void Show(const std::wstring& text, const std::wstring& caption, MessageIcon icon) override;
};

// The link routines as the windows call them: with the real shell and boxes.
void OpenHomePage();
void SendInfoMail();

}  // namespace tarnwick
