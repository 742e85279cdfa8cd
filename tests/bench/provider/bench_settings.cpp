#include "bench_settings.h"

#include <cstdio>
#include <vector>

#include "provider_config.h"
#include "win32_raii.h"

namespace tarnwick::bench {

namespace {

std::wstring SettingsKey(const std::wstring& service) {
    return service.empty() ? std::wstring(kProviderKey)
                           : std::wstring(kProviderKey) + L"\\" + service;
}

// The settings key in the 64-bit view, where the driver writes it: the x86
// provider, loaded by the x86 program, would otherwise read the 32-bit one.
UniqueHkey SettingsKeyOpened(const std::wstring& key) {
    UniqueHkey opened;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY,
                      opened.Put()) != ERROR_SUCCESS)
        return UniqueHkey();
    return opened;
}

DWORD ReadDword(const std::wstring& service, const wchar_t* value) {
    DWORD data = 0;
    DWORD size = sizeof data;
    const UniqueHkey key = SettingsKeyOpened(SettingsKey(service));
    if (!key || RegGetValueW(key.Get(), nullptr, value, RRF_RT_REG_DWORD, nullptr, &data, &size) != ERROR_SUCCESS)
        return 0;
    return data;
}

std::wstring JournalPath() {
    DWORD size = 0;
    const UniqueHkey key = SettingsKeyOpened(kProviderKey);
    if (!key || RegGetValueW(key.Get(), nullptr, kJournalValue, RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
                    ERROR_SUCCESS || size < sizeof(wchar_t))
        return {};
    std::wstring path(size / sizeof(wchar_t), L'\0');
    if (RegGetValueW(key.Get(), nullptr, kJournalValue, RRF_RT_REG_SZ, nullptr, path.data(), &size) !=
        ERROR_SUCCESS)
        return {};
    path.resize(wcsnlen(path.c_str(), path.size()));
    return path;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length,
                        nullptr, nullptr);
    return out;
}

std::string Hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", value);
    return text;
}

const char* TypeName(VARTYPE type) {
    switch (type) {
        case VT_EMPTY: return "VT_EMPTY";
        case VT_NULL: return "VT_NULL";
        case VT_I2: return "VT_I2";
        case VT_I4: return "VT_I4";
        case VT_R4: return "VT_R4";
        case VT_R8: return "VT_R8";
        case VT_CY: return "VT_CY";
        case VT_DATE: return "VT_DATE";
        case VT_BSTR: return "VT_BSTR";
        case VT_DISPATCH: return "VT_DISPATCH";
        case VT_ERROR: return "VT_ERROR";
        case VT_BOOL: return "VT_BOOL";
        case VT_VARIANT: return "VT_VARIANT";
        case VT_UNKNOWN: return "VT_UNKNOWN";
        case VT_DECIMAL: return "VT_DECIMAL";
        case VT_I1: return "VT_I1";
        case VT_UI1: return "VT_UI1";
        case VT_UI2: return "VT_UI2";
        case VT_UI4: return "VT_UI4";
        case VT_I8: return "VT_I8";
        case VT_UI8: return "VT_UI8";
        case VT_INT: return "VT_INT";
        case VT_UINT: return "VT_UINT";
        default: return nullptr;
    }
}

}  // namespace

HRESULT InjectedFault(const std::wstring& service, const wchar_t* value) {
    return static_cast<HRESULT>(ReadDword(service, value));
}

HRESULT TakeStatusFault(const std::wstring& service) {
    const DWORD pending = ReadDword(service, kFailStatusCountValue);
    if (pending == 0) return S_OK;
    const DWORD left = pending - 1;
    if (const UniqueHkey key = SettingsKeyOpened(SettingsKey(service)))
        RegSetValueExW(key.Get(), kFailStatusCountValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&left),
                       sizeof left);
    const HRESULT code = static_cast<HRESULT>(ReadDword(service, kFailStatusCodeValue));
    return code != S_OK ? code : E_FAIL;
}

std::string DescribeBstr(const wchar_t* text) {
    if (!text) return "VT_BSTR:null";
    std::string out = "VT_BSTR:\"";
    for (const char c : Utf8(text)) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out + "\"";
}

std::string DescribeVariant(const VARIANT& value) {
    const VARTYPE type = V_VT(&value);
    if (type == (VT_BYREF | VT_VARIANT))
        return "VT_BYREF|VT_VARIANT:" +
               (V_VARIANTREF(&value) ? DescribeVariant(*V_VARIANTREF(&value)) : "null");
    const std::string byref = (type & VT_BYREF) ? "VT_BYREF|" : "";
    const VARTYPE base = type & ~VT_BYREF;
    const char* name = TypeName(base);
    if ((base & VT_ARRAY) || !name) return byref + "VT_" + Hex(type);
    switch (base) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_DISPATCH:
        case VT_UNKNOWN:
            return byref + name;
        case VT_BSTR:
            if (type & VT_BYREF) return byref + DescribeBstr(V_BSTRREF(&value) ? *V_BSTRREF(&value) : nullptr);
            return DescribeBstr(V_BSTR(&value));
        default:
            break;
    }
    UniqueVariant text;
    // VariantCopyInd takes a non-const source but only reads it.
    if (FAILED(VariantCopyInd(text.Get(), const_cast<VARIANT*>(&value)))) return byref + name + ":?";
    if (base == VT_ERROR) return byref + name + ":" + Hex(static_cast<unsigned long>(V_ERROR(text.Get())));
    if (FAILED(VariantChangeTypeEx(text.Get(), text.Get(), LOCALE_INVARIANT, 0, VT_BSTR)))
        return byref + name + ":?";
    return byref + name + ":" + Utf8(V_BSTR(text.Get()));
}

void Journal(const std::wstring& object, const std::wstring& member, const char* kind,
             const std::string& args, HRESULT result, const std::string& value) {
    const std::wstring path = JournalPath();
    if (path.empty()) return;
    LARGE_INTEGER counter{};
    LARGE_INTEGER frequency{};
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    char ms[32];
    std::snprintf(ms, sizeof ms, "%.3f",
                  static_cast<double>(counter.QuadPart) * 1000.0 /
                      static_cast<double>(frequency.QuadPart));
    std::string line = std::string(ms) + "\t" + Utf8(object) + "\t" + Utf8(member) + "\t" + kind +
                       "\t" + args + "\t" + Hex(static_cast<unsigned long>(result));
    if (!value.empty()) line += " " + value;
    line += "\n";

    // Open, append, close per line: tests read the file while programs run.
    const HANDLE opened = CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return;
    const UniqueHandle file(opened);
    DWORD written = 0;
    WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace tarnwick::bench
