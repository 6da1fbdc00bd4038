#include "tools/kestrin-scan/RecordListing.h"

#include <cinttypes>
#include <vector>

#include "scan/common/Utf16Text.h"
#include "scan/ntfs/RecordDecoder.h"

namespace kestrin {

std::string RecordListingLine(const MftEntry& entry) {
    char numbers[160];
    std::snprintf(numbers, sizeof numbers,
                  "%" PRId64 "\t%" PRId64 "\t%c\t%" PRId64 "\t%" PRId64 "\t%" PRId64 "\t0x%" PRIx32
                  "\t",
                  entry.recordNumber, entry.parentRecord, entry.isDirectory ? 'd' : 'f', entry.size,
                  entry.allocated, entry.time, entry.attributes);
    std::string line = numbers;
    entry.name.AppendUtf8(line);
    line += '\n';
    return line;
}

std::int64_t WriteRecordListing(std::span<const std::uint8_t> image, std::int32_t recordSize,
                                std::FILE* out) {
    if (recordSize <= 0) {
        return 0;
    }
    constexpr std::size_t kFlushSize = 1 << 20;
    const std::int64_t slots =
        static_cast<std::int64_t>(image.size() / static_cast<std::size_t>(recordSize));
    const ExtensionIndex extensions = ExtensionIndex::Build(image, recordSize);
    std::vector<std::uint8_t> scratch;
    std::string block;
    std::int64_t lines = 0;
    for (std::int64_t n = 0; n < slots; ++n) {
        MftEntry entry;
        if (!DecodeRecordSlot(image, recordSize, n, scratch, entry, &extensions)) {
            continue;
        }
        block += RecordListingLine(entry);
        ++lines;
        if (block.size() >= kFlushSize) {
            std::fwrite(block.data(), 1, block.size(), out);
            block.clear();
        }
    }
    std::fwrite(block.data(), 1, block.size(), out);
    return lines;
}

}  // namespace kestrin
