#include "iis_profile.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "fake_registry.h"

namespace tarnwick::testing {
namespace {

constexpr wchar_t kKey[] = L"SOFTWARE\\Microsoft\\InetStp";

TEST(IisProfile, OnlyAMajorVersionDwordOf7OrMoreChoosesTheIis7Profile) {
    const struct {
        const char* name;
        bool keyPresent;
        std::optional<StoredValue> majorVersion;
        IisProfile profile;
    } cases[] = {
        {"no key", false, std::nullopt, IisProfile::Iis6},
        {"no value", true, std::nullopt, IisProfile::Iis6},
        {"REG_SZ 10", true, String("10"), IisProfile::Iis6},
        {"5", true, Dword(5), IisProfile::Iis6},
        {"6", true, Dword(6), IisProfile::Iis6},
        {"7", true, Dword(7), IisProfile::Iis7},
        {"10", true, Dword(10), IisProfile::Iis7},
        {"0xFFFFFFFF", true, Dword(0xFFFFFFFFu), IisProfile::Iis7},
        {"a DWORD of 8 bytes", true, StoredValue{kRegDword, std::string(8, '\x0A')}, IisProfile::Iis6},
    };
    for (const auto& c : cases) {
        std::vector<std::wstring> log;
        FakeRegistry registry{log};
        if (c.keyPresent) registry.keys[kKey];
        if (c.majorVersion) registry.keys[kKey][L"MajorVersion"] = *c.majorVersion;

        const IisInstallation found = DetectIis(registry);

        EXPECT_EQ(found.profile, c.profile) << c.name;
        EXPECT_EQ(found.setupKeyPresent, c.keyPresent) << c.name;
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.front(), L"read 80000002 SOFTWARE\\Microsoft\\InetStp MajorVersion") << c.name;
    }
}

}  // namespace
}  // namespace tarnwick::testing
