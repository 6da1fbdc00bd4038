#include "scan/pipeline/ExtentResolver.h"

#include <algorithm>
#include <vector>

#include "scan/common/SaturatingAdd.h"
#include "scan/ntfs/AttributeListRefs.h"
#include "scan/ntfs/AttributeWalk.h"
#include "scan/ntfs/RecordDataSizes.h"
#include "scan/ntfs/RecordDecoder.h"
#include "scan/ntfs/RecordFixup.h"

namespace kestrin {

namespace {

bool Plausible(std::int64_t size, std::int64_t allocated) {
    return (size > 0 || allocated > 0) && size <= kExtentSizeLimit && allocated <= kExtentSizeLimit;
}

void NoteMaxima(ScanSlice& slice, std::int64_t base, std::int64_t size, std::int64_t allocated) {
    ExtentSizes& sizes = slice.extentSizes[base];
    sizes.size = std::max(sizes.size, size);
    sizes.allocated = std::max(sizes.allocated, allocated);
}

// Named streams and indexes belong to the file or folder whatever record holds them: an
// extension record names its base (the MFT's own ones name record 0 with a sequence number,
// hence the whole reference).
void NoteStreamsAndIndex(const ByteReader& record, std::int64_t number, const RecordSpace& space,
                         ScanSlice& slice) {
    const bool namesABase = record.U64(kRecordBaseReferenceOffset) != 0;
    ExtentSizes& sizes = slice.extentSizes[namesABase ? RecordBaseReference(record) : number];
    AddSaturating(sizes.namedStreams, space.namedStreamBytes);
    AddSaturating(sizes.indexBytes, space.indexBytes);
}

// An extension record names its base: its own $DATA extents raise the base's maxima.
void FromExtensionRecord(const ByteReader& record, ScanSlice& slice) {
    const std::int64_t base = RecordBaseReference(record);
    std::int64_t size = 0;
    std::int64_t allocated = 0;
    if (base == 0 || !RecordDataSizes(record, size, allocated)) {
        return;
    }
    if (Plausible(size, allocated)) {
        NoteMaxima(slice, base, size, allocated);
    }
}

}  // namespace

void ResolveExtents(std::span<const std::uint8_t> image, std::int32_t recordSize, ScanSlice& slice,
                    const VolumeClusters& volume) {
    if (recordSize < static_cast<std::int32_t>(kRecordMinimumSize) || image.empty()) {
        return;
    }
    // Two private copies: a base record stays in one while its extension records pass the other.
    const MftRecords records(image, recordSize);
    std::vector<std::uint8_t> base;
    std::vector<std::uint8_t> extension;
    for (std::int64_t number = 0; number < records.HeldRecords(); ++number) {
        records.CopyFixedUp(number, base);
        NoteRecordExtents(ByteReader(base), number, records, extension, slice, volume);
    }
}

void NoteRecordExtents(const ByteReader& record, std::int64_t number, const MftRecords& records,
                       std::vector<std::uint8_t>& extension, ScanSlice& slice,
                       const VolumeClusters& volume) {
    SpaceProbe probe;
    probe.volume = volume;
    NoteRecordExtents(record, number, records, extension, slice, probe);
}

void NoteRecordExtents(const ByteReader& record, std::int64_t number,
                       std::span<const std::uint8_t> image, std::int32_t recordSize,
                       std::vector<std::uint8_t>& extension, ScanSlice& slice,
                       const VolumeClusters& volume) {
    NoteRecordExtents(record, number, MftRecords(image, recordSize), extension, slice, volume);
}

void NoteListedDataSizes(const ByteReader& record, std::int64_t number, const MftRecords& records,
                         std::vector<std::uint8_t>& extension, ScanSlice& slice) {
    std::vector<std::int64_t> refs;
    DataExtensionRefs(record, number, refs);
    if (refs.empty()) {
        return;  // nearly every file: no list, or none naming another record for its data
    }
    std::int64_t baseSize = 0;
    std::int64_t baseAllocated = 0;
    const bool baseKnown = RecordDataSizes(record, baseSize, baseAllocated);
    for (const std::int64_t ref : refs) {
        std::int64_t size = 0;
        std::int64_t allocated = 0;
        if (!records.CopyFixedUp(ref, extension) ||
            !RecordDataSizes(ByteReader(extension), size, allocated)) {
            continue;
        }
        const bool larger = !baseKnown || size > baseSize || allocated > baseAllocated;
        if (larger && number > 0 && Plausible(size, allocated)) {
            NoteMaxima(slice, number, size, allocated);
        }
    }
}

void NoteRecordExtents(const ByteReader& record, std::int64_t number, const MftRecords& records,
                       std::vector<std::uint8_t>& extension, ScanSlice& slice,
                       const SpaceProbe& probe) {
    if (!HasRecordMagic(record) || (RecordFlags(record) & kRecordInUse) == 0) {
        return;
    }
    const RecordSpace space =
        probe.measured ? probe.space : MeasureRecordSpace(record, probe.volume, slice.clusters);
    if (space.namedStreamBytes > 0 || space.indexBytes > 0) {
        NoteStreamsAndIndex(record, number, space, slice);
    }
    if (IsExtensionRecord(record, number)) {
        FromExtensionRecord(record, slice);
    } else if ((RecordFlags(record) & kRecordIsDirectory) == 0 && space.hasResidentAttributeList) {
        // Only a resident list names the records that hold the unnamed $DATA's first extent.
        NoteListedDataSizes(record, number, records, extension, slice);
    }
}

ExtentSizeList::ExtentSizeList(std::vector<std::pair<std::int64_t, ExtentSizes>> sizes)
    : sizes_(std::move(sizes)) {
    std::sort(sizes_.begin(), sizes_.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
}

const ExtentSizes* ExtentSizeList::Find(std::int64_t record) const {
    const auto before = [](const auto& element, std::int64_t r) { return element.first < r; };
    if (next_ > sizes_.size() || (next_ > 0 && sizes_[next_ - 1].first >= record)) {
        next_ = static_cast<std::size_t>(
            std::lower_bound(sizes_.begin(), sizes_.end(), record, before) - sizes_.begin());
    } else {
        // Most lookups land within a few elements of the last one.
        while (next_ < sizes_.size() && sizes_[next_].first < record) {
            ++next_;
        }
    }
    if (next_ < sizes_.size() && sizes_[next_].first == record) {
        return &sizes_[next_++].second;
    }
    return nullptr;
}

namespace {

template <typename Sizes>
void ApplyAll(ScanSlice& slice, const Sizes& find, const ExtensionIds* ids = nullptr) {
    AddCache cache;
    if (ids != nullptr) {
        cache.ids = ids;
        cache.byId.assign(ids->size(), nullptr);
    }
    for (MftEntry& entry : slice.entries) {
        if (const ExtentSizes* found = find(entry.recordNumber)) {
            entry.size = std::max(entry.size, found->size);
            entry.allocated = std::max(entry.allocated, found->allocated);
            // A folder's allocation is that of the files below it; its own is its index.
            if (entry.isDirectory) {
                entry.allocated = found->indexBytes;
            } else {
                AddSaturating(entry.allocated, found->namedStreams);
            }
        }
        AddEntry(slice, std::move(entry), cache);
    }
    slice.entries.clear();
    slice.entries.shrink_to_fit();
}

}  // namespace

void ApplyExtents(ScanSlice& slice, const ExtentSizeList& sizes, const ExtensionIds* ids) {
    ApplyAll(
        slice, [&](std::int64_t record) { return sizes.Find(record); }, ids);
}

void ApplyExtents(ScanSlice& slice) {
    const auto& sizes = slice.extentSizes;
    ApplyAll(slice, [&](std::int64_t record) -> const ExtentSizes* {
        const auto found = sizes.find(record);
        return found == sizes.end() ? nullptr : &found->second;
    });
    slice.extentSizes.clear();
}

ExtentSizeList TakeExtentSizes(std::vector<ScanSlice>& slices) {
    std::vector<std::pair<std::int64_t, ExtentSizes>> noted;
    for (ScanSlice& slice : slices) {
        noted.insert(noted.end(), slice.extentSizes.begin(), slice.extentSizes.end());
        slice.extentSizes.clear();
    }
    std::sort(noted.begin(), noted.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    // A record noted by several slices (its extension records lie in other slices) once.
    std::vector<std::pair<std::int64_t, ExtentSizes>> merged;
    merged.reserve(noted.size());
    for (const auto& [record, sizes] : noted) {
        if (merged.empty() || merged.back().first != record) {
            merged.emplace_back(record, sizes);
            continue;
        }
        ExtentSizes& target = merged.back().second;
        target.size = std::max(target.size, sizes.size);
        target.allocated = std::max(target.allocated, sizes.allocated);
        AddSaturating(target.namedStreams, sizes.namedStreams);
        AddSaturating(target.indexBytes, sizes.indexBytes);
    }
    return ExtentSizeList(std::move(merged));
}

}  // namespace kestrin
