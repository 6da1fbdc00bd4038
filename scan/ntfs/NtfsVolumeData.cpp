#include "scan/ntfs/NtfsVolumeData.h"

#include <algorithm>
#include <cstring>

#include "scan/common/ByteReader.h"
#include "scan/ntfs/AttributeWalk.h"

namespace kestrin {

namespace {

bool IsPowerOfTwo(std::uint64_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

// Volumes with clusters above 64 KiB store the sectors per cluster as a negative power of two.
std::uint64_t SectorsPerCluster(std::uint8_t stored) {
    if (stored <= 0x80) {
        return stored;
    }
    const unsigned shift = 256u - stored;
    return shift < 32 ? std::uint64_t{1} << shift : 0;
}

// A positive value counts clusters; a negative one n means 2^-n bytes (records smaller than a
// cluster).
std::int64_t BytesPerFileRecord(std::int8_t stored, std::uint64_t bytesPerCluster) {
    if (stored > 0) {
        return static_cast<std::int64_t>(stored) * static_cast<std::int64_t>(bytesPerCluster);
    }
    const int shift = -static_cast<int>(stored);
    return shift > 0 && shift < 31 ? std::int64_t{1} << shift : 0;
}

// Windows formats NTFS with clusters of at most 2 MiB.
constexpr std::uint64_t kLargestReplyCluster = std::uint64_t{2} << 20;

}  // namespace

NtfsVolumeData VolumeDataFromReply(const VolumeDataReply& reply) {
    const ByteReader reader(reply);
    NtfsVolumeData data;
    data.bytesPerCluster = reader.U32(0x2C);
    data.bytesPerFileRecordSegment = static_cast<std::int32_t>(reader.U32(0x30));
    data.mftValidDataLength = reader.I64(0x38);
    data.mftStartLcn = reader.I64(0x40);
    data.totalClusters = std::max<std::int64_t>(reader.I64(0x10), 0);
    const std::int32_t recordSize = data.bytesPerFileRecordSegment;
    if (!IsPowerOfTwo(data.bytesPerCluster) || data.bytesPerCluster > kLargestReplyCluster ||
        recordSize < 256 || recordSize > 65536 ||
        !IsPowerOfTwo(static_cast<std::uint64_t>(recordSize))) {
        return NtfsVolumeData{};
    }
    return data;
}

std::optional<BootSector> ParseBootSector(std::span<const std::uint8_t> bytes) {
    const ByteReader reader(bytes);
    if (!reader.Has(0, 512) || std::memcmp(bytes.data() + 3, "NTFS    ", 8) != 0) {
        return std::nullopt;
    }
    const std::uint64_t sectorSize = reader.U16(0x0B);
    const std::uint64_t clusterSize = sectorSize * SectorsPerCluster(reader.U8(0x0D));
    const std::int64_t recordSize =
        BytesPerFileRecord(static_cast<std::int8_t>(reader.U8(0x40)), clusterSize);
    const std::uint64_t totalSectors = reader.U64(0x28);
    const std::int64_t mftLcn = reader.I64(0x30);
    if (!IsPowerOfTwo(sectorSize) || sectorSize < 256 || sectorSize > 65536 ||
        !IsPowerOfTwo(clusterSize) || clusterSize > (std::uint64_t{1} << 31) ||
        !IsPowerOfTwo(static_cast<std::uint64_t>(recordSize)) || recordSize < 256 ||
        recordSize > 65536 || totalSectors == 0 || totalSectors > (std::uint64_t{1} << 47) ||
        mftLcn <= 0) {
        return std::nullopt;
    }
    BootSector boot;
    boot.bytesPerSector = static_cast<std::uint32_t>(sectorSize);
    boot.bytesPerCluster = static_cast<std::uint32_t>(clusterSize);
    boot.bytesPerFileRecord = static_cast<std::int32_t>(recordSize);
    boot.mftStartLcn = mftLcn;
    // The last sector keeps the backup boot sector and is not counted in the total.
    boot.volumeBytes = static_cast<std::int64_t>((totalSectors + 1) * sectorSize);
    // Clusters cover the counted sectors only; a partial cluster at the end is not one.
    boot.totalClusters = static_cast<std::int64_t>(totalSectors * sectorSize / clusterSize);
    if (static_cast<std::uint64_t>(mftLcn) >
        static_cast<std::uint64_t>(boot.volumeBytes) / clusterSize) {
        return std::nullopt;
    }
    return boot;
}

std::int64_t MftValidDataLengthOf(std::span<const std::uint8_t> record0) {
    const ByteReader record(record0);
    if (record.Size() < kRecordMinimumSize || !HasRecordMagic(record)) {
        return 0;
    }
    std::int64_t length = 0;
    ForEachAttribute(record, [&](const Attribute& attribute) {
        if (attribute.IsUnnamedData() && attribute.IsNonResident() &&
            attribute.length >= kNonResidentHeaderSize && attribute.LowestVcn() == 0) {
            length = attribute.InitializedSize();
            return false;
        }
        return true;
    });
    return length > 0 ? length : 0;
}

}  // namespace kestrin
