#pragma once

// Files and registry values as the Windows tests set them up and read them
// back: exact bytes in, exact bytes out, and everything put back afterwards.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace tarnwick::bench {

std::string Utf8(const std::wstring& text);

bool Exists(const std::wstring& path);
// The whole file; nullopt when it cannot be opened. Opened shared, so a file
// another process is still writing can be read.
std::optional<std::string> ReadWholeFile(const std::wstring& path);

// Stores a value of HKEY_LOCAL_MACHINE (or `root`) with exactly these bytes
// (creating its key): RegSetValueEx would add a missing string terminator.
// Throws std::runtime_error when it cannot.
void StoreRaw(const std::wstring& key, const std::wstring& name, DWORD type, const std::vector<BYTE>& data,
              HKEY root = HKEY_LOCAL_MACHINE);
// The UTF-16 bytes of `text`, with or without the terminating NUL.
std::vector<BYTE> StringBytes(const std::wstring& text, bool terminated);
void RemoveValue(const std::wstring& key, const std::wstring& name, HKEY root = HKEY_LOCAL_MACHINE);

// Where the screen's DPI (LogPixels, a REG_DWORD) is kept: the user's key and
// the machine's. Programs started after a change see it.
inline constexpr wchar_t kUserDpiKey[] = L"Control Panel\\Desktop";
inline constexpr wchar_t kMachineDpiKey[] = L"System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts";
inline constexpr wchar_t kDpiValue[] = L"LogPixels";
// Sets the screen's DPI in both places. Throws std::runtime_error when it cannot.
void SetScreenDpi(DWORD dpi);

}  // namespace tarnwick::bench
