#pragma once

#include <array>

#include "ui/SortState.h"

namespace kestrin {

struct PixelPoint {
    int x = 0;
    int y = 0;
    bool operator==(const PixelPoint&) const = default;
};

// A rectangle with exclusive right and bottom edges, as Win32 RECTs are.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const PixelRect&) const = default;
};

// What the painted header draws for one item: the sort triangle (when there is one) and the
// rectangle its title goes into.
struct HeaderItemGeometry {
    bool hasArrow = false;
    std::array<PixelPoint, 3> arrow{};
    PixelRect text;
};

// Right-aligned columns keep the arrow at their left edge so it never covers the numbers.
HeaderItemGeometry LayoutHeaderItem(const PixelRect& item, bool rightAligned, SortArrow arrow,
                                    int dpi);

}  // namespace kestrin
