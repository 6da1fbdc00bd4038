#include "make-image/Clusters.h"

namespace kestrin::image {

namespace {

// The bytes of a signed number, as few as keep its sign.
std::size_t SignedWidth(std::int64_t value) {
    std::size_t n = 1;
    while (n < 8 && (value < -(std::int64_t{1} << (8 * n - 1)) ||
                     value >= (std::int64_t{1} << (8 * n - 1)))) {
        ++n;
    }
    return n;
}

}  // namespace

std::int64_t ClustersOf(const std::vector<Piece>& pieces) {
    std::int64_t total = 0;
    for (const Piece& p : pieces) {
        total += p.clusters;
    }
    return total;
}

Bytes RunList(const std::vector<Piece>& pieces) {
    Bytes out;
    std::int64_t previous = 0;
    for (const Piece& p : pieces) {
        const std::size_t lengthBytes = SignedWidth(p.clusters);
        const std::int64_t offset = p.lcn - previous;
        const std::size_t offsetBytes = p.lcn < 0 ? 0 : SignedWidth(offset);
        out.push_back(static_cast<std::uint8_t>(lengthBytes | offsetBytes << 4));
        for (std::size_t i = 0; i < lengthBytes; ++i) {
            out.push_back(
                static_cast<std::uint8_t>(static_cast<std::uint64_t>(p.clusters) >> (8 * i)));
        }
        for (std::size_t i = 0; i < offsetBytes; ++i) {
            out.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(offset) >> (8 * i)));
        }
        if (p.lcn >= 0) {
            previous = p.lcn;
        }
    }
    return out;
}

}  // namespace kestrin::image
