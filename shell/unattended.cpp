#include "unattended.h"

#include "command_line.h"
#include "messages.h"

namespace tarnwick {

namespace {
EventType TypeFor(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Error:
        return EventType::Error;
    case MessageIcon::Warning:
        return EventType::Warning;
    case MessageIcon::Information:
    case MessageIcon::None:
        break;
    }
    return EventType::Information;
}
}  // namespace

void EventLogReports::Show(const std::wstring& text, const std::wstring&, MessageIcon icon) {
    log_.Write(TypeFor(icon), text);
}

std::wstring UndecidedUnattendedText(const std::wstring& switchService) {
    return switchService +
           L" was neither stopped nor running (it was starting, stopping or paused), so Tarnwick could not tell "
           L"which way to switch. Nothing was changed.";
}

bool UnattendedLaunchGoesOn(const std::wstring& argumentText, MessageBoxes& reports) {
    if (LaunchModeOf(argumentText) != LaunchMode::Window) return true;
    reports.Show(kNothingToDoUnattendedText, kApplicationTitle, MessageIcon::Information);
    return false;
}

}  // namespace tarnwick
