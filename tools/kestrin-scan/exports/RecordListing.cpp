#include "tools/kestrin-scan/exports/RecordListing.h"

#include <cinttypes>
#include <vector>

#include "scan/common/Utf16Text.h"

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

std::int64_t WriteRecordListing(std::vector<ScanSlice>& slices, std::FILE* out) {
    constexpr std::size_t kFlushSize = 1 << 20;
    std::string block;
    std::int64_t lines = 0;
    for (ScanSlice& slice : slices) {
        for (const MftEntry& entry : slice.entries) {
            block += RecordListingLine(entry);
            ++lines;
            if (block.size() >= kFlushSize) {
                std::fwrite(block.data(), 1, block.size(), out);
                block.clear();
            }
        }
        std::vector<MftEntry>().swap(slice.entries);
    }
    std::fwrite(block.data(), 1, block.size(), out);
    return lines;
}

}  // namespace kestrin
