#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "scan/MftEntry.h"

namespace kestrin {

struct DirInfo {
    std::int64_t parentRecord = 0;
    std::wstring name;
    std::int64_t time = 0;
    std::uint32_t attributes = 0;
};

struct SizeTotals {
    std::int64_t size = 0;
    std::int64_t allocated = 0;
    std::int32_t count = 0;
};

struct ChildFile {
    std::wstring name;
    std::int64_t size = 0;
    std::int64_t allocated = 0;
    std::int64_t time = 0;
    std::uint32_t attributes = 0;
    std::int64_t recordNumber = 0;
};

// Size maxima found for one base record in its extension records.
struct ExtentSizes {
    std::int64_t size = 0;
    std::int64_t allocated = 0;
};

inline constexpr std::int32_t kLargestFilesCapacity = 100000;

// The entries with the largest keys, at most `capacity` of them, kept as a min-heap so that the
// smallest kept key is at the front and a new entry is compared with it alone.
struct LargestFiles {
    std::int32_t capacity = kLargestFilesCapacity;
    // A plain function: it is called for every file of the volume, a std::function's indirection
    // showed in profiles.
    std::int64_t (*key)(const MftEntry&) = [](const MftEntry& e) { return e.size; };
    std::vector<MftEntry> heap;
};

// Offers one entry; an entry whose key only equals the smallest kept key does not displace it.
void Offer(LargestFiles& largest, const MftEntry& entry);

// The scan's accumulator: one per slice of records while decoding, one merged afterwards.
struct ScanSlice {
    std::unordered_map<std::int64_t, DirInfo> dirInfos;
    std::unordered_map<std::int64_t, SizeTotals> ownTotals;
    std::unordered_map<std::int64_t, std::vector<ChildFile>> childFiles;
    std::unordered_map<std::wstring, SizeTotals> extTotals;
    std::unordered_map<std::int64_t, ExtentSizes> extentSizes;
    std::vector<MftEntry> entries;
    std::int32_t fileCount = 0;
    std::int32_t dirCount = 0;
    LargestFiles largest;
};

// Folds `from` into `into`; `from` is only read.
void MergeSlice(ScanSlice& into, const ScanSlice& from);
// The same, moving the entries instead of copying them; `from` is left empty.
void MergeSlice(ScanSlice& into, ScanSlice&& from);

// Adds one decoded entry to the maps, counts and largest files.
void AddEntry(ScanSlice& slice, const MftEntry& entry);

}  // namespace kestrin
