#pragma once

#include <string>

#include "message_boxes.h"

namespace tarnwick {

// The kinds of event the Application log tells apart.
enum class EventType { Error, Warning, Information };

// The Application event log, under the program's event source.
class EventLog {
public:
    virtual ~EventLog() = default;

    // Writes one event whose whole text is `text`. Throws Failure when the
    // system refuses.
    virtual void Write(EventType type, const std::wstring& text) = 0;
};

// The reports of a run nobody sees (a scheduled task run whether the user is
// logged on or not, or as the system account), where a message box would
// wait for ever: each becomes an event with the box's text, of the type the
// box's icon stands for.
class EventLogReports final : public MessageBoxes {
public:
    explicit EventLogReports(EventLog& log) : log_(log) {}

    // The caption is dropped: the event source names the program.
    void Show(const std::wstring& text, const std::wstring& caption, MessageIcon icon) override;

private:
    EventLog& log_;
};

inline constexpr wchar_t kNothingToDoUnattendedText[] =
    L"Tarnwick was started without -on, -off or -auto where nobody can see its window (as a scheduled "
    L"task, for example), so there was nothing for it to do. Nothing was changed. To switch the IIS "
    L"services unattended, start tarnwick.exe -on, -off or -auto.";
// `switchService` (IISADMIN, or W3SVC on IIS 7 and later) was neither
// stopped nor running, so an unattended "-auto" could not tell which way to switch.
std::wstring UndecidedUnattendedText(const std::wstring& switchService);

// Unattended, only an argument that switches without a user gives the
// program something to do.
// Otherwise `reports` is told so, and the launch ends there. True when it
// goes on.
bool UnattendedLaunchGoesOn(const std::wstring& argumentText, MessageBoxes& reports);

}  // namespace tarnwick
