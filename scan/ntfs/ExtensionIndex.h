#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace kestrin {

// Which records of an MFT image are extension records of which base record, as the extension
// records' own headers say. A base record finds its extension records through its attribute
// list; when that list is non-resident its bytes lie in clusters outside the MFT image, and this
// index is the only way to reach the names stored there.
class ExtensionIndex {
public:
    ExtensionIndex() = default;

    // One pass over the record headers of the image; the header fields read lie before the first
    // update sequence position, so no fixup is needed.
    static ExtensionIndex Build(std::span<const std::uint8_t> image, std::int32_t recordSize);
    // The same from (base, extension record) pairs noted elsewhere, in any order.
    static ExtensionIndex FromPairs(std::vector<std::pair<std::int64_t, std::int64_t>> pairs);

    // Stands for an index that is not built yet: a record that would need it decodes to nothing,
    // and the caller decodes it again once the index exists.
    static const ExtensionIndex& Pending();
    bool IsPending() const { return pending_; }

    // The in-use extension records naming `base`, in record order.
    std::span<const std::int64_t> ExtensionsOf(std::int64_t base) const;

    std::size_t Size() const { return extensions_.size(); }

private:
    std::vector<std::int64_t> bases_;  // sorted
    std::vector<std::int64_t> extensions_;
    bool pending_ = false;
};

}  // namespace kestrin
