#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "render/TreemapModel.h"

namespace kestrin {

// Client rectangle; right and bottom are exclusive, as for a Win32 RECT.
struct TreemapRect {
    std::int32_t left, top, right, bottom;
};

struct TreemapTile {
    std::int32_t left, top, right, bottom;
    std::int64_t itemIndex;  // position of the tile's item in the list that was laid out
};

// One item waiting for its tile.
struct TreemapCandidate {
    std::int64_t itemIndex;
    std::int64_t size;  // bytes, > 0
};

// Tiles for the items of positive size, largest first, filling `rect`. Computed afresh for every
// paint and hit test; nothing is cached.
std::vector<TreemapTile> LayoutTreemap(const TreemapRect& rect,
                                       const std::vector<TreemapItem>& items);

// How far the row's worst tile is from a square when the row lies along a side of length `side`;
// smaller is squarer. The largest finite double when side <= 0, the row sums to 0 or less, or
// the value is not finite.
double WorstRatio(std::span<const double> row, double side);

// Squarified layout of candidates sorted largest first into the rectangle (x, y, width, height),
// appending to `output` in taking order. Candidates left over when the remaining rectangle has
// shrunk to half a pixel get no tile.
void Squarify(std::span<const TreemapCandidate> candidates, double x, double y, double width,
              double height, std::vector<TreemapTile>& output);

// Places the candidates side by side in one strip: top to bottom if `vertical`, else left to
// right, each taking its share of `total`.
void LayoutStrip(std::span<const TreemapCandidate> candidates, double total, double x, double y,
                 double width, double height, bool vertical, std::vector<TreemapTile>& output);

}  // namespace kestrin
