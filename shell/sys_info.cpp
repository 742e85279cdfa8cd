#include "sys_info.h"

#include <exception>

#include "failure.h"
#include "messages.h"
#include "number_text.h"

namespace tarnwick {

namespace {

constexpr wchar_t kToolKey[] = L"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr wchar_t kToolValue[] = L"PATH";
constexpr wchar_t kFolderKey[] = L"SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr wchar_t kFolderValue[] = L"MSINFO";
constexpr wchar_t kProgramInFolder[] = L"\\MSINFO32.EXE";

constexpr std::int32_t kInvalidArgument = static_cast<std::int32_t>(0x80070057u);  // E_INVALIDARG

// The stored bytes, less the last one when it is a terminating NUL; a string
// stored without a terminator stays whole.
std::string_view Trim(const std::string& stored) {
    if (stored.empty()) throw Failure(kInvalidArgument, L"The registry value holds no bytes.");
    return std::string_view(stored.data(), stored.back() == '\0' ? stored.size() - 1 : stored.size());
}

// A REG_DWORD is stored little-endian whatever the processor. The bytes
// missing from a shorter value count as the buffer's NULs.
std::wstring DwordText(const std::string& stored) {
    std::uint32_t number = 0;
    for (std::size_t i = 4; i-- > 0;)
        number = (number << 8) | (i < stored.size() ? static_cast<unsigned char>(stored[i]) : 0u);
    return DecimalText(number);
}

}  // namespace

ProgramStart ProgramStartFor(const std::wstring& pathText) {
    if (!pathText.empty() && pathText.front() == L'"') {
        const auto close = pathText.find(L'"', 1);
        const auto end = close == std::wstring::npos ? pathText.size() : close;
        return {pathText.substr(1, end - 1), pathText};
    }
    // The quoted copy is what the program sees as its own name.
    return {pathText, L"\"" + pathText + L"\""};
}

bool SysInfoLauncher::GetKeyValue(RegistryRoot keyRoot, const std::wstring& keyName,
                                  const std::wstring& subKeyRef, std::wstring& keyVal) {
    const std::optional<RegistryValue> value = registry_.ReadValue(keyRoot, keyName, subKeyRef, kValueBufferSize);
    if (!value) {
        keyVal.clear();
        return false;
    }

    const std::string_view stored = Trim(value->bytes);
    switch (value->type) {
    case kRegSz:
        keyVal = registry_.FromAnsi(stored);
        break;
    case kRegDword:
        keyVal = DwordText(value->bytes);
        break;
    default:
        break;  // found, but not a type read as text: the caller's text stays
    }
    return true;
}

void SysInfoLauncher::StartSysInfo() {
    try {
        std::wstring path;
        if (GetKeyValue(kHkeyLocalMachine, kToolKey, kToolValue, path)) {
            files_.Start(ProgramStartFor(path));  // used unchanged: a wrong path fails to start
            return;
        }
        if (GetKeyValue(kHkeyLocalMachine, kFolderKey, kFolderValue, path) &&
            files_.IsNormalFile(path + kProgramInFolder)) {
            path += kProgramInFolder;
            files_.Start(ProgramStartFor(path));
            return;
        }
    } catch (const std::exception&) {
        // Deliberately not reported as such: every failure on the way means
        // the tool is unavailable, and the program goes on.
    }
    boxes_.Show(kSysInfoUnavailable, kApplicationTitle, MessageIcon::None);
}

}  // namespace tarnwick
