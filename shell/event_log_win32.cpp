#include "event_log_win32.h"

#include <windows.h>

#include "failure_win32.h"
#include "resource_ids.h"
#include "win32_raii.h"

namespace tarnwick {

namespace {

constexpr wchar_t kEventSource[] = L"Tarnwick";

WORD TypeFlag(EventType type) {
    switch (type) {
    case EventType::Error:
        return EVENTLOG_ERROR_TYPE;
    case EventType::Warning:
        return EVENTLOG_WARNING_TYPE;
    case EventType::Information:
        break;
    }
    return EVENTLOG_INFORMATION_TYPE;
}

}  // namespace

void Win32EventLog::Write(EventType type, const std::wstring& text) {
    const UniqueEventSource source(RegisterEventSourceW(nullptr, kEventSource));
    if (!source) throw FailureFromLastError();
    const wchar_t* strings[] = {text.c_str()};
    if (!ReportEventW(source.Get(), TypeFlag(type), 0, TARNWICK_EVENT_REPORT, nullptr, 1, 0, strings, nullptr))
        throw FailureFromLastError();
}

}  // namespace tarnwick
