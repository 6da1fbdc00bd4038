#include "scan/volume/MftReader.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "scan/ntfs/AttributeListRefs.h"
#include "scan/ntfs/AttributeWalk.h"
#include "scan/ntfs/RecordFixup.h"
#include "scan/volume/StreamReader.h"

namespace kestrin {

namespace {

// Where later extents of the MFT's unnamed $DATA live, by starting VCN.
std::vector<AttributeListEntry> MftExtentEntries(const std::vector<std::uint8_t>& list) {
    std::vector<AttributeListEntry> extents;
    ForEachListEntry(ByteReader(list), [&](const AttributeListEntry& entry) {
        if (entry.type == kAttributeData && entry.nameLength == 0 && entry.recordNumber != 0 &&
            entry.startingVcn > 0) {
            extents.push_back(entry);
        }
        return true;
    });
    std::sort(extents.begin(), extents.end(),
              [](const auto& a, const auto& b) { return a.startingVcn < b.startingVcn; });
    return extents;
}

// Decodes the unnamed $DATA extents held by one MFT extension record into `runs`.
void AppendExtentRuns(std::span<const std::uint8_t> extension, std::vector<DataRun>& runs) {
    const ByteReader record(extension);
    if (!HasRecordMagic(record) || (RecordFlags(record) & kRecordInUse) == 0 ||
        RecordBaseReference(record) != 0) {
        return;
    }
    ForEachAttribute(record, [&](const Attribute& attribute) {
        if (attribute.IsUnnamedData() && attribute.IsNonResident() && attribute.LowestVcn() > 0 &&
            !RunsCoverVcn(runs, attribute.LowestVcn())) {
            DecodeRunList(attribute, attribute.LowestVcn(), runs);
        }
        return true;
    });
}

// The stretches the runs place inside the MFT's length, in run order: sparse runs, runs that
// start past the valid length and runs whose numbers overflow place nothing; a run that reaches
// past the valid length is cut there.
std::vector<MftExtent> ExtentsOf(const std::vector<DataRun>& runs, std::int64_t clusterSize,
                                 std::int64_t mftLength) {
    std::vector<MftExtent> extents;
    for (const DataRun& run : runs) {
        MftExtent extent;
        if (run.lcn < 0 || !MultiplyNonNegative(run.vcn, clusterSize, extent.start) ||
            extent.start >= mftLength) {
            continue;
        }
        if (!MultiplyNonNegative(run.clusters, clusterSize, extent.length) ||
            extent.length > mftLength - extent.start) {
            extent.length = mftLength - extent.start;
        }
        if (extent.length <= 0 || !MultiplyNonNegative(run.lcn, clusterSize, extent.volumeOffset)) {
            continue;
        }
        extents.push_back(extent);
    }
    return extents;
}

// Below this an extent is simply read.
constexpr std::size_t kMapFrom = std::size_t{1} << 20;
// Mapped pieces end on this boundary, a multiple of every page size in use; the rest is read.
constexpr std::size_t kMapGranule = std::size_t{64} << 10;

// Puts one extent of the MFT in place: mapped from an image file where the source can, which
// spares copying a gigabyte out of the page cache into fresh pages, and read otherwise.
bool PlaceExtent(const VolumeHandle& volume, std::int64_t volumeOffset,
                 std::span<std::uint8_t> target, bool remappable) {
    const std::size_t mappable = target.size() & ~(kMapGranule - 1);
    if (!remappable || mappable < kMapFrom ||
        !MapAt(volume, volumeOffset, target.first(mappable))) {
        return ReadAt(volume, volumeOffset, target);
    }
    return ReadAt(volume, volumeOffset + static_cast<std::int64_t>(mappable),
                  target.subspan(mappable));
}

// Reads every extent of the MFT into the image; false at the first failed read. The slots no
// extent reaches are zeroed and counted in `unreadRecords`.
bool ReadExtents(const VolumeHandle& volume, const std::vector<MftExtent>& extents,
                 std::int32_t recordSize, MftBytes& image, std::int64_t& unreadRecords) {
    ByteRanges filled;
    const bool remappable = LargeBufferIsRemappable(image.size());
    for (const MftExtent& extent : extents) {
        const auto target = std::span<std::uint8_t>(image).subspan(
            static_cast<std::size_t>(extent.start), static_cast<std::size_t>(extent.length));
        if (!PlaceExtent(volume, extent.volumeOffset, target, remappable)) {
            return false;
        }
        filled.emplace_back(extent.start, extent.start + extent.length);
    }
    std::sort(filled.begin(), filled.end());
    unreadRecords = ZeroUnfilled(image, filled, recordSize);
    return true;
}

// The MFT lies within its volume, so a volume that ends before the MFT's length is cut short or
// claims a length it does not have (a boot sector and record 0 can both claim any size). Either
// way the MFT cannot be read, and is not worth a buffer of the claimed size.
bool VolumeReaches(const VolumeHandle& volume, std::int64_t length, std::int64_t clusterSize) {
    std::vector<std::uint8_t> lastCluster(static_cast<std::size_t>(clusterSize));
    return ReadAt(volume, (length - 1) / clusterSize * clusterSize, lastCluster);
}

}  // namespace

void AppendMftExtensionRuns(const VolumeHandle& volume, std::span<const std::uint8_t> record0,
                            const NtfsVolumeData& data, std::vector<DataRun>& runs) {
    const ByteReader record(record0);
    const auto clusterSize = static_cast<std::int64_t>(data.bytesPerCluster);
    const std::int64_t recordSize = data.bytesPerFileRecordSegment;
    if (clusterSize <= 0 || recordSize <= 0 || !HasRecordMagic(record)) {
        return;
    }
    std::vector<AttributeListEntry> pending =
        MftExtentEntries(ReadRecordAttributeList(volume, record, clusterSize));
    std::vector<std::uint8_t> extension(static_cast<std::size_t>(recordSize));
    // An extension record may itself lie in an extent that another one describes, so the list is
    // passed over until a pass resolves nothing more.
    bool progress = true;
    while (progress && !pending.empty()) {
        progress = false;
        for (auto entry = pending.begin(); entry != pending.end();) {
            std::int64_t offset = 0;
            if (!MultiplyNonNegative(entry->recordNumber, recordSize, offset) ||
                !ReadThroughRuns(volume, runs, clusterSize, offset, extension)) {
                ++entry;
                continue;
            }
            ApplyFixup(extension);
            AppendExtentRuns(extension, runs);
            entry = pending.erase(entry);
            progress = true;
        }
    }
}

std::int64_t ZeroUnfilled(std::span<std::uint8_t> bytes, const ByteRanges& filled,
                          std::int32_t recordSize) {
    const auto size = static_cast<std::int64_t>(bytes.size());
    std::int64_t unfilled = 0;
    std::int64_t counted = 0;  // slots below this are counted already
    std::int64_t next = 0;
    const auto clearGap = [&](std::int64_t start, std::int64_t end) {
        std::fill(bytes.begin() + start, bytes.begin() + end, std::uint8_t{0});
        const std::int64_t first = std::max(start / recordSize, counted);
        const std::int64_t last = (end - 1) / recordSize;
        if (last >= first) {
            unfilled += last - first + 1;
            counted = last + 1;
        }
    };
    for (const auto& [start, end] : filled) {
        if (start > next) {
            clearGap(next, std::min(start, size));
        }
        next = std::max(next, end);
    }
    if (next < size) {
        clearGap(next, size);
    }
    return unfilled;
}

bool LocateMft(const VolumeHandle& volume, MftLayout& layout) {
    layout = MftLayout{};
    MftGeometry& geometry = layout.geometry;
    if (!volume.IsOpen()) {
        return false;
    }
    NtfsVolumeData data;
    if (!QueryVolumeData(volume, data)) {
        return false;
    }
    geometry.recordSize = data.bytesPerFileRecordSegment;
    const auto clusterSize = static_cast<std::int64_t>(data.bytesPerCluster);
    geometry.clusterSize = clusterSize;
    geometry.clusterCount = data.totalClusters;
    if (data.mftValidDataLength <= 0 || clusterSize == 0 || geometry.recordSize <= 0 ||
        !MultiplyNonNegative(clusterSize, data.mftStartLcn, geometry.mftOffset)) {
        return false;
    }
    geometry.mftLength = data.mftValidDataLength;
    if (!VolumeReaches(volume, geometry.mftLength, clusterSize)) {
        return false;
    }
    std::vector<std::uint8_t> record0(static_cast<std::size_t>(geometry.recordSize));
    if (!ReadAt(volume, geometry.mftOffset, record0)) {
        return false;
    }
    ApplyFixup(record0);
    if (DecodeDataRuns(record0, geometry.recordSize, layout.runs)) {
        AppendMftExtensionRuns(volume, record0, data, layout.runs);
        layout.extents = ExtentsOf(layout.runs, clusterSize, geometry.mftLength);
        return true;
    }
    layout = ContiguousLayout(layout);
    return true;
}

MftLayout ContiguousLayout(const MftLayout& layout) {
    MftLayout contiguous;
    contiguous.geometry = layout.geometry;
    const MftGeometry& geometry = layout.geometry;
    contiguous.contiguous = true;
    if (geometry.clusterSize > 0) {
        contiguous.runs.push_back(
            DataRun{0, geometry.mftOffset / geometry.clusterSize,
                    (geometry.mftLength + geometry.clusterSize - 1) / geometry.clusterSize});
    }
    contiguous.extents.push_back(MftExtent{0, geometry.mftLength, geometry.mftOffset});
    return contiguous;
}

bool ReadMft(const VolumeHandle& volume, MftBytes& image, MftGeometry& geometry) {
    MftLayout layout;
    const bool located = LocateMft(volume, layout);
    geometry = layout.geometry;
    if (!located) {
        return false;
    }
    image.clear();
    image.resize(static_cast<std::size_t>(geometry.mftLength));
    if (!layout.contiguous &&
        ReadExtents(volume, layout.extents, geometry.recordSize, image, geometry.unreadRecords)) {
        return true;
    }
    geometry.unreadRecords = 0;
    return ReadAt(volume, geometry.mftOffset, image);
}

}  // namespace kestrin
