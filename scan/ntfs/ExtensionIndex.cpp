#include "scan/ntfs/ExtensionIndex.h"

#include <algorithm>
#include <numeric>

#include "scan/common/ByteReader.h"
#include "scan/ntfs/AttributeWalk.h"
#include "scan/ntfs/RecordDecoder.h"

namespace kestrin {

ExtensionIndex ExtensionIndex::Build(std::span<const std::uint8_t> image, std::int32_t recordSize) {
    ExtensionIndex index;
    if (recordSize < static_cast<std::int32_t>(kRecordMinimumSize + 0x10)) {
        return index;
    }
    const auto size = static_cast<std::size_t>(recordSize);
    const std::size_t count = image.size() / size;
    std::vector<std::pair<std::int64_t, std::int64_t>> pairs;
    for (std::size_t n = 0; n < count; ++n) {
        const ByteReader header(image.subspan(n * size, kRecordBaseReferenceOffset + 8));
        const auto number = static_cast<std::int64_t>(n);
        if (!HasRecordMagic(header) || (RecordFlags(header) & kRecordInUse) == 0 ||
            !IsExtensionRecord(header, number)) {
            continue;
        }
        pairs.emplace_back(RecordBaseReference(header), number);
    }
    return FromPairs(std::move(pairs));
}

ExtensionIndex ExtensionIndex::FromPairs(std::vector<std::pair<std::int64_t, std::int64_t>> pairs) {
    ExtensionIndex index;
    std::sort(pairs.begin(), pairs.end());
    index.bases_.reserve(pairs.size());
    index.extensions_.reserve(pairs.size());
    for (const auto& [base, extension] : pairs) {
        index.bases_.push_back(base);
        index.extensions_.push_back(extension);
    }
    return index;
}

const ExtensionIndex& ExtensionIndex::Pending() {
    static const ExtensionIndex pending = [] {
        ExtensionIndex index;
        index.pending_ = true;
        return index;
    }();
    return pending;
}

std::span<const std::int64_t> ExtensionIndex::ExtensionsOf(std::int64_t base) const {
    const auto range = std::equal_range(bases_.begin(), bases_.end(), base);
    const auto first = static_cast<std::size_t>(range.first - bases_.begin());
    const auto count = static_cast<std::size_t>(range.second - range.first);
    return std::span<const std::int64_t>(extensions_).subspan(first, count);
}

}  // namespace kestrin
