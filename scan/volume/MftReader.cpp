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

// Byte ranges [first, second) of the image.
using ImageRanges = std::vector<std::pair<std::int64_t, std::int64_t>>;

// The image is not zeroed when it is made: what no extent filled is zeroed here, so that a run
// list with holes leaves empty records, never stale memory. `filled` is sorted.
void ZeroUnfilled(MftBytes& image, const ImageRanges& filled) {
    std::int64_t next = 0;
    for (const auto& [start, end] : filled) {
        if (start > next) {
            std::fill(image.begin() + next, image.begin() + start, std::uint8_t{0});
        }
        next = std::max(next, end);
    }
    const auto size = static_cast<std::int64_t>(image.size());
    if (next < size) {
        std::fill(image.begin() + next, image.end(), std::uint8_t{0});
    }
}

// The record slots that no extent filled, wholly or in part: the MFT's run list did not reach
// them (its continuation could not be read, or it is damaged), so what they held is unknown.
// `filled` is sorted.
std::int64_t UnfilledRecords(const ImageRanges& filled, std::int64_t imageSize,
                             std::int32_t recordSize) {
    std::int64_t unfilled = 0;
    std::int64_t counted = 0;  // slots below this are counted already
    std::int64_t next = 0;
    const auto countGap = [&](std::int64_t start, std::int64_t end) {
        const std::int64_t first = std::max(start / recordSize, counted);
        const std::int64_t last = (end - 1) / recordSize;
        if (last >= first) {
            unfilled += last - first + 1;
            counted = last + 1;
        }
    };
    for (const auto& [start, end] : filled) {
        if (start > next) {
            countGap(next, start);
        }
        next = std::max(next, end);
    }
    if (next < imageSize) {
        countGap(next, imageSize);
    }
    return unfilled;
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

// Reads every run of the MFT into the image; false at the first failed read. The slots no run
// reaches are zeroed and counted in `unreadRecords`.
bool ReadExtents(const VolumeHandle& volume, const std::vector<DataRun>& runs,
                 std::int64_t clusterSize, std::int32_t recordSize, MftBytes& image,
                 std::int64_t& unreadRecords) {
    ImageRanges filled;
    const auto imageSize = static_cast<std::int64_t>(image.size());
    const bool remappable = LargeBufferIsRemappable(image.size());
    for (const DataRun& run : runs) {
        std::int64_t start = 0;
        std::int64_t volumeOffset = 0;
        if (run.lcn < 0 || !MultiplyNonNegative(run.vcn, clusterSize, start) ||
            start >= imageSize) {
            continue;
        }
        std::int64_t length = 0;
        if (!MultiplyNonNegative(run.clusters, clusterSize, length) || length > imageSize - start) {
            length = imageSize - start;
        }
        if (length <= 0) {
            continue;
        }
        const auto target = std::span<std::uint8_t>(image).subspan(
            static_cast<std::size_t>(start), static_cast<std::size_t>(length));
        if (!MultiplyNonNegative(run.lcn, clusterSize, volumeOffset) ||
            !PlaceExtent(volume, volumeOffset, target, remappable)) {
            return false;
        }
        filled.emplace_back(start, start + length);
    }
    std::sort(filled.begin(), filled.end());
    ZeroUnfilled(image, filled);
    unreadRecords = UnfilledRecords(filled, imageSize, recordSize);
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

bool ReadMft(const VolumeHandle& volume, MftBytes& image, MftGeometry& geometry) {
    geometry = MftGeometry{};
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
    image.clear();
    image.resize(static_cast<std::size_t>(geometry.mftLength));

    std::vector<std::uint8_t> record0(static_cast<std::size_t>(geometry.recordSize));
    if (!ReadAt(volume, geometry.mftOffset, record0)) {
        return false;
    }
    ApplyFixup(record0);
    std::vector<DataRun> runs;
    if (DecodeDataRuns(record0, geometry.recordSize, runs)) {
        AppendMftExtensionRuns(volume, record0, data, runs);
        if (ReadExtents(volume, runs, clusterSize, geometry.recordSize, image,
                        geometry.unreadRecords)) {
            return true;
        }
    }
    geometry.unreadRecords = 0;
    return ReadAt(volume, geometry.mftOffset, image);
}

}  // namespace kestrin
