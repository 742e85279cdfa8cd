#include "shell_win32.h"

#include <shellapi.h>

#include <climits>

#include "failure_win32.h"

namespace tarnwick {

std::string AnsiFromWide(const std::wstring& text) {
    if (text.empty()) return {};
    if (text.size() > static_cast<std::size_t>(INT_MAX)) throw FailureFromHresult(E_INVALIDARG);
    const int wideLength = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (length == 0) throw FailureFromLastError();
    std::string ansi(static_cast<std::size_t>(length), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, text.data(), wideLength, ansi.data(), length, nullptr, nullptr) == 0)
        throw FailureFromLastError();
    return ansi;
}

std::int64_t Win32Shell::Execute(void* owner,
                                 const std::optional<std::wstring>& verb,
                                 const std::wstring& file,
                                 const std::optional<std::wstring>& parameters,
                                 const std::wstring& directory,
                                 int showCommand) {
    // Converted up front: the pointers handed to the shell must outlive the call.
    const std::optional<std::string> ansiVerb =
        verb ? std::optional<std::string>(AnsiFromWide(*verb)) : std::nullopt;
    const std::string ansiFile = AnsiFromWide(file);
    const std::optional<std::string> ansiParameters =
        parameters ? std::optional<std::string>(AnsiFromWide(*parameters)) : std::nullopt;
    const std::string ansiDirectory = AnsiFromWide(directory);

    const HINSTANCE result = ShellExecuteA(static_cast<HWND>(owner),
                                           ansiVerb ? ansiVerb->c_str() : nullptr,
                                           ansiFile.c_str(),
                                           ansiParameters ? ansiParameters->c_str() : nullptr,
                                           ansiDirectory.c_str(),
                                           showCommand);
    return static_cast<std::int64_t>(reinterpret_cast<INT_PTR>(result));
}

void Win32MessageBoxes::Show(const std::wstring& text, const std::wstring& caption, MessageIcon icon) {
    const UINT iconFlag = icon == MessageIcon::Error ? MB_ICONERROR : 0;
    // The answer carries nothing, OK being the only button; 0 means no box was shown.
    if (MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_TASKMODAL | iconFlag) == 0)
        throw FailureFromLastError();
}

void OpenHomePage() {
    Win32Shell shell;
    Win32MessageBoxes boxes;
    OpenHomePage(shell, boxes);
}

void SendInfoMail() {
    Win32Shell shell;
    Win32MessageBoxes boxes;
    SendInfoMail(shell, boxes);
}

}  // namespace tarnwick
