#include "render/TreemapLayout.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace kestrin {
namespace {

constexpr double kWorst = std::numeric_limits<double>::max();

// Halves away from zero, each edge on its own, so neighbours that share an edge value share the
// pixel edge. Clamped because the layout works in doubles but tiles are 32-bit.
std::int32_t RoundEdge(double value) {
    constexpr double kLow = std::numeric_limits<std::int32_t>::min();
    constexpr double kHigh = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::llround(std::clamp(value, kLow, kHigh)));
}

TreemapTile MakeTile(double left, double top, double right, double bottom, std::int64_t index) {
    return {RoundEdge(left), RoundEdge(top), RoundEdge(right), RoundEdge(bottom), index};
}

double RatioOf(double sum, double smallest, double largest, double side) {
    if (!(side > 0) || !(sum > 0) || !(smallest > 0)) {
        return kWorst;
    }
    const double sideSquared = side * side;
    const double sumSquared = sum * sum;
    const double ratio =
        std::max(sumSquared / (smallest * sideSquared), largest * sideSquared / sumSquared);
    return std::isfinite(ratio) ? ratio : kWorst;
}

// Lays one row of candidates out along an edge that is `length` long, between `start` and
// start + length. Each boundary is computed once and used by both tiles beside it; summing
// offset and extent afresh for each tile could differ in the last bit and open a pixel gap.
template <typename PlaceTile>
void WalkRow(std::span<const TreemapCandidate> row, double rowSum, double start, double length,
             PlaceTile place) {
    double offset = 0;
    for (const TreemapCandidate& candidate : row) {
        const double next = offset + static_cast<double>(candidate.size) * length / rowSum;
        place(candidate, start + offset, start + next);
        offset = next;
    }
}

}  // namespace

double WorstRatio(std::span<const double> row, double side) {
    if (row.empty()) {
        return kWorst;
    }
    double sum = 0;
    double smallest = row.front();
    double largest = row.front();
    for (const double weight : row) {
        sum += weight;
        smallest = std::min(smallest, weight);
        largest = std::max(largest, weight);
    }
    return RatioOf(sum, smallest, largest, side);
}

void Squarify(std::span<const TreemapCandidate> candidates, double x, double y, double width,
              double height, std::vector<TreemapTile>& output) {
    // Candidates are taken from the front through a cursor. The totals of what remains come
    // from suffix sums, added smallest first so they stay exact as long as a double can be.
    const std::size_t count = candidates.size();
    std::vector<double> remainingTotal(count + 1, 0.0);
    for (std::size_t i = count; i-- > 0;) {
        remainingTotal[i] = remainingTotal[i + 1] + static_cast<double>(candidates[i].size);
    }

    std::size_t cursor = 0;
    while (cursor < count && width > 0.5 && height > 0.5) {
        const double total = remainingTotal[cursor];
        if (total < 1) {
            break;
        }
        const double side = std::min(width, height);
        // The squareness test gets pixel areas, not bytes: against side^2 a byte count is
        // almost always huge, so every row would take one item and the map would come out as
        // thin slices. The tile geometry below is the same for either scale.
        const double pixelsPerByte = width * height / total;

        const std::size_t rowStart = cursor;
        double rowSum = 0;
        double weightSum = 0;
        double smallest = 0;
        double largest = 0;
        while (cursor < count) {
            const double size = static_cast<double>(candidates[cursor].size);
            const double weight = size * pixelsPerByte;
            if (cursor > rowStart) {
                // The row only grows by ever smaller candidates, so the running sum, minimum
                // and maximum equal a fresh pass over the row, at constant cost.
                const double current = RatioOf(weightSum, smallest, largest, side);
                const double grown = RatioOf(weightSum + weight, std::min(smallest, weight),
                                             std::max(largest, weight), side);
                if (grown > current) {
                    break;
                }
                smallest = std::min(smallest, weight);
                largest = std::max(largest, weight);
            } else {
                smallest = weight;
                largest = weight;
            }
            weightSum += weight;
            rowSum += size;
            ++cursor;
        }
        const std::span<const TreemapCandidate> row =
            candidates.subspan(rowStart, cursor - rowStart);

        if (width >= height) {
            const double columnWidth = rowSum * width / total;
            if (rowSum > 0 && columnWidth > 0 && height > 0) {
                const double right = x + columnWidth;
                WalkRow(row, rowSum, y, height,
                        [&](const TreemapCandidate& candidate, double top, double bottom) {
                            output.push_back(MakeTile(x, top, right, bottom, candidate.itemIndex));
                        });
            }
            x += columnWidth;
            width -= columnWidth;
        } else {
            const double bandHeight = rowSum * height / total;
            if (rowSum > 0 && width > 0 && bandHeight > 0) {
                const double bottom = y + bandHeight;
                WalkRow(row, rowSum, x, width,
                        [&](const TreemapCandidate& candidate, double left, double right) {
                            output.push_back(MakeTile(left, y, right, bottom, candidate.itemIndex));
                        });
            }
            y += bandHeight;
            height -= bandHeight;
        }
    }

    if (cursor < count && width > 0.5 && height > 0.5 && remainingTotal[cursor] > 0) {
        LayoutStrip(candidates.subspan(cursor), remainingTotal[cursor], x, y, width, height,
                    height > width, output);
    }
}

void LayoutStrip(std::span<const TreemapCandidate> candidates, double total, double x, double y,
                 double width, double height, bool vertical, std::vector<TreemapTile>& output) {
    if (candidates.empty() || !(total >= 1) || !(width > 0) || !(height > 0)) {
        return;
    }
    if (vertical) {
        WalkRow(candidates, total, y, height,
                [&](const TreemapCandidate& candidate, double top, double bottom) {
                    output.push_back(MakeTile(x, top, x + width, bottom, candidate.itemIndex));
                });
    } else {
        WalkRow(candidates, total, x, width,
                [&](const TreemapCandidate& candidate, double left, double right) {
                    output.push_back(MakeTile(left, y, right, y + height, candidate.itemIndex));
                });
    }
}

std::vector<TreemapTile> LayoutTreemap(const TreemapRect& rect,
                                       const std::vector<TreemapItem>& items) {
    std::vector<TreemapTile> tiles;
    if (items.empty() || rect.left >= rect.right || rect.top >= rect.bottom) {
        return tiles;
    }
    std::vector<TreemapCandidate> candidates;
    candidates.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].size > 0) {
            candidates.push_back({static_cast<std::int64_t>(i), items[i].size});
        }
    }
    if (candidates.empty()) {
        return tiles;
    }
    std::sort(candidates.begin(), candidates.end(),
              [](const TreemapCandidate& a, const TreemapCandidate& b) { return a.size > b.size; });

    tiles.reserve(candidates.size());
    // Differences in doubles: the span of two 32-bit edges can exceed 32 bits.
    const double left = rect.left;
    const double top = rect.top;
    Squarify(candidates, left, top, static_cast<double>(rect.right) - left,
             static_cast<double>(rect.bottom) - top, tiles);
    return tiles;
}

}  // namespace kestrin
