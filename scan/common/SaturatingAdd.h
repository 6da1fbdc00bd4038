#pragma once

#include <cstdint>
#include <limits>

namespace kestrin {

// Sizes come straight from the disk, so a damaged record can hold any of them; sums of such
// sizes stop at the largest value instead of overflowing.
inline void AddSaturating(std::int64_t& sum, std::int64_t value) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    if (value > 0 && sum > kMax - value) {
        sum = kMax;
    } else if (value < 0 && sum < kMin - value) {
        sum = kMin;
    } else {
        sum += value;
    }
}

}  // namespace kestrin
