#pragma once

#include "unattended.h"

namespace tarnwick {

// EventLog over ReportEvent, under the source "Tarnwick". The installer
// registers the source with tarnwick.exe as its message file, whose message
// table turns the event's one string into its text.
class Win32EventLog final : public EventLog {
public:
    void Write(EventType type, const std::wstring& text) override;
};

}  // namespace tarnwick
