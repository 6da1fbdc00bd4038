#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "make-image/ImageLayout.h"

namespace kestrin::image {

struct Piece {
    std::int64_t lcn;
    std::int64_t clusters;
};

std::int64_t ClustersOf(const std::vector<Piece>& pieces);

// A run list from absolute pieces; a piece with lcn < 0 is sparse. Lengths are written as
// signed numbers too, as Windows writes them: ntfs-3g rejects a length whose top bit is set, and
// The Sleuth Kit misplaces the runs after it. (test::EncodeRuns gives lengths their unsigned
// width, which is fine for the scanner's tests but not for these oracles.)
Bytes RunList(const std::vector<Piece>& pieces);

// Hands out clusters from the front of the free space, stepping over the MFT's extents, as a
// volume that fills up in order does. What it skips stays free, which fragments the next file.
class ClusterAllocator {
public:
    ClusterAllocator(std::int64_t start, std::vector<Piece> taken)
        : next_(start), taken_(std::move(taken)) {}

    std::vector<Piece> Take(std::int64_t count) {
        std::vector<Piece> pieces;
        while (count > 0) {
            while (taken_index_ < taken_.size() &&
                   next_ >= taken_[taken_index_].lcn + taken_[taken_index_].clusters) {
                ++taken_index_;
            }
            std::int64_t room = std::numeric_limits<std::int64_t>::max();
            if (taken_index_ < taken_.size()) {
                if (next_ >= taken_[taken_index_].lcn) {
                    next_ = taken_[taken_index_].lcn + taken_[taken_index_].clusters;
                    continue;
                }
                room = taken_[taken_index_].lcn - next_;
            }
            const std::int64_t piece = std::min(count, room);
            if (!pieces.empty() && pieces.back().lcn + pieces.back().clusters == next_) {
                pieces.back().clusters += piece;
            } else {
                pieces.push_back({next_, piece});
            }
            next_ += piece;
            count -= piece;
        }
        return pieces;
    }

    void Skip(std::int64_t count) {
        skipped_.push_back({next_, count});
        next_ += count;
    }

    std::int64_t Next() const { return next_; }
    const std::vector<Piece>& Skipped() const { return skipped_; }

private:
    std::int64_t next_;
    std::vector<Piece> taken_;
    std::size_t taken_index_ = 0;
    std::vector<Piece> skipped_;
};

}  // namespace kestrin::image
