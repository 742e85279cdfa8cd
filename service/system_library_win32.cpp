#include "system_library_win32.h"

#include <string>

namespace tarnwick {

UniqueHmodule LoadFromSystemFolder(const wchar_t* name, DWORD flags) {
    UniqueHmodule module(LoadLibraryExW(name, nullptr, flags | LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    // Vista and Windows 7 without KB2533623 refuse the flag. The full path
    // then, with the DLL's imports looked up beside it first.
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return module;
    const std::wstring path = std::wstring(folder, length) + L'\\' + name;
    return UniqueHmodule(LoadLibraryExW(path.c_str(), nullptr, flags | LOAD_WITH_ALTERED_SEARCH_PATH));
}

}  // namespace tarnwick
