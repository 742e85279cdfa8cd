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

// Closes the key it was given on every way out of the reading routine. A key
// that never opened is still 0 and needs no close.
class KeyCloser {
public:
    explicit KeyCloser(Registry& registry) : registry_(registry) {}
    KeyCloser(const KeyCloser&) = delete;
    KeyCloser& operator=(const KeyCloser&) = delete;
    ~KeyCloser() {
        if (key_ != 0) registry_.CloseKey(key_);
    }

    RegistryKey& Key() { return key_; }

private:
    Registry& registry_;
    RegistryKey key_ = 0;
};

// The stored bytes, less the last one when it is a terminating NUL; a string
// stored without a terminator stays whole.
std::string_view Trim(const std::string& buffer, std::uint32_t size) {
    if (size == 0) throw Failure(kInvalidArgument, L"The registry value holds no bytes.");
    if (size > buffer.size()) throw Failure(kInvalidArgument, L"The registry value overran its buffer.");
    return std::string_view(buffer.data(), buffer[size - 1] == '\0' ? size - 1 : size);
}

// A REG_DWORD is stored little-endian whatever the processor.
std::wstring DwordText(const std::string& buffer) {
    std::uint32_t number = 0;
    for (std::size_t i = 4; i-- > 0;) number = (number << 8) | static_cast<unsigned char>(buffer[i]);
    return DecimalText(number);
}

}  // namespace

bool SysInfoLauncher::GetKeyValue(RegistryRoot keyRoot, const std::wstring& keyName,
                                  const std::wstring& subKeyRef, std::wstring& keyVal) {
    KeyCloser key(registry_);
    if (registry_.OpenKey(keyRoot, keyName, kKeyRead, key.Key()) != 0) {
        keyVal.clear();
        return false;
    }

    std::string buffer(kValueBufferSize, '\0');
    std::uint32_t size = kValueBufferSize;
    std::uint32_t type = 0;
    // A value longer than the buffer fails here too (ERROR_MORE_DATA).
    if (registry_.QueryValue(key.Key(), subKeyRef, type, buffer.data(), size) != 0) {
        keyVal.clear();
        return false;
    }

    const std::string_view stored = Trim(buffer, size);
    switch (type) {
    case kRegSz:
        keyVal = registry_.FromAnsi(stored);
        break;
    case kRegDword:
        keyVal = DwordText(buffer);
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
            files_.Start(path);  // used unchanged: a wrong path fails to start
            return;
        }
        if (GetKeyValue(kHkeyLocalMachine, kFolderKey, kFolderValue, path) &&
            files_.IsNormalFile(path + kProgramInFolder)) {
            path += kProgramInFolder;
            files_.Start(path);
            return;
        }
    } catch (const std::exception&) {
        // Deliberately not reported as such: every failure on the way means
        // the tool is unavailable, and the program goes on.
    }
    boxes_.Show(kSysInfoUnavailable, kApplicationTitle, MessageIcon::None);
}

}  // namespace tarnwick
