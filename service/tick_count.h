#pragma once

#include <cstdint>
#include <optional>

namespace tarnwick {

// A 32-bit millisecond tick count (GetTickCount's, which wraps to 0 after 49.7
// days) carried on as a 64-bit one: each reading adds its distance from the
// one before, in unsigned 32-bit arithmetic, which stays right across a wrap.
// Right as long as two readings are less than 49.7 days apart; the waits it
// bounds read it every few hundred milliseconds.
class WrapSafeTicks {
public:
    std::uint64_t Extend(std::uint32_t ticks) {
        total_ = last_ ? total_ + static_cast<std::uint32_t>(ticks - *last_) : ticks;
        last_ = ticks;
        return total_;
    }

private:
    std::optional<std::uint32_t> last_;
    std::uint64_t total_ = 0;
};

}  // namespace tarnwick
