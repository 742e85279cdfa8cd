// A stand-in for an attacker's activeds.dll, planted where a careless program
// would pick it up. Whoever loads it leaves a trace: the loading program's
// path, appended to "<this DLL's path>.loaded", and a second line for each call
// of its ADsGetObject, which only fails.

#include <windows.h>

#include <string>

namespace {

void Record(const char* event) {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&Record), &self);
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const std::wstring marker = std::wstring(path, length) + L".loaded";
    const HANDLE file = CreateFileW(marker.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    char program[MAX_PATH];
    const DWORD programLength = GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string line = std::string(event) + " " + std::string(program, programLength) + "\r\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" __declspec(dllexport) HRESULT WINAPI ADsGetObject(LPCWSTR, REFIID, void** object) {
    Record("ADsGetObject");
    if (object) *object = nullptr;
    return E_ACCESSDENIED;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) Record("loaded");
    return TRUE;
}
