#include "dll_report.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "provider_config.h"
#include "test_data.h"

namespace tarnwick::bench::perf {

namespace {

std::wstring Lower(std::wstring text) {
    if (!text.empty())
        CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::wstring FileName(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }
std::wstring Folder(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/") + 1); }

}  // namespace

std::wstring SystemFolder() {
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    return std::wstring(path, length) + L"\\";
}

std::string WindowsOwnFolder(const std::wstring& folder) {
    if (SameName(folder, SystemFolder())) return "system folder";
    wchar_t windows[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring store = std::wstring(windows, length) + L"\\winsxs\\";
    if (folder.size() > store.size() && SameName(folder.substr(0, store.size()), store))
        return "Windows' side-by-side store";
    return {};
}

std::wstring StandInProviderFile() {
    const std::wstring key = std::wstring(L"SOFTWARE\\Classes\\CLSID\\") + kProviderClsid + L"\\InprocServer32";
    wchar_t path[MAX_PATH];
    DWORD size = sizeof path;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path, &size) != ERROR_SUCCESS)
        return {};
    return path;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

DllReport::DllReport(const std::wstring& exe) : exeName_(Lower(FileName(exe))), image_(ReadImports(exe)) {
    const auto named = [&](const std::vector<std::string>& list, const char* how) {
        for (const auto& name : list) loaded_.emplace(Utf8(Lower(Wide(name))), Dll{name, how, {}, {}});
    };
    named(image_.imported, "imported");
    named(image_.delayLoaded, "delay-loaded");
}

void DllReport::Seen(const std::string& moment, const ModuleList& modules) {
    if (!modules.notListed.empty()) {
        failures_.insert("DLLs loaded (" + moment + "): " + modules.notListed);
        return;
    }
    if (std::find(moments_.begin(), moments_.end(), moment) == moments_.end()) moments_.push_back(moment);
    for (const auto& path : modules.files) {
        const std::wstring key = Lower(FileName(path));
        if (key == exeName_) continue;
        auto found = loaded_.find(Utf8(key));
        if (found == loaded_.end())
            found = loaded_.emplace(Utf8(key), Dll{Utf8(FileName(path)), "loaded at run time", {}, {}}).first;
        found->second.folder = Folder(path);
        auto& moments = found->second.moments;
        if (std::find(moments.begin(), moments.end(), moment) == moments.end()) moments.push_back(moment);
    }
}

std::vector<DllReport::Dll> DllReport::Dlls() const {
    std::vector<Dll> dlls;
    for (const auto& [key, dll] : loaded_) dlls.push_back(dll);
    const auto rank = [](const Dll& dll) { return dll.how == "imported" ? 0 : dll.how == "delay-loaded" ? 1 : 2; };
    std::stable_sort(dlls.begin(), dlls.end(), [&](const Dll& a, const Dll& b) { return rank(a) < rank(b); });
    return dlls;
}

}  // namespace tarnwick::bench::perf
