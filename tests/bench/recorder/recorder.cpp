// Stands in for the browser and the mail program: appends the command line it
// was started with, as one UTF-8 line, to the file named by the environment
// variable TARNWICK_RECORDER_LOG (or recorder.log beside this program), then
// ends. With the variable set, it also appends the name of the program that
// started it to the same file name + ".parents". The end-to-end tests point the shell's http, https and mailto handlers
// at it to see exactly what the program handed over.

#include <windows.h>
#include <tlhelp32.h>

#include <string>

#include "win32_raii.h"

namespace {

std::wstring NamedLog() {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"TARNWICK_RECORDER_LOG", buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

std::wstring LogPath() {
    if (const std::wstring named = NamedLog(); !named.empty()) return named;
    wchar_t buffer[MAX_PATH];
    const DWORD exeLength = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::wstring path(buffer, exeLength);
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"recorder.log";
}

// The executable name of the process that started this one.
std::wstring ParentName() {
    const tarnwick::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry))
        if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry))
        if (entry.th32ProcessID == parent) return entry.szExeFile;
    return L"?";
}

std::string Utf8(const std::wstring& text) {
    const int wideLength = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), wideLength, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

bool Append(const std::wstring& path, const std::string& line) {
    const HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const tarnwick::UniqueHandle log(file);
    DWORD written = 0;
    return WriteFile(log.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
           written == line.size();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The parent first: once the command line is in the log, a test may read both.
    if (const std::wstring named = NamedLog(); !named.empty() && !Append(named + L".parents", Utf8(ParentName()) + "\n"))
        return 1;
    return Append(LogPath(), Utf8(GetCommandLineW()) + "\n") ? 0 : 1;
}
