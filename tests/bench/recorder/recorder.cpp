// Stands in for the browser and the mail program: appends the command line it
// was started with, as one UTF-8 line, to the file named by the environment
// variable TARNWICK_RECORDER_LOG (or recorder.log beside this program), then
// ends. The end-to-end tests point the shell's http, https and mailto handlers
// at it to see exactly what the program handed over.

#include <windows.h>

#include <string>

#include "win32_raii.h"

namespace {

std::wstring LogPath() {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"TARNWICK_RECORDER_LOG", buffer, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return std::wstring(buffer, length);
    const DWORD exeLength = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::wstring path(buffer, exeLength);
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"recorder.log";
}

std::string Utf8(const std::wstring& text) {
    const int wideLength = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), wideLength, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const HANDLE file = CreateFileW(LogPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    const tarnwick::UniqueHandle log(file);
    const std::string line = Utf8(GetCommandLineW()) + "\n";
    DWORD written = 0;
    const BOOL ok = WriteFile(log.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    return ok && written == line.size() ? 0 : 1;
}
