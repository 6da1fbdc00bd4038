#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "scan/ntfs/ExtensionIndex.h"
#include "scan/ntfs/MftRecords.h"
#include "scan/ntfs/RecordSpace.h"
#include "scan/pipeline/LateRecordKeeper.h"
#include "scan/results/ScanResult.h"
#include "scan/results/ScanSlice.h"
#include "scan/volume/MftPieceReader.h"

namespace kestrin {

struct SliceRange {
    std::int32_t begin = 0;  // inclusive
    std::int32_t end = 0;    // exclusive
};

inline constexpr std::int32_t kMinimumSliceSize = 16384;
// Decoding progress is reported when a slice's completion carries the counter across a
// multiple of this many records.
inline constexpr std::int32_t kProgressRecordStep = 300000;

// max(16384, records / max(1, threads)).
std::int32_t SliceSizeFor(std::int32_t recordCount, unsigned hardwareThreads);

// [0, s), [s, 2s), ... up to the record count.
std::vector<SliceRange> MakeSlices(std::int32_t recordCount, std::int32_t sliceSize);

// Decodes record slots [begin, end) of the MFT into `slice.entries`, in record order, and notes
// what each in-use record holds elsewhere (sizes and named streams in `slice.extentSizes`, the
// clusters of the volume in `slice.clusters`). The slots are those `records` holds in memory.
// Without an extension index, records whose names lie only in extension records the index would
// find are left in `slice.unnamedRecords` for DecodeUnnamedRecords; so are records that need
// records `records` does not hold, and base records whose data's sizes lie in such records wait
// in `slice.lateSizeRecords`.
// With a keeper, the records put off, and those they name in pieces not read yet as these pass,
// are also copied raw into `slice.keptRecords`.
void ParseSliceRecords(const MftRecords& records, std::int32_t begin, std::int32_t end,
                       ScanSlice& slice, const ExtensionIndex* extensions = nullptr,
                       const VolumeClusters& volume = VolumeClusters{},
                       LateRecordKeeper* keeper = nullptr);
// The same over the whole MFT in memory.
void ParseSliceRecords(std::span<const std::uint8_t> image, std::int32_t recordSize,
                       std::int32_t begin, std::int32_t end, ScanSlice& slice,
                       const ExtensionIndex* extensions = nullptr,
                       const VolumeClusters& volume = VolumeClusters{});

struct ParseContext {
    std::span<const std::uint8_t> image;
    std::int32_t recordSize = 0;
    std::int32_t recordCount = 0;
    std::int32_t sliceSize = kMinimumSliceSize;
    unsigned hardwareThreads = 0;
    const ProgressCallback* progress = nullptr;
    const ExtensionIndex* extensions = nullptr;
    VolumeClusters volume;
    // Where the records needed again once every piece has passed are kept (ParseSliceRecords).
    LateRecordKeeper* keeper = nullptr;
};

// Decodes every slice in parallel, one ScanSlice each, in the order the slices finished, with
// the decoding progress reports ("并行解析: done / total", 10 to 88 percent).
std::vector<ScanSlice> ParseAllSlices(const ParseContext& context);

// Decodes the MFT as `reader` delivers it, a piece at a time: each piece in a few chunks that the
// threads claim in order, one ScanSlice per chunk, in record order (not in the order the chunks
// finished). The decoding progress is reported as the counter passes a multiple of 300000 records
// and when it reaches the total. Records that need records outside their piece are left for
// DecodeUnnamedRecords.
std::vector<ScanSlice> ParsePieces(MftPieceReader& reader, const ParseContext& context);

// Builds the extension index from the pairs the slices noted and decodes each slice's unnamed
// records with it, keeping every slice's entries in record order; the records `records` holds not
// in memory come from its cache. Such records are rare (a long name that ntfs-3g moved out with
// a non-resident attribute list, a file whose extension records lie in another piece), and
// noting them while decoding spares a pass over every record header of the MFT before it. The
// sizes that base records list in other pieces' records are noted too.
void DecodeUnnamedRecords(const MftRecords& records, std::vector<ScanSlice>& slices);
// The same over the whole MFT in memory.
void DecodeUnnamedRecords(std::span<const std::uint8_t> image, std::int32_t recordSize,
                          std::vector<ScanSlice>& slices);

}  // namespace kestrin
