#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "scan/ntfs/MftEntry.h"

namespace kestrin {

// One line of the record listing: record, parent, d or f, size, allocated, the raw FILETIME,
// the attribute flags in hex and the UTF-8 name, separated by tabs.
std::string RecordListingLine(const MftEntry& entry);

// Decodes every record slot of an MFT image and writes one line per decoded entry, in record
// order, to `out` in large blocks. Returns the number of lines written.
std::int64_t WriteRecordListing(std::span<const std::uint8_t> image, std::int32_t recordSize,
                                std::FILE* out);

}  // namespace kestrin
