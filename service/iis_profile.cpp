#include "iis_profile.h"

#include <cstddef>
#include <cstdint>

namespace tarnwick {

namespace {
constexpr std::uint32_t kDwordBytes = 4;
constexpr std::uint32_t kFirstModernVersion = 7;
}  // namespace

IisInstallation DetectIis(Registry& registry) {
    IisInstallation installation;
    const auto value = registry.ReadValue(kHkeyLocalMachine, kIisSetupKey, kIisMajorVersionValue, kDwordBytes);
    if (!value) {
        // Told apart only for the report of a missing IISADMIN.
        installation.setupKeyPresent = registry.KeyExists(kHkeyLocalMachine, kIisSetupKey);
        return installation;
    }
    if (value->type != kRegDword || value->bytes.size() != kDwordBytes) return installation;
    std::uint32_t version = 0;  // stored little-endian
    for (std::size_t index = kDwordBytes; index-- > 0;)
        version = (version << 8) | static_cast<unsigned char>(value->bytes[index]);
    if (version >= kFirstModernVersion) installation.profile = IisProfile::Iis7;
    return installation;
}

}  // namespace tarnwick
