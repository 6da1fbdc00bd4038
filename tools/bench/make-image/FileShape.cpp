#include "make-image/FileShape.h"

#include <algorithm>

#include "make-image/RecordWriter.h"

namespace kestrin::image {

std::int64_t PickSize(Rng& rng) {
    const double u = rng.Unit();
    if (u < 0.04) {
        return 0;
    }
    if (u < 0.26) {
        return rng.Range(1, 700);
    }
    const double v = rng.Unit();
    if (v < 0.73) {
        return rng.LogUniform(701, 64 << 10);
    }
    if (v < 0.977) {
        return rng.LogUniform(64 << 10, 1 << 20);
    }
    if (v < 0.9989) {
        return rng.LogUniform(1 << 20, 32 << 20);
    }
    if (v < 0.99995) {
        return rng.LogUniform(32 << 20, 512 << 20);
    }
    return rng.LogUniform(512LL << 20, 6LL << 30);
}

std::size_t NamesSize(const std::vector<Name>& names) {
    std::size_t total = 0;
    for (const Name& n : names) {
        total += FileNameSize(n.text.size());
    }
    return total;
}

std::uint16_t LinkCount(const std::vector<Name>& names) {
    return static_cast<std::uint16_t>(
        std::count_if(names.begin(), names.end(), [](const Name& n) { return n.nameSpace != 2; }));
}

}  // namespace kestrin::image
