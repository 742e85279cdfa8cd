#include "failure_win32.h"

#include <memory>

namespace tarnwick {

namespace {
struct LocalFreeFn {
    void operator()(wchar_t* p) const { LocalFree(p); }
};
}  // namespace

std::wstring SystemMessage(HRESULT code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const std::unique_ptr<wchar_t, LocalFreeFn> owner(buffer);
    std::wstring text(buffer ? buffer : L"", length);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text;
}

Failure FailureFromHresult(HRESULT code) {
    return Failure(static_cast<std::int32_t>(code), SystemMessage(code));
}

Failure FailureFromLastError(HRESULT fallback) {
    // Some calls fail without setting the last error; "success" must not be
    // what the user is told then.
    const DWORD error = GetLastError();
    return FailureFromHresult(error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : fallback);
}

}  // namespace tarnwick
