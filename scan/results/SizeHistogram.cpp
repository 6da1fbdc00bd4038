#include "scan/results/SizeHistogram.h"

#include <bit>

namespace kestrin {

namespace {

constexpr int kExactClasses = 8;
constexpr int kClassesPerPower = 8;  // each power of two from 8 on
constexpr int kClassBits = 3;        // log2 of kClassesPerPower
constexpr std::size_t kClasses = kExactClasses + (63 - kClassBits) * kClassesPerPower;

std::size_t ClassOf(std::int64_t size) {
    if (size < kExactClasses) {
        return static_cast<std::size_t>(size < 0 ? 0 : size);
    }
    const int power = std::bit_width(static_cast<std::uint64_t>(size)) - 1;  // 3 to 62
    const auto step = static_cast<std::size_t>((size >> (power - kClassBits)) - kClassesPerPower);
    return kExactClasses + static_cast<std::size_t>(power - kClassBits) * kClassesPerPower + step;
}

std::int64_t LeastOf(std::size_t sizeClass) {
    if (sizeClass < kExactClasses) {
        return static_cast<std::int64_t>(sizeClass);
    }
    const std::size_t above = sizeClass - kExactClasses;
    const auto power = static_cast<int>(above / kClassesPerPower);
    const auto step = static_cast<std::int64_t>(above % kClassesPerPower);
    return (kClassesPerPower + step) << power;
}

}  // namespace

void SizeHistogram::Count(std::int64_t size) {
    if (counts_.empty()) {
        counts_.resize(kClasses);
    }
    ++counts_[ClassOf(size)];
}

void SizeHistogram::Add(const SizeHistogram& other) {
    if (other.counts_.empty()) {
        return;
    }
    if (counts_.empty()) {
        counts_.resize(kClasses);
    }
    for (std::size_t i = 0; i < kClasses; ++i) {
        counts_[i] += other.counts_[i];
    }
}

std::int64_t SizeHistogram::LeastOfRank(std::int64_t rank) const {
    std::int64_t reached = 0;
    for (std::size_t i = counts_.size(); i-- > 0;) {
        reached += counts_[i];
        if (reached >= rank) {
            return LeastOf(i);
        }
    }
    return 0;
}

}  // namespace kestrin
