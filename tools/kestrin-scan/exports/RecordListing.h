#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "scan/ntfs/MftEntry.h"
#include "scan/results/ScanSlice.h"

namespace kestrin {

// One line of the record listing: record, parent, d or f, size, allocated, the raw FILETIME,
// the attribute flags in hex and the UTF-8 name, separated by tabs.
std::string RecordListingLine(const MftEntry& entry);

// Writes one line per decoded entry of the slices, in their order, to `out` in large blocks,
// letting each slice's entries go once written. Returns the number of lines written.
std::int64_t WriteRecordListing(std::vector<ScanSlice>& slices, std::FILE* out);

}  // namespace kestrin
