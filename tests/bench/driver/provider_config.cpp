#include "provider_config.h"

#include <sstream>
#include <stdexcept>

#include "test_data.h"
#include "win32_raii.h"

namespace tarnwick::bench {

namespace {

[[noreturn]] void ThrowRegistry(const char* what, LSTATUS status) {
    throw std::runtime_error(std::string(what) + " failed with error " + std::to_string(status));
}

UniqueHkey CreateKey(const std::wstring& subkey) {
    UniqueHkey key;
    const LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, nullptr, 0,
                                           KEY_READ | KEY_WRITE | KEY_WOW64_64KEY, nullptr,
                                           key.Put(), nullptr);
    if (status != ERROR_SUCCESS) ThrowRegistry("RegCreateKeyEx", status);
    return key;
}

std::wstring ServiceKey(const std::wstring& service) {
    return std::wstring(kProviderKey) + L"\\" + service;
}

void SetDword(const std::wstring& subkey, const wchar_t* name, DWORD value) {
    const UniqueHkey key = CreateKey(subkey);
    const LSTATUS status = RegSetValueExW(key.Get(), name, 0, REG_DWORD,
                                          reinterpret_cast<const BYTE*>(&value), sizeof value);
    if (status != ERROR_SUCCESS) ThrowRegistry("RegSetValueEx", status);
}

const wchar_t* FaultValue(ServiceFault fault) {
    switch (fault) {
        case ServiceFault::Lookup: return kFailLookupValue;
        case ServiceFault::SetInfo: return kFailSetInfoValue;
        case ServiceFault::Start: return kFailStartValue;
        case ServiceFault::Stop: return kFailStopValue;
    }
    throw std::invalid_argument("unknown service fault");
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    for (;;) {
        const auto tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

}  // namespace

void SetJournal(const std::wstring& path) {
    const UniqueHkey key = CreateKey(kProviderKey);
    if (path.empty()) {
        const LSTATUS status = RegDeleteValueW(key.Get(), kJournalValue);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            ThrowRegistry("RegDeleteValue", status);
        return;
    }
    // Empty the file first so the provider never appends to an old journal.
    const HANDLE created = CreateFileW(path.c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot create the journal file, error " +
                                 std::to_string(GetLastError()));
    const UniqueHandle emptied(created);  // only the truncation matters
    const auto bytes = static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t));
    const LSTATUS status = RegSetValueExW(key.Get(), kJournalValue, 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(path.c_str()), bytes);
    if (status != ERROR_SUCCESS) ThrowRegistry("RegSetValueEx", status);
}

void ClearProviderConfig() {
    const LSTATUS status = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kProviderKey, KEY_WOW64_64KEY, 0);
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) return;
    // The key has subkeys: empty it, then remove it.
    UniqueHkey key;
    const LSTATUS opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProviderKey, 0,
                                         KEY_ALL_ACCESS | KEY_WOW64_64KEY, key.Put());
    if (opened == ERROR_FILE_NOT_FOUND) return;
    if (opened != ERROR_SUCCESS) ThrowRegistry("RegOpenKeyEx", opened);
    const LSTATUS emptied = RegDeleteTreeW(key.Get(), nullptr);
    if (emptied != ERROR_SUCCESS) ThrowRegistry("RegDeleteTree", emptied);
    key.Reset();
    const LSTATUS removed = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kProviderKey, KEY_WOW64_64KEY, 0);
    if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND)
        ThrowRegistry("RegDeleteKeyEx", removed);
}

void InjectBindFault(HRESULT code) {
    SetDword(kProviderKey, kFailBindValue, static_cast<DWORD>(code));
}

void InjectFault(const std::wstring& service, ServiceFault fault, HRESULT code) {
    SetDword(ServiceKey(service), FaultValue(fault), static_cast<DWORD>(code));
}

void InjectStatusFaults(const std::wstring& service, DWORD count, HRESULT code) {
    SetDword(ServiceKey(service), kFailStatusCodeValue, static_cast<DWORD>(code));
    SetDword(ServiceKey(service), kFailStatusCountValue, count);
}

DWORD PendingStatusFaults(const std::wstring& service) {
    DWORD value = 0;
    DWORD size = sizeof value;
    const LSTATUS status =
        RegGetValueW(HKEY_LOCAL_MACHINE, ServiceKey(service).c_str(), kFailStatusCountValue,
                     RRF_RT_REG_DWORD | RRF_SUBKEY_WOW6464KEY, nullptr, &value, &size);
    if (status == ERROR_FILE_NOT_FOUND) return 0;
    if (status != ERROR_SUCCESS) ThrowRegistry("RegGetValue", status);
    return value;
}

std::vector<JournalEntry> ReadJournal(const std::wstring& path) {
    std::vector<JournalEntry> entries;
    const auto content = ReadWholeFile(path);
    if (!content) return entries;
    const std::string& text = *content;

    // A line is complete once its line break is there; the provider may be
    // writing the next one right now.
    std::string::size_type start = 0;
    for (auto end = text.find('\n'); end != std::string::npos;
         start = end + 1, end = text.find('\n', start)) {
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const auto fields = SplitTabs(line);
        if (fields.size() != 6) throw std::runtime_error("malformed journal line: " + line);
        JournalEntry entry;
        std::istringstream ms(fields[0]);
        ms.imbue(std::locale::classic());
        if (!(ms >> entry.ms)) throw std::runtime_error("malformed journal time: " + line);
        entry.object = fields[1];
        entry.member = fields[2];
        entry.kind = fields[3];
        entry.args = fields[4];
        entry.result = fields[5];
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace tarnwick::bench
