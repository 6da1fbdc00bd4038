#pragma once

#include <cstdint>

namespace kestrin {

// Every pixel metric of the interface is designed at 96 DPI.
inline constexpr int kDesignDpi = 96;

// A DPI the system reported, with the design DPI where it reported none (0 or less).
constexpr int UsableDpi(int dpi) {
    return dpi < 1 ? kDesignDpi : dpi;
}

// value × dpi / 96 rounded to nearest with halves away from zero: the arithmetic of MulDiv,
// which the Win32 layer uses for the same sizes, so portable layouts and the windows agree to
// the pixel.
constexpr int ScaleForDpi(int value, int dpi) {
    const std::int64_t product = static_cast<std::int64_t>(value) * dpi;
    const std::int64_t half = kDesignDpi / 2;
    return static_cast<int>((product + (product < 0 ? -half : half)) / kDesignDpi);
}

}  // namespace kestrin
