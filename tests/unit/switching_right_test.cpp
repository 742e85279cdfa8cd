#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "switching_right.h"

namespace tarnwick::testing {
namespace {

// A system whose namespace, lock and owner are scripted; it logs what it was asked.
class ScriptedLockSystem : public LockSystem {
public:
    bool OpenAdministratorsNamespace() override {
        log.push_back("namespace");
        return hasNamespace;
    }
    LockOpening OpenLock(bool inNamespace) override {
        log.push_back(inNamespace ? "open in namespace" : "open global");
        return opening;
    }
    bool LockOwnedByAdministrator() override {
        log.push_back("owner");
        return ownerIsAdministrator;
    }
    bool TryAcquire() override {
        log.push_back("acquire");
        return free;
    }

    bool hasNamespace = true;
    LockOpening opening = LockOpening::Created;
    bool ownerIsAdministrator = true;
    bool free = true;
    std::vector<std::string> log;
};

TEST(SwitchingRight, OnlyAnAdministratorsLockCountsAsAnotherTarnwick) {
    struct Case {
        const char* name;
        bool hasNamespace;
        LockOpening opening;
        bool ownerIsAdministrator;
        bool free;
        RightTaken expected;
        std::vector<std::string> asked;
    };
    const Case cases[] = {
        {"made in the namespace", true, LockOpening::Created, true, true, RightTaken::Taken,
         {"namespace", "open in namespace", "acquire"}},
        // Only administrators can make it there: its owner is not asked.
        {"held in the namespace", true, LockOpening::Existing, false, false, RightTaken::HeldByAnotherTarnwick,
         {"namespace", "open in namespace", "acquire"}},
        {"free in the namespace", true, LockOpening::Existing, false, true, RightTaken::Taken,
         {"namespace", "open in namespace", "acquire"}},
        {"made under the global name", false, LockOpening::Created, false, true, RightTaken::Taken,
         {"namespace", "open global", "acquire"}},
        {"an administrator's, held", false, LockOpening::Existing, true, false, RightTaken::HeldByAnotherTarnwick,
         {"namespace", "open global", "owner", "acquire"}},
        {"an administrator's, free", false, LockOpening::Existing, true, true, RightTaken::Taken,
         {"namespace", "open global", "owner", "acquire"}},
        // A stranger's is never waited on nor taken, held or not.
        {"a stranger's, free", false, LockOpening::Existing, false, true, RightTaken::HeldByStranger,
         {"namespace", "open global", "owner"}},
        {"a stranger's that refuses us", false, LockOpening::Refused, true, true, RightTaken::HeldByStranger,
         {"namespace", "open global"}},
    };
    for (const Case& c : cases) {
        ScriptedLockSystem system;
        system.hasNamespace = c.hasNamespace;
        system.opening = c.opening;
        system.ownerIsAdministrator = c.ownerIsAdministrator;
        system.free = c.free;
        EXPECT_EQ(TakeSwitchingRight(system), c.expected) << c.name;
        EXPECT_EQ(system.log, c.asked) << c.name;
    }
}

}  // namespace
}  // namespace tarnwick::testing
