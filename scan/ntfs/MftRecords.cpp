#include "scan/ntfs/MftRecords.h"

#include <cstring>

#include "scan/ntfs/RecordFixup.h"
#include "scan/platform/ImageCopy.h"

namespace kestrin {

MftRecords::MftRecords(std::span<const std::uint8_t> bytes, std::int32_t recordSize,
                       std::int64_t firstRecord, std::int64_t recordCount, RecordFetcher* fetcher)
    : bytes_(bytes), recordSize_(recordSize), firstRecord_(firstRecord), fetcher_(fetcher) {
    heldRecords_ =
        recordSize > 0
            ? static_cast<std::int64_t>(bytes.size() / static_cast<std::size_t>(recordSize))
            : 0;
    recordCount_ = recordCount < 0 ? firstRecord + heldRecords_ : recordCount;
}

bool MftRecords::CopyFixedUp(std::int64_t n, std::vector<std::uint8_t>& copy) const {
    if (recordSize_ <= 0 || n < 0 || n >= recordCount_) {
        return false;
    }
    const auto size = static_cast<std::size_t>(recordSize_);
    if (n >= firstRecord_ && n - firstRecord_ < heldRecords_) {
        copy.resize(size);
        CopyHeld(n, copy);
    } else if (fetcher_ == nullptr) {
        missed_ = true;
        return false;
    } else if (!fetcher_->Fetch(n, copy)) {
        return false;
    }
    ApplyFixup(copy);
    return true;
}

void MftRecords::CopyHeld(std::int64_t first, std::span<std::uint8_t> out) const {
    const std::uint8_t* from = bytes_.data() + static_cast<std::size_t>(first - firstRecord_) *
                                                   static_cast<std::size_t>(recordSize_);
    if (readIntoBuffer_) {
        std::memcpy(out.data(), from, out.size());
    } else {
        CopyImageBytes(from, out);
    }
}

}  // namespace kestrin
