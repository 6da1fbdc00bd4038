#pragma once

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "scan/common/ByteReader.h"
#include "scan/ntfs/MftRecords.h"
#include "scan/ntfs/RecordSpace.h"
#include "scan/results/ScanSlice.h"

namespace kestrin {

// Sizes above this are taken for damage and ignored.
inline constexpr std::int64_t kExtentSizeLimit = 0xA0000000000;  // 10 TiB

// One pass over every record of the MFT image: for each base record whose unnamed $DATA lives
// (partly or wholly) in extension records, the largest logical and allocated sizes found there
// are noted in `slice.extentSizes`, and so are the bytes of every file's non-resident named
// streams; the clusters every in-use record places on the volume are added
// to `slice.clusters`. Records are read from private copies; the image is not touched. A slice
// filled by ParseSliceRecords has noted all this already: a second pass would count the sums
// twice.
void ResolveExtents(std::span<const std::uint8_t> image, std::int32_t recordSize, ScanSlice& slice,
                    const VolumeClusters& volume = VolumeClusters{});

// The same for one record, `record` being its fixed-up copy: the decoders call it for each record
// they have already copied, so the whole pass runs in parallel with the decoding. `extension` is
// scratch space for the extension records a base record names, looked up in `records` (a miss
// shows there).
void NoteRecordExtents(const ByteReader& record, std::int64_t number, const MftRecords& records,
                       std::vector<std::uint8_t>& extension, ScanSlice& slice,
                       const VolumeClusters& volume = VolumeClusters{});
void NoteRecordExtents(const ByteReader& record, std::int64_t number,
                       std::span<const std::uint8_t> image, std::int32_t recordSize,
                       std::vector<std::uint8_t>& extension, ScanSlice& slice,
                       const VolumeClusters& volume = VolumeClusters{});

// The same for a record whose space the decoder's walk has measured already (its clusters are in
// `slice.clusters`); an unmeasured record is walked here.
void NoteRecordExtents(const ByteReader& record, std::int64_t number, const MftRecords& records,
                       std::vector<std::uint8_t>& extension, ScanSlice& slice,
                       const SpaceProbe& probe);

// The part of it that reads other records: the largest sizes of the unnamed $DATA that the
// extension records a base record's resident attribute list names for its first extent hold,
// where they exceed the base record's own.
void NoteListedDataSizes(const ByteReader& record, std::int64_t number, const MftRecords& records,
                         std::vector<std::uint8_t>& extension, ScanSlice& slice);

// Raises each entry's sizes to what its extension records hold, adds a file's named streams to
// its allocated size, adds every entry to the maps, then empties `entries` and `extentSizes`.
void ApplyExtents(ScanSlice& slice);

// The sizes the whole volume's extension records hold, by base record, in record order. The
// entries are applied in record order, so each lookup moves on from the one before instead of
// searching a hash map whose hundreds of thousands of nodes lie all over the heap (at 8 million
// records those lookups were a sixth of the whole scan).
class ExtentSizeList {
public:
    ExtentSizeList() = default;
    // `sizes` in any order, a record at most once.
    explicit ExtentSizeList(std::vector<std::pair<std::int64_t, ExtentSizes>> sizes);

    // The sizes noted for `record`, or null. Quickest when asked in ascending order.
    const ExtentSizes* Find(std::int64_t record) const;
    std::size_t Size() const { return sizes_.size(); }

private:
    std::vector<std::pair<std::int64_t, ExtentSizes>> sizes_;  // by record
    mutable std::size_t next_ = 0;                             // where the last lookup ended
};

// The same with the sizes of the whole volume, for one slice of it. `entries` is emptied;
// `extentSizes` is left alone. `ids` are the numbers of the entries' extensions when all the
// entries come from the slice that numbered them.
void ApplyExtents(ScanSlice& slice, const ExtentSizeList& sizes, const ExtensionIds* ids = nullptr);

// The largest sizes each slice noted, over all slices; the slices' own maps are emptied.
ExtentSizeList TakeExtentSizes(std::vector<ScanSlice>& slices);

}  // namespace kestrin
