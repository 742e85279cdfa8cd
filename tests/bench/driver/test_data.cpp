#include "test_data.h"

#include <winternl.h>

#include <stdexcept>

#include "win32_raii.h"

namespace tarnwick::bench {

std::string Utf8(const std::wstring& text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), length, nullptr,
                        nullptr);
    return utf8;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
    const HANDLE opened = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return std::nullopt;
    const UniqueHandle file(opened);
    std::string content;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) content.append(buffer, read);
    return content;
}

void StoreRaw(const std::wstring& key, const std::wstring& name, DWORD type, const std::vector<BYTE>& data,
              HKEY root) {
    using NtSetValueKeyFn = LONG(NTAPI*)(HANDLE, UNICODE_STRING*, ULONG, ULONG, const void*, ULONG);
    const auto ntSetValueKey = reinterpret_cast<NtSetValueKeyFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetValueKey")));
    if (!ntSetValueKey) throw std::runtime_error("no NtSetValueKey");
    UniqueHkey opened;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, opened.Put(),
                        nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create the key " + Utf8(key));
    std::wstring nameCopy = name;
    UNICODE_STRING valueName;
    valueName.Buffer = nameCopy.data();
    valueName.Length = static_cast<USHORT>(nameCopy.size() * sizeof(wchar_t));
    valueName.MaximumLength = valueName.Length;
    if (ntSetValueKey(opened.Get(), &valueName, 0, type, data.data(), static_cast<ULONG>(data.size())) != 0)
        throw std::runtime_error("cannot store " + Utf8(key) + "\\" + Utf8(name));
}

std::vector<BYTE> StringBytes(const std::wstring& text, bool terminated) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(bytes, bytes + (text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
}

void RemoveValue(const std::wstring& key, const std::wstring& name, HKEY root) {
    UniqueHkey opened;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE, opened.Put()) == ERROR_SUCCESS)
        RegDeleteValueW(opened.Get(), name.c_str());
}

void SetScreenDpi(DWORD dpi) {
    const auto* bytes = reinterpret_cast<const BYTE*>(&dpi);
    const std::vector<BYTE> data(bytes, bytes + sizeof dpi);
    StoreRaw(kUserDpiKey, kDpiValue, REG_DWORD, data, HKEY_CURRENT_USER);
    StoreRaw(kMachineDpiKey, kDpiValue, REG_DWORD, data);
}

}  // namespace tarnwick::bench
