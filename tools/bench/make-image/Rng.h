#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace kestrin::image {

constexpr std::uint64_t kSeed = 0x6B65737472696E31;

inline std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EB;
    return x ^ (x >> 31);
}

// The numbers of one decision about one thing: the same (purpose, a, b) always gives the same
// stream, so nothing drawn has to be kept to be drawn again.
class Rng {
public:
    Rng(std::uint64_t purpose, std::uint64_t a, std::uint64_t b = 0)
        : state_(Mix(kSeed ^ Mix(purpose ^ Mix(a ^ Mix(b))))) {}
    std::uint64_t Next() { return Mix(state_ += 0x9E3779B97F4A7C15); }
    double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
    std::int64_t Range(std::int64_t low, std::int64_t high) {
        return low + static_cast<std::int64_t>(Next() % static_cast<std::uint64_t>(high - low + 1));
    }
    bool Chance(double p) { return Unit() < p; }
    std::int64_t LogUniform(std::int64_t low, std::int64_t high) {
        const double l = std::log(static_cast<double>(low));
        const double h = std::log(static_cast<double>(high));
        return std::clamp<std::int64_t>(static_cast<std::int64_t>(std::exp(l + Unit() * (h - l))),
                                        low, high);
    }
    template <typename T, std::size_t N>
    const T& Pick(const std::array<T, N>& items) {
        return items[static_cast<std::size_t>(Range(0, N - 1))];
    }

private:
    std::uint64_t state_;
};

}  // namespace kestrin::image
