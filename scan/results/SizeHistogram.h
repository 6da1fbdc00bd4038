#pragma once

#include <cstdint>
#include <vector>

namespace kestrin {

// How many files fall into each class of sizes: sizes below 8 each a class of their own, above
// that eight classes for each power of two. The decoding threads count their files here, so
// that before the files are added the largest-files list knows a size that at least as many
// files reach as it keeps, and turns away every smaller file at once instead of keeping it until
// the next trim.
class SizeHistogram {
public:
    void Count(std::int64_t size);
    void Add(const SizeHistogram& other);

    // The smallest size of the class in which the `rank`-th largest size counted lies: at least
    // `rank` of the sizes counted reach it. 0 when fewer than `rank` sizes were counted.
    std::int64_t LeastOfRank(std::int64_t rank) const;

private:
    std::vector<std::uint32_t> counts_;  // by class; empty until the first count
};

}  // namespace kestrin
