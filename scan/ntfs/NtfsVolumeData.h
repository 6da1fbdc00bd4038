#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "scan/source/VolumeSource.h"

namespace kestrin {

// The values of the volume-data reply that reading the MFT needs, and the cluster count that
// bounds the volume's allocation bitmap (0 when not known).
struct NtfsVolumeData {
    std::uint32_t bytesPerCluster = 0;
    std::int32_t bytesPerFileRecordSegment = 0;
    std::int64_t mftValidDataLength = 0;
    std::int64_t mftStartLcn = 0;
    std::int64_t totalClusters = 0;
};

// All zero, which the MFT reader refuses, when the reply states a cluster or record size that no
// NTFS volume has: the reader allocates one of each before it reads anything.
NtfsVolumeData VolumeDataFromReply(const VolumeDataReply& reply);

// Geometry stated by an NTFS boot sector.
struct BootSector {
    std::uint32_t bytesPerSector = 0;
    std::uint32_t bytesPerCluster = 0;
    std::int32_t bytesPerFileRecord = 0;
    std::int64_t mftStartLcn = 0;
    std::int64_t volumeBytes = 0;
    std::int64_t totalClusters = 0;
};

// Enough bytes to hold the boot sector on every sector size a volume can have.
inline constexpr std::size_t kBootSectorReadSize = 4096;

// Parses the boot sector at the start of `bytes`. Nothing when the OEM id is not "NTFS    " (the
// volume is not NTFS) or the geometry is impossible.
std::optional<BootSector> ParseBootSector(std::span<const std::uint8_t> bytes);

// The initialised length of the MFT's own unnamed $DATA in fixed-up record 0, which is what the
// volume-data query reports as MftValidDataLength; 0 when record 0 does not show it.
std::int64_t MftValidDataLengthOf(std::span<const std::uint8_t> record0);

}  // namespace kestrin
