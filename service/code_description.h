#pragma once

#include <cstdint>
#include <string>

namespace tarnwick {

// The message tables a status code's description can come from.
class MessageTables {
public:
    virtual ~MessageTables() = default;
    // The system's own text for `code`; empty when it has none.
    virtual std::wstring System(std::int32_t code) = 0;
    // The text in the directory service's own library; empty when it has none.
    virtual std::wstring DirectoryService(std::int32_t code) = 0;
};

// Codes of the directory service (0x80005000 to 0x80005FFF), which the
// system's table does not describe.
constexpr bool IsDirectoryServiceCode(std::int32_t code) {
    return (static_cast<std::uint32_t>(code) & 0xFFFFF000u) == 0x80005000u;
}

// The description users are shown for `code`: the system's text, or for a
// directory-service code the directory service's own; empty when no table
// has one.
std::wstring DescribeCode(std::int32_t code, MessageTables& tables);

}  // namespace tarnwick
