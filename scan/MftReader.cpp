#include "scan/MftReader.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "scan/AttributeListRefs.h"
#include "scan/AttributeWalk.h"
#include "scan/RecordFixup.h"

namespace kestrin {

namespace {

// Attribute lists are at most a few hundred KiB; anything larger is damage.
constexpr std::int64_t kAttributeListLimit = 16 << 20;

// a × b for non-negative values, false on overflow (damaged run lists hold any number).
bool Multiply(std::int64_t a, std::int64_t b, std::int64_t& product) {
    if (a < 0 || b < 0 || (b != 0 && a > std::numeric_limits<std::int64_t>::max() / b)) {
        return false;
    }
    product = a * b;
    return true;
}

// Reads `out.size()` bytes of a stream, starting `streamOffset` bytes into it, through its runs.
// False when a part of that range is sparse, unmapped or unreadable.
bool ReadThroughRuns(const VolumeHandle& volume, const std::vector<DataRun>& runs,
                     std::int64_t clusterSize, std::int64_t streamOffset,
                     std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        const std::int64_t position = streamOffset + static_cast<std::int64_t>(done);
        const std::int64_t vcn = position / clusterSize;
        const auto run = std::find_if(runs.begin(), runs.end(), [&](const DataRun& r) {
            return r.lcn >= 0 && vcn >= r.vcn && vcn - r.vcn < r.clusters;
        });
        std::int64_t runStart = 0;
        std::int64_t runBytes = 0;
        std::int64_t runVolumeOffset = 0;
        if (run == runs.end() || !Multiply(run->vcn, clusterSize, runStart) ||
            !Multiply(run->clusters, clusterSize, runBytes) ||
            !Multiply(run->lcn, clusterSize, runVolumeOffset)) {
            return false;
        }
        const std::int64_t intoRun = position - runStart;
        const std::size_t piece = static_cast<std::size_t>(std::min<std::int64_t>(
            runBytes - intoRun, static_cast<std::int64_t>(out.size() - done)));
        if (!ReadAt(volume, runVolumeOffset + intoRun, out.subspan(done, piece))) {
            return false;
        }
        done += piece;
    }
    return true;
}

// The value of record 0's attribute list, read from the volume when it is non-resident.
std::vector<std::uint8_t> ReadAttributeList(const VolumeHandle& volume, const Attribute& attribute,
                                            std::int64_t clusterSize) {
    std::vector<std::uint8_t> value;
    if (!attribute.IsNonResident()) {
        const std::size_t start = attribute.ValueStart();
        if (attribute.record.Has(start, attribute.ValueLength())) {
            const auto bytes = attribute.record.Bytes().subspan(start, attribute.ValueLength());
            value.assign(bytes.begin(), bytes.end());
        }
        return value;
    }
    const std::int64_t length = attribute.DataSize();
    if (attribute.length < kNonResidentHeaderSize || length <= 0 || length > kAttributeListLimit) {
        return value;
    }
    std::vector<DataRun> runs;
    DecodeRunList(attribute, 0, runs);
    // Raw volumes read whole sectors only, so the list is read in whole clusters and cut after.
    value.resize(static_cast<std::size_t>((length + clusterSize - 1) / clusterSize * clusterSize));
    if (!ReadThroughRuns(volume, runs, clusterSize, 0, value)) {
        value.clear();
    }
    value.resize(std::min(value.size(), static_cast<std::size_t>(length)));
    return value;
}

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

bool CoversVcn(const std::vector<DataRun>& runs, std::int64_t vcn) {
    return std::any_of(runs.begin(), runs.end(),
                       [&](const DataRun& r) { return vcn >= r.vcn && vcn - r.vcn < r.clusters; });
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
            !CoversVcn(runs, attribute.LowestVcn())) {
            DecodeRunList(attribute, attribute.LowestVcn(), runs);
        }
        return true;
    });
}

// Byte ranges [first, second) of the image.
using ImageRanges = std::vector<std::pair<std::int64_t, std::int64_t>>;

// The image is not zeroed when it is made: what no extent filled is zeroed here, so that a run
// list with holes leaves empty records, never stale memory.
void ZeroUnfilled(MftBytes& image, ImageRanges filled) {
    std::sort(filled.begin(), filled.end());
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

// Reads every run of the MFT into the image; false at the first failed read.
bool ReadExtents(const VolumeHandle& volume, const std::vector<DataRun>& runs,
                 std::int64_t clusterSize, MftBytes& image) {
    ImageRanges filled;
    const auto imageSize = static_cast<std::int64_t>(image.size());
    const bool remappable = LargeBufferIsRemappable(image.size());
    for (const DataRun& run : runs) {
        std::int64_t start = 0;
        std::int64_t volumeOffset = 0;
        if (run.lcn < 0 || !Multiply(run.vcn, clusterSize, start) || start >= imageSize) {
            continue;
        }
        std::int64_t length = 0;
        if (!Multiply(run.clusters, clusterSize, length) || length > imageSize - start) {
            length = imageSize - start;
        }
        if (length <= 0) {
            continue;
        }
        const auto target = std::span<std::uint8_t>(image).subspan(
            static_cast<std::size_t>(start), static_cast<std::size_t>(length));
        if (!Multiply(run.lcn, clusterSize, volumeOffset) ||
            !PlaceExtent(volume, volumeOffset, target, remappable)) {
            return false;
        }
        filled.emplace_back(start, start + length);
    }
    ZeroUnfilled(image, std::move(filled));
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
    std::vector<std::uint8_t> list;
    ForEachAttribute(record, [&](const Attribute& attribute) {
        if (attribute.type != kAttributeList) {
            return true;
        }
        list = ReadAttributeList(volume, attribute, clusterSize);
        return false;
    });
    std::vector<AttributeListEntry> pending = MftExtentEntries(list);
    std::vector<std::uint8_t> extension(static_cast<std::size_t>(recordSize));
    // An extension record may itself lie in an extent that another one describes, so the list is
    // passed over until a pass resolves nothing more.
    bool progress = true;
    while (progress && !pending.empty()) {
        progress = false;
        for (auto entry = pending.begin(); entry != pending.end();) {
            std::int64_t offset = 0;
            if (!Multiply(entry->recordNumber, recordSize, offset) ||
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
    if (data.mftValidDataLength <= 0 || clusterSize == 0 || geometry.recordSize <= 0 ||
        !Multiply(clusterSize, data.mftStartLcn, geometry.mftOffset)) {
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
        if (ReadExtents(volume, runs, clusterSize, image)) {
            return true;
        }
    }
    return ReadAt(volume, geometry.mftOffset, image);
}

}  // namespace kestrin
