#include "ui/HeaderGeometry.h"

#include <algorithm>

#include "render/Dpi.h"

namespace kestrin {

namespace {

std::array<PixelPoint, 3> Triangle(int cx, int cy, int t, SortArrow arrow) {
    if (arrow == SortArrow::Down) {
        return {{{cx - t, cy - t}, {cx + t, cy - t}, {cx, cy + t}}};
    }
    return {{{cx - t, cy + t}, {cx + t, cy + t}, {cx, cy - t}}};
}

PixelRect Clip(PixelRect rect, const PixelRect& bounds) {
    rect.left = std::max(rect.left, bounds.left);
    rect.top = std::max(rect.top, bounds.top);
    rect.right = std::min(rect.right, bounds.right);
    rect.bottom = std::min(rect.bottom, bounds.bottom);
    return rect;
}

}  // namespace

HeaderItemGeometry LayoutHeaderItem(const PixelRect& item, bool rightAligned, SortArrow arrow,
                                    int dpi) {
    const auto S = [dpi](int value) { return ScaleForDpi(value, UsableDpi(dpi)); };
    HeaderItemGeometry geometry;
    int arrowWidth = 0;
    if (arrow != SortArrow::None) {
        geometry.hasArrow = true;
        arrowWidth = S(14);
        const int cx = rightAligned ? item.left + S(9) : item.right - S(12);
        const int cy = (item.top + item.bottom) / 2;
        geometry.arrow = Triangle(cx, cy, S(3), arrow);
    }
    PixelRect text{item.left + S(9), item.top + S(2), item.right - S(9), item.bottom - S(2)};
    if (rightAligned) {
        text.left += arrowWidth;
    } else {
        text.right -= arrowWidth;
    }
    geometry.text = Clip(text, item);
    return geometry;
}

}  // namespace kestrin
