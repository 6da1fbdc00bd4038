#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "scan/ntfs/ClusterTally.h"
#include "scan/ntfs/MftEntry.h"
#include "scan/results/ExtensionIds.h"
#include "scan/results/ExtensionTable.h"
#include "scan/results/FolderTable.h"
#include "scan/results/ScanResult.h"
#include "scan/results/SizeHistogram.h"

namespace kestrin {

// What one base record's extension records hold of it: the maxima of the unnamed $DATA's sizes
// found there, and the sums of the bytes its named streams and its index occupy. What the base
// record itself holds of those is summed here too, so that the sums never meet the unnamed
// stream's maximum before both are complete.
struct ExtentSizes {
    std::int64_t size = 0;
    std::int64_t allocated = 0;
    std::int64_t namedStreams = 0;
    std::int64_t indexBytes = 0;  // a folder's index, summed like the streams
};

inline constexpr std::int32_t kLargestFilesCapacity = 100000;

// The entries with the largest keys, at most `capacity` of them once settled; among equal keys the
// earlier offered ones. Entries are appended in offer order and trimmed now and then, when twice
// the capacity has gathered: appending is a sequential write, where a heap's sifting missed the
// cache at every level for most of the files of a volume. After a trim every kept key is at or
// above `floor`, and a later entry whose key does not exceed it cannot enter: the kept ones are
// larger or offered before it.
struct LargestFiles {
    std::int32_t capacity = kLargestFilesCapacity;
    // A plain function: it is called for every file of the volume, a std::function's indirection
    // showed in profiles.
    std::int64_t (*key)(const MftEntry&) = [](const MftEntry& e) { return e.size; };
    std::vector<MftEntry> kept;  // in offer order; up to twice the capacity until settled
    bool trimmed = false;        // `floor` holds
    std::int64_t floor = 0;
};

// Offers one entry; an entry whose key only equals the smallest kept key does not displace it.
void Offer(LargestFiles& largest, const MftEntry& entry);
// The same, the copy kept noting `extensionId`: the place of the entry's extension among the
// extension totals of the slice that holds the list, so that the list's rows find its text without
// reading the name again (0xFFFF for none).
void Offer(LargestFiles& largest, const MftEntry& entry, std::uint16_t extensionId);

// Says that at least `capacity` of the entries still to be offered have keys of `least` or more:
// those below it are turned away at once, as after a trim, instead of kept until the next one.
// The entries kept in the end are the same.
void ExpectAtLeast(LargestFiles& largest, std::int64_t least);

// Trims `kept` to the `capacity` entries with the largest keys, the earlier offered among equal
// ones, leaving them in offer order.
void Settle(LargestFiles& largest);

// The scan's accumulator: one per slice of records while decoding, one merged afterwards.
struct ScanSlice {
    // By record number: each folder's dirInfo, and the ownTotals and childFiles of the files that
    // name it as their parent.
    FolderTable folders;
    ExtensionTable extTotals;
    std::unordered_map<std::int64_t, ExtentSizes> extentSizes;
    std::vector<MftEntry> entries;
    // Left by a decode without an extension index: the extension records seen, as (base,
    // extension) pairs, and the in-use base records that named nothing themselves or whose names
    // lie in records the decode did not hold. Once every slice is decoded the pairs make the
    // index, and those records are decoded again with it.
    std::vector<std::pair<std::int64_t, std::int64_t>> extensionRecords;
    std::vector<std::int32_t> unnamedRecords;
    // Base records whose attribute list names records the decode did not hold for the first
    // extent of their data: its sizes are looked for once every slice is decoded.
    std::vector<std::int32_t> lateSizeRecords;
    // Raw copies of some of those put off records, as the piece held them, while there was room.
    std::vector<std::pair<std::int64_t, std::vector<std::uint8_t>>> keptRecords;
    // The clusters that the in-use records decoded into this slice place on the volume.
    ClusterTally clusters;
    // The sizes of the files decoded into `entries`, before extension records raise any of them.
    SizeHistogram fileSizes;
    // The extensions their `extensionId`s number.
    ExtensionIds extensionIds;
    std::int32_t fileCount = 0;
    std::int32_t dirCount = 0;
    LargestFiles largest;
};

// Folds `from` into `into`; `from` is only read.
void MergeSlice(ScanSlice& into, const ScanSlice& from);
// The same, moving the entries instead of copying them; `from` is left empty.
void MergeSlice(ScanSlice& into, ScanSlice&& from);

// Counts, in each folder record's `listRoom`, the files the entries of `slices` will add to each
// folder's list, so that each list takes exactly its room when its first file is added: lists grown
// one file at a time held up to twice their files, and copied each file at every doubling.
void CountFileLists(ScanSlice& into, const std::vector<ScanSlice>& slices);

// Adds one decoded entry to the maps, counts and largest files.
void AddEntry(ScanSlice& slice, const MftEntry& entry);
// The same, moving the entry's name into the maps instead of copying it.
void AddEntry(ScanSlice& slice, MftEntry&& entry);

// Where the last file added went. Files of one folder mostly follow one another in record order,
// and so do files of one extension within a folder: the next one then finds its folder's totals
// and file list, and its extension's totals, without a lookup. Valid while nothing is taken out of
// the slice's extension totals (folder records keep their place).
struct AddCache {
    FolderRecord* owner = nullptr;   // whose own totals count the file
    FolderRecord* parent = nullptr;  // whose list holds the file's row
    ExtensionTable::Entry* extension = nullptr;
    // The numbers the entries' `extensionId`s are among, when they all come from one slice, and
    // each number's entry of the totals once a file has looked it up (as many as there are
    // numbers; none without them).
    const ExtensionIds* ids = nullptr;
    std::vector<ExtensionTable::Entry*> byId;
};

// The same, remembering in `cache` where the entry went.
void AddEntry(ScanSlice& slice, MftEntry&& entry, AddCache& cache);

}  // namespace kestrin
